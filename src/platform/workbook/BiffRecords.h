// Record types and low-level record access of the BIFF stream. Internal to the engine.
#pragma once

#include "platform/workbook/Bytes.h"
#include "platform/workbook/Workbook.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace rostrel::workbook::xls {

namespace rt {
constexpr uint16_t BOF = 0x0809, EOF_ = 0x000A, FILEPASS = 0x002F, CODEPAGE = 0x0042, FORMAT = 0x041E, XF = 0x00E0,
                   BOUNDSHEET = 0x0085, SST = 0x00FC, EXTSST = 0x00FF, CONTINUE = 0x003C, RECALCID = 0x01C1;
constexpr uint16_t NUMBER = 0x0203, RK = 0x027E, MULRK = 0x00BD, LABELSST = 0x00FD, LABEL = 0x0204, RSTRING = 0x00D6,
                   BLANK = 0x0201, MULBLANK = 0x00BE, BOOLERR = 0x0205, FORMULA = 0x0006, STRING = 0x0207,
                   SHRFMLA = 0x04BC, ARRAY = 0x0221, TABLE = 0x0236;
// Formula records under the record numbers of BIFF3 and BIFF4, which some writers still use.
constexpr uint16_t FORMULA3 = 0x0206, FORMULA4 = 0x0406;
constexpr uint16_t ROW = 0x0208, DBCELL = 0x00D7, INDEX = 0x020B, DIMENSIONS = 0x0200, COLINFO = 0x007D,
                   DEFCOLWIDTH = 0x0055, DEFAULTROWHEIGHT = 0x0225, WINDOW2 = 0x023E;
} // namespace rt

constexpr uint16_t kMaxRecordData = 8224;

struct Rec {
    uint16_t type = 0;
    uint16_t len = 0;
    uint32_t pos = 0; // position of the record header in the stream
    const uint8_t* data = nullptr;
};

// The record at `pos`, or false when fewer bytes remain than it needs.
bool recordAt(const Bytes& s, uint32_t pos, Rec& r);

// Sequential reading over the data of a record and its CONTINUE records.
class ContinuedReader {
public:
    struct Segment {
        uint32_t dataPos; // stream position of the record's data
        uint32_t len;
    };
    ContinuedReader(const uint8_t* data, std::vector<Segment> segs) : data_(data), segs_(std::move(segs)) {}
    bool u8(uint8_t& v);
    bool u16(uint16_t& v);
    bool u32(uint32_t& v);
    bool skip(uint64_t n);
    // Characters; where they run into the next record, it starts with a new flag byte.
    bool chars(uint32_t count, bool wide, std::u16string& out);
    void normalize(); // steps over the end of a record to the next one
    uint32_t streamPos() const;
    uint32_t recordPos() const;
    bool atEnd() const;

private:
    bool advance();
    const uint8_t* data_;
    std::vector<Segment> segs_;
    size_t seg_ = 0;
    uint32_t off_ = 0;
};

bool readRichString(ContinuedReader& r, std::string& text, bool* plain);

// A record of a sheet's substream and its nesting depth (1: the sheet's own records).
struct SubRecord {
    Rec rec;
    int depth;
};

// Calls visit(record, depth) for each record of the substream that starts with the BOF at
// `start`, through the EOF that closes it, and returns the position after that EOF. Depth 1 is
// the substream's own level (its BOF and EOF included); an embedded chart's records are deeper.
// Throws WorkbookError Damaged when the substream is cut short or runs into `limit`, where the
// next one begins.
template <typename Visit>
uint32_t walkSubstream(const Bytes& s, uint32_t start, uint32_t limit, const std::string& name, Visit&& visit) {
    int depth = 0;
    uint32_t pos = start;
    for (;;) {
        Rec r;
        if (!recordAt(s, pos, r) || uint64_t{pos} + 4 + r.len > limit)
            throw WorkbookError(WorkbookError::Code::Damaged,
                                "the workbook is damaged: sheet \"" + name + "\" is cut short");
        if (r.type == rt::BOF)
            ++depth;
        else if (depth == 0)
            throw WorkbookError(WorkbookError::Code::Damaged,
                                "the workbook is damaged: sheet \"" + name + "\" does not start with a BOF record");
        visit(static_cast<const Rec&>(r), depth);
        pos += 4 + r.len;
        if (r.type == rt::EOF_ && --depth == 0)
            return pos;
    }
}

// --- The records the writer builds or changes (whole records include their 4-byte header) ---

// The columns a row gained: first and last (inclusive).
struct ColumnSpan {
    uint16_t minCol = 0xFFFF, maxCol = 0;
};
// A new ROW record as Excel writes it: columns [firstCol, lastCol], default format and height.
Bytes rowRecord(uint16_t row, uint16_t firstCol, uint16_t lastCol, uint16_t height);
// Widens a ROW record's data (colMic, colMac) to cover [firstCol, lastCol].
void widenRow(uint8_t* rowData, uint16_t firstCol, uint16_t lastCol);
// Grows a DIMENSIONS record's data (BIFF8: 14 bytes) to cover the rows that gained cells.
void growDimensions(uint8_t* dimData, const std::map<uint16_t, ColumnSpan>& grown);
// The EXTSST record for strings at these stream positions (string, its record's header).
Bytes extSstRecord(const std::vector<std::pair<uint32_t, uint32_t>>& stringPos);
// Makes a RECALCID record's data ask for recalculation on load.
void markForRecalculation(uint8_t* recalcData, uint16_t len);
// A DBCELL record: the distance back to the block's first ROW, then each row's first cell.
Bytes dbcellRecord(uint32_t backToFirstRow, const std::vector<uint16_t>& cellOffsets);
// Blocks of rows as Excel groups them (by row / 32): [begin, end) indices into `rows`.
std::vector<std::pair<size_t, size_t>> rowBlocks(const std::vector<uint16_t>& rows);
// Where the cell table of a sheet lies in its records: [first, last]. A sheet without cells
// gets an empty range at the place a table goes (after DIMENSIONS): last == first - 1.
std::pair<size_t, size_t> locateCellTable(const std::vector<SubRecord>& recs);

} // namespace rostrel::workbook::xls
