// Worksheet parts of an .xlsx workbook: cells read by streaming the part (no tree of the whole
// sheet), and edited cells spliced into the part's original text. Internal to the engine.
#pragma once

#include "platform/workbook/OoxmlStyles.h"
#include "platform/workbook/OoxmlXml.h"
#include "platform/workbook/Workbook.h"
#include "platform/workbook/ZipPackage.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rostrel::workbook::ooxml {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

struct StoredCell {
    enum Kind : uint8_t { Number, Date, SharedText, OwnText, Bool, Error };
    uint16_t col = 0; // 1-based
    Kind kind = Number;
    uint8_t small = 0; // Bool value or error code
    uint32_t ref = 0;  // index into the shared strings or the sheet's own texts
    double number = 0.0;
};
struct StoredRow {
    uint32_t row = 0;              // 1-based
    std::vector<StoredCell> cells; // by column
};
// Cells that may not be replaced one by one: array formulas, data tables, shared-formula hosts.
struct LockedRange {
    int r0 = 0, c0 = 0, r1 = 0, c1 = 0;
    bool contains(int r, int c) const { return r >= r0 && r <= r1 && c >= c0 && c <= c1; }
};
// A range reference ("A1:C4" or "B2").
bool parseRange(std::string_view ref, LockedRange& out);

// Where things lie in a worksheet part, recorded while it is read, so that a save finds the
// edited rows without parsing the part again.
struct RowSpan {
    uint32_t row = 0;
    uint64_t pos = 0, end = 0; // the whole <row> element
};
struct ColStyle {
    int lo = 0, hi = 0;
    uint32_t style = 0;
};
// Where <sheetData> and <dimension> lie in a worksheet part, and the column styles: what both
// the read and the edit's own scan record, and what an edit splices at.
struct SheetPlaces {
    std::string prefix; // of <sheetData>
    uint64_t dataPos = 0, dataTagLen = 0, dataEnd = 0;
    bool dataEmpty = false;
    bool hasDimension = false, dimensionValid = false;
    uint64_t dimensionPos = 0, dimensionEnd = 0;
    LockedRange dimension{};
    std::string dimensionPrefix;
    std::vector<ColStyle> colStyles;
};

struct SheetLayout : SheetPlaces {
    // Every row carries its number, rows and cells ascend, and each cell lies in its own row's
    // element: only then are the recorded places enough for an edit.
    bool usable = false;
    std::string rootTag, rootName; // the root's start tag (rebuilt from its attributes) and name
    std::vector<RowSpan> rows;
};

struct SheetCells {
    std::vector<StoredRow> rows; // by row
    std::vector<std::string> texts;
    std::vector<LockedRange> locked;
    SheetLayout layout;
    zip::DeflateIndex index; // of the part, when it is deflated
};

struct SheetContext {
    const Styles* styles = nullptr;
    size_t sharedStrings = 0;
    bool date1904 = false;
};

// Throws WorkbookError Damaged.
SheetCells readSheet(const zip::Package& package, const std::string& part, const SheetContext& context);
// The cells of a run of whole <row> elements taken out of a worksheet part whose layout is
// `layout` (their places in `layout.rows` are relative to `xml`).
SheetCells readRows(const SheetLayout& layout, const char* xml, size_t size, const std::string& part,
                    const SheetContext& context);

// Error texts ("#N/A") and their BIFF codes, as CellValue keeps them.
CellValue::ErrorCode errorCode(std::string_view text);

using CellEdits = std::map<std::pair<int, int>, CellValue>; // (row, column), 1-based

// What the new XML of one cell needs; `render` returns the whole <c> element, or "" to leave
// the cell out.
struct CellRender {
    std::string prefix; // of the sheet's elements ("" or "x")
    std::string ref;    // "B3"
    std::optional<uint32_t> style;
    const CellValue* value = nullptr;
};
using CellRenderer = std::function<std::string(const CellRender&)>;

struct SheetEditResult {
    FileBytes bytes;
    bool formulaRemoved = false; // a formula cell was overwritten
};

// Splices the edits into the part; throws Unsupported for a cell inside an array formula or
// data table, or hosting a shared formula, and for sheets whose rows or cells are out of order.
SheetEditResult editSheet(const FileBytes& xml, const std::string& part, const CellEdits& edits,
                          const CellRenderer& render);

// The dimension once the edits are in: it grows to cover the written cells (it never shrinks: a
// cleared cell may still hold a format). False when it stays as it is.
bool grownDimension(bool valid, const LockedRange& old, const CellEdits& edits, LockedRange& grown);

// An edit of a sheet with a usable layout, found by reading only the edited rows.
struct Touched {
    uint64_t pos = 0, end = 0; // a whole row element, or a place (pos == end) where rows go
    int rowLo = 0, rowHi = 0;  // the rows edited there; 0 for the dimension
};
// The places of the part that the edits change, ascending.
std::vector<Touched> touchedPlaces(const SheetLayout& layout, const CellEdits& edits);
// The splices of the edits; `bytes(pos, end)` gives the part's bytes of a touched row.
struct RowEditResult {
    std::vector<Splice> splices; // ascending
    bool formulaRemoved = false;
};
RowEditResult editRows(const SheetLayout& layout, const std::string& part, const CellEdits& edits,
                       const CellRenderer& render, const std::function<FileBytes(uint64_t, uint64_t)>& bytes);

} // namespace rostrel::workbook::ooxml
