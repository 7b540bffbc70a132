// The .ods codec: an OpenDocument spreadsheet package read whole, written back with only the
// written cells of content.xml changed and every other member copied as it is.
#pragma once

#include "platform/workbook/Codec.h"

#include <memory>

namespace rostrel::workbook {

// Throws WorkbookError: NotOle for a package that is not a spreadsheet, Encrypted for an
// encrypted document, Damaged for a broken package or content.
std::unique_ptr<Codec> openOdsCodec(FileBytes bytes);

} // namespace rostrel::workbook
