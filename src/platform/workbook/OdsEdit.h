// Writing cells into an OpenDocument spreadsheet's content.xml by splicing new elements into
// the original bytes: runs of repeated rows and cells are split around a written cell, and
// everything that is not written stays byte for byte. Internal to the engine.
#pragma once

#include "platform/workbook/Codec.h"
#include "platform/workbook/OdsContent.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace rostrel::workbook::ods {

// (row, column), 1-based → the value to write (Empty clears the cell, keeping its style).
using SheetEdits = std::map<std::pair<int, int>, CellValue>;

// One change of the content: [begin, end) becomes `text`, whole row elements of one table:
// the run `run` of its rows split around the written rows, or (run -1) new rows after the last.
struct RowSplice {
    size_t begin = 0, end = 0;
    std::string text;
    int table = 0;
    int run = -1;
    int firstRow = 1; // the row the text begins with
};
// The changes for the edits of each table (0-based index), by position. Throws WorkbookError
// Unsupported for a value the format cannot hold.
std::vector<RowSplice> editSplices(const uint8_t* data, const Content& doc, const std::map<int, SheetEdits>& edits);

// The content with the edits of each table (0-based index) applied. Throws WorkbookError
// Unsupported for a value the format cannot hold.
FileBytes applyEdits(const uint8_t* data, size_t size, const Content& doc, const std::map<int, SheetEdits>& edits);

// The value as it will read back once written: texts lose the characters XML cannot carry,
// dates are kept to the millisecond. Throws Unsupported for a value the format cannot hold.
CellValue writableValue(const CellValue& v);

} // namespace rostrel::workbook::ods
