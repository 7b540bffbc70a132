#include "clock/ClassroomClock.h"

#include "clock/ClockMath.h"

#include <algorithm>

namespace rostrel::clock {

void ClassroomClock::start(int durationSeconds, qint64 nowMs) {
    state_ = State::Running;
    duration_ = std::clamp(durationSeconds, 0, kMaxRunSeconds);
    banked_ = 0;
    resumedAt_ = nowMs;
    endedAt_ = 0;
}

void ClassroomClock::pause(qint64 nowMs) {
    if (state_ != State::Running)
        return;
    banked_ = elapsedMs(nowMs);
    state_ = State::Paused;
}

void ClassroomClock::resume(qint64 nowMs) {
    if (state_ != State::Paused)
        return;
    resumedAt_ = nowMs;
    state_ = State::Running;
}

void ClassroomClock::reset() {
    state_ = State::Idle;
    banked_ = 0;
}

qint64 ClassroomClock::elapsedMs(qint64 nowMs) const {
    switch (state_) {
    case State::Running:
        // A clock set back (time of day changed) never makes the run go backwards.
        return banked_ + std::max<qint64>(0, nowMs - resumedAt_);
    case State::Paused:
        return banked_;
    case State::Ended:
        return qint64(duration_) * 1000;
    case State::Idle:
        break;
    }
    return 0;
}

bool ClassroomClock::advance(qint64 nowMs) {
    if (state_ != State::Running || elapsedMs(nowMs) < qint64(duration_) * 1000)
        return false;
    state_ = State::Ended;
    endedAt_ = nowMs;
    return true;
}

qint64 ClassroomClock::elapsedSeconds(qint64 nowMs) const {
    return std::min<qint64>(elapsedMs(nowMs) / 1000, duration_);
}

qint64 ClassroomClock::remainingSeconds(qint64 nowMs) const {
    return duration_ - elapsedSeconds(nowMs);
}

bool ClassroomClock::flashing(qint64 nowMs) const {
    return state_ == State::Ended && nowMs - endedAt_ < kFlashMs;
}

int ClassroomClock::warningSeconds(int durationSeconds) {
    return durationSeconds > 60 ? 60 : 10;
}

QString ClassroomClock::format(qint64 seconds, int durationSeconds) {
    const QString full = hms(seconds);
    return durationSeconds < 3600 ? full.mid(3) : full;
}

ClockFace ClassroomClock::face(qint64 nowMs) const {
    switch (state_) {
    case State::Idle:
        return {kIdleFace, ClockTone::Normal, true};
    case State::Ended: {
        const bool lit = !flashing(nowMs) || ((nowMs - endedAt_) / kFlashHalfPeriodMs) % 2 == 0;
        return {kTimeUpFace, ClockTone::Ended, lit};
    }
    case State::Running:
    case State::Paused:
        break;
    }
    const qint64 remaining = remainingSeconds(nowMs);
    const qint64 shown = mode_ == ClockMode::CountDown ? remaining : elapsedSeconds(nowMs);
    const ClockTone tone = remaining <= warningSeconds(duration_) ? ClockTone::Warning : ClockTone::Normal;
    return {format(shown, duration_), tone, true};
}

} // namespace rostrel::clock
