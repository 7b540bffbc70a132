// The clock's arithmetic and the entry rules, without a window.
#include "clock/ClockMath.h"

#include <gtest/gtest.h>

using namespace rostrel::clock;

TEST(ClockMath, AmountInSecondsByUnit) {
    EXPECT_DOUBLE_EQ(amountSeconds(u"1.5", u"分"), 90.0);
    EXPECT_DOUBLE_EQ(amountSeconds(u"2", u"时"), 7200.0);
    EXPECT_DOUBLE_EQ(amountSeconds(u"7", u"秒"), 7.0);
    EXPECT_DOUBLE_EQ(amountSeconds(u"7", u"?"), 7.0); // any other unit counts seconds
    EXPECT_DOUBLE_EQ(amountSeconds(u"", u"分"), 0.0);
    EXPECT_DOUBLE_EQ(amountSeconds(u"abc", u"秒"), 0.0);
    EXPECT_DOUBLE_EQ(amountSeconds(u" 3x", u"秒"), 3.0);
}

TEST(ClockMath, RunLengthRoundsHalvesToEvenAndStaysWithinADay) {
    EXPECT_EQ(runSeconds(2.5), 2);
    EXPECT_EQ(runSeconds(3.5), 4);
    EXPECT_EQ(runSeconds(90.0), 90);
    EXPECT_EQ(runSeconds(0.4), 0);
    EXPECT_EQ(runSeconds(-5), 0); // a negative amount runs no time
    EXPECT_EQ(runSeconds(86398.6), 86399);
    EXPECT_EQ(runSeconds(86400), 86399); // 24 hours: the longest the display shows
    EXPECT_EQ(runSeconds(30 * 3600.0), 86399);
    EXPECT_EQ(runSeconds(1e300 * 1e300), 86399); // infinity
    EXPECT_EQ(runSeconds(std::nan("")), 0);
}

TEST(ClockMath, TimeOfDayText) {
    EXPECT_EQ(hms(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(hms(89), QStringLiteral("00:01:29"));
    EXPECT_EQ(hms(43200), QStringLiteral("12:00:00")); // half a day
    EXPECT_EQ(hms(86399), QStringLiteral("23:59:59"));
    EXPECT_EQ(hms(86400), QStringLiteral("00:00:00"));
}

TEST(ClockMath, DayCountsKeepTheDateAndDropMilliseconds) {
    const QDateTime before(QDate(2026, 3, 16), QTime(23, 59, 58, 900));
    const QDateTime after(QDate(2026, 3, 17), QTime(0, 0, 1, 100));
    EXPECT_EQ(secondsBetween(dayCount(before), dayCount(after)), 3);
    EXPECT_DOUBLE_EQ(dayCount(QDateTime(QDate(1899, 12, 31), QTime(12, 0))), 1.5);
    // Whole seconds over a long span stay exact.
    const QDateTime a(QDate(2026, 1, 1), QTime(8, 0, 0));
    EXPECT_EQ(secondsBetween(dayCount(a), dayCount(a.addSecs(86399))), 86399);
}

TEST(ClockMath, TickEndsWhenNothingRemains) {
    Tick t = tick(5, 4);
    EXPECT_FALSE(t.ended);
    EXPECT_EQ(t.remaining, 1);
    t = tick(5, 5);
    EXPECT_TRUE(t.ended);
    EXPECT_EQ(t.remaining, 0);
    t = tick(5, 9); // a late tick
    EXPECT_TRUE(t.ended);
    EXPECT_EQ(t.remaining, 0);
    t = tick(10, -3); // the system clock was set back
    EXPECT_EQ(t.elapsed, 0);
    EXPECT_EQ(t.remaining, 10);
    EXPECT_TRUE(tick(0, 0).ended);
}

TEST(ClockMath, LeavingABoxWritesItsNumberShortest) {
    EXPECT_EQ(normalisedEntry(QStringLiteral(".")), QStringLiteral("0"));
    EXPECT_EQ(normalisedEntry(QStringLiteral("-.5")), QStringLiteral("-0.5"));
    EXPECT_EQ(normalisedEntry(QStringLiteral("3-4")), QStringLiteral("3"));
    EXPECT_EQ(normalisedEntry(QStringLiteral("-0")), QStringLiteral("0"));
    EXPECT_EQ(normalisedEntry(QStringLiteral("1e999")), QStringLiteral("1e999")); // too large to write
}
