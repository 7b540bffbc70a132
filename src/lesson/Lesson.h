// The lesson: everything the program knows while a teacher works with it, without widgets.
// The window forwards what the teacher does to its operations and redraws the parts that
// `changed` names. Operations are defined beside the subsystem they belong to (the
// `*Model.cpp` files of clock/, numbers/, rollbook/, grouping/, rollcall/ and scoring/).
#pragma once

#include "clock/ClassroomClock.h"
#include "lesson/SessionState.h"
#include "platform/Platform.h"
#include "rollcall/PickEngine.h"
#include "scoring/WriteHistory.h"

#include <QObject>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>

namespace rostrel {

class Lesson : public QObject {
    Q_OBJECT
public:
    // What a notification says changed; the window redraws those parts only.
    enum Part : unsigned {
        ClockPart = 1u << 0,      // running state, display, amount, unit, mode
        NumbersPart = 1u << 1,    // number list, its range and custom value, their images
        EntriesPart = 1u << 2,    // the entries the name box lists
        DrawRulesPart = 1u << 3,  // draw rule, rolling, repeat, presentation forms, new column
        ScoreEntryPart = 1u << 4, // the points of the score box
    };

    explicit Lesson(const Platform& platform, QObject* parent = nullptr);
    ~Lesson() override;

    const Platform& platform() const { return platform_; }
    // Plays a cue through the platform; never fails.
    void PlayWave(const QString& relativePath);

    // ---- Roll-book session, roster, group plan and pick pool ----
    // Read-only: every change goes through the operations below.
    const SessionState& session() const { return st_; }
    // Makes `engine` the spreadsheet engine of the session (instead of the program's own).
    void UseSpreadsheetEngine(std::unique_ptr<workbook::Application> engine);
    // The roll book to open next, by path and the file name the teacher chose.
    void UseRollBookFile(const QString& path, const QString& name);
    // Sets the pick category alone (0 name list, 1 number, 2 row-column); the name list
    // takes today's label for the score column.
    void SetPickCategory(int category);
    // Activates class sheet `sheetIndex` (0: the first, and the index becomes 1) of the roll
    // book in use, opening it unless it is open already; false when another program holds it
    // (it can be read, not written), reported when it was open already or `toWrite`. Other
    // failures throw.
    bool OpenClassSheet(int16_t& sheetIndex, bool toWrite = false);
    // Releases the roll book and the engine, when the program ends.
    void EndSession();
    // True once, at the first activation of the window.
    bool TakeFirstShow();
    // The window has not been activated yet (nor has a category been chosen).
    bool firstShowPending() const { return st_.FirstShow == 1; }
    int pickCategory() const { return st_.PickCategory; }
    QString rollBookPath() const { return st_.RollBookPath; } // empty before one was set
    // The teacher switches the category (0 name list, 1 number, 2 row-column):
    // `categoryChosen` first, for the window to show the category's frames; then the name list
    // opens the roll book, numbers and seats list the default range, grouped in order; the
    // presentation form with the group number.
    void ChooseCategory(int category);
    Q_SIGNAL void categoryChosen(int category);

    // ---- Class roster, class list and group formation (rollbook/, grouping/ model parts) ----
    // What else a notification can name (rollbook/, grouping/).
    enum RosterPart : unsigned {
        ClassListPart = 1u << 10, // the classes of the roll book, the class chosen, the file chosen
        GroupRulePart = 1u << 11, // group rule, its two boxes, the grouping images, the frame's caption
        GroupPlanPart = 1u << 12, // the group plan was replaced: group 1 is shown, no member selected
        PickReadyPart = 1u << 13, // whether a pick can be made and the grouping written
        ClassLoadPart = 1u << 14, // a class was loaded or refused: a pick of the class before is no longer scored
        GroupInfoPart = 1u << 15, // the group information is shown or hidden
    };

    // The roll book of the name list: the remembered one while it exists, else the default
    // one; none there: the teacher chooses one. Its classes are listed.
    void UseDefaultRollBook();
    // The teacher chooses the roll book in the open dialog, then its classes are listed.
    // Cancelled twice in a row: nothing changes.
    void ChooseRollBook();
    // The path chosen in the open dialog last; empty until one was chosen.
    QString chosenRollBook() const { return chosenRollBook_; }
    // The sheets of the roll book become the classes, and the first class is loaded. A
    // failure is reported and leaves the class list as it was.
    void ListClasses();
    const QStringList& classNames() const { return classNames_; }
    int currentClass() const { return currentClass_; } // 0-based; -1 before a listing
    // The class loaded, by its sheet's name; empty when no class of a roll book is loaded.
    QString loadedClassName() const;
    bool classesListed() const { return classesListed_; }
    // Class `index` (0-based) becomes the current one and is loaded, also when it was already.
    void ChooseClass(int index);
    // Reads the current class's sheet: roster, stored grouping (else a grouping in order),
    // the day's score column and the pick pool. A failure is reported and forgets the class.
    void LoadClassRoster();
    // The day's score column and the students who have no score in it yet; throws on failure.
    void BuildPickPool();
    // The teacher ticks or clears "Excel新列写入": with a class loaded, its score column and
    // pool are read again; a failure is reported and leaves both as they were.
    void ChooseNewColumnPerDay(bool on);
    // Opens the roll book at the current class in the desktop's spreadsheet program.
    void ShowRollBook();
    bool pickReady() const { return pickReady_; }               // the name label can be clicked
    bool groupingWritable() const { return groupingWritable_; } // "写分组" is offered

    // Group formation: the rule (0 a number of groups, 1 a number per group) and its boxes.
    int groupRule() const { return groupRule_; }
    QString groupRuleText(int box) const { return groupRuleText_.at(box); }
    bool groupingImagesEnabled() const { return groupingEnabled_; }
    QString groupFrameTitle() const { return groupFrameTitle_; } // empty: the design's caption
    // Both boxes show the plan's count and size; the rule's box is the one edited.
    void SetGroupRule(int rule);
    // Any change of a box's text offers the grouping images again.
    void SetGroupRuleText(int box, const QString& text);
    // Reads the rule's box and derives the other; false when the value cannot form groups.
    // A value out of range is reported and `groupRuleRefused` names its box.
    bool ConfirmGroupRule();
    Q_SIGNAL void groupRuleRefused(int box);
    // Forms the groups, at random (0) or in order (1). When that fails the class is read
    // again from the roll book and the grouping tried once more.
    void FormGroups(int index);
    bool groupInformationShown() const { return groupInfoShown_; }
    // Shown, the group information ends a rolling display without its pick.
    void ShowGroupInformation(bool shown);

    // ---- Group selection, draws and the pick (rollcall/ model part) ----
    // Defined in rollcall/DrawModel.cpp, rollcall/CategoryModel.cpp and scoring/ScoringModel.cpp.

    // What a notification says changed, beside Part: the group shown, the member selected and
    // the captions of the pick; the score image.
    static constexpr unsigned SelectionPart = 1u << 8;
    static constexpr unsigned ScoreImagePart = 1u << 9;

    int planRevision() const { return planRevision_; } // grows with every new group plan
    // The groups of the plan (the entries of the group list).
    int listedGroups() const;
    int currentGroup() const { return st_.CurrentGroup; }
    // The selected member's slot in the group shown, 0 when none is selected.
    int selectedMember() const { return selectedMember_; }
    // The entries of the member list for `group`: names in the name list, keys otherwise.
    QStringList groupMembers(int group) const;
    // "45人分8组，第8组有3人" for the group shown; empty when the plan does not hold it.
    QString groupSummary() const;
    QString pickKey() const { return st_.PickKey; }
    QString pickText() const { return st_.PickText; }
    QString nameCaption() const { return caption_; }   // the big name label
    QString positionLine() const { return position_; } // "第 2 组 5 号 ，S N"
    bool scoreImageShown() const { return scoreImageShown_; }

    // Shows group `group`: no member of it selected.
    void ShowGroup(int group);
    // Selects member `slot` of the group shown: it is the pick on show.
    void SelectMember(int slot);
    // Shows the first member with this key (group order, then slot order); false when none has it.
    bool ShowMember(const QString& key);
    // The teacher chooses entry `position` (0-based) of the name box: that student (or value)
    // is the pick, shown in its group, and counts as picked.
    void ChooseEntry(int position);
    // One draw, at random from the pool or the next member in group order.
    void DrawNext();
    // The no-repeat step: the pool row of the last random draw leaves the pool.
    void RemovePicked();
    // The click on the name label: a pick, or the start or the end of the rolling display.
    void Pick();
    void NextGroup();         // "下一组"
    void PickOneMore();       // "下一个": rolling off, then one pick
    void CountSelectedPick(); // a member chosen by hand counts as picked
    // The category switch's own steps (0 name list, 1 number, 2 row-column): the caption,
    // the presentation forms and, for numbers and seats, the number list from the defaults.
    void SwitchCategory(int category);
    // The draw rule with its caption.
    void ChooseDrawRule(bool atRandom);
    // Roll-book writes on the class loaded: the points for the pick on show, the grouping, the
    // absent mark. A failure saves what was written and closes the roll book. WriteGrouping
    // is true once the grouping is on its way to the file (its image then hides).
    void WriteScore();
    bool WriteGrouping();
    void MarkAbsent();

    // ---- Draw rules ----
    bool drawsAtRandom() const { return atRandom_; }
    void SetDrawRule(bool atRandom);
    bool rolling() const { return rolling_; }
    // Rolling off stops a rolling display at once; its candidate is no pick.
    void SetRolling(bool on);
    bool rollingActive() const { return rollingActive_; }
    void StartRolling();
    void StopRolling();
    bool removesPicked() const { return removePicked_; }
    void SetRemovePicked(bool on);
    const QStringList& presentationForms() const { return forms_; }
    int presentationForm() const { return form_; }
    void SetPresentationForms(const QStringList& forms, int selected);
    void SetPresentationForm(int form);
    bool newColumnPerDay() const { return newColumn_; }
    void SetNewColumnPerDay(bool on);

    // ---- Entries of the name box: "number_name" per student, or the number list ----
    const QStringList& entries() const { return entries_; }
    void SetEntries(const QStringList& entries);

    // ---- Number list ----
    const QStringList& numberList() const { return numberList_; }
    int numberListRevision() const { return numberRevision_; } // grows on every change of the list
    int selectedNumber() const { return selectedNumber_; }     // row, -1 for none
    QString rangeText(int box) const { return rangeText_.at(box); }
    QString rangeLabel(int box) const { return rangeLabel_.at(box); }
    QString customText() const { return customText_; }
    bool addImageShown() const { return addShown_; }
    bool removeImageShown() const { return removeShown_; }
    // The range boxes and custom value of a number or row-column category, at their defaults,
    // and the list the range gives.
    void PrepareNumberList(int category);
    void SetRangeText(int box, const QString& text);
    void BeginRangeEdit();                // snapshot of both boxes, to tell later what changed
    bool ConfirmRange(int box);           // false: the value was refused (and reported)
    Q_SIGNAL void rangeAccepted(int box); // the box's value was taken
    void SetCustomText(const QString& text);
    void BeginCustomEdit();
    bool AddCustomValues(); // false: refused (and reported)
    void SelectNumber(int row);
    void RemoveSelectedNumber();
    void ClearNumberList();
    // A number list kept from elsewhere, taken as it is (duplicates too).
    void UseNumberList(const QStringList& list);
    // Roster, pool and name box from the number list.
    void LoadNumberList();

    // ---- Clock and the two numeric entries (0 score points, 1 clock amount) ----
    bool clockRunning() const { return clockRunning_; } // the start image shows "暂停"
    bool clockPaused() const { return clock_.state() == clock::ClassroomClock::State::Paused; }
    // What the time display shows: text, tone (last minute, end) and the end flash.
    clock::ClockFace clockFace() const { return clockFace_; }
    bool clockFlashing() const;
    void RefreshClockFace();                            // the end flash moves on
    void StartClockRun();                               // a new run from the amount, unit and mode set, with its cue
    bool clockTicking() const { return clockTicking_; } // the one-second tick is on
    QString clockDisplay() const { return clockDisplay_; }
    int clockUnit() const { return clockUnit_; }            // 0 秒, 1 分, 2 时
    int clockMode() const { return clockMode_; }            // 0 正计时, 1 倒计时
    double clockDuration() const { return clockDuration_; } // day fraction
    void SetClockUnit(int unit);
    void SetClockMode(int mode);
    void StartOrStopClock(); // start, pause or resume, with its cue
    void ClockTick();
    void SetClockIdle();      // the start image back in its idle state, without a sound
    void ResetClockDisplay(); // ticks stop, "00:00:00" shown; the start image keeps its state
    QString entryText(int box) const { return entryText_.at(box); }
    void SetEntryText(int box, const QString& text);
    void NormaliseEntry(int box); // when the box is left: its number in shortest form
    void StepEntry(int button);   // Command1(0..3): + and - of box 0, + and - of box 1

    // ---- Roll-book writes of the lesson, undoable in order (lesson/LessonWrites.cpp) ----
    scoring::WriteHistory& writeHistory() { return *writes_; }
    // Writes a score, an absent mark or a grouping through the history; throws on failure
    // with nothing changed. An absent mark takes the student out of today's pool.
    void ApplyWrite(scoring::WriteRecord record);

Q_SIGNALS:
    void changed(unsigned parts);

private:
    // ---- Class roster, class list and group formation: private steps and state ----
    // The open dialog: false when the teacher cancelled twice in a row.
    bool askForRollBook();
    // After a load that did not finish: nothing of the previous class stays usable under the
    // new class's name (no roster to write scores or a grouping for, no pool to draw from).
    void forgetClassRoster();
    bool readGroupRule();
    bool formGroupsOnce(int index);
    void setGroupRuleText(int box, const QString& text);

    QString chosenRollBook_;
    QStringList classNames_;
    int currentClass_ = -1;
    bool classesListed_ = false;
    bool pickReady_ = false;
    bool groupingWritable_ = false;
    int groupRule_ = 0;
    std::array<QString, 2> groupRuleText_{QStringLiteral("1"), QStringLiteral("0")};
    bool groupingEnabled_ = true;
    QString groupFrameTitle_;
    bool groupInfoShown_ = false;
    // Set while a failed grouping reloads the class and tries again, so that a grouping run
    // by the reload, or the second try, cannot start another reload.
    int reloadDepth_ = 0;

    // ---- Group selection, draws and the pick: private steps and state ----
    // The group plan was replaced: group 1 shown (none when the plan is empty), no member
    // selected; notifies `parts` with it.
    void planReplaced(unsigned parts = 0);
    int memberCount(int group) const;
    void showGroupQuietly(int group);
    void selectMemberQuietly(int slot);
    void showUngroupedPick(int16_t poolRow, const QString& key);
    void takePickOutOfPool();
    void completePick();
    void setScoreImage(bool shown);
    // The record of a write on the class sheet, opened for it; without its cells yet. None
    // when another program holds the roll book (said so).
    std::optional<scoring::WriteRecord> startWrite(scoring::WriteKind kind);
    // The same on the picked student's row; none also when no row holds the student (said so).
    std::optional<scoring::WriteRecord> startStudentWrite(scoring::WriteKind kind);
    int pickedStudentRow() const;
    void saveAndClose(const char* failedStep);
    int planRevision_ = 0;
    int selectedMember_ = 0;
    QString caption_ = QStringLiteral("随机点名");
    QString position_ = QStringLiteral("第1组名单");
    bool scoreImageShown_ = false;

    void notify(unsigned parts) { Q_EMIT changed(parts); }
    // The open workbook of a roll-book file, opened when needed (the history's book source).
    workbook::Workbook& BookForPath(const std::string& path);
    // After a write was taken back or made again: the student's place in today's pool.
    void FollowWrite(const scoring::WriteRecord& record, bool undone);
    bool IsCurrentClass(const scoring::WriteRecord& record) const;
    void setNumberList(QStringList list);
    bool confirmRange(int box);

    Platform platform_;
    SessionState st_;
    rollcall::GroupKeyIndex keyIndex_;

    bool atRandom_ = true;
    bool rolling_ = true;
    bool rollingActive_ = false;
    bool removePicked_ = false;
    QStringList forms_;
    int form_ = -1;
    bool newColumn_ = false;

    QStringList entries_;

    QStringList numberList_;
    int numberRevision_ = 0;
    int selectedNumber_ = -1;
    std::array<QString, 2> rangeText_;
    std::array<QString, 2> rangeLabel_;
    QString customText_;
    bool addShown_ = false;
    bool removeShown_ = false;

    bool clockRunning_ = false;
    bool clockTicking_ = false;
    QString clockDisplay_;
    int clockUnit_ = 0;
    int clockMode_ = 0;
    double clockDuration_ = 0.0; // day fraction
    double clockStart_ = 0.0;    // date and time in days (the date too, so runs cross midnight)
    clock::ClassroomClock clock_;
    QString runAmount_; // amount and unit of the run under way
    int runUnit_ = 0;
    clock::ClockFace clockFace_{clock::kIdleFace};
    qint64 clockNowMs() const;
    void showClockFace();
    std::array<QString, 2> entryText_;
    std::unique_ptr<scoring::WriteHistory> writes_;
};

} // namespace rostrel
