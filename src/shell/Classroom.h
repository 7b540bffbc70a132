// What the main window adds for a teacher in front of the class: window-wide presenter keys,
// the fullscreen presentation view and the blank screen, the key help, undo and redo of
// roll-book writes with a notice of each, the absent mark, the clock presets, colours that
// follow the desktop, and the setup remembered between runs. It works on the window from
// outside, through the lesson and the controls' names.
#pragma once

#include "platform/SetupStore.h"
#include "shell/PresenterKeys.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <array>

class QAction;
class QLabel;
class QPushButton;
class QToolButton;
class QTimer;

namespace rostrel {

class FrmMd;
class HelpOverlay;
class PresentationView;

class Classroom : public QObject {
    Q_OBJECT
public:
    explicit Classroom(FrmMd& window);
    ~Classroom() override;

    PresentationView* view() const { return view_; }
    HelpOverlay* help() const { return help_; }
    bool presenting() const { return presenting_; }
    void setPresenting(bool on);
    void act(PresenterAction action);

    // The notice after a write, "" when none is shown.
    QString notice() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void followDesktop();
    void fitWindow();
    // What kind of control receives a key (the focus widget, as keys go to it).
    FocusKind focusKind(QWidget* target) const;
    void syncView();
    void showNotice(const QString& text);
    void undoOrRedo(bool undo);
    void showHistory();
    void startPreset(int minutes);
    void restoreSetup();
    void focusNameLabel();
    void saveSetup();

    FrmMd& w_;
    PresentationView* view_ = nullptr;
    HelpOverlay* help_ = nullptr;
    QToolButton* undo_ = nullptr;
    QToolButton* redo_ = nullptr;
    QPushButton* absent_ = nullptr;
    QLabel* notice_ = nullptr;
    QTimer* noticeTimer_ = nullptr;
    QTimer* flashTimer_ = nullptr;
    std::array<QPushButton*, 4> presets_{};
    QAction* fullscreenItem_ = nullptr;
    QAction* helpItem_ = nullptr;
    QAction* splashItem_ = nullptr;
    bool presenting_ = false;
    bool blankWindow_ = false; // the blank screen outside the presentation view
    bool restored_ = false;
    bool wasMaximized_ = false;
    // The key event being delivered and its latest receiver, to tell its travel to the parents.
    const QEvent* keyInFlight_ = nullptr;
    QPointer<QWidget> keyTarget_;
    Qt::FocusReason focusReason_ = Qt::OtherFocusReason; // of the last focus change
};

} // namespace rostrel
