// The value texts of an OpenDocument spreadsheet: dates and durations read as serial day
// numbers and dates written back, and numbers written so that they read back exactly.
#include "platform/workbook/OdsContent.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace rostrel::workbook::ods {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

const long long kEpoch = daysFromCivil(1899, 12, 30);

// Reads digits at s[i...]; at least `min` of them.
bool digits(const std::string& s, size_t& i, long long& v, size_t min, size_t max = 18) {
    size_t n = 0;
    v = 0;
    while (i < s.size() && n < max && s[i] >= '0' && s[i] <= '9') {
        v = v * 10 + (s[i] - '0');
        ++i;
        ++n;
    }
    return n >= min;
}

bool decimal(const std::string& s, size_t& i, double& v) {
    const char* b = s.data() + i;
    const auto r = std::from_chars(b, s.data() + s.size(), v, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr == b)
        return false;
    i += static_cast<size_t>(r.ptr - b);
    return true;
}

} // namespace

bool parseDate(const std::string& s, double& serial) {
    size_t i = 0;
    const bool negative = i < s.size() && s[i] == '-';
    i += negative;
    long long y = 0, m = 0, d = 0;
    if (!digits(s, i, y, 4, 9) || i >= s.size() || s[i++] != '-' || !digits(s, i, m, 2, 2) || i >= s.size() ||
        s[i++] != '-' || !digits(s, i, d, 2, 2) || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    double frac = 0;
    if (i < s.size() && s[i] == 'T') {
        ++i;
        long long hh = 0, mm = 0;
        double ss = 0;
        if (!digits(s, i, hh, 2, 2) || i >= s.size() || s[i++] != ':' || !digits(s, i, mm, 2, 2) || i >= s.size() ||
            s[i++] != ':' || !decimal(s, i, ss) || hh > 24 || mm > 59 || ss >= 61)
            return false;
        frac = (static_cast<double>(hh) * 3600 + static_cast<double>(mm) * 60 + ss) / 86400.0;
    }
    // A time zone, when given, is ignored: the sheet shows the local wall time.
    if (i < s.size() && s[i] != 'Z' && s[i] != '+' && s[i] != '-')
        return false;
    serial = static_cast<double>(daysFromCivil(negative ? -y : y, static_cast<unsigned>(m), static_cast<unsigned>(d)) -
                                 kEpoch) +
             frac;
    return true;
}

bool parseDuration(const std::string& s, double& days) {
    size_t i = 0;
    const bool negative = i < s.size() && s[i] == '-';
    i += negative;
    if (i >= s.size() || s[i++] != 'P')
        return false;
    double total = 0;
    bool inTime = false, any = false;
    while (i < s.size()) {
        if (s[i] == 'T' && !inTime) {
            inTime = true;
            ++i;
            continue;
        }
        double v = 0;
        if (!decimal(s, i, v) || i >= s.size())
            return false;
        const char unit = s[i++];
        if (!inTime && unit == 'D')
            total += v;
        else if (inTime && unit == 'H')
            total += v / 24;
        else if (inTime && unit == 'M')
            total += v / 1440;
        else if (inTime && unit == 'S')
            total += v / 86400;
        else
            return false;
        any = true;
    }
    days = negative ? -total : total;
    return any;
}

std::string formatDate(double serial) {
    if (!std::isfinite(serial))
        return {};
    double whole = std::floor(serial);
    long long ms = std::llround((serial - whole) * 86400000.0);
    if (ms >= 86400000) {
        whole += 1;
        ms -= 86400000;
    }
    if (whole < -1e7 || whole > 1e7)
        return {};
    long long y;
    unsigned m, d;
    civilFromDays(static_cast<long long>(whole) + kEpoch, y, m, d);
    if (y < 0 || y > 9999)
        return {};
    char buf[48];
    int n = std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", y, m, d);
    if (ms) {
        const long long secs = ms / 1000, milli = ms % 1000;
        n += std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), "T%02lld:%02lld:%02lld", secs / 3600,
                           secs / 60 % 60, secs % 60);
        if (milli)
            std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), ".%03lld", milli);
    }
    return buf;
}

} // namespace rostrel::workbook::ods
