// The classroom clock as the class sees it: what the time display shows at any moment of a
// run, with pause and resume, a warning tone near the end and a flashing "时间到" at the end.
// Times are milliseconds on any steady count (the window passes the platform's time of day
// as milliseconds since the epoch), so a run can cross midnight.
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

namespace rostrel::clock {

enum class ClockMode { CountUp, CountDown };

enum class ClockTone { Normal, Warning, Ended };

// What the time display shows.
struct ClockFace {
    QString text;
    ClockTone tone = ClockTone::Normal;
    bool lit = true; // false in the dark half of the end flash
    friend bool operator==(const ClockFace&, const ClockFace&) = default;
};

inline const QString kIdleFace = QStringLiteral("00:00:00");
inline const QString kTimeUpFace = QStringLiteral("时间到");

// The one-click countdowns, in minutes.
inline constexpr std::array<int, 4> kPresetMinutes = {1, 3, 5, 10};

class ClassroomClock {
public:
    enum class State { Idle, Running, Paused, Ended };

    static constexpr qint64 kFlashHalfPeriodMs = 500;
    static constexpr qint64 kFlashMs = 6000; // then "时间到" stays, steady

    // A new run of `durationSeconds` (held to 0 ... 23:59:59) from `nowMs`. A countdown shows
    // its set time at once, a count-up 0.
    void start(int durationSeconds, qint64 nowMs);
    void pause(qint64 nowMs);  // running only
    void resume(qint64 nowMs); // paused only
    void reset();              // idle, showing kIdleFace
    // A switch during a run changes what is shown, not when the run ends.
    void setMode(ClockMode mode) { mode_ = mode; }
    ClockMode mode() const { return mode_; }

    // Brings the run up to `nowMs`; true when it reached its set time at this call.
    bool advance(qint64 nowMs);

    State state() const { return state_; }
    int durationSeconds() const { return duration_; }
    qint64 elapsedSeconds(qint64 nowMs) const;
    qint64 remainingSeconds(qint64 nowMs) const;
    ClockFace face(qint64 nowMs) const;
    // The end flash is under way: the display needs redrawing every half period.
    bool flashing(qint64 nowMs) const;

    // The warning starts this many seconds before the end: the last minute, or the last ten
    // seconds of a run of a minute or less (so a one-minute run does not start in warning).
    static int warningSeconds(int durationSeconds);
    // "mm:ss" for runs under an hour, "hh:mm:ss" for longer ones.
    static QString format(qint64 seconds, int durationSeconds);

private:
    qint64 elapsedMs(qint64 nowMs) const;

    State state_ = State::Idle;
    ClockMode mode_ = ClockMode::CountUp;
    int duration_ = 0;
    qint64 banked_ = 0;    // ms run before the last resume
    qint64 resumedAt_ = 0; // start or last resume
    qint64 endedAt_ = 0;
};

} // namespace rostrel::clock
