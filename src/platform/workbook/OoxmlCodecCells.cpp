// The cells of an .xlsx workbook: sheets read on first use, values as stored with the pending
// edits laid over them, and the checks an edit must pass before it is recorded.
#include "platform/workbook/OoxmlCodec.h"

#include <algorithm>
#include <cmath>

namespace rostrel::workbook {

using namespace ooxml;

const SheetCells& OoxmlCodec::cellsOf(int sheet) const {
    const Sheet& s = sheetAt(sheet);
    if (!s.cells) {
        SheetContext ctx;
        ctx.styles = &styles_;
        ctx.sharedStrings = strings_.strings.size();
        ctx.date1904 = workbook_.date1904;
        s.cells = std::make_unique<SheetCells>(readSheet(package_, s.part, ctx));
    }
    return *s.cells;
}

void OoxmlCodec::loadSheet(int sheet) {
    cellsOf(sheet);
}

CellValue OoxmlCodec::toValue(const SheetCells& cells, const StoredCell& c) const {
    switch (c.kind) {
    case StoredCell::Number:
        return CellValue::fromNumber(c.number);
    case StoredCell::Date:
        return CellValue::fromDate(c.number);
    case StoredCell::SharedText:
        return CellValue::fromText(strings_.strings[c.ref]);
    case StoredCell::OwnText:
        return CellValue::fromText(cells.texts[c.ref]);
    case StoredCell::Bool:
        return CellValue::fromBool(c.small != 0);
    case StoredCell::Error:
        return CellValue::fromError(static_cast<CellValue::ErrorCode>(c.small));
    }
    return {};
}

CellValue OoxmlCodec::cell(int sheet, int row, int column) const {
    const Sheet& s = sheetAt(sheet);
    if (auto e = s.edits.find({row, column}); e != s.edits.end())
        return e->second;
    const SheetCells& cells = cellsOf(sheet);
    auto r = std::lower_bound(cells.rows.begin(), cells.rows.end(), static_cast<uint32_t>(row),
                              [](const StoredRow& x, uint32_t v) { return x.row < v; });
    if (r == cells.rows.end() || r->row != static_cast<uint32_t>(row))
        return {};
    auto c = std::lower_bound(r->cells.begin(), r->cells.end(), column,
                              [](const StoredCell& x, int v) { return x.col < v; });
    if (c == r->cells.end() || c->col != column)
        return {};
    return toValue(cells, *c);
}

void OoxmlCodec::forEachCell(int sheet, const std::function<void(int, int, const CellValue&)>& visit) const {
    const Sheet& s = sheetAt(sheet);
    const SheetCells& cells = cellsOf(sheet);
    auto e = s.edits.begin();
    auto flushEditsBefore = [&](int row, int col) {
        for (; e != s.edits.end() && e->first < std::make_pair(row, col); ++e)
            if (!e->second.isEmpty())
                visit(e->first.first, e->first.second, e->second);
    };
    for (const StoredRow& r : cells.rows) {
        for (const StoredCell& c : r.cells) {
            const int row = static_cast<int>(r.row);
            flushEditsBefore(row, c.col);
            if (e != s.edits.end() && e->first == std::make_pair(row, static_cast<int>(c.col)))
                continue; // the edit comes out with the next flush
            visit(row, c.col, toValue(cells, c));
        }
    }
    flushEditsBefore(kMaxRows + 1, 0);
}

void OoxmlCodec::setCell(int sheet, int row, int column, const CellValue& value) {
    const Sheet& s = sheetAt(sheet);
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        throw WorkbookError(WorkbookError::Code::BadCell,
                            "the cell lies outside an .xlsx sheet (1048576 rows, 16384 columns)");
    for (const LockedRange& r : cellsOf(sheet).locked)
        if (r.contains(row, column))
            throw WorkbookError(WorkbookError::Code::Unsupported,
                                "the cell " + cellRef(row, column) + " belongs to an array or shared formula");
    if ((value.kind == CellValue::Kind::Number || value.kind == CellValue::Kind::Date) && !std::isfinite(value.number))
        throw WorkbookError(WorkbookError::Code::Unsupported, "a cell cannot hold an infinite or undefined number");
    if (value.kind == CellValue::Kind::Text && value.text.size() > 32767 * 3)
        throw WorkbookError(WorkbookError::Code::Unsupported, "the text is longer than a cell can hold");
    sheets_[static_cast<size_t>(sheet - 1)].edits[{row, column}] = value;
    (void)s;
}

bool OoxmlCodec::hasEdits() const {
    for (const Sheet& s : sheets_)
        if (!s.edits.empty())
            return true;
    return false;
}

} // namespace rostrel::workbook
