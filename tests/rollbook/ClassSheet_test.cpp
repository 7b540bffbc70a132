// The class sheet read as roster, stored grouping, score column and pick pool.
#include "rollbook/ClassSheet.h"

#include <gtest/gtest.h>

#include <map>

namespace rostrel::rollbook {
namespace {

// A roster of `count` students with the given (group, member) numbers per row.
CellTable2 roster(const std::vector<std::pair<Cell, Cell>>& seats) {
    const int n = static_cast<int>(seats.size());
    CellTable2 t(n, 3);
    for (int i = 1; i <= n; ++i) {
        t.at(i, 0) = Cell::fromNumber(i);
        t.at(i, 1) = Cell::fromText(QStringLiteral("学生%1").arg(i));
        t.at(i, 2) = seats[static_cast<size_t>(i - 1)].first;
        t.at(i, 3) = seats[static_cast<size_t>(i - 1)].second;
    }
    return t;
}

CellTable2 consecutiveRoster(int n, int groupSize) {
    std::vector<std::pair<Cell, Cell>> seats;
    for (int i = 1; i <= n; ++i)
        seats.push_back({Cell::fromNumber((i - 1) / groupSize + 1), Cell::fromNumber((i - 1) % groupSize + 1)});
    return roster(seats);
}

int members(const CellTable3& t, int g) {
    return static_cast<int>(cellNumber(t.at(g, 0, 0)));
}
double key(const CellTable3& t, int g, int m) {
    return cellNumber(t.at(g, m, 0));
}

TEST(StoredGrouping, NineGroupsOfFiveFromFortyFive) {
    const CellTable2 r = consecutiveRoster(45, 5);
    const CellTable3 t = storedGroupTable(r, 45, 9, 5);
    EXPECT_EQ(t.last0(), 9);
    EXPECT_EQ(t.last1(), 5);
    EXPECT_EQ(t.last2(), 1);
    for (int g = 1; g <= 9; ++g) {
        EXPECT_EQ(members(t, g), 5);
        for (int m = 1; m <= 5; ++m)
            EXPECT_EQ(key(t, g, m), (g - 1) * 5 + m);
    }
    EXPECT_EQ(t.at(2, 3, 1).text, QStringLiteral("学生8"));
}

TEST(StoredGrouping, ConsecutiveReadingWhenRowsDoNotFormAPlan) {
    // Largest numbers 8 and 6 but only one row says so: groups 1-7 get 6, group 8 gets 3.
    std::vector<std::pair<Cell, Cell>> seats(45, {Cell::fromNumber(1), Cell::fromNumber(1)});
    seats[0] = {Cell::fromNumber(8), Cell::fromNumber(6)};
    CellTable3 t = storedGroupTable(roster(seats), 45, 8, 6);
    for (int g = 1; g <= 7; ++g)
        EXPECT_EQ(members(t, g), 6);
    EXPECT_EQ(members(t, 8), 3);
    EXPECT_EQ(key(t, 8, 3), 45);

    // 16 x 3: fifteen groups of three, group 16 empty.
    seats.assign(45, {Cell::fromNumber(1), Cell::fromNumber(1)});
    seats[0] = {Cell::fromNumber(16), Cell::fromNumber(3)};
    t = storedGroupTable(roster(seats), 45, 16, 3);
    EXPECT_EQ(members(t, 15), 3);
    EXPECT_EQ(members(t, 16), 0);
}

TEST(StoredGrouping, PlansThatDoNotFitTheRosterFail) {
    // 4 x 5 holds only 20 of 45: the last group overflows.
    std::vector<std::pair<Cell, Cell>> seats(45, {Cell::fromNumber(1), Cell::fromNumber(1)});
    seats[0] = {Cell::fromNumber(4), Cell::fromNumber(5)};
    EXPECT_THROW(storedGroupTable(roster(seats), 45, 4, 5), std::out_of_range);
    // 10 x 6: group 8 runs past the 45th student.
    seats[0] = {Cell::fromNumber(10), Cell::fromNumber(6)};
    EXPECT_THROW(storedGroupTable(roster(seats), 45, 10, 6), std::out_of_range);
}

TEST(StoredGrouping, RandomGroupingWrittenBackComesBackAsWritten) {
    // 10 students in groups of 4, 4, 2 placed out of row order.
    const int g[] = {3, 1, 2, 1, 2, 1, 3, 2, 1, 2};
    const int m[] = {1, 1, 1, 2, 2, 3, 2, 3, 4, 4};
    std::vector<std::pair<Cell, Cell>> seats;
    for (int i = 0; i < 10; ++i)
        seats.push_back({Cell::fromNumber(g[i]), Cell::fromText(QString::number(m[i]))});
    const CellTable2 r = roster(seats);
    const CellTable3 t = storedGroupTable(r, 10, 3, 4);
    EXPECT_EQ(members(t, 1), 4);
    EXPECT_EQ(members(t, 2), 4);
    EXPECT_EQ(members(t, 3), 2);
    for (int i = 1; i <= 10; ++i)
        EXPECT_EQ(key(t, g[i - 1], m[i - 1]), i) << "student " << i;
    EXPECT_EQ(t.at(3, 2, 1).text, QStringLiteral("学生7"));
}

TEST(StoredGrouping, OwnNumbersRejectedWhenInconsistent) {
    auto plan = [](std::vector<std::pair<double, double>> gm, int groups, int size) {
        std::vector<std::pair<Cell, Cell>> seats;
        for (auto [g, m] : gm)
            seats.push_back({Cell::fromNumber(g), Cell::fromNumber(m)});
        return groupsByOwnNumbers(roster(seats), static_cast<int16_t>(gm.size()), static_cast<int16_t>(groups),
                                  static_cast<int16_t>(size));
    };
    EXPECT_TRUE(plan({{1, 1}, {1, 2}, {2, 1}, {2, 2}}, 2, 2).has_value());
    EXPECT_TRUE(plan({{2, 1}, {1, 1}, {1, 2}}, 2, 2).has_value());    // last group short, placed anyway
    EXPECT_FALSE(plan({{1, 1}, {1, 1}, {2, 1}}, 2, 1).has_value());   // seat taken twice
    EXPECT_FALSE(plan({{1, 1}, {1, 3}, {2, 1}}, 2, 3).has_value());   // member 2 missing in group 1
    EXPECT_FALSE(plan({{1, 1}, {1, 2.5}, {2, 1}}, 2, 3).has_value()); // not a whole number
    EXPECT_FALSE(plan({{1, 1}, {0, 1}, {2, 1}}, 2, 1).has_value());   // group 0

    std::vector<std::pair<Cell, Cell>> blankRow{{Cell::fromNumber(1), Cell::fromNumber(1)}, {Cell(), Cell()}};
    EXPECT_FALSE(groupsByOwnNumbers(roster(blankRow), 2, 1, 1).has_value());
}

// A sheet of cells for the score-column tests.
struct Sheet {
    std::map<std::pair<int, int>, Cell> cells;
    CellReader reader() const {
        return [this](int r, int c) {
            auto it = cells.find({r, c});
            return it == cells.end() ? Cell() : it->second;
        };
    }
};

TEST(ScoreColumn, DayColumnFromHeaders) {
    Sheet s;
    s.cells[{2, 6}] = Cell::fromText(QStringLiteral("组员号"));
    s.cells[{2, 7}] = Cell::fromText(QStringLiteral("03月14"));
    s.cells[{2, 8}] = Cell::fromText(QStringLiteral("03月15"));
    EXPECT_EQ(chooseScoreColumn(s.reader(), true, QStringLiteral("03月16")), 9);
    EXPECT_EQ(chooseScoreColumn(s.reader(), true, QStringLiteral("03月15")), 8);
    EXPECT_EQ(chooseScoreColumn(s.reader(), false, QStringLiteral("03月16")), 8);

    // A header of spaces counts as filled.
    s.cells[{2, 9}] = Cell::fromText(QStringLiteral("  "));
    EXPECT_EQ(chooseScoreColumn(s.reader(), false, QStringLiteral("03月16")), 9);

    // A date header is compared by its default text, which is never "MM月dd".
    Sheet d;
    d.cells[{2, 7}] = Cell::fromDate(46097); // 2026-03-16
    EXPECT_EQ(chooseScoreColumn(d.reader(), true, QStringLiteral("03月16")), 8);
}

TEST(ScoreColumn, NeverTheMemberNumberColumn) {
    Sheet s;
    EXPECT_EQ(chooseScoreColumn(s.reader(), false, QStringLiteral("03月16")), 7);
    EXPECT_EQ(chooseScoreColumn(s.reader(), true, QStringLiteral("03月16")), 7);
    s.cells[{2, 6}] = Cell::fromText(QStringLiteral("03月16")); // F2 reads today
    EXPECT_EQ(chooseScoreColumn(s.reader(), true, QStringLiteral("03月16")), 7);
}

TEST(PickPool, StudentsWithoutAScoreInTheDayColumn) {
    const CellTable2 r = consecutiveRoster(5, 5);
    Sheet s;
    s.cells[{4, 8}] = Cell::fromNumber(3);                   // student 2 scored
    s.cells[{6, 8}] = Cell::fromText(QStringLiteral("x"));   // student 4 has text
    s.cells[{7, 8}] = Cell::fromText(QStringLiteral("   ")); // spaces: blank
    CellTable2 pool(5, 2);
    EXPECT_EQ(fillPickPool(pool, r, 5, 8, s.reader()), 3);
    EXPECT_EQ(cellNumber(pool.at(1, 0)), 1);
    EXPECT_EQ(cellNumber(pool.at(2, 1)), 3);
    EXPECT_EQ(cellNumber(pool.at(2, 2)), 5);
    EXPECT_EQ(cellNumber(pool.at(3, 0)), 5);

    for (int row = 3; row <= 7; ++row)
        s.cells[{row, 8}] = Cell::fromNumber(1);
    EXPECT_EQ(fillPickPool(pool, r, 5, 8, s.reader()), 5); // everybody scored: everybody again
    EXPECT_EQ(cellNumber(pool.at(4, 1)), 4);

    s.cells[{5, 8}] = Cell::fromError(workbook::CellValue::ErrorCode::Div0);
    EXPECT_THROW(fillPickPool(pool, r, 5, 8, s.reader()), TypeMismatchError);
}

TEST(CellConversion, EngineValuesAndBack) {
    using V = workbook::CellValue;
    const std::vector<V> values{V::empty(),         V::fromNumber(4.5),
                                V::fromDate(46095), V::fromText("高一(1)班"),
                                V::fromBool(true),  V::fromError(V::ErrorCode::Div0)};
    for (const V& v : values)
        EXPECT_EQ(toCellValue(toCell(v)), v);
    EXPECT_EQ(toCell(V::fromText("张三")).text, QStringLiteral("张三"));
    EXPECT_EQ(toCell(V::fromDate(46095)).kind, Cell::Kind::Date);
    EXPECT_EQ(trimSpaces(QStringLiteral("  12 3 ")), QStringLiteral("12 3"));
    EXPECT_EQ(trimSpaces(QStringLiteral("\t1")), QStringLiteral("\t1"));
}

} // namespace
} // namespace rostrel::rollbook
