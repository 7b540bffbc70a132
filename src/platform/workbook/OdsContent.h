// The cells of an OpenDocument spreadsheet's content.xml, read with the byte ranges of every
// row and cell element so that an edit can be spliced into the original bytes. Runs of
// repeated rows and cells stay runs. Internal to the engine; no Qt, no GLib.
#pragma once

#include "platform/workbook/NumberText.h"
#include "platform/workbook/Workbook.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rostrel::workbook::ods {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

// A byte range [begin, end) of content.xml.
struct Span {
    size_t begin = 0, end = 0;
};

struct CellRun {
    int col = 1;   // first column, 1-based
    int count = 1; // columns it covers (number-columns-repeated, cut at the last column)
    Span element;  // the whole element
    Span startTag; // equals `element` for an empty-element tag
    bool covered = false;
    CellValue value;
    std::vector<Span> keptChildren; // annotations and drawings: kept when the cell is written
};

struct RowRun {
    int row = 1;
    int count = 1;
    Span element;
    Span startTag;
    size_t contentEnd = 0; // where its end tag begins (startTag.end for an empty-element tag)
    std::vector<CellRun> cells;
};

struct Table {
    std::string name;
    std::vector<RowRun> rows;
    size_t appendAt = 0; // where rows past the last one go
    // Array-formula ranges, whose cells cannot be written one by one (1-based, inclusive).
    struct Rect {
        int r0, r1, c0, c1;
    };
    std::vector<Rect> locked;
};

struct Content {
    std::vector<Table> tables;
    // Prefixes the document binds to the namespaces an edit writes ("" when not bound).
    std::string tablePrefix, officePrefix, textPrefix, calcextPrefix;
    Span rootTag; // the document element's start tag, which declares the namespaces
};

// Throws WorkbookError Damaged for XML that is not well-formed or that declares a DTD or an
// entity (never expanded), and for a document without a spreadsheet body.
Content parseContent(const uint8_t* data, size_t size);
// The rows of a run of whole row elements taken out of `doc`'s content (`root` is its
// document element's start tag), as the only table of a document; rows are numbered from 1
// and their spans are relative to `xml`. Throws WorkbookError Damaged.
std::vector<RowRun> parseRows(std::string_view root, const char* xml, size_t size);

// Whether META-INF/manifest.xml marks a member as encrypted. Throws Damaged like parseContent.
bool manifestEncrypted(const uint8_t* data, size_t size);

// Value conversions of the format, shared with the writer.
bool parseDate(const std::string& s, double& serial);   // 2026-03-14[T08:30:00[.5]]
bool parseDuration(const std::string& s, double& days); // PT08H30M00S
std::string formatDate(double serial);                  // "" when out of range
using workbook::formatNumber;                           // shortest text that reads back exactly

// Finds the run holding a row or a cell (nullptr when none does).
const RowRun* findRow(const Table& t, int row);
const CellRun* findCell(const RowRun& r, int col);

} // namespace rostrel::workbook::ods
