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

void Lesson::StartOrStopClock() {
    if (!clockRunning_) {
        // Start: the run length from the amount and the unit, counted from now.
        const QString unit = clockUnit_ >= 0 && clockUnit_ < 3 ? kUnits[clockUnit_] : QString();
        const double seconds = clock::amountSeconds(entryText_[1], unit);
        clockDuration_ = static_cast<double>(clock::runSeconds(seconds)) / clock::kSecondsPerDay;
        clockStart_ = nowInDays(platform_);
        clockTicking_ = true;
        clockRunning_ = true;
    } else {
        clockTicking_ = false;
        clockRunning_ = false;
    }
    notify(ClockPart);
    PlayWave(QStringLiteral("sound\\start.wav"));
}

void Lesson::ClockTick() {
    if (!clockTicking_)
        return; // a tick that was already due when the clock stopped
    const long long duration = std::llround(clockDuration_ * clock::kSecondsPerDay);
    const clock::Tick t = clock::tick(duration, clock::secondsBetween(clockStart_, nowInDays(platform_)));
    if (t.ended) {
        clockTicking_ = false;
        if (clockRunning_)
            StartOrStopClock(); // the stop, with its cue
        PlayWave(QStringLiteral("sound\\over.wav"));
    }
    if (clockMode_ == 0)
        clockDisplay_ = clock::hms(t.ended ? duration : t.elapsed);
    else if (clockMode_ == 1)
        clockDisplay_ = clock::hms(t.remaining);
    notify(ClockPart);
}

void Lesson::SetClockIdle() {
    clockRunning_ = false;
    notify(ClockPart);
}

void Lesson::ResetClockDisplay() {
    clockDisplay_ = QStringLiteral("00:00:00");
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
