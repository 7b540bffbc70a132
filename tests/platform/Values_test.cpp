#include "platform/Values.h"

#include <cmath>
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
    EXPECT_THROW(defaultText(Cell::fromError(workbook::CellValue::ErrorCode::Div0)), TypeMismatchError);
    EXPECT_DOUBLE_EQ(cellNumber(Cell::fromText(QStringLiteral("12abc"))), 12.0);
}

TEST(Values, LeadingNumberEdgeCases) {
    bool found = false;
    EXPECT_DOUBLE_EQ(leadingNumber(u" \t\r\n12", &found), 12.0); // every kind of blank is skipped
    EXPECT_TRUE(found);
    EXPECT_DOUBLE_EQ(leadingNumber(u"+5"), 5.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"1e2x"), 100.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"1e+2"), 100.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"1E-1"), 0.1);
    EXPECT_DOUBLE_EQ(leadingNumber(u"1.2.3"), 1.2); // one decimal point only
    EXPECT_DOUBLE_EQ(leadingNumber(u"5."), 5.0);
    EXPECT_DOUBLE_EQ(leadingNumber(u"-.5"), -0.5);
    EXPECT_DOUBLE_EQ(leadingNumber(u"1,000"), 1.0); // no digit grouping
    EXPECT_DOUBLE_EQ(leadingNumber(u".", &found), 0.0);
    EXPECT_FALSE(found);
    EXPECT_DOUBLE_EQ(leadingNumber(u" - 5", &found), 0.0); // the sign belongs to the digits
    EXPECT_FALSE(found);
    EXPECT_DOUBLE_EQ(leadingNumber(u"１２", &found), 0.0); // full-width digits are no number
    EXPECT_FALSE(found);
    EXPECT_FALSE(std::signbit(leadingNumber(u"-0"))); // no negative zero to show as "-0"
    // A number too large for a double reads as infinite and fails any 16-bit field.
    EXPECT_TRUE(std::isinf(leadingNumber(u"1e400")));
    EXPECT_THROW(readInt16(u"1e400"), OverflowError);
    EXPECT_THROW(readInt16(u"-1e400"), OverflowError);
}

TEST(Values, WholeTextNumbers) {
    EXPECT_TRUE(isNumber(u" 12 "));
    EXPECT_TRUE(isNumber(u"-.5"));
    EXPECT_TRUE(isNumber(u"1e+2"));
    EXPECT_FALSE(isNumber(u""));
    EXPECT_FALSE(isNumber(u"   "));
    EXPECT_FALSE(isNumber(u"12a"));
    EXPECT_FALSE(isNumber(u"1.2.3"));
    EXPECT_FALSE(isNumber(u"1 2"));
    EXPECT_FALSE(isNumber(u"1e400"));
}

TEST(Values, SixteenBitFieldsAtTheirEnds) {
    EXPECT_EQ(toInt16(-32768.5), -32768); // halves to even, inside the range
    EXPECT_EQ(toInt16(32766.5), 32766);
    EXPECT_EQ(toInt16(-0.5), 0);
    EXPECT_EQ(toInt16(0.5), 0);
    EXPECT_EQ(toInt16(1.5), 2);
    EXPECT_THROW(toInt16(-32769.5), OverflowError); // rounds to -32770
    EXPECT_THROW(toInt16(std::nan("")), OverflowError);
    EXPECT_EQ(readInt16(u"  -12.5kg"), -12);
    EXPECT_EQ(readInt16(u"abc"), 0);
    EXPECT_EQ(add16(32766, 1), 32767);
    EXPECT_THROW(sub16(-32768, 1), OverflowError);
    EXPECT_THROW(mul16(256, 128), OverflowError);
    EXPECT_EQ(mul16(-256, 128), -32768);
    EXPECT_THROW(mul16(-1, -32768), OverflowError);
}

TEST(Values, DecimalTexts) {
    EXPECT_EQ(plainText(-7), QStringLiteral("-7"));
    EXPECT_EQ(plainText(0), QStringLiteral("0"));
    EXPECT_EQ(plainText(32767), QStringLiteral("32767"));
    EXPECT_EQ(numberText(1e15), QStringLiteral("1E+15"));
    EXPECT_EQ(numberText(999999999999999.0), QStringLiteral("999999999999999"));
    EXPECT_EQ(numberText(123456789012345.6), QStringLiteral("123456789012346")); // 15 digits
    EXPECT_EQ(numberText(1.0 / 3), QStringLiteral("0.333333333333333"));
    EXPECT_EQ(numberText(2.675), QStringLiteral("2.675"));
    EXPECT_EQ(numberText(-2.5), QStringLiteral("-2.5"));
    EXPECT_EQ(numberText(0.000001), QStringLiteral("0.000001"));
    EXPECT_EQ(numberText(1e-20), QStringLiteral("1E-20"));
    EXPECT_EQ(numberText(-1.5e21), QStringLiteral("-1.5E+21"));
}

TEST(Values, DefaultTextOfEveryKind) {
    EXPECT_EQ(defaultText(Cell()), QString());
    EXPECT_EQ(defaultText(Cell::fromNumber(2.5)), QStringLiteral("2.5"));
    EXPECT_EQ(defaultText(Cell::fromNumber(17)), QStringLiteral("17"));
    EXPECT_EQ(defaultText(Cell::fromText(QStringLiteral(" 张三 "))), QStringLiteral(" 张三 ")); // text as is
    EXPECT_EQ(defaultText(Cell::fromBool(false)), QStringLiteral("False"));
    EXPECT_EQ(defaultText(Cell::fromDate(46095.5)), QStringLiteral("2026/3/14 12:00:00"));
    EXPECT_EQ(defaultText(Cell::fromDate(0.5)), QStringLiteral("12:00:00")); // a time of day only
    EXPECT_EQ(defaultText(Cell::fromDate(1)), QStringLiteral("1900/1/1"));
    EXPECT_DOUBLE_EQ(cellNumber(Cell()), 0.0);
    EXPECT_DOUBLE_EQ(cellNumber(Cell::fromNumber(-3.25)), -3.25);
    EXPECT_DOUBLE_EQ(cellNumber(Cell::fromText(QStringLiteral("abc"))), 0.0);
    EXPECT_THROW(cellNumber(Cell::fromError(workbook::CellValue::ErrorCode::NA)), TypeMismatchError);
    EXPECT_EQ(monthDayLabel(46097), QStringLiteral("03月16"));
    EXPECT_EQ(monthDayLabel(46023), QStringLiteral("01月01"));
}
