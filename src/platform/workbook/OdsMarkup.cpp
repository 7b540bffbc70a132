// Escaping text for content.xml, and cutting it to the characters XML 1.0 can carry.
#include "platform/workbook/OdsMarkup.h"

#include <cstdint>

namespace rostrel::workbook::ods::detail {

std::string escape(std::string_view s, bool attribute) {
    std::string out;
    out.reserve(s.size());
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
            if (attribute) {
                out += "&quot;";
                break;
            }
            [[fallthrough]];
        default:
            out.push_back(c);
        }
    }
    return out;
}

// UTF-8 with every character XML 1.0 can carry; anything else is dropped or, for broken
// sequences, replaced by U+FFFD.
std::string xmlSafe(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            if (c >= 0x20 || c == '\t' || c == '\n')
                out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        if (c > 0xF4)
            len = 0;
        uint32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
        bool ok = len > 0 && i + static_cast<size_t>(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            ok = (p[i + static_cast<size_t>(k)] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + static_cast<size_t>(k)] & 0x3F);
        }
        ok = ok && !(len == 3 && cp < 0x800) && !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
             !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!ok) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (cp != 0xFFFE && cp != 0xFFFF)
            out.append(s, i, static_cast<size_t>(len));
        i += static_cast<size_t>(len);
    }
    return out;
}

} // namespace rostrel::workbook::ods::detail
