// The clock's arithmetic and the numeric entry rules of the two combo boxes, without widgets.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace rostrel::clock {

inline constexpr int kSecondsPerDay = 86400;
// The longest run the "hh:mm:ss" display can show: 23:59:59.
inline constexpr int kMaxRunSeconds = kSecondsPerDay - 1;

// The amount of the amount box in seconds: the number the text begins with (0 when none),
// times 60 for "分", times 3600 for "时"; any other unit text counts seconds.
double amountSeconds(QStringView amountText, QStringView unit);

// The run length in whole seconds: rounded to the nearest, halves to even (2.5 s -> 2 s),
// then held to 0 ... 23:59:59. A negative amount runs 0 seconds (the run ends at its first
// tick); 24 hours or more run 23:59:59, the longest time the display can show.
int runSeconds(double seconds);

// A date-time as a day count (days since 1899-12-30 plus the fraction of the day), in whole
// seconds: the milliseconds of `t` are dropped, as the clock reads the time in seconds.
double dayCount(const QDateTime& t);

// Whole seconds between two day counts (rounded to the nearest second).
long long secondsBetween(double fromDays, double toDays);

// "hh:mm:ss" of a number of seconds taken as a time of day (24-hour, two digits each).
QString hms(long long seconds);

// What one tick shows and whether it ends the run.
struct Tick {
    bool ended = false;      // remaining <= 0: the run stops at this tick
    long long elapsed = 0;   // seconds since the start (never negative)
    long long remaining = 0; // seconds left (0 once ended)
};
Tick tick(long long durationSeconds, long long elapsedSeconds);

// Numeric entry: true when a typed character may go into the box ("0"-"9", ".", "-", or
// Backspace, character code 8).
bool entryKeyAllowed(int keyAscii);

// The text a box gets when it loses the focus: the number it begins with (0 when none) in its
// shortest decimal form ("007" -> "7", "1.50" -> "1.5", "" -> "0", "-" -> "0"). A number too
// large to write leaves the text as it is.
QString normalisedEntry(const QString& text);

// A step button on a box: its number as a 16-bit integer (halves to even) plus `delta`.
// Nothing (the text stays) when the number or the result lies outside -32768..32767.
std::optional<QString> steppedEntry(QStringView text, int delta);

} // namespace rostrel::clock
