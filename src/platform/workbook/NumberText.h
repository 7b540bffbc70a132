// Numbers as the spreadsheet formats write them in their XML (a cell's <v>, office:value): the
// shortest text that reads back as the same double. Internal to the engine.
#pragma once

#include <string>

namespace rostrel::workbook {

std::string formatNumber(double v);

} // namespace rostrel::workbook
