#include "clock/ClockMath.h"

#include "platform/Values.h"

#include <cmath>

namespace rostrel::clock {

double amountSeconds(QStringView amountText, QStringView unit) {
    const double amount = leadingNumber(amountText);
    if (unit == u"分")
        return amount * 60;
    if (unit == u"时")
        return amount * 3600;
    return amount;
}

int runSeconds(double seconds) {
    if (std::isnan(seconds) || seconds <= 0)
        return 0;
    if (seconds >= kMaxRunSeconds)
        return kMaxRunSeconds;
    return static_cast<int>(std::nearbyint(seconds)); // halves to even
}

double dayCount(const QDateTime& t) {
    static const QDate epoch(1899, 12, 30);
    const QTime time = t.time();
    const int secs = time.hour() * 3600 + time.minute() * 60 + time.second();
    return static_cast<double>(epoch.daysTo(t.date())) + static_cast<double>(secs) / kSecondsPerDay;
}

long long secondsBetween(double fromDays, double toDays) {
    return std::llround((toDays - fromDays) * kSecondsPerDay);
}

QString hms(long long seconds) {
    long long s = seconds % kSecondsPerDay;
    if (s < 0)
        s += kSecondsPerDay;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QChar(u'0'))
        .arg(s / 60 % 60, 2, 10, QChar(u'0'))
        .arg(s % 60, 2, 10, QChar(u'0'));
}

Tick tick(long long durationSeconds, long long elapsedSeconds) {
    Tick t;
    // A clock set back during a run must not count backwards past the start.
    t.elapsed = elapsedSeconds < 0 ? 0 : elapsedSeconds;
    t.remaining = durationSeconds - t.elapsed;
    if (t.remaining <= 0) {
        t.remaining = 0;
        t.ended = true;
    }
    return t;
}

bool entryKeyAllowed(int keyAscii) {
    return (keyAscii >= '0' && keyAscii <= '9') || keyAscii == '.' || keyAscii == '-' || keyAscii == 8;
}

QString normalisedEntry(const QString& text) {
    const double v = leadingNumber(text);
    if (!std::isfinite(v))
        return text;
    return numberText(v);
}

std::optional<QString> steppedEntry(QStringView text, int delta) {
    try {
        const int16_t v = readInt16(text);
        return plainText(add16(v, delta));
    } catch (const OverflowError&) {
        return std::nullopt;
    }
}

} // namespace rostrel::clock
