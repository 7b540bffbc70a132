#include "numbers/NumberList.h"
#include "support/NumberWindow.h"

#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::numbers;
using rostrel::test::range;
using namespace Qt::StringLiterals;

namespace {

QStringList entriesOf(int category, const QString& a, const QString& b, int index = 0) {
    const auto r = readRange(category, a, b, index);
    return r ? rangeEntries(category, *r) : QStringList{QStringLiteral("refused")};
}

} // namespace

TEST(NumberRange, AcceptsOnlyASecondValueGreaterThanTheFirst) {
    EXPECT_EQ(entriesOf(kNumberCategory, u"1"_s, u"48"_s), range(1, 48));
    EXPECT_EQ(entriesOf(kNumberCategory, u"-3"_s, u"3"_s), range(-3, 3));
    EXPECT_FALSE(readRange(kNumberCategory, u"5"_s, u"5"_s, 0));
    EXPECT_FALSE(readRange(kNumberCategory, u"9"_s, u"5"_s, 1));
    // Compared unrounded, then rounded halves to even.
    EXPECT_EQ(entriesOf(kNumberCategory, u"1.4"_s, u"1.6"_s), (QStringList{u"1"_s, u"2"_s}));
    EXPECT_EQ(entriesOf(kNumberCategory, u"1.5"_s, u"1.6"_s), QStringList{u"2"_s});
}

TEST(NumberRange, OnlyTheBoxLeftMustBeWhollyANumber) {
    EXPECT_FALSE(readRange(kNumberCategory, u"1"_s, u""_s, 1));
    EXPECT_FALSE(readRange(kNumberCategory, u"1x"_s, u"9"_s, 0));
    // The other box is only compared, by the number it begins with.
    EXPECT_EQ(entriesOf(kNumberCategory, u"1"_s, u"3abc"_s, 0), range(1, 3));
    EXPECT_FALSE(readRange(kNumberCategory, u"1"_s, u"abc"_s, 0));
}

TEST(NumberRange, RefusesWhatSixteenBitsCannotHold) {
    EXPECT_FALSE(readRange(kNumberCategory, u"1"_s, u"32768"_s, 1));
    EXPECT_FALSE(readRange(kNumberCategory, u"-40000"_s, u"1"_s, 0));
    EXPECT_FALSE(readRange(kNumberCategory, u"1"_s, u"1e300"_s, 1));
    EXPECT_FALSE(readRange(kNumberCategory, u"0"_s, u"32767"_s, 0)); // 32768 entries
    EXPECT_FALSE(readRange(kNumberCategory, u"-32767"_s, u"32767"_s, 0));
    const auto big = readRange(kNumberCategory, u"1"_s, u"32767"_s, 0);
    ASSERT_TRUE(big);
    const QStringList all = rangeEntries(kNumberCategory, *big);
    EXPECT_EQ(all.size(), 32767);
    EXPECT_EQ(all.back(), u"32767"_s);
}

TEST(SeatRange, RowsOuterColumnsInner) {
    EXPECT_EQ(entriesOf(kSeatCategory, u"2"_s, u"3"_s),
              (QStringList{u"1-1"_s, u"1-2"_s, u"1-3"_s, u"2-1"_s, u"2-2"_s, u"2-3"_s}));
    EXPECT_EQ(entriesOf(kSeatCategory, u"6"_s, u"8"_s).size(), 48);
    EXPECT_FALSE(readRange(kSeatCategory, u"8"_s, u"6"_s, 0)); // columns must exceed rows
    EXPECT_TRUE(entriesOf(kSeatCategory, u"-2"_s, u"3"_s).isEmpty());
    EXPECT_TRUE(readRange(kSeatCategory, u"180"_s, u"182"_s, 0));  // 32760 seats
    EXPECT_FALSE(readRange(kSeatCategory, u"181"_s, u"182"_s, 0)); // 32942 seats
}

TEST(CustomValues, AddsPositiveNumbersNotYetListed) {
    const QStringList existing{u"1"_s, u"2"_s, u"3"_s};
    // A full-width comma after the first 3.
    EXPECT_EQ(customAdditions(kNumberCategory, existing, QStringLiteral("3，5, 5,abc,0,-2,2.5")),
              (QStringList{u"5"_s, u"2.5"_s}));
    EXPECT_EQ(customAdditions(kNumberCategory, {}, u"007,1e2, 1 0 ,,"_s), (QStringList{u"7"_s, u"100"_s, u"10"_s}));
    // Duplicates by numeric reading, also of entries that are not in shortest form.
    EXPECT_EQ(customAdditions(kNumberCategory, {u"7"_s, u"2.50"_s}, u"7.0,2.5,0.1"_s), QStringList{u"0.1"_s});
    // Numbers beyond any finite value are no entries.
    EXPECT_EQ(customAdditions(kNumberCategory, {}, u"1e999,4"_s), QStringList{u"4"_s});
}

TEST(CustomValues, SeatsInTheRowColumnCategory) {
    const QStringList existing{u"1-1"_s, u"1-2"_s};
    EXPECT_EQ(customAdditions(kSeatCategory, existing, u"1-1,1-2"_s), QStringList{});
    EXPECT_EQ(customAdditions(kSeatCategory, existing, QStringLiteral("3-5，7 - 1,03-5,2.5-1,0-3,abc,9,1-,-4,40000-1")),
              (QStringList{u"3-5"_s, u"7-1"_s}));
}

TEST(CustomValues, RefusesToGrowBeyond32767Entries) {
    const QStringList full = range(1, 32766);
    EXPECT_EQ(customAdditions(kNumberCategory, full, u"40000,5"_s), QStringList{u"40000"_s});
    EXPECT_FALSE(customAdditions(kNumberCategory, full, u"40000,40001"_s));
}

TEST(NumberTables, ListBecomesRosterAndPool) {
    SessionState st;
    st.PickIndex = 9;
    st.GroupCount = 3;
    loadNumberTables(st, {u"5"_s, u"2.5"_s, u"3-4"_s});
    EXPECT_EQ(st.RosterCount, 3);
    EXPECT_EQ(st.PoolCount, 3);
    EXPECT_EQ(st.RosterTable.lastRow(), 3);
    EXPECT_EQ(st.RosterTable.lastCol(), 3);
    EXPECT_EQ(st.PickPool.lastCol(), 3);
    EXPECT_EQ(defaultText(st.RosterTable.at(2, 0)), u"2.5"_s);
    EXPECT_EQ(defaultText(st.PickPool.at(3, 1)), u"3-4"_s);
    EXPECT_TRUE(st.PickPool.at(3, 0).isEmpty());
    EXPECT_TRUE(st.RosterTable.at(0, 0).isEmpty());
    EXPECT_EQ(st.PickIndex, 9);
    EXPECT_EQ(st.GroupCount, 3);
    loadNumberTables(st, {});
    EXPECT_EQ(st.RosterCount, 0);
    EXPECT_EQ(st.PoolCount, 0);
}
