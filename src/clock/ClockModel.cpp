// The lesson's clock (count up or down from an amount and a unit) and the two numeric entries
// it shares its rules with: the clock amount and the score points.
#include "clock/ClockMath.h"
#include "lesson/Lesson.h"

#include <cmath>

namespace rostrel {

namespace {

const QString kUnits[] = {QStringLiteral("秒"), QStringLiteral("分"), QStringLiteral("时")};

double nowInDays(const Platform& platform) {
    return clock::dayCount(platform.clock ? platform.clock->now() : QDateTime::currentDateTime());
}

} // namespace

void Lesson::SetClockUnit(int unit) {
    clockUnit_ = unit;
    notify(ClockPart);
}

void Lesson::SetClockMode(int mode) {
    clockMode_ = mode;
    notify(ClockPart);
}

qint64 Lesson::clockNowMs() const {
    return (platform_.clock ? platform_.clock->now() : QDateTime::currentDateTime()).toMSecsSinceEpoch();
}

void Lesson::showClockFace() {
    clockFace_ = clock_.face(clockNowMs());
    clockDisplay_ = clockFace_.text;
}

bool Lesson::clockFlashing() const {
    return clock_.flashing(clockNowMs());
}

void Lesson::RefreshClockFace() {
    const clock::ClockFace before = clockFace_;
    clockFace_ = clock_.face(clockNowMs());
    if (!(clockFace_ == before))
        notify(ClockPart);
}

void Lesson::StartClockRun() {
    // The run length from the amount and the unit, counted from now; a countdown shows its
    // set time at once.
    const QString unit = clockUnit_ >= 0 && clockUnit_ < 3 ? kUnits[clockUnit_] : QString();
    const double seconds = clock::amountSeconds(entryText_[1], unit);
    const int run = clock::runSeconds(seconds);
    runAmount_ = entryText_[1];
    runUnit_ = clockUnit_;
    clockDuration_ = static_cast<double>(run) / clock::kSecondsPerDay;
    clockStart_ = nowInDays(platform_);
    clock_.setMode(clockMode_ == 1 ? clock::ClockMode::CountDown : clock::ClockMode::CountUp);
    clock_.start(run, clockNowMs());
    clockTicking_ = true;
    clockRunning_ = true;
    showClockFace();
    notify(ClockPart);
    PlayWave(QStringLiteral("sound\\start.wav"));
}

void Lesson::StartOrStopClock() {
    switch (clock_.state()) {
    case clock::ClassroomClock::State::Running:
        // Pause: the time shown stays until the run goes on.
        clock_.pause(clockNowMs());
        clockTicking_ = false;
        clockRunning_ = false;
        break;
    case clock::ClassroomClock::State::Paused:
        // A new amount or unit set while paused: a new run, not the rest of the old one.
        if (entryText_[1] != runAmount_ || clockUnit_ != runUnit_) {
            StartClockRun();
            return;
        }
        clock_.resume(clockNowMs());
        clockTicking_ = true;
        clockRunning_ = true;
        break;
    case clock::ClassroomClock::State::Idle:
    case clock::ClassroomClock::State::Ended:
        StartClockRun();
        return;
    }
    showClockFace();
    notify(ClockPart);
    PlayWave(QStringLiteral("sound\\start.wav"));
}

void Lesson::ClockTick() {
    if (!clockTicking_)
        return; // a tick that was already due when the clock stopped
    clock_.setMode(clockMode_ == 1 ? clock::ClockMode::CountDown : clock::ClockMode::CountUp);
    if (clock_.advance(clockNowMs())) {
        // The end: the stop cue, at once replaced by the end cue; "时间到" flashes.
        clockTicking_ = false;
        clockRunning_ = false;
        PlayWave(QStringLiteral("sound\\start.wav"));
        PlayWave(QStringLiteral("sound\\over.wav"));
    }
    showClockFace();
    notify(ClockPart);
}

void Lesson::SetClockIdle() {
    clockRunning_ = false;
    notify(ClockPart);
}

void Lesson::ResetClockDisplay() {
    clock_.reset();
    clockDisplay_ = clock::kIdleFace;
    clockFace_ = {clock::kIdleFace};
    clockTicking_ = false;
    notify(ClockPart);
}

void Lesson::SetEntryText(int box, const QString& text) {
    if (entryText_.at(box) == text)
        return;
    entryText_.at(box) = text;
    notify(box == 0 ? ScoreEntryPart : ClockPart);
}

void Lesson::NormaliseEntry(int box) {
    SetEntryText(box, clock::normalisedEntry(entryText_.at(box)));
}

void Lesson::StepEntry(int button) {
    const int box = button > 1 ? 1 : 0;
    if (const auto text = clock::steppedEntry(entryText_.at(box), button % 2 == 0 ? 1 : -1))
        SetEntryText(box, *text);
}

} // namespace rostrel
