// Which files the program takes for a roll book: the open dialog's filter and the default
// roll book's name.
#pragma once

#include <QString>

namespace rostrel::rollbook {

// All three formats first, then each one alone.
QString rollBookFilter();

// The default roll book in `folder`: 点名册.xls, else 点名册.xlsx, else 点名册.ods; the .xls
// name when none exists.
QString defaultRollBookName(const QString& folder);

} // namespace rostrel::rollbook
