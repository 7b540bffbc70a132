#include "platform/Values.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace rostrel {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Length of the number at the start of `text` (after `start`), 0 when there is none.
qsizetype scanNumber(QStringView text, qsizetype start) {
    qsizetype i = start;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    // Exponent only when at least one digit follows it.
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    return i - start;
}

double parseAscii(QStringView digits) {
    const std::string s = digits.toString().toStdString();
    return std::strtod(s.c_str(), nullptr);
}

int16_t checked(long long v) {
    if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max())
        throw OverflowError();
    return static_cast<int16_t>(v);
}

} // namespace

double leadingNumber(QStringView text, bool* found) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    const qsizetype len = scanNumber(text, i);
    if (found)
        *found = len > 0;
    if (len == 0)
        return 0.0;
    const double v = parseAscii(text.mid(i, len));
    return v == 0.0 ? 0.0 : v; // no negative zero
}

bool isNumber(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    const qsizetype len = scanNumber(text, i);
    if (len == 0)
        return false;
    qsizetype j = i + len;
    while (j < text.size() && isBlank(text[j]))
        ++j;
    return j == text.size() && std::isfinite(leadingNumber(text));
}

int16_t toInt16(double value) {
    if (!std::isfinite(value))
        throw OverflowError();
    const double r = std::nearbyint(value); // default rounding mode: halves to even
    if (r < -32768.0 || r > 32767.0)
        throw OverflowError();
    return static_cast<int16_t>(r);
}

int16_t readInt16(QStringView text) {
    return toInt16(leadingNumber(text));
}

int16_t add16(int a, int b) {
    return checked(static_cast<long long>(a) + b);
}
int16_t sub16(int a, int b) {
    return checked(static_cast<long long>(a) - b);
}
int16_t mul16(int a, int b) {
    return checked(static_cast<long long>(a) * b);
}

QString plainText(long long value) {
    return QString::number(value);
}

QString numberText(double value) {
    if (value == 0.0 || !std::isfinite(value))
        return value == 0.0 ? QStringLiteral("0") : QString::number(value);
    const double mag = std::fabs(value);
    if (mag >= 1e15 || mag < 1e-15) {
        // Exponent form: mantissa at up to 15 digits, "E+20"/"E-20".
        QString s = QString::number(value, 'E', 14);
        const qsizetype e = s.indexOf(u'E');
        QString mant = s.left(e);
        QString exp = s.mid(e + 1);
        if (mant.contains(u'.')) {
            while (mant.endsWith(u'0'))
                mant.chop(1);
            if (mant.endsWith(u'.'))
                mant.chop(1);
        }
        const QChar sign = exp[0];
        QString digits = exp.mid(1);
        while (digits.size() > 2 && digits.startsWith(u'0'))
            digits.remove(0, 1);
        return mant + u'E' + sign + digits;
    }
    // 15 significant digits, then the shortest plain form of that.
    const int intDigits = static_cast<int>(std::floor(std::log10(mag))) + 1;
    const int decimals = std::max(0, 15 - intDigits);
    QString s = QString::number(value, 'f', decimals);
    if (s.contains(u'.')) {
        while (s.endsWith(u'0'))
            s.chop(1);
        if (s.endsWith(u'.'))
            s.chop(1);
    }
    if (s == u"-0")
        s = QStringLiteral("0");
    return s;
}

namespace {

QDateTime dateTimeOfSerial(double serial) {
    // 1900 date system as the spreadsheet counts it: serial 1 is 1900-01-01, and the
    // phantom 1900-02-29 (serial 60) makes day 0 fall on 1899-12-30 for serials > 60.
    const QDate base(1899, 12, 30);
    double days = std::floor(serial);
    double frac = serial - days;
    if (serial < 61 && serial >= 1)
        days += 1; // before the phantom leap day
    const QDate d = base.addDays(static_cast<qint64>(days));
    const int secs = static_cast<int>(std::llround(frac * 86400.0));
    return QDateTime(d, QTime(0, 0)).addSecs(secs);
}

} // namespace

QString defaultText(const Cell& cell) {
    switch (cell.kind) {
    case Cell::Kind::Empty:
        return QString();
    case Cell::Kind::Number:
        return numberText(cell.number);
    case Cell::Kind::Text:
        return cell.text;
    case Cell::Kind::Bool:
        return cell.boolean ? QStringLiteral("True") : QStringLiteral("False");
    case Cell::Kind::Date: {
        if (!std::isfinite(cell.number) || cell.number < 0 || cell.number > 2958465.0)
            return numberText(cell.number);
        const QDateTime dt = dateTimeOfSerial(cell.number);
        const bool hasTime = dt.time() != QTime(0, 0);
        const bool hasDate = std::floor(cell.number) != 0;
        if (!hasDate)
            return dt.time().toString(QStringLiteral("H:mm:ss"));
        QString s = dt.date().toString(QStringLiteral("yyyy/M/d"));
        if (hasTime)
            s += u' ' + dt.time().toString(QStringLiteral("H:mm:ss"));
        return s;
    }
    case Cell::Kind::Error:
        break;
    }
    throw TypeMismatchError();
}

double cellNumber(const Cell& cell) {
    if (cell.kind == Cell::Kind::Number)
        return cell.number;
    return leadingNumber(defaultText(cell));
}

QString monthDayLabel(double dateSerial) {
    return dateTimeOfSerial(dateSerial).date().toString(QStringLiteral("MM月dd"));
}

} // namespace rostrel
