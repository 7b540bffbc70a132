// A BIFF workbook's cells as the engine sees them: a cell's value with the pending edits over
// the parsed sheet, and edits recorded (refused where a cell cannot be changed alone). The
// stream is read in BiffGlobals.cpp, BiffSheet.cpp and BiffText.cpp, written in BiffWrite.cpp.
#include "platform/workbook/Biff.h"

#include <algorithm>

namespace rostrel::workbook::xls {

CellValue Book::cell(int sheet, int row, int col) const {
    const SheetCells& sc = sheetCells(sheet);
    if (!edits_[sheet].cells.empty()) {
        auto it = edits_[sheet].cells.find(static_cast<uint32_t>(row) << 8 | static_cast<uint32_t>(col));
        if (it != edits_[sheet].cells.end())
            return it->second;
    }
    return valueOf(sc, row, col);
}

CellValue Book::valueOf(const SheetCells& sc, int row, int col) const {
    if (row < 0 || static_cast<size_t>(row) >= sc.rows.size())
        return {};
    const auto& cells = sc.rows[row];
    auto it = std::lower_bound(cells.begin(), cells.end(), col, [](const StoredCell& c, int v) { return c.col < v; });
    if (it == cells.end() || it->col != col)
        return {};
    switch (it->kind) {
    case StoredCell::Number:
        return CellValue::fromNumber(it->number);
    case StoredCell::Date:
        return CellValue::fromDate(it->number);
    case StoredCell::SstText:
        return CellValue::fromText(std::string(sstText(it->ref)));
    case StoredCell::OwnText:
        return CellValue::fromText(sc.texts[it->ref]);
    case StoredCell::Bool:
        return CellValue::fromBool(it->small != 0);
    case StoredCell::Error:
        return CellValue::fromError(errorFromBiff(it->small));
    }
    return {};
}

bool Book::hasEdits() const {
    for (const auto& e : edits_)
        if (!e.cells.empty())
            return true;
    return false;
}

void Book::setCell(int sheet, int row, int col, const CellValue& value) {
    if (biff_ != 8)
        throw WorkbookError(WorkbookError::Code::OldFormat,
                            "the workbook uses an old Excel format (BIFF5/7); it can be read but not changed");
    if (row < 0 || row > 65535 || col < 0 || col > 255)
        throw WorkbookError(WorkbookError::Code::BadCell, "the cell lies outside an .xls sheet");
    const SheetCells& sc = sheetCells(sheet);
    for (const auto& rect : sc.locked) {
        if (row >= rect.r0 && row <= rect.r1 && col >= rect.c0 && col <= rect.c1)
            throw WorkbookError(WorkbookError::Code::Unsupported,
                                "the cell belongs to an array or shared formula and cannot be changed alone");
    }
    if (value.kind == CellValue::Kind::Text) {
        // Excel's limit on a cell's text, in UTF-16 units.
        size_t units = 0;
        for (unsigned char ch : value.text)
            units += (ch & 0xC0) != 0x80 ? ((ch >= 0xF0) ? 2 : 1) : 0;
        if (units > 32767)
            throw WorkbookError(WorkbookError::Code::Unsupported, "the text is longer than a cell can hold");
    }
    const uint32_t key = static_cast<uint32_t>(row) << 8 | static_cast<uint32_t>(col);
    auto& edits = edits_[sheet].cells;
    if (edits.find(key) == edits.end() && cell(sheet, row, col) == value)
        return; // already so in the file
    edits[key] = value;
}

} // namespace rostrel::workbook::xls
