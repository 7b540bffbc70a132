// The draw rules of the lesson: at random or in order, the rolling display, whether a pick
// leaves the pool, how a pick is presented, and the score column rule.
#include "lesson/Lesson.h"

namespace rostrel {

void Lesson::SetDrawRule(bool atRandom) {
    atRandom_ = atRandom;
    notify(DrawRulesPart);
}

void Lesson::SetRolling(bool on) {
    rolling_ = on;
    if (!on)
        rollingActive_ = false;
    notify(DrawRulesPart);
}

void Lesson::StartRolling() {
    rollingActive_ = true;
    notify(DrawRulesPart);
}

void Lesson::StopRolling() {
    rollingActive_ = false;
    notify(DrawRulesPart);
}

void Lesson::SetRemovePicked(bool on) {
    removePicked_ = on;
    notify(DrawRulesPart);
}

void Lesson::SetPresentationForms(const QStringList& forms, int selected) {
    forms_ = forms;
    form_ = selected >= 0 && selected < forms.size() ? selected : -1;
    notify(DrawRulesPart);
}

void Lesson::SetPresentationForm(int form) {
    form_ = form >= 0 && form < forms_.size() ? form : -1;
    notify(DrawRulesPart);
}

void Lesson::SetNewColumnPerDay(bool on) {
    newColumn_ = on;
    notify(DrawRulesPart);
}

} // namespace rostrel
