// The BIFF workbook stream of an .xls file: reading cells, and writing edited cells back by
// rewriting only the records that must change. Internal to the engine; no GLib or Qt here.
#pragma once

#include "platform/workbook/BiffRecords.h"
#include "platform/workbook/Bytes.h"
#include "platform/workbook/Workbook.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rostrel::workbook::xls {

// One cell as read from a sheet. Blank cells are not kept.
struct StoredCell {
    enum Kind : uint8_t { Number, Date, SstText, OwnText, Bool, Error };
    uint16_t col = 0;
    Kind kind = Number;
    uint8_t small = 0; // Bool value or error code
    uint32_t ref = 0;  // SST index (SstText) or index into the sheet's own texts (OwnText)
    double number = 0.0;
};

struct SheetCells {
    std::vector<std::vector<StoredCell>> rows; // by 0-based row, each sorted by column
    std::vector<std::string> texts;            // LABEL, RSTRING and formula string results
    // Ranges whose cells may not be replaced one by one (array formulas, data tables,
    // shared-formula hosts): first row, last row, first column, last column (inclusive).
    struct Rect {
        uint16_t r0, r1, c0, c1;
    };
    std::vector<Rect> locked;
};

struct SheetEntry {
    std::string name;
    uint32_t bofPos = 0;        // lbPlyPos of its BOUNDSHEET record
    uint8_t type = 0;           // BOUNDSHEET dt: 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
    uint32_t boundsheetPos = 0; // stream position of the BOUNDSHEET record
};

// Shared-string-table entry: where its text lies in the book's text store, and where the
// string starts in the stream (for EXTSST). Kept small: a table can hold millions.
struct SstEntry {
    uint32_t textPos = 0, textLen = 0; // UTF-8 in Book's string store
    uint32_t streamPos = 0;            // first byte of the string
    uint32_t recordPos = 0;            // header of the SST or CONTINUE record it starts in
    bool plain = true;                 // no rich-text runs, no phonetic block
};

class Book;

// Sorts a row's cells by column; where one cell has two records the later one wins.
void settleRow(std::vector<StoredCell>& row);

// Reads one worksheet's cell table a record at a time: each record of the sheet's own level
// (not those of an embedded chart) goes to record(), then finish() settles the rows.
class SheetParser {
public:
    SheetParser(const Book& book, SheetCells& into);
    // `r` lies at r.pos in `in`, where the CONTINUE records after it follow. Throws
    // WorkbookError Damaged for a broken cell record.
    void record(const Rec& r, const Bytes& in);
    void finish();

private:
    StoredCell& add(uint16_t row, const StoredCell& c);
    StoredCell numberCell(uint16_t col, uint16_t xf, double v) const;
    StoredCell textCell(uint16_t col, std::string text);
    void formula(const Rec& r);
    void formulaText(const Rec& r, const Bytes& in); // the STRING after a formula with a text result

    const Book& book_;
    SheetCells& cells_;
    long pendingRow_ = -1; // a formula waiting for its STRING record: row, index in the row
    size_t pendingIndex_ = 0;
    bool lastWasFormula_ = false; // a SHRFMLA after it makes it a shared formula's host
    uint16_t lastRow_ = 0, lastCol_ = 0;
};

class Book {
public:
    // Parses the globals of a workbook stream. Throws WorkbookError (Encrypted, OldFormat,
    // Damaged). Sheets are parsed when first read.
    explicit Book(Bytes stream);

    int biffVersion() const { return biff_; } // 8, or 5 for BIFF5/7
    const Bytes& stream() const { return stream_; }
    // Worksheets in workbook order (other sheet types are not listed).
    const std::vector<SheetEntry>& worksheets() const { return worksheets_; }
    const std::vector<SheetEntry>& allSheets() const { return allSheets_; } // every BOUNDSHEET
    int codePage() const { return codePage_; }

    // Sheet index is 0-based into worksheets(); row and column 0-based.
    CellValue cell(int sheet, int row, int col) const;
    const SheetCells& sheetCells(int sheet) const;
    // A cell of parsed cells (edits not applied); row and column 0-based.
    CellValue valueOf(const SheetCells& sc, int row, int col) const;
    // Records an edit; refuses cells that cannot be changed alone (Unsupported).
    void setCell(int sheet, int row, int col, const CellValue& value);
    bool hasEdits() const;
    // The stream with every pending edit applied. Throws Unsupported/Damaged when the
    // layout cannot be rewritten safely; the Book itself does not change. `readBack`, when
    // given, receives the book read from that stream to check it, with the sheets the check
    // parsed: what a fresh Book of the stream would be, without parsing it again.
    Bytes serialize(std::unique_ptr<Book>* readBack = nullptr) const;

    bool isDateXf(uint32_t xf) const { return xf < xfIsDate_.size() && xfIsDate_[xf]; }

private:
    struct Edits {
        std::map<uint32_t, CellValue> cells; // key: row << 8 | col
    };

    // Reads `out` back and compares it with this book and its edits; returns the book read.
    std::unique_ptr<Book> verify(const Bytes& out) const;
    std::string compareCopiedSheet(int sheet, const Book& check) const;
    void parseGlobals();
    void parseSst(const std::vector<size_t>& recIdx);
    void findSheetLimits();
    std::unique_ptr<SheetCells> parseSheet(int sheet) const;
    std::string decode8(const uint8_t* p, size_t n) const; // 8-bit text of BIFF5 in the code page
    // A string inside one record: BIFF8 flags and characters, or BIFF5 8-bit text. `lenBytes`
    // is the size of its count field.
    bool readShortString(const uint8_t* p, size_t avail, int lenBytes, std::string& out) const;
    uint32_t dateXf() const;

    Bytes stream_;
    int biff_ = 8;
    int codePage_ = 1252;
    std::vector<SheetEntry> worksheets_;
    std::vector<SheetEntry> allSheets_;
    std::vector<uint8_t> xfIsCell_;
    std::vector<uint8_t> xfIsDate_;
    std::vector<uint16_t> xfFormat_;
    std::vector<uint32_t> xfPos_; // each XF record's position
    std::vector<SstEntry> sst_;
    std::string sstText_; // the shared strings' texts, one after another
    std::string_view sstText(uint32_t i) const {
        return std::string_view(sstText_).substr(sst_[i].textPos, sst_[i].textLen);
    }
    bool sstClean_ = false; // the SST parsed exactly: strings may be appended
    bool hasSst_ = false;
    uint32_t sstPos_ = 0;              // SST record
    uint32_t sstEnd_ = 0;              // end of the SST and its CONTINUEs
    uint32_t extSstPos_ = 0;           // 0: none
    uint32_t globalsEnd_ = 0;          // end of the globals' EOF record
    uint32_t globalsEofPos_ = 0;       // the globals' EOF record
    std::vector<uint32_t> sheetLimit_; // by worksheet: where the next sheet's substream starts
    mutable std::vector<std::unique_ptr<SheetCells>> sheets_;
    std::vector<Edits> edits_;

    friend class Writer;
    friend class SheetParser;
};

// BIFF error codes and the engine's error values, both ways (XlsCodec.cpp).
CellValue::ErrorCode errorFromBiff(uint8_t code);
uint8_t biffErrorCode(CellValue::ErrorCode code);
// Whether a number format string shows a date or time.
bool isDateFormatString(const std::string& format);
// Whether a built-in number format (by id, shared by .xls and .xlsx) shows a date or time.
bool isBuiltinDateFormat(uint16_t id);

} // namespace rostrel::workbook::xls
