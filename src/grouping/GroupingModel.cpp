// The lesson's group formation: the rule and its two boxes, forming the groups in order or at
// random, and the group information's visibility.
#include "grouping/GroupPlan.h"
#include "lesson/Lesson.h"
#include "platform/Log.h"

namespace rostrel {

namespace {

QString countMessage(int n) {
    return QStringLiteral("请输入正确的组数，值范围为[1~") + plainText(n) + u']';
}

QString sizeMessage(int bound) {
    return QStringLiteral("请输入每组的人数，值范围为[1~") + plainText(bound) + u']';
}

} // namespace

void Lesson::setGroupRuleText(int box, const QString& text) {
    if (groupRuleText_.at(box) == text)
        return;
    groupRuleText_.at(box) = text;
    groupingEnabled_ = true;
    notify(GroupRulePart);
}

void Lesson::SetGroupRuleText(int box, const QString& text) {
    setGroupRuleText(box, text);
}

void Lesson::SetGroupRule(int rule) {
    if (rule == groupRule_ || (rule != 0 && rule != 1))
        return;
    groupRule_ = rule;
    // Nothing is read or derived here: the boxes show the plan as it is.
    setGroupRuleText(0, plainText(st_.GroupCount));
    setGroupRuleText(1, plainText(st_.GroupSize));
    notify(GroupRulePart);
}

bool Lesson::ConfirmGroupRule() {
    return readGroupRule();
}

// False when the value cannot be used to form groups: below 1, or beyond what a 16-bit field
// holds (then the field keeps its value).
bool Lesson::readGroupRule() {
    const int n = st_.RosterCount;
    const auto refuse = [this](int box, const QString& message) {
        platform_.messages->inform(message);
        Q_EMIT groupRuleRefused(box);
    };
    const auto offerImages = [this] {
        groupingEnabled_ = true;
        notify(GroupRulePart);
    };
    if (groupRule_ == 0) {
        int16_t count = 0;
        try {
            count = readInt16(groupRuleText_[0]);
        } catch (const OverflowError&) {
            refuse(0, countMessage(n));
            return false;
        }
        st_.GroupCount = count;
        if (count < 1 || count > n)
            refuse(0, countMessage(n));
        else
            offerImages();
        if (count >= 1) {
            st_.GroupSize = grouping::derivedValue(n, count);
            setGroupRuleText(1, plainText(st_.GroupSize));
        }
        return count >= 1;
    }
    int16_t size = 0;
    try {
        size = readInt16(groupRuleText_[1]);
    } catch (const OverflowError&) {
        refuse(1, sizeMessage(st_.RowScan));
        return false;
    }
    st_.GroupSize = size;
    if (size >= 1) {
        st_.GroupCount = grouping::derivedValue(n, size);
        setGroupRuleText(0, plainText(st_.GroupCount));
    }
    // The bound is one more than the last class loaded, whatever the list grouped now.
    if (size < 1 || size > st_.RowScan)
        refuse(1, sizeMessage(st_.RowScan));
    else
        offerImages();
    return size >= 1;
}

// One grouping. False when it failed; nothing of the group plan is changed then.
bool Lesson::formGroupsOnce(int index) {
    try {
        const int n = st_.RosterCount;
        if (!readGroupRule()) {
            // The value was reported; a value that cannot size a group forms one group
            // holding every entry, so the plan always matches the roster.
            st_.GroupCount = 1;
            st_.GroupSize = grouping::derivedValue(n, 1);
            setGroupRuleText(0, plainText(st_.GroupCount));
            setGroupRuleText(1, plainText(st_.GroupSize));
        }
        grouping::Plan plan = grouping::formGroups(st_.RosterTable, n, st_.GroupCount, st_.GroupSize,
                                                   index == 0 ? platform_.random : nullptr);
        grouping::commitPlan(st_, std::move(plan));
        if (st_.PickCategory == 0)
            groupingWritable_ = true;
        pickReady_ = true;
        planReplaced(PickReadyPart);
        return true;
    } catch (const std::exception&) {
        logCaught("forming the groups");
        return false;
    }
}

void Lesson::FormGroups(int index) {
    if (formGroupsOnce(index) || reloadDepth_ > 0)
        return;
    // Read the class again and try once more; a second failure ends the action.
    struct Depth {
        int& depth;
        ~Depth() { --depth; }
    } guard{++reloadDepth_};
    try {
        LoadClassRoster();
    } catch (const std::exception&) {
        logCaught("reloading the class after a failed grouping");
    }
    formGroupsOnce(index);
}

void Lesson::ShowGroupInformation(bool shown) {
    groupInfoShown_ = shown;
    notify(GroupInfoPart);
    if (shown)
        StopRolling(); // ends a rolling display without completing its pick
}

} // namespace rostrel
