// The main window: shows the lesson and forwards what the teacher does to it. Its handlers
// and redraws are defined in the folder of the subsystem they belong to (rollbook/,
// rollcall/, numbers/, grouping/, clock/, scoring/) and wired to the controls by that
// subsystem's wire function.
#pragma once

#include "lesson/Lesson.h"
#include "platform/Platform.h"
#include "shell/Controls.h"

#include <QMainWindow>

namespace rostrel {

class Classroom;

class FrmMd : public QMainWindow {
    Q_OBJECT
    Lesson lesson_;

public:
    explicit FrmMd(const Platform& platform, QWidget* parent = nullptr);
    ~FrmMd() override;

    Lesson& lesson() { return lesson_; }
    const Lesson& lesson() const { return lesson_; }

    // The layout pass's baseline, in twips, taken at start-up.
    struct LayoutBaseline {
        float BaseHeight = 0.f;
        float BaseWidth = 0.f;
        float BaseFontSize = 0.f;
        float BaseSjHeight = 0.f;
        float BaseXxHeight = 0.f;
        float BaseXxWidth = 0.f;
        float BaseLabXxHeight = 0.f;
    };
    const LayoutBaseline& layoutBaseline() const { return layout_; }

    // Presenter keys, the fullscreen view, undo and the remembered setup (shell/Classroom).
    Classroom& classroom() { return *classroom_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Controls ui;

    // ---- Shell (shell/) ----
    void Form_Initialize();     // start-up steps
    void Form_Activate();       // first activation selects the number category
    void Form_Resize();         // layout pass
    void MnXs_Click(int index); // display modes
    void MnBz_Click(int index); // "关于"

    // ---- Roll book (rollbook/) ----
    // Redraws what the class roster and the group formation changed (the lesson's parts).
    void showRoster(unsigned parts);
    void showClassList();

    // ---- Roll call (rollcall/) ----
    // A pick or the rolling display, with the focus taken from a text box first.
    void lblXm_Click();
    void cmdNext_Click(int index);
    void MnFs_Click(int index);
    // The frames, menus and option button of the category the teacher chose.
    void showCategory(int category);

    // ---- Grouping (grouping/) ----
    void showGroupRule();
    void showGroupInformation();

    void buildControls(); // shell/FrmMdLayout.cpp
    // Each subsystem connects its controls' signals to its handlers.
    void wireShell();
    void wireRollBook();
    void wireRollCall();
    void wireNumbers();
    void wireGrouping();
    void wireClock();
    void wireScoring();

    // Redraws of the lesson's parts.
    void showLesson(unsigned parts);
    void showClock();
    void showScoreEntry();
    void showNumbers();
    void showEntries();
    void showDrawRules();
    void showSelection(); // the group and member lists, the name label, the position and summary

    LayoutBaseline layout_;
    Classroom* classroom_ = nullptr;
    int shownNumberRevision_ = -1;
    QStringList shownForms_;
    // The group and plan the member list shows.
    struct ShownMembers {
        int group = -1;
        int planRevision = -1;
        bool operator==(const ShownMembers&) const = default;
    };
    ShownMembers shownMembers_;
};

} // namespace rostrel
