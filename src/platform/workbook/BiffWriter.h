// The parts of the BIFF8 writer that its files share: an edited sheet's cell table taken apart
// (Item, SheetTable) and the Writer that puts the stream together again, a step per file
// (BiffWrite.cpp the run, BiffWriteStrings.cpp the string table, BiffSheetRebuild.cpp an edited
// sheet's cells, BiffCellTable.cpp its records written out). Internal to the writer.
#pragma once

#include "platform/workbook/Biff.h"
#include "platform/workbook/BiffRecords.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace rostrel::workbook::xls {

namespace detail {

// Throws WorkbookError Unsupported: "the workbook cannot be saved: <what>".
[[noreturn]] void refuse(const std::string& what);
// Records that hold one or more cells (blank ones included).
bool isCellRecord(uint16_t type);
// Appends a whole record: header, then `data`.
void putRecord(Bytes& out, uint16_t type, const Bytes& data);

} // namespace detail

// One piece of the rebuilt cell table: a cell record (kept or new) and the records that
// travel with it (a formula's STRING, unknown records found between cells).
struct Item {
    uint16_t row = 0, c0 = 0, c1 = 0;
    uint16_t type = 0;
    uint32_t pos = 0, len = 0;                         // the original record (header included), when not `own`
    Bytes own;                                         // a new record, header included
    std::vector<std::pair<uint32_t, uint32_t>> extras; // original records: position, size
    bool removed = false;
};

// An edited sheet's substream taken apart: the records before and after its cell table, and
// the table's cells and rows, which are put together again in order.
struct SheetTable {
    std::vector<SubRecord> recs;
    size_t first = 0, last = 0; // the table: recs[first..last]
    uint32_t end = 0;           // stream position after the substream
    std::vector<Item> items;
    std::map<uint16_t, Bytes> rowRecs;                  // row -> ROW record, header included
    std::vector<std::pair<uint32_t, uint32_t>> leading; // records of the table before its first cell
    std::map<uint16_t, uint16_t> rowXf;
    std::vector<std::pair<std::pair<uint16_t, uint16_t>, uint16_t>> colXf; // COLINFO: columns -> XF
    uint16_t defaultRowHeight = 0x00FF;
    bool hadDbcell = false;                                  // writers that leave DBCELL and INDEX out get none
    std::map<uint16_t, ColumnSpan> grown;                    // rows that gained cells
    std::unordered_map<uint16_t, std::vector<size_t>> byRow; // items of each row

    uint16_t newCellXf(uint16_t row, uint16_t col) const {
        auto rx = rowXf.find(row);
        if (rx != rowXf.end() && rx->second >= 15)
            return rx->second;
        for (const auto& [range, xf] : colXf)
            if (col >= range.first && col <= range.second && xf >= 15)
                return xf;
        return 15;
    }
};

class Writer {
public:
    explicit Writer(const Book& b) : b_(b), s_(b.stream_) {}
    Bytes run();

private:
    void copy(uint32_t pos, uint32_t len) { out_.insert(out_.end(), s_.begin() + pos, s_.begin() + pos + len); }
    void mapRecord(uint32_t oldPos) { map_.emplace_back(oldPos, static_cast<uint32_t>(out_.size())); }
    uint32_t mapPos(uint32_t oldPos) const;
    void assignStrings();
    void emitGlobals();
    void emitSst(uint32_t groupEnd);
    void emitNewSst();
    void emitExtSst() {
        const Bytes rec = extSstRecord(stringPos_);
        out_.insert(out_.end(), rec.begin(), rec.end());
    }
    void emitSheets();
    void fixOffsets();

    // The steps of rebuilding one edited sheet.
    uint32_t rebuildSheet(int sheet);
    SheetTable readTable(int sheet) const;
    void applyEdits(int sheet, SheetTable& t);
    void growRows(SheetTable& t) const;
    Bytes makeRecord(uint16_t row, uint16_t col, uint16_t xf, const CellValue& v);
    Item slice(const Item& it, uint16_t from, uint16_t to) const;
    const uint8_t* dataOf(const Item& it) const { return it.own.empty() ? at(it.pos + 4) : it.own.data() + 4; }
    uint16_t xfOfCell(const Item& it, uint16_t col) const;
    void emitTable(SheetTable& t);
    const uint8_t* at(uint32_t pos) const { return s_.data() + pos; }

    const Book& b_;
    const Bytes& s_;
    Bytes out_;
    std::vector<std::pair<uint32_t, uint32_t>> map_; // old record position -> new
    // Texts written as cells: their SST index. New strings are appended after the old ones.
    struct TextHash {
        using is_transparent = void;
        size_t operator()(std::string_view v) const { return std::hash<std::string_view>()(v); }
    };
    std::unordered_map<std::string, uint32_t, TextHash, std::equal_to<>> textIndex_;
    std::vector<std::string> newStrings_;
    std::vector<std::pair<uint32_t, uint32_t>> stringPos_; // every string: stream pos, record pos
    long long refDelta_ = 0;
    long sstHeaderPos_ = -1;
    uint32_t dateXf_ = UINT32_MAX;
    void planDateXf();
    Bytes newXf_;          // a date format added after the last XF record, when empty none
    uint32_t newXfAt_ = 0; // where it goes: the end of the last XF record
};

} // namespace rostrel::workbook::xls
