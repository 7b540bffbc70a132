// The classroom clock's display: set time at once, mm:ss, the warning minute, the end flash,
// pause and resume.
#include "clock/ClassroomClock.h"

#include <gtest/gtest.h>

using namespace rostrel::clock;

namespace {
constexpr qint64 t0 = 1'000'000; // any steady time base
qint64 at(double seconds) {
    return t0 + static_cast<qint64>(seconds * 1000);
}
} // namespace

TEST(ClassroomClock, CountdownShowsItsSetTimeTheMomentItStarts) {
    ClassroomClock c;
    EXPECT_EQ(c.face(t0).text, kIdleFace);
    c.setMode(ClockMode::CountDown);
    c.start(300, t0);
    EXPECT_EQ(c.face(t0).text, QStringLiteral("05:00"));
    EXPECT_EQ(c.face(at(0.99)).text, QStringLiteral("05:00"));
    EXPECT_EQ(c.face(at(1)).text, QStringLiteral("04:59"));
    c.setMode(ClockMode::CountUp); // the display switches, the run goes on
    EXPECT_EQ(c.face(at(61)).text, QStringLiteral("01:01"));
}

TEST(ClassroomClock, HoursAppearOnlyForRunsOfAnHourOrMore) {
    EXPECT_EQ(ClassroomClock::format(3599, 3599), QStringLiteral("59:59"));
    EXPECT_EQ(ClassroomClock::format(89, 90), QStringLiteral("01:29"));
    EXPECT_EQ(ClassroomClock::format(3599, 3600), QStringLiteral("00:59:59"));
    ClassroomClock c;
    c.setMode(ClockMode::CountDown);
    c.start(2 * 3600, t0);
    EXPECT_EQ(c.face(t0).text, QStringLiteral("02:00:00"));
}

TEST(ClassroomClock, WarningToneInTheLastMinute) {
    ClassroomClock c;
    c.setMode(ClockMode::CountDown);
    c.start(180, t0);
    EXPECT_EQ(c.face(at(119)).tone, ClockTone::Normal);
    EXPECT_EQ(c.face(at(120)).tone, ClockTone::Warning);
    c.setMode(ClockMode::CountUp); // the end is the same in both modes
    EXPECT_EQ(c.face(at(120)).tone, ClockTone::Warning);
    // A one-minute run warns in its last ten seconds only.
    c.start(60, t0);
    EXPECT_EQ(c.face(at(49)).tone, ClockTone::Normal);
    EXPECT_EQ(c.face(at(50)).tone, ClockTone::Warning);
}

TEST(ClassroomClock, EndFlashesTimeUpThenStaysSteady) {
    ClassroomClock c;
    c.setMode(ClockMode::CountDown);
    c.start(60, t0);
    EXPECT_FALSE(c.advance(at(59.9)));
    EXPECT_TRUE(c.advance(at(60.2)));
    EXPECT_FALSE(c.advance(at(61))); // ends once
    EXPECT_EQ(c.state(), ClassroomClock::State::Ended);
    const qint64 end = at(60.2);
    EXPECT_EQ(c.face(end), (ClockFace{kTimeUpFace, ClockTone::Ended, true}));
    EXPECT_FALSE(c.face(end + ClassroomClock::kFlashHalfPeriodMs).lit);
    EXPECT_TRUE(c.face(end + 2 * ClassroomClock::kFlashHalfPeriodMs).lit);
    EXPECT_TRUE(c.flashing(end + ClassroomClock::kFlashMs - 1));
    EXPECT_FALSE(c.flashing(end + ClassroomClock::kFlashMs));
    EXPECT_TRUE(c.face(end + ClassroomClock::kFlashMs + ClassroomClock::kFlashHalfPeriodMs).lit);
    c.reset();
    EXPECT_EQ(c.face(end).text, kIdleFace);
}

TEST(ClassroomClock, PauseHoldsTheTimeAndResumeGoesOn) {
    ClassroomClock c;
    c.setMode(ClockMode::CountDown);
    c.start(10, t0);
    c.pause(at(3.5));
    EXPECT_EQ(c.state(), ClassroomClock::State::Paused);
    EXPECT_EQ(c.face(at(100)).text, QStringLiteral("00:07"));
    EXPECT_FALSE(c.advance(at(100))); // a paused run never ends
    c.resume(at(100));
    EXPECT_EQ(c.face(at(100.5)).text, QStringLiteral("00:06"));
    EXPECT_FALSE(c.advance(at(106.4)));
    EXPECT_TRUE(c.advance(at(106.5)));
    c.resume(at(200)); // nothing to resume after the end
    EXPECT_EQ(c.state(), ClassroomClock::State::Ended);
}

TEST(ClassroomClock, ZeroRunEndsAtOnceAndTimeGoingBackDoesNotRewind) {
    ClassroomClock c;
    c.start(0, t0);
    EXPECT_TRUE(c.advance(t0));
    c.setMode(ClockMode::CountUp);
    c.start(30, t0);
    EXPECT_EQ(c.face(at(-5)).text, QStringLiteral("00:00"));
    c.start(999999, t0); // held to the longest run the display can show
    EXPECT_EQ(c.durationSeconds(), 86399);
}
