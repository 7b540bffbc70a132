// Score arithmetic and the day label of a score column.
#include "scoring/ScoreMath.h"

#include <gtest/gtest.h>


namespace rostrel::scoring {
namespace {

TEST(ScoreMath, SumsAreStoredAsTheirShortestDecimal) {
    const float sum = addPoints(Cell::fromNumber(2.5), QStringLiteral("0.1"));
    EXPECT_EQ(sum, 2.5f + 0.1f);
    EXPECT_EQ(storedScore(sum), 2.6);
    EXPECT_EQ(storedScore(addPoints(Cell::fromNumber(100000.25), QStringLiteral("5"))), 100005.25);
    EXPECT_EQ(storedScore(addPoints(Cell::fromNumber(0.1), QStringLiteral("0.2"))), 0.3);
    EXPECT_EQ(storedScore(16777217.0f), 16777216.0);
}

TEST(ScoreMath, CurrentValueReadAsItsLeadingNumber) {
    EXPECT_EQ(addPoints(Cell(), QStringLiteral("5")), 5.0f);
    EXPECT_EQ(addPoints(Cell::fromNumber(5), QStringLiteral("3")), 8.0f);
    EXPECT_EQ(addPoints(Cell::fromNumber(5), QStringLiteral("-2")), 3.0f);
    EXPECT_EQ(addPoints(Cell::fromText(QStringLiteral("缺考")), QStringLiteral("4")), 4.0f);
    EXPECT_EQ(addPoints(Cell::fromText(QStringLiteral(" 7分")), QStringLiteral("1")), 8.0f);
    EXPECT_EQ(addPoints(Cell::fromNumber(5), QStringLiteral("abc")), 5.0f);
    EXPECT_THROW(addPoints(Cell::fromError(workbook::CellValue::ErrorCode::Div0), QStringLiteral("1")), TypeMismatchError);
}

TEST(ScoreMath, HeaderDayLabel) {
    EXPECT_EQ(headerDayLabel(Cell::fromText(QStringLiteral("03月16"))), QStringLiteral("03月16"));
    EXPECT_EQ(headerDayLabel(Cell::fromDate(46095)), QStringLiteral("03月14"));
    EXPECT_EQ(headerDayLabel(Cell::fromNumber(46097)), QStringLiteral("03月16"));
    EXPECT_EQ(headerDayLabel(Cell::fromText(QStringLiteral("2026/3/16"))), QStringLiteral("03月16"));
    EXPECT_EQ(headerDayLabel(Cell()), QString());
    EXPECT_EQ(headerDayLabel(Cell::fromText(QStringLiteral("成绩"))), QStringLiteral("成绩"));
}


} // namespace
} // namespace rostrel::scoring
