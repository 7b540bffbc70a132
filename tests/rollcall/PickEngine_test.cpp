#include "rollcall/PickEngine.h"
#include "rollcall/Presentation.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::rollcall;
using namespace Qt::StringLiterals;

namespace {

// Pool and roster of keys "k1".."kn".
struct Pool {
    CellTable2 roster;
    CellTable2 pool;
    int16_t count = 0;
    explicit Pool(int n) : roster(n, 3), pool(n, 2), count(static_cast<int16_t>(n)) {
        for (int i = 1; i <= n; ++i) {
            roster.at(i, 0) = Cell::fromText(u"k"_s + QString::number(i));
            pool.at(i, 0) = Cell::fromNumber(i);
            pool.at(i, 1) = roster.at(i, 0);
            pool.at(i, 2) = Cell::fromNumber(i + 2);
        }
    }
    QStringList keys() const {
        QStringList out;
        for (int i = 1; i <= count; ++i)
            out.append(defaultText(pool.at(i, 1)));
        return out;
    }
};

CellTable3 planOf(const std::vector<std::vector<Cell>>& groups) {
    size_t size = 0;
    for (const auto& g : groups)
        size = std::max(size, g.size());
    CellTable3 t(static_cast<int>(groups.size()), static_cast<int>(size), 2);
    for (size_t g = 0; g < groups.size(); ++g) {
        t.at(static_cast<int>(g) + 1, 0, 0) = Cell::fromNumber(static_cast<double>(groups[g].size()));
        for (size_t j = 0; j < groups[g].size(); ++j)
            t.at(static_cast<int>(g) + 1, static_cast<int>(j) + 1, 0) = groups[g][j];
    }
    return t;
}

Cell text(const char16_t* s) {
    return Cell::fromText(QString::fromUtf16(s));
}

} // namespace

TEST(PickEngine, DrawRowStaysInThePool) {
    EXPECT_EQ(drawRow(0.0f, 48), 1);
    EXPECT_EQ(drawRow(0.5f, 48), 25);
    EXPECT_EQ(drawRow(0.99999994f, 48), 48);
    EXPECT_EQ(drawRow(0.99999994f, 32767), 32767); // single precision would round up to 32768
    EXPECT_EQ(drawRow(0.3f, 0), 0);
}

TEST(PickEngine, RemovingARowMovesTheRestUp) {
    Pool p(5);
    ASSERT_TRUE(removePoolRow(p.pool, p.count, 2, p.roster, 5));
    EXPECT_EQ(p.keys(), (QStringList{u"k1"_s, u"k3"_s, u"k4"_s, u"k5"_s}));
    EXPECT_EQ(p.pool.at(2, 0).number, 3);
    EXPECT_EQ(p.pool.at(2, 2).number, 5);
    EXPECT_EQ(p.pool.at(5, 1), Cell::fromText(QString())); // the row freed is emptied
    ASSERT_TRUE(removePoolRow(p.pool, p.count, 4, p.roster, 5));
    EXPECT_EQ(p.keys(), (QStringList{u"k1"_s, u"k3"_s, u"k4"_s}));
}

TEST(PickEngine, RowsOutsideThePoolAreNeverTouched) {
    Pool p(5);
    p.count = 3; // rows 4 and 5 are no candidates
    for (int row : {0, -1, 4, 5, 99}) {
        EXPECT_FALSE(removePoolRow(p.pool, p.count, row, p.roster, 5)) << row;
        EXPECT_EQ(p.count, 3);
        EXPECT_EQ(defaultText(p.pool.at(4, 1)), u"k4"_s);
        EXPECT_EQ(p.keys(), (QStringList{u"k1"_s, u"k2"_s, u"k3"_s}));
    }
}

TEST(PickEngine, EmptiedPoolIsRefilledWithTheWholeRoster) {
    Pool p(3);
    ASSERT_TRUE(removePoolRow(p.pool, p.count, 1, p.roster, 3));
    ASSERT_TRUE(removePoolRow(p.pool, p.count, 2, p.roster, 3));
    EXPECT_EQ(p.keys(), QStringList{u"k2"_s});
    ASSERT_TRUE(removePoolRow(p.pool, p.count, 1, p.roster, 3));
    EXPECT_EQ(p.count, 3);
    EXPECT_EQ(p.keys(), (QStringList{u"k1"_s, u"k2"_s, u"k3"_s}));
    EXPECT_EQ(p.pool.at(3, 0).number, 3);
    EXPECT_EQ(p.pool.at(3, 2).number, 5);
}

TEST(PickEngine, PickedRowIsTheDrawnRowOrTheFirstHoldingTheKey) {
    Pool p(5);
    p.pool.at(4, 1) = text(u"k2");                            // a duplicate key
    EXPECT_EQ(pickedPoolRow(p.pool, p.count, 4, u"k2"_s), 4); // the random draw's own row
    EXPECT_EQ(pickedPoolRow(p.pool, p.count, 1, u"k2"_s), 2); // an older draw: found by key
    EXPECT_EQ(pickedPoolRow(p.pool, p.count, 0, u"k5"_s), 5);
    EXPECT_EQ(pickedPoolRow(p.pool, 3, 9, u"k5"_s), 0); // no longer a candidate
    EXPECT_EQ(pickedPoolRow(p.pool, p.count, 1, QString()), 0);
}

TEST(GroupKeyIndex, FirstMatchInGroupOrderWins) {
    CellTable3 plan = planOf({{text(u"3"), text(u"7")}, {text(u"7"), text(u"3"), text(u"9")}, {}});
    GroupKeyIndex index;
    EXPECT_EQ(index.find(plan, 3, u"7"_s).group, 1);
    EXPECT_EQ(index.find(plan, 3, u"7"_s).slot, 2);
    EXPECT_EQ(index.find(plan, 3, u"9"_s).group, 2);
    EXPECT_EQ(index.find(plan, 3, u"9"_s).slot, 3);
    EXPECT_EQ(index.find(plan, 3, u"4"_s).group, 0);
    // Only groups 1..GroupCount are searched.
    EXPECT_EQ(index.find(plan, 1, u"9"_s).group, 0);
    EXPECT_EQ(index.find(plan, 1, u"3"_s).group, 1);
}

TEST(GroupKeyIndex, KeysAreComparedAsTextsWithinMemberCounts) {
    CellTable3 plan = planOf({{Cell::fromNumber(12), text(u"5")}, {text(u"12.0"), Cell::fromNumber(2.5)}});
    plan.at(1, 0, 0) = Cell::fromNumber(1); // slot 2 of group 1 lies beyond its member count
    GroupKeyIndex index;
    EXPECT_EQ(index.find(plan, 2, u"12"_s).group, 1);
    EXPECT_EQ(index.find(plan, 2, u"12.0"_s).group, 2);
    EXPECT_EQ(index.find(plan, 2, u"2.5"_s).group, 2);
    EXPECT_EQ(index.find(plan, 2, u"5"_s).group, 0);
    // A member count the table cannot hold is searched as far as the table goes.
    plan.at(2, 0, 0) = Cell::fromNumber(40);
    index.invalidate();
    EXPECT_EQ(index.find(plan, 2, u"2.5"_s).slot, 2);
}

TEST(GroupKeyIndex, RebuiltAfterInvalidation) {
    CellTable3 plan = planOf({{text(u"1"), text(u"2")}});
    GroupKeyIndex index;
    EXPECT_EQ(index.find(plan, 1, u"2"_s).slot, 2);
    plan = planOf({{text(u"2"), text(u"1")}});
    index.invalidate();
    EXPECT_EQ(index.find(plan, 1, u"2"_s).slot, 1);
}

TEST(Presentation, SeatWordingAndPositionLine) {
    EXPECT_EQ(seatWording(u"2-10"_s), u"2行10列"_s);
    EXPECT_EQ(seatWording(u"5"_s), u"5列"_s);
    EXPECT_EQ(positionLine(2, 5, u"S"_s, u"N"_s), u"第 2 组 5 号 \uFF0CS N"_s);
    EXPECT_EQ(positionLine(1, 17, u"17"_s, u"17"_s), u"第 1 组 17 号 ，17 17"_s);
}

TEST(Presentation, EveryFormOfTheNameList) {
    const auto caption = [](int form) { return pickCaption(0, form, 2, 5, u"S"_s, u"N"_s).value_or(u"-"_s); };
    EXPECT_EQ(caption(0), u"\r\nN"_s);
    EXPECT_EQ(caption(1), u"S N"_s);
    EXPECT_EQ(caption(2), u"2组 \r\nN"_s);
    EXPECT_EQ(caption(3), u"2组5号 \r\nN"_s);
    EXPECT_EQ(caption(4), u"2组\r\nSN"_s);
    EXPECT_EQ(caption(5), u"2组5号 \r\nS N"_s);
    EXPECT_FALSE(pickCaption(0, -1, 2, 5, u"S"_s, u"N"_s));
    EXPECT_FALSE(pickCaption(0, 6, 2, 5, u"S"_s, u"N"_s));
}

TEST(Presentation, EveryFormOfNumbersAndSeats) {
    for (int category : {1, 2}) {
        EXPECT_EQ(pickCaption(category, 0, 1, 17, u"17"_s, u"17"_s), u"\r\n17"_s);
        EXPECT_EQ(pickCaption(category, 1, 1, 17, u"17"_s, u"17"_s), u"1组 \r\n17"_s);
        EXPECT_EQ(pickCaption(category, 2, 1, 17, u"17"_s, u"17"_s), u"1组 17号 \r\n17"_s);
        EXPECT_FALSE(pickCaption(category, 3, 1, 17, u"17"_s, u"17"_s));
        EXPECT_FALSE(pickCaption(category, -1, 1, 17, u"17"_s, u"17"_s));
    }
}
