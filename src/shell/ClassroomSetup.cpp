// The setup remembered between runs: restored after the window's first activation, saved
// when it closes.
#include "platform/SetupStore.h"
#include "rollcall/ControlHelpers.h"
#include "shell/Classroom.h"
#include "shell/FrmMd.h"

#include <QFileInfo>

namespace rostrel {

// Through the lesson, as the teacher would set each; the window redraws what changed.
void Classroom::restoreSetup() {
    SetupStore* store = w_.lesson().platform().setup;
    if (!store)
        return;
    const RememberedSetup s = store->load();
    Lesson& lesson = w_.lesson();
    if (s.drawRule && (*s.drawRule == 0 || *s.drawRule == 1) && (*s.drawRule == 0) != lesson.drawsAtRandom())
        lesson.ChooseDrawRule(*s.drawRule == 0);
    if (s.rolling && *s.rolling != lesson.rolling())
        lesson.SetRolling(*s.rolling);
    if (s.repeat && *s.repeat != lesson.removesPicked())
        lesson.SetRemovePicked(*s.repeat);
    if (s.newColumn && *s.newColumn != lesson.newColumnPerDay())
        lesson.SetNewColumnPerDay(*s.newColumn);
    if (s.clockAmount)
        lesson.SetEntryText(1, *s.clockAmount);
    if (s.clockUnit)
        lesson.SetClockUnit(*s.clockUnit);
    if (s.clockMode)
        lesson.SetClockMode(*s.clockMode);
    if (s.category && *s.category != lesson.pickCategory())
        guarded([&] { lesson.ChooseCategory(*s.category); });
    if (s.className && lesson.pickCategory() == 0) {
        const int i = static_cast<int>(lesson.classNames().indexOf(*s.className));
        if (i >= 0 && i != lesson.currentClass())
            lesson.ChooseClass(i);
    }
    if (s.presentation && *s.presentation < lesson.presentationForms().size())
        lesson.SetPresentationForm(*s.presentation);
    focusNameLabel();
}

void Classroom::saveSetup() {
    SetupStore* store = w_.lesson().platform().setup;
    if (!store || !restored_)
        return;
    const Lesson& lesson = w_.lesson();
    // What this lesson did not touch (the class while on numbers, the splash choice) stays.
    RememberedSetup s = store->load();
    s.category = lesson.pickCategory();
    // The roll book also when the lesson ended on numbers or seats: it was chosen all the same.
    if (const QString path = lesson.rollBookPath(); !path.isEmpty() && QFileInfo(path).isFile()) {
        s.rollBook = QFileInfo(path).absoluteFilePath();
        if (const QString name = lesson.loadedClassName(); !name.isEmpty())
            s.className = name;
    }
    s.drawRule = lesson.drawsAtRandom() ? 0 : 1;
    s.rolling = lesson.rolling();
    s.repeat = lesson.removesPicked();
    s.newColumn = lesson.newColumnPerDay();
    if (lesson.presentationForm() >= 0)
        s.presentation = lesson.presentationForm();
    s.clockAmount = lesson.entryText(1);
    s.clockUnit = lesson.clockUnit();
    s.clockMode = lesson.clockMode();
    const QSize size = presenting_ || w_.isFullScreen() || w_.isMaximized() ? w_.normalGeometry().size() : w_.size();
    if (size.isValid() && !size.isEmpty())
        s.windowSize = size;
    store->save(s);
}

} // namespace rostrel
