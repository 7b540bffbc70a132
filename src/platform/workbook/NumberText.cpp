#include "platform/workbook/NumberText.h"

#include <charconv>

namespace rostrel::workbook {

std::string formatNumber(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

} // namespace rostrel::workbook
