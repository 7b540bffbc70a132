// Writing a BIFF8 workbook stream back with edited cells. Every record that is not an edited
// cell is copied byte for byte; the records that describe the cell table (ROW, DBCELL, INDEX,
// DIMENSIONS) of an edited sheet, the shared string table when it grows, and the offsets that
// point into the stream (BOUNDSHEET, INDEX, EXTSST) are rebuilt.
#include "platform/workbook/Biff.h"
#include "platform/workbook/BiffRecords.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace rostrel::workbook::xls {

namespace {

[[noreturn]] void refuse(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Unsupported, "the workbook cannot be saved: " + what);
}

bool isCellRecord(uint16_t t) {
    switch (t) {
    case rt::NUMBER:
    case rt::RK:
    case rt::MULRK:
    case rt::LABELSST:
    case rt::LABEL:
    case rt::RSTRING:
    case rt::BLANK:
    case rt::MULBLANK:
    case rt::BOOLERR:
    case rt::FORMULA:
    case rt::FORMULA3:
    case rt::FORMULA4:
        return true;
    default:
        return false;
    }
}
bool isTableRecord(uint16_t t) {
    return isCellRecord(t) || t == rt::ROW || t == rt::DBCELL || t == rt::STRING || t == rt::SHRFMLA ||
           t == rt::ARRAY || t == rt::TABLE;
}

std::u16string utf8ToUtf16(const std::string& s) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (i + n > s.size()) {
            out.push_back(0xFFFD);
            break;
        }
        bool ok = true;
        for (size_t k = 1; k < n; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            ok = ok && (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        i += ok ? n : 1;
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

void putRecord(Bytes& out, uint16_t type, const Bytes& data) {
    put16(out, type);
    put16(out, static_cast<uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

Bytes cellRecord(uint16_t type, uint16_t row, uint16_t col, uint16_t xf) {
    Bytes b;
    put16(b, type);
    put16(b, 0); // length, set by finish()
    put16(b, row);
    put16(b, col);
    put16(b, xf);
    return b;
}
void finish(Bytes& rec) {
    wr16(&rec[2], static_cast<uint16_t>(rec.size() - 4));
}

// Appends strings to a string-table record group (SST then CONTINUEs), splitting them over new
// CONTINUE records as the format requires: the header and first character stay together, and
// a CONTINUE that resumes characters starts with its flag byte. Returns, for each string, the
// record it starts in and its offset in that record's data.
std::vector<std::pair<size_t, size_t>> appendSstStrings(std::vector<std::pair<uint16_t, Bytes>>& recs,
                                                        const std::vector<std::string>& strings) {
    std::vector<std::pair<size_t, size_t>> where;
    for (const std::string& text : strings) {
        const std::u16string u = utf8ToUtf16(text);
        bool wide = false;
        for (char16_t c : u)
            wide = wide || c > 0xFF;
        const size_t cb = wide ? 2 : 1;
        if (recs.back().second.size() + 3 + cb > kMaxRecordData)
            recs.emplace_back(rt::CONTINUE, Bytes());
        where.emplace_back(recs.size() - 1, recs.back().second.size());
        Bytes* cur = &recs.back().second;
        put16(*cur, static_cast<uint16_t>(u.size()));
        cur->push_back(wide ? 1 : 0);
        size_t i = 0;
        while (i < u.size()) {
            size_t space = (kMaxRecordData - cur->size()) / cb;
            if (space == 0) {
                recs.emplace_back(rt::CONTINUE, Bytes());
                cur = &recs.back().second;
                cur->push_back(wide ? 1 : 0);
                continue;
            }
            const size_t n = std::min(space, u.size() - i);
            for (size_t k = 0; k < n; ++k) {
                if (wide)
                    put16(*cur, static_cast<uint16_t>(u[i + k]));
                else
                    cur->push_back(static_cast<uint8_t>(u[i + k]));
            }
            i += n;
        }
    }
    return where;
}

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the workbook is damaged: " + what);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The records the writer builds or changes.

Bytes rowRecord(uint16_t row, uint16_t firstCol, uint16_t lastCol, uint16_t height) {
    Bytes rec;
    put16(rec, rt::ROW);
    put16(rec, 16);
    put16(rec, row);
    put16(rec, firstCol);
    put16(rec, static_cast<uint16_t>(lastCol + 1));
    put16(rec, height);
    put16(rec, 0);      // irwMac
    put16(rec, 0);      // reserved
    put16(rec, 0x0100); // options: the high byte as Excel writes it
    put16(rec, 0x000F); // the default cell format
    return rec;
}

void widenRow(uint8_t* rowData, uint16_t firstCol, uint16_t lastCol) {
    const uint16_t mic = rd16(rowData + 2), mac = rd16(rowData + 4);
    if (mic >= mac) { // a row that held no cells
        wr16(rowData + 2, firstCol);
        wr16(rowData + 4, static_cast<uint16_t>(lastCol + 1));
        return;
    }
    if (firstCol < mic)
        wr16(rowData + 2, firstCol);
    if (lastCol + 1 > mac)
        wr16(rowData + 4, static_cast<uint16_t>(lastCol + 1));
}

void growDimensions(uint8_t* dimData, const std::map<uint16_t, ColumnSpan>& grown) {
    if (grown.empty())
        return;
    uint32_t rw0 = rd32(dimData), rw1 = rd32(dimData + 4);
    uint16_t c0 = rd16(dimData + 8), c1 = rd16(dimData + 10);
    if (rw1 <= rw0 || c1 <= c0) { // an empty sheet: the first new row starts the range
        const auto& [row, span] = *grown.begin();
        rw0 = row;
        rw1 = row + 1u;
        c0 = span.minCol;
        c1 = static_cast<uint16_t>(span.maxCol + 1);
    }
    for (const auto& [row, span] : grown) {
        rw0 = std::min<uint32_t>(rw0, row);
        rw1 = std::max<uint32_t>(rw1, row + 1u);
        c0 = std::min(c0, span.minCol);
        c1 = std::max<uint16_t>(c1, static_cast<uint16_t>(span.maxCol + 1));
    }
    wr32(dimData, rw0);
    wr32(dimData + 4, rw1);
    wr16(dimData + 8, c0);
    wr16(dimData + 10, c1);
}

Bytes extSstRecord(const std::vector<std::pair<uint32_t, uint32_t>>& stringPos) {
    const uint32_t n = static_cast<uint32_t>(stringPos.size());
    const uint32_t perBucket = std::max<uint32_t>(n / 128 + 1, 8);
    Bytes d;
    put16(d, static_cast<uint16_t>(perBucket));
    for (uint32_t i = 0; i < n; i += perBucket) {
        put32(d, stringPos[i].first);
        put16(d, static_cast<uint16_t>(stringPos[i].first - stringPos[i].second));
        put16(d, 0);
    }
    Bytes rec;
    putRecord(rec, rt::EXTSST, d);
    return rec;
}

void markForRecalculation(uint8_t* recalcData, uint16_t len) {
    if (len >= 8)
        wr32(recalcData + 4, 0); // build 0: formulas over edited cells are recalculated on load
}

Bytes dbcellRecord(uint32_t backToFirstRow, const std::vector<uint16_t>& cellOffsets) {
    Bytes d;
    put32(d, backToFirstRow);
    for (size_t k = 0; k < cellOffsets.size() && k < 32; ++k)
        put16(d, cellOffsets[k]);
    Bytes rec;
    putRecord(rec, rt::DBCELL, d);
    return rec;
}

std::vector<std::pair<size_t, size_t>> rowBlocks(const std::vector<uint16_t>& rows) {
    std::vector<std::pair<size_t, size_t>> blocks;
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j < rows.size() && rows[j] / 32 == rows[i] / 32)
            ++j;
        blocks.emplace_back(i, j);
        i = j;
    }
    return blocks;
}

std::pair<size_t, size_t> locateCellTable(const std::vector<SubRecord>& recs) {
    size_t first = recs.size(), last = 0;
    for (size_t i = 1; i < recs.size(); ++i) {
        if (recs[i].depth != 1)
            continue;
        const uint16_t t = recs[i].rec.type;
        if (first == recs.size() && (t == rt::ROW || isCellRecord(t)))
            first = i;
        if (first != recs.size() && isTableRecord(t))
            last = i;
    }
    if (first == recs.size()) {
        // No cells yet: the table goes after DIMENSIONS (or before WINDOW2, or the EOF).
        size_t at = recs.size() - 1;
        for (size_t i = 1; i < recs.size(); ++i) {
            if (recs[i].depth != 1)
                continue;
            if (recs[i].rec.type == rt::DIMENSIONS) {
                at = i + 1;
                break;
            }
            if (recs[i].rec.type == rt::WINDOW2 && at == recs.size() - 1)
                at = i;
        }
        return {at, at - 1};
    }
    // A CONTINUE after the last table record belongs to it.
    while (last + 1 < recs.size() && recs[last + 1].depth == 1 && recs[last + 1].rec.type == rt::CONTINUE)
        ++last;
    return {first, last};
}

// ---------------------------------------------------------------------------------------------

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

uint32_t Writer::mapPos(uint32_t oldPos) const {
    auto it = std::upper_bound(map_.begin(), map_.end(), std::make_pair(oldPos, UINT32_MAX));
    if (it == map_.begin())
        return oldPos;
    --it;
    return it->second + (oldPos - it->first);
}

// Finds the string-table index of every text written; a text not in the table yet is
// appended. Only the written texts are looked up: the table itself is not copied.
void Writer::assignStrings() {
    for (const auto& e : b_.edits_)
        for (const auto& [key, v] : e.cells)
            if (v.kind == CellValue::Kind::Text)
                textIndex_.emplace(v.text, UINT32_MAX);
    if (textIndex_.empty())
        return;
    size_t unresolved = textIndex_.size();
    for (uint32_t i = 0; i < b_.sst_.size() && unresolved > 0; ++i) {
        if (!b_.sst_[i].plain)
            continue;
        auto it = textIndex_.find(b_.sstText(i));
        if (it != textIndex_.end() && it->second == UINT32_MAX) {
            it->second = i;
            --unresolved;
        }
    }
    // New strings in the order the edits name them, so that a save is reproducible.
    for (const auto& e : b_.edits_) {
        for (const auto& [key, v] : e.cells) {
            if (v.kind != CellValue::Kind::Text)
                continue;
            uint32_t& index = textIndex_.at(v.text);
            if (index != UINT32_MAX)
                continue;
            index = static_cast<uint32_t>(b_.sst_.size() + newStrings_.size());
            newStrings_.push_back(v.text);
        }
    }
    if (newStrings_.empty())
        return;
    if (b_.hasSst_ && !b_.sstClean_)
        refuse("its shared string table is not in a form that can be extended");
    if (b_.hasSst_ && b_.extSstPos_ && b_.extSstPos_ < b_.sstPos_)
        refuse("its string index precedes the string table");
    if (b_.sst_.size() + newStrings_.size() > 0x7FFFFFFF)
        refuse("too many strings");
}

// Copies the SST and its CONTINUEs, appending the new strings at the end, split over new
// CONTINUE records as the format requires.
void Writer::emitSst(uint32_t groupEnd) {
    std::vector<std::pair<uint16_t, Bytes>> recs;
    std::vector<uint32_t> oldRecPos;
    for (uint32_t pos = b_.sstPos_; pos < groupEnd;) {
        Rec r;
        recordAt(s_, pos, r);
        recs.emplace_back(r.type, Bytes(r.data, r.data + r.len));
        oldRecPos.push_back(pos);
        pos += 4 + r.len;
    }
    const uint32_t unique = static_cast<uint32_t>(b_.sst_.size() + newStrings_.size());
    wr32(&recs[0].second[4], unique);
    const auto where = appendSstStrings(recs, newStrings_);
    std::vector<uint32_t> newRecPos;
    for (size_t k = 0; k < recs.size(); ++k) {
        if (k < oldRecPos.size())
            mapRecord(oldRecPos[k]);
        newRecPos.push_back(static_cast<uint32_t>(out_.size()));
        putRecord(out_, recs[k].first, recs[k].second);
    }
    sstHeaderPos_ = newRecPos[0];
    const long long shift = static_cast<long long>(newRecPos[0]) - b_.sstPos_;
    stringPos_.clear();
    stringPos_.reserve(b_.sst_.size() + where.size());
    for (const auto& e : b_.sst_)
        stringPos_.emplace_back(static_cast<uint32_t>(e.streamPos + shift), static_cast<uint32_t>(e.recordPos + shift));
    for (const auto& [rec, off] : where)
        stringPos_.emplace_back(static_cast<uint32_t>(newRecPos[rec] + 4 + off), newRecPos[rec]);
}

// A workbook without a string table gets one (holding only the new strings).
void Writer::emitNewSst() {
    std::vector<std::pair<uint16_t, Bytes>> recs(1, {rt::SST, Bytes()});
    put32(recs[0].second, 0);
    put32(recs[0].second, static_cast<uint32_t>(newStrings_.size()));
    const auto where = appendSstStrings(recs, newStrings_);
    std::vector<uint32_t> recPos;
    for (const auto& [type, data] : recs) {
        recPos.push_back(static_cast<uint32_t>(out_.size()));
        putRecord(out_, type, data);
    }
    sstHeaderPos_ = recPos[0];
    for (const auto& [rec, off] : where)
        stringPos_.emplace_back(static_cast<uint32_t>(recPos[rec] + 4 + off), recPos[rec]);
    emitExtSst();
}

Bytes Writer::run() {
    assignStrings();
    dateXf_ = b_.dateXf();
    planDateXf();
    out_.reserve(s_.size() + 4096);
    emitGlobals();
    emitSheets();
    fixOffsets();
    if (out_.size() > 0xFFFFFFFFull)
        refuse("the workbook grows too large");
    return std::move(out_);
}

// A date written into a workbook that has no date format at all would read back as a plain
// number: such a workbook gets one cell format more, a copy of the default cell format showing
// the built-in date format 14, appended after the others so that no index moves.
void Writer::planDateXf() {
    if (dateXf_ != UINT32_MAX || b_.biff_ != 8 || b_.xfPos_.empty() || b_.xfPos_.size() >= 4050)
        return;
    bool wantsDate = false;
    for (const auto& e : b_.edits_)
        for (const auto& [key, v] : e.cells)
            wantsDate = wantsDate || v.kind == CellValue::Kind::Date;
    if (!wantsDate)
        return;
    // XF 15 is the default cell format in every writer's workbooks; else the first cell format.
    uint32_t model = b_.xfPos_.size() > 15 && b_.xfIsCell_[15] ? 15 : UINT32_MAX;
    for (uint32_t i = 0; i < b_.xfPos_.size() && model == UINT32_MAX; ++i)
        if (b_.xfIsCell_[i])
            model = i;
    Rec r;
    if (model == UINT32_MAX || !recordAt(s_, b_.xfPos_[model], r) || r.len < 20)
        return;
    newXf_.assign(r.data, r.data + r.len);
    wr16(&newXf_[2], 14);
    newXf_[9] |= 0x04; // the number format is this cell format's own, not its style's
    Rec last;
    recordAt(s_, b_.xfPos_.back(), last);
    newXfAt_ = b_.xfPos_.back() + 4 + last.len;
    dateXf_ = static_cast<uint32_t>(b_.xfPos_.size());
}

void Writer::emitGlobals() {
    const bool grow = !newStrings_.empty();
    const bool edited = b_.hasEdits();
    for (uint32_t pos = 0; pos < b_.globalsEnd_;) {
        Rec r;
        recordAt(s_, pos, r);
        if (!newXf_.empty() && pos == newXfAt_)
            putRecord(out_, rt::XF, newXf_);
        if (b_.hasSst_ && pos == b_.sstPos_) {
            if (grow) {
                emitSst(b_.sstEnd_);
                if (!b_.extSstPos_)
                    emitExtSst();
            } else {
                sstHeaderPos_ = static_cast<long>(out_.size());
                for (uint32_t p = pos; p < b_.sstEnd_;) {
                    Rec c;
                    recordAt(s_, p, c);
                    mapRecord(p);
                    copy(p, 4 + c.len);
                    p += 4 + c.len;
                }
            }
            pos = b_.sstEnd_;
            continue;
        }
        if (grow && b_.extSstPos_ && pos == b_.extSstPos_) {
            mapRecord(pos);
            emitExtSst();
            pos += 4 + r.len;
            continue;
        }
        if (grow && !b_.hasSst_ && pos == b_.globalsEofPos_)
            emitNewSst();
        mapRecord(pos);
        copy(pos, 4 + r.len);
        if (edited && r.type == rt::RECALCID)
            markForRecalculation(&out_[out_.size() - r.len], r.len);
        pos += 4 + r.len;
    }
}

// The sheets and whatever else follows the globals: edited sheets rebuilt, the rest copied.
void Writer::emitSheets() {
    std::unordered_map<uint32_t, int> rebuild; // BOF position -> worksheet index
    for (size_t i = 0; i < b_.worksheets_.size(); ++i)
        if (!b_.edits_[i].cells.empty())
            rebuild.emplace(b_.worksheets_[i].bofPos, static_cast<int>(i));
    size_t rebuilt = 0;
    uint32_t pos = b_.globalsEnd_;
    while (pos < s_.size()) {
        auto it = rebuild.find(pos);
        if (it != rebuild.end()) {
            pos = rebuildSheet(it->second);
            ++rebuilt;
            continue;
        }
        Rec r;
        if (!recordAt(s_, pos, r)) {
            copy(pos, static_cast<uint32_t>(s_.size() - pos)); // trailing bytes
            break;
        }
        mapRecord(pos);
        const long long delta = static_cast<long long>(out_.size()) - pos;
        copy(pos, 4 + r.len);
        if (r.type == rt::INDEX && r.len >= 16 && delta != 0) {
            // A sheet copied whole moves as one: its absolute offsets move with it.
            uint8_t* d = &out_[out_.size() - r.len];
            auto shift = [&](uint8_t* p) {
                const uint32_t v = rd32(p);
                if (v)
                    wr32(p, static_cast<uint32_t>(v + delta));
            };
            shift(d + 12);
            for (uint32_t k = 16; k + 4 <= r.len; k += 4)
                shift(d + k);
        }
        pos += 4 + r.len;
    }
    if (rebuilt != rebuild.size())
        damaged("a sheet does not start at a record boundary");
}

// BOUNDSHEET positions and the string table's reference count.
void Writer::fixOffsets() {
    std::sort(map_.begin(), map_.end());
    for (const SheetEntry& e : b_.allSheets_) {
        const uint32_t recPos = mapPos(e.boundsheetPos);
        wr32(&out_[recPos + 4], mapPos(e.bofPos));
    }
    if (sstHeaderPos_ >= 0 && (refDelta_ != 0 || !newStrings_.empty())) {
        long long total = rd32(&out_[sstHeaderPos_ + 4]) + refDelta_;
        wr32(&out_[sstHeaderPos_ + 4], static_cast<uint32_t>(std::clamp<long long>(total, 0, UINT32_MAX)));
    }
}

uint32_t Writer::rebuildSheet(int sheet) {
    SheetTable t = readTable(sheet);
    applyEdits(sheet, t);
    growRows(t);
    emitTable(t);
    return t.end;
}

// Takes the substream apart: where its cell table lies, the table's cells (with the records
// that follow each), its ROW records, and the formats new cells take from rows and columns.
SheetTable Writer::readTable(int sheet) const {
    SheetTable t;
    const SheetEntry& entry = b_.worksheets_[sheet];
    t.end = walkSubstream(s_, entry.bofPos, b_.sheetLimit_[sheet], entry.name, [&](const Rec& r, int depth) {
        t.recs.push_back({r, depth});
    });
    std::tie(t.first, t.last) = locateCellTable(t.recs);
    for (const SubRecord& r : t.recs) {
        if (r.depth != 1)
            continue;
        if (r.rec.type == rt::INDEX)
            t.hadDbcell = true;
        if (r.rec.type == rt::COLINFO && r.rec.len >= 8)
            t.colXf.push_back({{rd16(r.rec.data), rd16(r.rec.data + 2)}, rd16(r.rec.data + 6)});
        if (r.rec.type == rt::DEFAULTROWHEIGHT && r.rec.len >= 4)
            t.defaultRowHeight = rd16(r.rec.data + 2);
    }
    for (size_t i = t.first; i <= t.last && i < t.recs.size(); ++i) {
        const Rec& r = t.recs[i].rec;
        const uint32_t size = 4u + r.len;
        const bool own = t.recs[i].depth == 1;
        if (own && r.type == rt::ROW && r.len >= 16) {
            t.rowRecs[rd16(r.data)] = Bytes(s_.begin() + r.pos, s_.begin() + r.pos + size);
            if (rd16(r.data + 12) & 0x0080)
                t.rowXf[rd16(r.data)] = rd16(r.data + 14) & 0x0FFF;
            continue;
        }
        if (own && r.type == rt::DBCELL) {
            t.hadDbcell = true;
            continue;
        }
        if (own && isCellRecord(r.type) && r.len >= 6) {
            Item it;
            it.row = rd16(r.data);
            it.type = r.type;
            it.pos = r.pos;
            it.len = size;
            it.c0 = it.c1 = rd16(r.data + 2);
            if (r.type == rt::MULRK || r.type == rt::MULBLANK) {
                const size_t n = (r.len - 6) / (r.type == rt::MULRK ? 6 : 2);
                if (n == 0 || it.c0 + n - 1 > 0xFFFF)
                    damaged("a MULRK or MULBLANK record holds no cells or too many");
                it.c1 = static_cast<uint16_t>(it.c0 + n - 1);
            }
            t.byRow[it.row].push_back(t.items.size());
            t.items.push_back(std::move(it));
            continue;
        }
        if (t.items.empty())
            t.leading.emplace_back(r.pos, size);
        else
            t.items.back().extras.emplace_back(r.pos, size);
    }
    return t;
}

uint16_t Writer::xfOfCell(const Item& it, uint16_t col) const {
    const uint8_t* d = dataOf(it);
    if (it.type == rt::MULRK)
        return rd16(d + 4 + 6 * (col - it.c0));
    if (it.type == rt::MULBLANK)
        return rd16(d + 4 + 2 * (col - it.c0));
    return rd16(d + 4);
}

// A cell record for a written value, with the cell's format (a date gets a date format when
// its cell has none).
Bytes Writer::makeRecord(uint16_t row, uint16_t col, uint16_t xf, const CellValue& v) {
    Bytes rec;
    switch (v.kind) {
    case CellValue::Kind::Empty:
        rec = cellRecord(rt::BLANK, row, col, xf);
        break;
    case CellValue::Kind::Date:
        if (!b_.isDateXf(xf) && dateXf_ != UINT32_MAX)
            xf = static_cast<uint16_t>(dateXf_);
        [[fallthrough]];
    case CellValue::Kind::Number:
        rec = cellRecord(rt::NUMBER, row, col, xf);
        putDouble(rec, v.number);
        break;
    case CellValue::Kind::Text:
        rec = cellRecord(rt::LABELSST, row, col, xf);
        put32(rec, textIndex_.at(v.text));
        ++refDelta_;
        break;
    case CellValue::Kind::Bool:
    case CellValue::Kind::Error:
        rec = cellRecord(rt::BOOLERR, row, col, xf);
        rec.push_back(v.kind == CellValue::Kind::Bool ? (v.boolean ? 1 : 0) : biffErrorCode(v.error));
        rec.push_back(v.kind == CellValue::Kind::Bool ? 0 : 1);
        break;
    }
    finish(rec);
    return rec;
}

// The cells [from, to] of a MULRK/MULBLANK as one record (RK/BLANK for a single cell).
Item Writer::slice(const Item& it, uint16_t from, uint16_t to) const {
    Item piece;
    piece.row = it.row;
    piece.c0 = from;
    piece.c1 = to;
    const uint8_t* d = dataOf(it);
    const bool rk = it.type == rt::MULRK;
    if (from == to) {
        piece.type = rk ? rt::RK : rt::BLANK;
        piece.own = cellRecord(piece.type, it.row, from, xfOfCell(it, from));
        if (rk)
            put32(piece.own, rd32(d + 6 + 6 * (from - it.c0)));
    } else {
        piece.type = it.type;
        piece.own = cellRecord(it.type, it.row, from, 0);
        piece.own.resize(piece.own.size() - 2); // MUL records: row, first column, then entries
        const size_t step = rk ? 6 : 2;
        const uint8_t* e = d + 4 + step * (from - it.c0);
        piece.own.insert(piece.own.end(), e, e + step * (to - from + 1));
        put16(piece.own, to);
    }
    finish(piece.own);
    return piece;
}

// Replaces every record that holds an edited cell: a MULRK/MULBLANK is split around it, and
// when a file holds one cell twice both records go (the reader shows the later one).
void Writer::applyEdits(int sheet, SheetTable& t) {
    for (const auto& [key, value] : b_.edits_[sheet].cells) {
        const uint16_t row = static_cast<uint16_t>(key >> 8), col = static_cast<uint16_t>(key & 0xFF);
        std::vector<size_t> hits;
        for (size_t idx : t.byRow[row]) {
            const Item& it = t.items[idx];
            if (!it.removed && col >= it.c0 && col <= it.c1)
                hits.push_back(idx);
        }
        if (hits.empty() && value.kind == CellValue::Kind::Empty)
            continue;
        std::vector<Item> pieces;
        std::vector<std::pair<uint32_t, uint32_t>> extras;
        uint16_t xf = 0;
        for (size_t idx : hits) {
            Item& hit = t.items[idx];
            xf = xfOfCell(hit, col); // the last record's format, as the cell shows it
            if (hit.type == rt::LABELSST)
                --refDelta_;
            hit.removed = true;
            // Records that follow the cell: a formula's STRING result (and its CONTINUEs) and a
            // text's CONTINUEs go with it; anything else stays.
            bool dropping = hit.type == rt::FORMULA || hit.type == rt::FORMULA3 || hit.type == rt::FORMULA4 ||
                            hit.type == rt::LABEL || hit.type == rt::RSTRING;
            for (const auto& ex : hit.extras) {
                const uint16_t type = rd16(at(ex.first));
                if (dropping && (type == rt::STRING || type == rt::CONTINUE))
                    continue;
                dropping = false;
                extras.push_back(ex);
            }
            if (hit.c0 < col)
                pieces.push_back(slice(hit, hit.c0, static_cast<uint16_t>(col - 1)));
            if (col < hit.c1)
                pieces.push_back(slice(hit, static_cast<uint16_t>(col + 1), hit.c1));
        }
        if (hits.empty()) {
            xf = t.newCellXf(row, col);
            ColumnSpan& g = t.grown[row];
            g.minCol = std::min(g.minCol, col);
            g.maxCol = std::max(g.maxCol, col);
        }
        // A cleared cell keeps its format, as a BLANK.
        Item mid;
        mid.row = row;
        mid.c0 = mid.c1 = col;
        mid.own = makeRecord(row, col, xf, value);
        mid.type = rd16(&mid.own[0]);
        pieces.push_back(std::move(mid));
        // The records that followed the old cells stay after the rightmost piece.
        std::max_element(pieces.begin(), pieces.end(), [](const Item& a, const Item& b) {
            return a.c0 < b.c0;
        })->extras = std::move(extras);
        for (Item& p : pieces) {
            t.byRow[row].push_back(t.items.size());
            t.items.push_back(std::move(p));
        }
    }
}

// ROW records for rows that gained cells: a new one, or the old one widened.
void Writer::growRows(SheetTable& t) const {
    for (const auto& [row, g] : t.grown) {
        auto it = t.rowRecs.find(row);
        if (it == t.rowRecs.end())
            t.rowRecs.emplace(row, rowRecord(row, g.minCol, g.maxCol, t.defaultRowHeight));
        else
            widenRow(it->second.data() + 4, g.minCol, g.maxCol);
    }
}

// Writes the substream again: the records before the table (INDEX rebuilt, DIMENSIONS grown),
// the table in blocks of rows with their DBCELLs, and the records after it.
void Writer::emitTable(SheetTable& t) {
    // The surviving cells by row, then column; stable, so that of two records for one cell the
    // later stays later.
    std::vector<const Item*> live;
    for (const Item& it : t.items)
        if (!it.removed)
            live.push_back(&it);
    std::stable_sort(live.begin(), live.end(), [](const Item* a, const Item* b) {
        if (a->row != b->row)
            return a->row < b->row;
        return a->c0 < b->c0;
    });
    // Every row with a ROW record or a cell. Rows with cells but no ROW record (some writers
    // leave them out) get none either: only the rows that gained cells were given one.
    std::vector<uint16_t> rows;
    for (const auto& [row, rec] : t.rowRecs)
        rows.push_back(row);
    for (const Item* it : live)
        rows.push_back(it->row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const auto blocks = rowBlocks(rows);

    long indexPos = -1;
    uint32_t indexLen = 0;
    long defColWidthPos = -1;
    uint32_t oldIbXf = 0;
    for (size_t i = 0; i < t.first && i < t.recs.size(); ++i) {
        const Rec& r = t.recs[i].rec;
        const bool own = t.recs[i].depth == 1;
        mapRecord(r.pos);
        if (own && r.type == rt::INDEX && r.len >= 16 && indexPos < 0) {
            indexPos = static_cast<long>(out_.size());
            oldIbXf = rd32(r.data + 12);
            Bytes d(r.data, r.data + 16);
            d.resize(16 + 4 * blocks.size());
            indexLen = static_cast<uint32_t>(d.size());
            if (d.size() > kMaxRecordData)
                refuse("the sheet has too many rows for its index");
            putRecord(out_, rt::INDEX, d);
            continue;
        }
        if (own && r.type == rt::DEFCOLWIDTH && defColWidthPos < 0)
            defColWidthPos = static_cast<long>(out_.size());
        copy(r.pos, 4 + r.len);
        if (own && r.type == rt::DIMENSIONS && r.len >= 14)
            growDimensions(&out_[out_.size() - r.len], t.grown);
    }
    for (const auto& [p, n] : t.leading)
        copy(p, n);
    std::vector<uint32_t> dbcells;
    size_t li = 0;
    for (const auto& [bi, bj] : blocks) {
        const uint32_t firstRowPos = static_cast<uint32_t>(out_.size());
        uint32_t firstRowEnd = firstRowPos;
        for (size_t k = bi; k < bj; ++k) {
            auto rr = t.rowRecs.find(rows[k]);
            if (rr == t.rowRecs.end())
                continue;
            out_.insert(out_.end(), rr->second.begin(), rr->second.end());
            if (firstRowEnd == firstRowPos)
                firstRowEnd = static_cast<uint32_t>(out_.size());
        }
        uint32_t ref = firstRowEnd;
        std::vector<uint16_t> offsets;
        for (size_t k = bi; k < bj; ++k) {
            const uint32_t cellStart = static_cast<uint32_t>(out_.size());
            bool any = false;
            while (li < live.size() && live[li]->row == rows[k]) {
                const Item& it = *live[li++];
                if (!it.own.empty())
                    out_.insert(out_.end(), it.own.begin(), it.own.end());
                else
                    copy(it.pos, it.len);
                for (const auto& [p, n] : it.extras)
                    copy(p, n);
                any = true;
            }
            if (t.rowRecs.count(rows[k]) || any) {
                offsets.push_back(static_cast<uint16_t>(cellStart - ref));
                ref = cellStart;
            }
        }
        if (!t.hadDbcell)
            continue;
        dbcells.push_back(static_cast<uint32_t>(out_.size()));
        const Bytes db = dbcellRecord(dbcells.back() - firstRowPos, offsets);
        out_.insert(out_.end(), db.begin(), db.end());
    }
    for (size_t i = t.last + 1; i < t.recs.size(); ++i) {
        mapRecord(t.recs[i].rec.pos);
        copy(t.recs[i].rec.pos, 4u + t.recs[i].rec.len);
    }
    if (indexPos >= 0) {
        uint8_t* d = &out_[indexPos + 4];
        wr32(d + 4, rows.empty() ? 0 : rows.front());
        wr32(d + 8, rows.empty() ? 0 : rows.back() + 1u);
        wr32(d + 12, defColWidthPos >= 0 ? static_cast<uint32_t>(defColWidthPos) : (oldIbXf ? mapPos(oldIbXf) : 0));
        for (size_t k = 0; k < dbcells.size() && 16 + 4 * k + 4 <= indexLen; ++k)
            wr32(d + 16 + 4 * k, dbcells[k]);
    }
}

Bytes Book::serialize() const {
    if (biff_ != 8)
        throw WorkbookError(WorkbookError::Code::OldFormat, "the workbook uses an old Excel format and is not changed");
    Writer w(*this);
    Bytes out = w.run();
    verify(out);
    return out;
}

// The records of a sheet that was copied, in the old stream and the new one. Throws Damaged
// when the old sheet is cut short; returns the first difference, or "".
std::string Book::compareCopiedSheet(int sheet, const Book& check) const {
    const SheetEntry& mine = worksheets_[sheet];
    const uint32_t end = walkSubstream(stream_, mine.bofPos, sheetLimit_[sheet], mine.name, [](const Rec&, int) {});
    uint32_t b = check.worksheets_[sheet].bofPos;
    for (uint32_t a = mine.bofPos; a < end;) {
        Rec ra, rb;
        recordAt(stream_, a, ra);
        if (!recordAt(check.stream_, b, rb) || ra.type != rb.type || ra.len != rb.len ||
            (ra.type != rt::INDEX && ra.len && std::memcmp(ra.data, rb.data, ra.len) != 0))
            return "sheet \"" + mine.name + "\" was not copied as it was";
        a += 4 + ra.len;
        b += 4 + rb.len;
    }
    if (b > check.sheetLimit_[sheet])
        return "sheet \"" + mine.name + "\" runs into the next one";
    return {};
}

// Reads the new stream back before it goes anywhere: the same sheets, in every sheet read or
// edited exactly the old cells with the edits applied, and every other sheet copied record for
// record. Sheets are parsed one at a time and dropped, so the check needs no more memory than
// the largest sheet. A mismatch is a fault of the writer, and the save is refused instead of
// damaging the roll book; a sheet cut short in the old file is refused as damaged.
void Book::verify(const Bytes& out) const {
    auto fail = [](const std::string& what) {
        throw WorkbookError(WorkbookError::Code::Unsupported,
                            "the workbook cannot be saved: the rewritten file did not read back (" + what + ")");
    };
    std::unique_ptr<Book> check;
    try {
        check = std::make_unique<Book>(out);
    } catch (const WorkbookError& e) {
        fail(e.what());
    }
    if (check->worksheets_.size() != worksheets_.size() || check->sst_.size() < sst_.size())
        fail("sheets or strings differ");
    for (size_t i = 0; i < worksheets_.size(); ++i) {
        if (check->worksheets_[i].name != worksheets_[i].name)
            fail("sheet names differ");
        const int sheet = static_cast<int>(i);
        if (!sheets_[i]) {
            // Never read, so never edited: it was copied, and must have come out record for
            // record as it was (INDEX offsets move with the sheet). Parsing every sheet of a
            // large book here would cost more than the save itself.
            if (const std::string diff = compareCopiedSheet(sheet, *check); !diff.empty())
                fail(diff);
            continue;
        }
        std::unique_ptr<SheetCells> parsed;
        try {
            parsed = check->parseSheet(sheet);
        } catch (const WorkbookError& e) {
            fail(e.what());
        }
        const SheetCells* mine = sheets_[i].get();
        const SheetCells& theirs = *parsed;
        const size_t rows = std::max(mine->rows.size(), theirs.rows.size());
        std::vector<uint16_t> cols;
        for (size_t r = 0; r < rows; ++r) {
            cols.clear();
            for (const SheetCells* sc : {mine, &theirs})
                if (r < sc->rows.size())
                    for (const auto& x : sc->rows[r])
                        cols.push_back(x.col);
            for (const auto& [key, v] : edits_[i].cells)
                if ((key >> 8) == r)
                    cols.push_back(static_cast<uint16_t>(key & 0xFF));
            std::sort(cols.begin(), cols.end());
            cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
            for (uint16_t c : cols) {
                if (c > 255)
                    continue;
                CellValue want = cell(sheet, static_cast<int>(r), c);
                CellValue got = check->valueOf(theirs, static_cast<int>(r), c);
                if (want.kind == CellValue::Kind::Number && got.kind == CellValue::Kind::Date)
                    got.kind = CellValue::Kind::Number; // a number written into a date cell
                if (want.kind == CellValue::Kind::Date && got.kind == CellValue::Kind::Number && dateXf() == UINT32_MAX)
                    got.kind = CellValue::Kind::Date; // no date format in the workbook to give it
                if (!(want == got) && !(want.kind == got.kind && want.kind != CellValue::Kind::Text &&
                                        want.number != want.number && got.number != got.number))
                    fail("cell " + std::to_string(r + 1) + "," + std::to_string(c + 1) + " differs");
            }
        }
    }
}

} // namespace rostrel::workbook::xls
