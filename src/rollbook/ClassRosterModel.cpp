// The lesson's class roster: a class sheet read into the roster, its stored grouping and the
// day's pick pool, and what is left of a class that could not be read.
#include "grouping/GroupPlan.h"
#include "lesson/Lesson.h"
#include "platform/Log.h"
#include "rollbook/SheetAccess.h"

namespace rostrel {

using namespace rollbook;

namespace {

const QString kEmptyClassText = QStringLiteral("检测到名单表格为空，请检查");
const QString kLoadFailedText = QStringLiteral("读取班级名单失败，请检查Excel名单及其分组。");
const QString kRebuildFailedText = QStringLiteral("读取成绩列失败，请检查Excel名单，成绩列保持不变。");

} // namespace

void Lesson::LoadClassRoster() {
    st_.ClassIndex = static_cast<int16_t>(currentClass_ + 1);
    if (classNames_.isEmpty())
        return;
    try {
        if (st_.ClassIndex == 0)
            st_.ClassIndex = 1;
        OpenClassSheet(st_.ClassIndex);

        st_.RowScan = 1;
        while (!blankAfterTrim(readCell(st_.ExcelSheet, add16(st_.RowScan, 2), kNumberColumn)))
            st_.RowScan = add16(st_.RowScan, 1);
        st_.RosterCount = sub16(st_.RowScan, 1);
        groupFrameTitle_ = plainText(st_.RosterCount) + QStringLiteral("人分组规则");
        notify(GroupRulePart);

        if (st_.RosterCount < 2) {
            platform_.messages->warn(kEmptyClassText);
            closeRollBook(st_);
            forgetClassRoster();
            return;
        }

        const int16_t n = st_.RosterCount;
        st_.RosterTable.allocate(n, 3);
        st_.PickPool.allocate(n, 2);
        st_.PoolCount = 0;
        st_.GroupCount = 0;
        st_.CurrentMember = 0;
        st_.GroupSize = 0;
        st_.GroupTable.clear();
        planReplaced();

        QStringList names;
        names.reserve(n);
        for (int i = 1; i <= n; ++i) {
            const int row = add16(i, 2);
            st_.RosterTable.at(i, 0) = readCell(st_.ExcelSheet, row, kNumberColumn);
            st_.RosterTable.at(i, 1) = readCell(st_.ExcelSheet, row, kNameColumn);
            names.append(defaultText(st_.RosterTable.at(i, 0)) + u'_' + defaultText(st_.RosterTable.at(i, 1)));
            st_.RosterTable.at(i, 2) = readCell(st_.ExcelSheet, row, kGroupColumn);
            st_.RosterTable.at(i, 3) = readCell(st_.ExcelSheet, row, kMemberColumn);
            const double group = leadingNumber(defaultText(st_.RosterTable.at(i, 2)));
            if (group > st_.GroupCount)
                st_.GroupCount = toInt16(group);
            const double member = leadingNumber(defaultText(st_.RosterTable.at(i, 3)));
            if (member > st_.GroupSize)
                st_.GroupSize = toInt16(member);
        }
        SetEntries(names);

        BuildPickPool();

        SetGroupRule(0);

        if (st_.GroupCount == 0) {
            // No grouping stored: one group of the whole class, in order.
            st_.GroupCount = 1;
            st_.GroupSize = st_.RosterCount;
            FormGroups(1);
        } else {
            st_.GroupTable = storedGroupTable(st_.RosterTable, n, st_.GroupCount, st_.GroupSize);
            planReplaced();
        }

        setGroupRuleText(0, plainText(st_.GroupCount));
        setGroupRuleText(1, plainText(st_.GroupSize));
        groupingEnabled_ = false;
        pickReady_ = true;
        groupingWritable_ = false;
        notify(GroupRulePart | PickReadyPart | ClassLoadPart);
    } catch (...) {
        logCaught("loading the class");
        closeRollBook(st_);
        st_.RosterCount = 0;
        forgetClassRoster();
        platform_.messages->warn(kLoadFailedText);
    }
}

void Lesson::BuildPickPool() {
    int16_t index = static_cast<int16_t>(currentClass_ + 1);
    OpenClassSheet(index);
    const CellReader read = sheetReader(st_.ExcelSheet);
    st_.ScoreColumn = chooseScoreColumn(read, newColumn_, st_.TodayLabel);
    st_.PoolCount = 0;
    st_.PoolCount = fillPickPool(st_.PickPool, st_.RosterTable, st_.RosterCount, st_.ScoreColumn, read);
}

void Lesson::ChooseNewColumnPerDay(bool on) {
    SetNewColumnPerDay(on);
    if (!classRosterLoaded(st_))
        return;
    const int16_t column = st_.ScoreColumn;
    const CellTable2 pool = st_.PickPool;
    const int16_t live = st_.PoolCount;
    try {
        BuildPickPool();
    } catch (...) {
        logCaught("choosing the score column");
        st_.ScoreColumn = column;
        st_.PickPool = pool;
        st_.PoolCount = live;
        platform_.messages->warn(kRebuildFailedText);
    }
}

QString Lesson::loadedClassName() const {
    if (!classRosterLoaded(st_) || st_.ClassIndex < 1)
        return {};
    const workbook::Workbook* book = st_.ExcelBook ? st_.ExcelBook : st_.ExcelSheet.book;
    try {
        if (book && !book->isClosed() && st_.ClassIndex <= book->sheetCount())
            return QString::fromStdString(book->sheetName(st_.ClassIndex));
    } catch (...) {
        logCaught("reading the class name");
    }
    return {};
}

void Lesson::forgetClassRoster() {
    st_.RosterTable.clear();
    st_.PickPool.clear();
    st_.PoolCount = 0;
    st_.PickIndex = 0;
    st_.GroupTable.clear();
    st_.GroupCount = 0;
    st_.GroupSize = 0;
    st_.CurrentGroup = 0;
    st_.CurrentMember = 0;
    st_.PickKey.clear();
    st_.PickText.clear();
    SetEntries({});
    pickReady_ = false;
    groupingWritable_ = false;
    planReplaced(PickReadyPart | ClassLoadPart);
}

} // namespace rostrel
