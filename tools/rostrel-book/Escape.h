// The companion's output keeps one cell to a line and one field between tabs: texts and sheet
// names escape tab, CR, LF and backslash. The tests print what other readers see the same way.
#pragma once

#include <string>

namespace rostrel::book {

inline std::string escapeField(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

} // namespace rostrel::book
