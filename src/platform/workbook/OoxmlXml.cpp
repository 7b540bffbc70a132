#include "platform/workbook/OoxmlXml.h"

#include "platform/workbook/Utf8.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace rostrel::workbook::ooxml {

const char* relAttr(const char** atts, std::string_view local) {
    for (; *atts; atts += 2) {
        // "uri|local|prefix"
        const std::string_view name(atts[0]);
        const size_t a = name.find('|');
        if (a == std::string_view::npos)
            continue;
        const size_t b = name.find('|', a + 1);
        const std::string_view uri = name.substr(0, a);
        if (name.substr(a + 1, b == std::string_view::npos ? std::string_view::npos : b - a - 1) == local &&
            (uri == "http://schemas.openxmlformats.org/officeDocument/2006/relationships" ||
             uri == "http://purl.oclc.org/ooxml/officeDocument/relationships"))
            return atts[1];
    }
    return nullptr;
}

int parseColumn(std::string_view letters) {
    if (letters.empty() || letters.size() > 3)
        return 0;
    int col = 0;
    for (char c : letters) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            return 0;
        col = col * 26 + (c - 'A' + 1);
    }
    return col;
}

// One pass, no allocation: this runs for every cell of a sheet.
bool parseCellRef(std::string_view ref, int& row, int& column) {
    const char* p = ref.data();
    const char* const end = p + ref.size();
    if (p < end && *p == '$')
        ++p;
    int col = 0, letters = 0;
    for (; p < end; ++p) {
        char c = *p;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            break;
        if (++letters > 3)
            return false;
        col = col * 26 + (c - 'A' + 1);
    }
    if (p < end && *p == '$')
        ++p;
    if (letters == 0 || p == end || end - p > 7)
        return false;
    int r = 0;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        r = r * 10 + (*p - '0');
    }
    if (r == 0)
        return false;
    row = r;
    column = col;
    return true;
}

std::string cellRef(int row, int column) {
    std::string letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

bool parseNumber(std::string_view s, double& out) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    // Whole numbers (most cells of a roll book) are exact without the general conversion.
    const bool negative = s.front() == '-';
    const std::string_view digits = s.substr(negative ? 1 : 0);
    if (!digits.empty() && digits.size() <= 15) {
        uint64_t v = 0;
        size_t i = 0;
        for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i)
            v = v * 10 + static_cast<uint64_t>(digits[i] - '0');
        if (i == digits.size()) {
            out = negative ? -static_cast<double>(v) : static_cast<double>(v);
            return true;
        }
    }
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parseUnsigned(const char* s, uint32_t& out) {
    if (!s || *s == '\0')
        return false;
    uint64_t v = 0;
    for (const char* p = s; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > UINT32_MAX)
            return false;
    }
    out = static_cast<uint32_t>(v);
    return true;
}

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
bool isEscape(std::string_view s, size_t i, uint32_t& code) {
    if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_')
        return false;
    code = 0;
    for (size_t k = i + 2; k < i + 6; ++k) {
        const int h = hexDigit(s[k]);
        if (h < 0)
            return false;
        code = code * 16 + static_cast<uint32_t>(h);
    }
    return true;
}
} // namespace

std::string decodeEscapes(std::string_view s) {
    if (s.find("_x") == std::string_view::npos)
        return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        uint32_t code;
        if (isEscape(s, i, code)) {
            i += 7;
            // A character beyond the 16-bit range comes as its two surrogates, each escaped.
            uint32_t low;
            if (code >= 0xD800 && code <= 0xDBFF && isEscape(s, i, low) && low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i += 7;
            }
            appendUtf8(out, code);
        } else {
            out.push_back(s[i++]);
        }
    }
    return out;
}

std::string encodeEscapes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        uint32_t code;
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "_x%04X_", c);
            out += buf;
        } else if (isEscape(s, i, code)) {
            out += "_x005F_"; // the underscore of a literal "_xHHHH_" in the text
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string xmlEscape(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 8);
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

namespace {
// Days from 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
bool digits(std::string_view s, size_t at, size_t n, int& out) {
    if (at + n > s.size())
        return false;
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}
} // namespace

bool parseIsoDate(std::string_view s, bool date1904, double& serial) {
    int y, mo, d, h = 0, mi = 0, sec = 0;
    double frac = 0;
    size_t i = 0;
    if (digits(s, 0, 4, y) && s.size() >= 10 && s[4] == '-' && s[7] == '-' && digits(s, 5, 2, mo) &&
        digits(s, 8, 2, d)) {
        i = 10;
        if (i < s.size() && s[i] == 'T')
            ++i;
    } else {
        y = date1904 ? 1904 : 1899;
        mo = date1904 ? 1 : 12;
        d = date1904 ? 1 : 30;
    }
    if (i < s.size() && s[i] != 'Z') {
        if (!digits(s, i, 2, h) || i + 5 > s.size() || s[i + 2] != ':' || !digits(s, i + 3, 2, mi))
            return false;
        i += 5;
        if (i < s.size() && s[i] == ':') {
            if (!digits(s, i + 1, 2, sec))
                return false;
            i += 3;
            if (i < s.size() && s[i] == '.') {
                double scale = 0.1;
                for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, scale /= 10)
                    frac += (s[i] - '0') * scale;
            }
        }
    }
    if (i < s.size() && s[i] == 'Z')
        ++i;
    if (i != s.size() || mo < 1 || mo > 12 || d < 1 || d > 31)
        return false;
    const int64_t epoch = date1904 ? daysFromCivil(1904, 1, 1) : daysFromCivil(1899, 12, 30);
    double days = static_cast<double>(daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - epoch);
    // The 1900 system counts a 29 February 1900 that never was: dates before March 1900 are one less.
    if (!date1904 && days < 61 && days > 0)
        days -= 1;
    serial = days + (h * 3600 + mi * 60 + sec + frac) / 86400.0;
    return true;
}

FileBytes applySplices(const FileBytes& in, std::vector<Splice> splices) {
    std::stable_sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) { return a.pos < b.pos; });
    FileBytes out;
    size_t extra = 0;
    for (const Splice& s : splices)
        extra += s.text.size();
    out.reserve(in.size() + extra);
    uint64_t at = 0;
    for (const Splice& s : splices) {
        if (s.pos < at || s.pos + s.len > in.size())
            throw WorkbookError(WorkbookError::Code::Unsupported, "overlapping changes to one part");
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(at),
                   in.begin() + static_cast<std::ptrdiff_t>(s.pos));
        out.insert(out.end(), s.text.begin(), s.text.end());
        at = s.pos + s.len;
    }
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(at), in.end());
    return out;
}

} // namespace rostrel::workbook::ooxml
