// Helpers that the BIFF reader's and writer's files share. Internal to those files.
#pragma once

#include <string>

namespace rostrel::workbook::xls::detail {

// Throws WorkbookError Damaged: "the workbook is damaged: <what>".
[[noreturn]] void damaged(const std::string& what);

} // namespace rostrel::workbook::xls::detail
