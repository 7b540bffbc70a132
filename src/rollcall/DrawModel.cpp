// The lesson's group selection and draws: the group and member on show, random and
// sequential draws, the rolling display and the no-repeat pool.
#include "grouping/GroupPlan.h"
#include "lesson/Lesson.h"
#include "platform/Log.h"
#include "platform/Values.h"
#include "rollbook/ClassSheet.h"
#include "rollcall/PickEngine.h"
#include "rollcall/Presentation.h"

#include <algorithm>

namespace rostrel {

namespace {

// A failing step of a pick is skipped; the pick goes on with the next one.
template <typename F> void skipOnFailure(const char* step, F&& f) {
    try {
        f();
    } catch (const std::exception&) {
        logCaught(step);
    }
}

} // namespace

void Lesson::planReplaced(unsigned parts) {
    keyIndex_.invalidate();
    ++planRevision_;
    showGroupQuietly(listedGroups() > 0 ? 1 : 0);
    notify(GroupPlanPart | SelectionPart | parts);
}

int Lesson::listedGroups() const {
    return st_.GroupTable.allocated() ? st_.GroupTable.last0() : 0;
}

int Lesson::memberCount(int group) const {
    if (group < 1 || group > listedGroups())
        return 0;
    const int count = toInt16(cellNumber(st_.GroupTable.at(group, 0, 0)));
    return std::clamp(count, 0, st_.GroupTable.last1());
}

QStringList Lesson::groupMembers(int group) const {
    const int field = st_.PickCategory == 0 ? 1 : 0;
    QStringList members;
    try {
        const int count = memberCount(group);
        members.reserve(count);
        for (int j = 1; j <= count; ++j)
            members.append(defaultText(st_.GroupTable.at(group, j, field)));
    } catch (const std::exception&) {
        logCaught("listing the members of a group");
    }
    return members;
}

QString Lesson::groupSummary() const {
    const int g = st_.CurrentGroup;
    if (g < 1 || g > listedGroups())
        return {};
    return grouping::summaryText(st_.RosterCount, st_.GroupCount, g, defaultText(st_.GroupTable.at(g, 0, 0)));
}

void Lesson::showGroupQuietly(int group) {
    st_.CurrentGroup = static_cast<int16_t>(group);
    selectedMember_ = 0;
}

void Lesson::ShowGroup(int group) {
    showGroupQuietly(group);
    notify(SelectionPart);
}

void Lesson::selectMemberQuietly(int slot) {
    const int g = st_.CurrentGroup;
    if (slot < 1 || slot > memberCount(g))
        return;
    selectedMember_ = slot;
    QString text = defaultText(st_.GroupTable.at(g, slot, st_.PickCategory == 0 ? 1 : 0));
    if (st_.PickCategory == 2)
        text = rollcall::seatWording(text);
    st_.PickText = text;
    st_.CurrentMember = static_cast<int16_t>(slot);
    st_.PickKey = defaultText(st_.GroupTable.at(g, slot, 0));
    position_ = rollcall::positionLine(g, slot, st_.PickKey, st_.PickText);
    if (const auto caption = rollcall::pickCaption(st_.PickCategory, form_, g, slot, st_.PickKey, st_.PickText))
        caption_ = *caption;
}

void Lesson::SelectMember(int slot) {
    selectMemberQuietly(slot);
    notify(SelectionPart);
}

bool Lesson::ShowMember(const QString& key) {
    const auto at = keyIndex_.find(st_.GroupTable, st_.GroupCount, key);
    if (at.group == 0 || at.group > listedGroups())
        return false;
    if (at.group != st_.CurrentGroup)
        showGroupQuietly(at.group);
    selectMemberQuietly(at.slot);
    notify(SelectionPart);
    return true;
}

void Lesson::ChooseEntry(int position) {
    try {
        const QString s = rollbook::trimSpaces(entries_.value(position));
        if (s.isEmpty())
            return;
        if (st_.PickCategory == 0) {
            const QStringList pieces = s.split(u'_');
            st_.PickKey = pieces.value(0);
            st_.PickText = pieces.value(1);
        } else {
            st_.PickKey = s;
        }
        // The pool row of the chosen entry itself: the list position is a roster position,
        // which after removals (or a pool of the unscored only) is another pool row.
        st_.PickIndex = rollcall::pickedPoolRow(st_.PickPool, st_.PoolCount, add16(position, 1), st_.PickKey);
        ShowMember(st_.PickKey);
        if (removePicked_)
            RemovePicked();
        setScoreImage(true);
    } catch (...) {
        // A name that is in no group stays chosen; nothing else changes.
        logCaught("choosing a student by name");
    }
}

// A pool entry in no group (a value added after the last grouping) is the pick all the same:
// it is shown without a group position, and its own pool row is the one a no-repeat pick
// removes.
void Lesson::showUngroupedPick(int16_t poolRow, const QString& key) {
    QString text = key;
    if (st_.PickCategory == 0) {
        const double index = cellNumber(st_.PickPool.at(poolRow, 0));
        if (index >= 1 && index <= st_.RosterCount)
            text = defaultText(st_.RosterTable.at(static_cast<int>(index), 1));
    } else if (st_.PickCategory == 2) {
        text = rollcall::seatWording(text);
    }
    st_.PickKey = key;
    st_.PickText = text;
    st_.CurrentMember = 0;
    selectedMember_ = 0;
    position_ = key + u' ' + text;
    caption_ = QStringLiteral("\r\n") + text;
    notify(SelectionPart);
}

void Lesson::DrawNext() {
    platform_.random->reseed(platform_.clock->timeOfDay().msecsSinceStartOfDay() / 1000.0);
    const int groups = listedGroups();
    if (groups == 0)
        return;
    if (atRandom_) {
        if (st_.PoolCount < 1)
            return;
        const int16_t k = rollcall::drawRow(platform_.random->next(), st_.PoolCount);
        st_.PickIndex = k;
        const QString key = defaultText(st_.PickPool.at(k, 1));
        if (!ShowMember(key))
            showUngroupedPick(k, key);
        return;
    }
    // In group order: after the last member of a group (or in an empty one) the next group's
    // first member, from the last group back to the first.
    if (selectedMember_ == memberCount(st_.CurrentGroup)) {
        if (groups > 1)
            showGroupQuietly(st_.CurrentGroup >= groups ? 1 : st_.CurrentGroup + 1);
        selectMemberQuietly(1);
    } else {
        selectMemberQuietly(selectedMember_ + 1);
    }
    notify(SelectionPart);
}

void Lesson::RemovePicked() {
    skipOnFailure("removing a pool row", [&] {
        rollcall::removePoolRow(st_.PickPool, st_.PoolCount, st_.PickIndex, st_.RosterTable, st_.RosterCount);
    });
    setScoreImage(true);
}

// With "重复" checked, the completed pick leaves the pool: the pool row of the member on
// show (the row of the random draw that showed it, or else its first live row), not the row
// of an earlier draw. A pick no longer in the pool removes nothing.
void Lesson::takePickOutOfPool() {
    const int16_t row = rollcall::pickedPoolRow(st_.PickPool, st_.PoolCount, st_.PickIndex, st_.PickKey);
    if (row == 0) {
        setScoreImage(true);
        return;
    }
    st_.PickIndex = row;
    RemovePicked();
}

void Lesson::completePick() {
    if (removePicked_)
        skipOnFailure("taking the pick out of the pool", [&] { takePickOutOfPool(); });
    PlayWave(QStringLiteral("sound\\type.wav"));
    SetClockIdle();
    if (st_.PickCategory == 0)
        setScoreImage(true);
}

void Lesson::setScoreImage(bool shown) {
    scoreImageShown_ = shown;
    notify(ScoreImagePart);
}

void Lesson::Pick() {
    ResetClockDisplay();
    if (!rolling_) {
        skipOnFailure("drawing", [&] { DrawNext(); });
        completePick();
        return;
    }
    if (!rollingActive_) {
        StartRolling();
        PlayWave(QStringLiteral("sound\\type0.wav"));
        return;
    }
    StopRolling();
    completePick(); // the candidate of the last tick is the pick
}

void Lesson::NextGroup() {
    const int groups = listedGroups();
    if (st_.GroupCount <= 1 || groups == 0)
        return;
    int next = st_.CurrentGroup >= st_.GroupCount ? 1 : st_.CurrentGroup + 1;
    if (next > groups) // more groups typed than formed: back to the first
        next = 1;
    if (next != st_.CurrentGroup) // the group on show keeps its selection
        ShowGroup(next);
}

void Lesson::PickOneMore() {
    SetRolling(false);
    Pick();
}

void Lesson::CountSelectedPick() {
    if (selectedMember_ == 0)
        return;
    if (removePicked_)
        takePickOutOfPool();
    setScoreImage(true);
}

} // namespace rostrel
