#include "platform/Values.h"

#include <gtest/gtest.h>

using namespace rostrel;

TEST(Values, LeadingNumberReadsWhatTheTextBeginsWith) {
    EXPECT_DOUBLE_EQ(leadingNumber(u"  12abc"), 12.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"1e2"), 100.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u".5"), 0.5);
    EXPECT_DOUBLE_EQ(leadingNumber(u"-3.25x"), -3.25);
    EXPECT_DOUBLE_EQ(leadingNumber(u"1e"), 1.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"abc"), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u""), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"007"), 7.0);
    bool found = true;
    leadingNumber(u"-", &found);
    EXPECT_FALSE(found);
}

TEST(Values, RoundingHalvesToEvenInto16Bits) {
    EXPECT_EQ(toInt16(2.5), 2);
    EXPECT_EQ(toInt16(3.5), 4);
    EXPECT_EQ(toInt16(-2.5), -2);
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_THROW(toInt16(32767.5), OverflowError);
    EXPECT_THROW(toInt16(-32769), OverflowError);
    EXPECT_THROW(add16(32767, 1), OverflowError);
    EXPECT_EQ(sub16(-32767, 1), -32768);
}

TEST(Values, NumberTextIsShortest) {
    EXPECT_EQ(numberText(2.5), QStringLiteral("2.5"));
    EXPECT_EQ(numberText(100), QStringLiteral("100"));
    EXPECT_EQ(numberText(0.1 + 0.2), QStringLiteral("0.3"));
    EXPECT_EQ(numberText(-0.0), QStringLiteral("0"));
    EXPECT_EQ(numberText(1e20), QStringLiteral("1E+20"));
    EXPECT_EQ(numberText(100000.25), QStringLiteral("100000.25"));
}

TEST(Values, DefaultTextOfCells) {
    EXPECT_EQ(defaultText(Cell::fromDate(46095)), QStringLiteral("2026/3/14"));
    EXPECT_EQ(monthDayLabel(46095), QStringLiteral("03月14"));
    EXPECT_EQ(defaultText(Cell::fromBool(true)), QStringLiteral("True"));
    EXPECT_THROW(defaultText(Cell::fromError(7)), TypeMismatchError);
    EXPECT_DOUBLE_EQ(cellNumber(Cell::fromText(QStringLiteral("12abc"))), 12.0);
}
