// Which number formats show a date or time: the built-in ones by id, and format strings. The
// .xlsx styles use these too.
#include "platform/workbook/Biff.h"

#include <string_view>

namespace rostrel::workbook::xls {

bool isBuiltinDateFormat(uint16_t f) {
    return (f >= 14 && f <= 22) || (f >= 27 && f <= 36) || (f >= 45 && f <= 47) || (f >= 50 && f <= 58) ||
           (f >= 71 && f <= 81);
}

// A format shows a date when, outside quoted text, escaped characters and [brackets], it has
// date or time codes (y m d h s) and no digit placeholders (0 # ?), or more date codes than
// digit placeholders.
bool isDateFormatString(const std::string& fmt) {
    std::string s;
    int state = 0;
    for (char c : fmt) {
        if (state == 0) {
            if (c == '"')
                state = 1;
            else if (c == '\\' || c == '_' || c == '*')
                state = 2;
            else if (std::string_view("$-+/(): ").find(c) == std::string_view::npos)
                s.push_back(c);
        } else if (state == 1) {
            if (c == '"')
                state = 0;
        } else {
            state = 0;
        }
    }
    std::string t;
    int depth = 0;
    for (char c : s) {
        if (c == '[')
            ++depth;
        else if (c == ']' && depth > 0)
            --depth;
        else if (depth == 0)
            t.push_back(c);
    }
    // A "[" never closed leaves its text out too, as does a reader that strips brackets.
    if (t == "0.00E+00" || t == "##0.0E+0" || t == "General" || t == "GENERAL" || t == "general" || t == "@")
        return false;
    int dates = 0, nums = 0;
    for (char c : t) {
        if (std::string_view("ymdhsYMDHS").find(c) != std::string_view::npos)
            dates += 5;
        else if (c == '0' || c == '#' || c == '?')
            nums += 5;
    }
    if (dates && !nums)
        return true;
    if (nums && !dates)
        return false;
    return dates > nums;
}

} // namespace rostrel::workbook::xls
