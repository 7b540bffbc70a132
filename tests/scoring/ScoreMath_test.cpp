// Score arithmetic and the day label of a score column.
#include "scoring/ScoreMath.h"

#include <gtest/gtest.h>
#include <map>

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
    EXPECT_THROW(addPoints(Cell::fromError(workbook::CellValue::ErrorCode::Div0), QStringLiteral("1")),
                 TypeMismatchError);
}

TEST(ScoreMath, StudentRowFollowsColumnA) {
    // Rows 3..7 hold 1, 2, 4, "S5", 2023001.
    const std::map<int, Cell> numbers{{3, Cell::fromNumber(1)},
                                      {4, Cell::fromNumber(2)},
                                      {5, Cell::fromNumber(4)},
                                      {6, Cell::fromText(QStringLiteral("S5"))},
                                      {7, Cell::fromNumber(2023001)}};
    int reads = 0;
    const NumberReader at = [&](int row) {
        ++reads;
        const auto it = numbers.find(row);
        return it == numbers.end() ? Cell() : it->second;
    };
    EXPECT_EQ(studentRow(QStringLiteral("2"), 5, at), 4);
    EXPECT_EQ(reads, 1); // number + 2 holds it: no search
    EXPECT_EQ(studentRow(QStringLiteral("4"), 5, at), 5);
    EXPECT_EQ(studentRow(QStringLiteral("S5"), 5, at), 6);
    EXPECT_EQ(studentRow(QStringLiteral("2023001"), 5, at), 7);
    EXPECT_EQ(studentRow(QStringLiteral("3"), 5, at), 0);       // in no row
    EXPECT_EQ(studentRow(QStringLiteral("2023001"), 4, at), 0); // beyond the roster
    EXPECT_EQ(studentRow(QString(), 5, at), 0);
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
