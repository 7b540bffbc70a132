// Writing a BIFF8 workbook stream back with edited cells. Every record that is not an edited
// cell is copied byte for byte; the records that describe the cell table (ROW, DBCELL, INDEX,
// DIMENSIONS) of an edited sheet, the shared string table when it grows, and the offsets that
// point into the stream (BOUNDSHEET, INDEX, EXTSST) are rebuilt.
#include "platform/workbook/Biff.h"
#include "platform/workbook/BiffRecords.h"

#include <algorithm>
#include <unordered_map>

namespace rostrel::workbook::xls {

namespace {

[[noreturn]] void refuse(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Unsupported, "the workbook cannot be saved: " + what);
}

bool isCellRecord(uint16_t t) {
    switch (t) {
    case rt::NUMBER: case rt::RK: case rt::MULRK: case rt::LABELSST: case rt::LABEL: case rt::RSTRING:
    case rt::BLANK: case rt::MULBLANK: case rt::BOOLERR: case rt::FORMULA: case rt::FORMULA3: case rt::FORMULA4:
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
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; n = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; n = 3; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; n = 4; }
        else { out.push_back(0xFFFD); ++i; continue; }
        if (i + n > s.size()) { out.push_back(0xFFFD); break; }
        bool ok = true;
        for (size_t k = 1; k < n; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            ok = ok && (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        i += ok ? n : 1;
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { out.push_back(0xFFFD); continue; }
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
void finish(Bytes& rec) { wr16(&rec[2], static_cast<uint16_t>(rec.size() - 4)); }

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

} // namespace

// One piece of the rebuilt cell table: a cell record (kept or new) and the records that
// travel with it (a formula's STRING, unknown records found between cells).
struct Item {
    uint16_t row = 0, c0 = 0, c1 = 0;
    uint16_t type = 0;
    uint32_t pos = 0, len = 0; // the original record (header included), when not `own`
    Bytes own;                 // a new record, header included
    std::vector<std::pair<uint32_t, uint32_t>> extras; // original records: position, size
    size_t order = 0;
    bool removed = false;
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
    void emitSst(uint32_t groupEnd);
    void emitNewSst();
    void emitExtSst();
    uint32_t rebuildSheet(int sheet);
    const uint8_t* at(uint32_t pos) const { return s_.data() + pos; }

    const Book& b_;
    const Bytes& s_;
    Bytes out_;
    std::vector<std::pair<uint32_t, uint32_t>> map_; // old record position -> new
    // Texts written as cells: their SST index. New strings are appended after the old ones.
    std::unordered_map<std::string, uint32_t> textIndex_;
    std::vector<std::string> newStrings_;
    std::vector<std::pair<uint32_t, uint32_t>> stringPos_; // every string: stream pos, record pos
    long long refDelta_ = 0;
    long sstHeaderPos_ = -1;
};

uint32_t Writer::mapPos(uint32_t oldPos) const {
    auto it = std::upper_bound(map_.begin(), map_.end(), std::make_pair(oldPos, UINT32_MAX));
    if (it == map_.begin())
        return oldPos;
    --it;
    return it->second + (oldPos - it->first);
}

void Writer::assignStrings() {
    bool anyText = false;
    for (const auto& e : b_.edits_)
        for (const auto& [key, v] : e.cells)
            anyText = anyText || v.kind == CellValue::Kind::Text;
    if (!anyText)
        return;
    for (uint32_t i = 0; i < b_.sst_.size(); ++i)
        if (b_.sst_[i].plain)
            textIndex_.emplace(b_.sst_[i].text, i);
    for (const auto& e : b_.edits_) {
        for (const auto& [key, v] : e.cells) {
            if (v.kind != CellValue::Kind::Text || textIndex_.count(v.text))
                continue;
            textIndex_.emplace(v.text, static_cast<uint32_t>(b_.sst_.size() + newStrings_.size()));
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

void Writer::emitExtSst() {
    const uint32_t n = static_cast<uint32_t>(stringPos_.size());
    const uint32_t perBucket = std::max<uint32_t>(n / 128 + 1, 8);
    Bytes d;
    put16(d, static_cast<uint16_t>(perBucket));
    for (uint32_t i = 0; i < n; i += perBucket) {
        put32(d, stringPos_[i].first);
        put16(d, static_cast<uint16_t>(stringPos_[i].first - stringPos_[i].second));
        put16(d, 0);
    }
    putRecord(out_, rt::EXTSST, d);
}

Bytes Writer::run() {
    assignStrings();
    const bool grow = !newStrings_.empty();
    const bool edited = b_.hasEdits();

    // Which worksheet substreams are rebuilt.
    std::unordered_map<uint32_t, int> rebuild; // BOF position -> worksheet index
    for (size_t i = 0; i < b_.worksheets_.size(); ++i)
        if (!b_.edits_[i].cells.empty())
            rebuild.emplace(b_.worksheets_[i].bofPos, static_cast<int>(i));

    out_.reserve(s_.size() + 4096);
    // Globals.
    for (uint32_t pos = 0; pos < b_.globalsEnd_;) {
        Rec r;
        recordAt(s_, pos, r);
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
        if (edited && r.type == rt::RECALCID && r.len >= 8)
            wr32(&out_[out_.size() - 4], 0); // formulas over edited cells: recalculate on load
        pos += 4 + r.len;
    }

    // The sheets and whatever else follows the globals.
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
        refuse("a sheet does not start at a record boundary");

    // Offsets into the stream.
    std::sort(map_.begin(), map_.end());
    for (const SheetEntry& e : b_.allSheets_) {
        const uint32_t recPos = mapPos(e.boundsheetPos);
        wr32(&out_[recPos + 4], mapPos(e.bofPos));
    }
    if (sstHeaderPos_ >= 0 && (refDelta_ != 0 || grow)) {
        long long total = rd32(&out_[sstHeaderPos_ + 4]) + refDelta_;
        wr32(&out_[sstHeaderPos_ + 4], static_cast<uint32_t>(std::clamp<long long>(total, 0, UINT32_MAX)));
    }
    if (out_.size() > 0xFFFFFFFFull)
        refuse("the workbook grows too large");
    return std::move(out_);
}

uint32_t Writer::rebuildSheet(int sheet) {
    const uint32_t start = b_.worksheets_[sheet].bofPos;
    // The substream's records, and their nesting depth (embedded charts are deeper).
    struct R { Rec rec; int depth; };
    std::vector<R> recs;
    int depth = 0;
    uint32_t pos = start;
    for (;;) {
        Rec r;
        if (!recordAt(s_, pos, r))
            refuse("a sheet is cut short");
        if (r.type == rt::BOF)
            ++depth;
        recs.push_back({r, depth});
        pos += 4 + r.len;
        if (r.type == rt::EOF_ && --depth == 0)
            break;
    }
    const uint32_t end = pos;

    // The cell table: from the first ROW or cell record to the last record belonging to it.
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
            if (recs[i].rec.type == rt::DIMENSIONS) { at = i + 1; break; }
            if (recs[i].rec.type == rt::WINDOW2 && at == recs.size() - 1)
                at = i;
        }
        first = at;
        last = at - 1;
    } else {
        // A CONTINUE after the last table record belongs to it.
        while (last + 1 < recs.size() && recs[last + 1].depth == 1 && recs[last + 1].rec.type == rt::CONTINUE)
            ++last;
    }

    // Gather the table.
    std::vector<Item> items;
    std::map<uint16_t, Bytes> rowRecs; // row -> ROW record, header included
    std::vector<std::pair<uint32_t, uint32_t>> leading;
    std::map<uint16_t, uint16_t> rowXf;
    bool hadDbcell = false; // writers that leave DBCELL and INDEX out get none
    for (const R& r : recs)
        hadDbcell = hadDbcell || (r.depth == 1 && r.rec.type == rt::INDEX);
    for (size_t i = first; i <= last && i < recs.size(); ++i) {
        const Rec& r = recs[i].rec;
        const uint32_t size = 4u + r.len;
        if (recs[i].depth == 1 && r.type == rt::ROW && r.len >= 16) {
            rowRecs[rd16(r.data)] = Bytes(s_.begin() + r.pos, s_.begin() + r.pos + size);
            if (rd16(r.data + 12) & 0x0080)
                rowXf[rd16(r.data)] = rd16(r.data + 14) & 0x0FFF;
            continue;
        }
        if (recs[i].depth == 1 && r.type == rt::DBCELL) {
            hadDbcell = true;
            continue;
        }
        if (recs[i].depth == 1 && isCellRecord(r.type) && r.len >= 6) {
            Item it;
            it.row = rd16(r.data);
            it.type = r.type;
            it.pos = r.pos;
            it.len = size;
            it.order = items.size();
            if (r.type == rt::MULRK || r.type == rt::MULBLANK) {
                const size_t step = r.type == rt::MULRK ? 6 : 2;
                const size_t n = (r.len - 6) / step;
                if (n == 0)
                    refuse("a MULRK or MULBLANK record holds no cells");
                it.c0 = rd16(r.data + 2);
                it.c1 = static_cast<uint16_t>(it.c0 + n - 1);
            } else {
                it.c0 = it.c1 = rd16(r.data + 2);
            }
            items.push_back(std::move(it));
            continue;
        }
        if (items.empty())
            leading.emplace_back(r.pos, size);
        else
            items.back().extras.emplace_back(r.pos, size);
    }

    // Columns' formats, for new cells.
    std::vector<std::pair<std::pair<uint16_t, uint16_t>, uint16_t>> colXf;
    uint16_t defaultRowHeight = 0x00FF;
    for (const R& r : recs) {
        if (r.depth != 1)
            continue;
        if (r.rec.type == rt::COLINFO && r.rec.len >= 8)
            colXf.push_back({{rd16(r.rec.data), rd16(r.rec.data + 2)}, rd16(r.rec.data + 6)});
        if (r.rec.type == rt::DEFAULTROWHEIGHT && r.rec.len >= 4)
            defaultRowHeight = rd16(r.rec.data + 2);
    }
    auto newCellXf = [&](uint16_t row, uint16_t col) -> uint16_t {
        auto rx = rowXf.find(row);
        if (rx != rowXf.end() && rx->second >= 15)
            return rx->second;
        for (const auto& [range, xf] : colXf)
            if (col >= range.first && col <= range.second && xf >= 15)
                return xf;
        return 15;
    };

    // Apply the edits.
    std::unordered_map<uint16_t, std::vector<size_t>> byRow;
    for (size_t i = 0; i < items.size(); ++i)
        byRow[items[i].row].push_back(i);
    struct Grow { uint16_t minCol = 0xFFFF, maxCol = 0; };
    std::map<uint16_t, Grow> grown;
    auto dataOf = [&](const Item& it) -> const uint8_t* { return it.own.empty() ? at(it.pos + 4) : it.own.data() + 4; };
    auto xfOfCell = [&](const Item& it, uint16_t col) -> uint16_t {
        const uint8_t* d = dataOf(it);
        if (it.type == rt::MULRK)
            return rd16(d + 4 + 6 * (col - it.c0));
        if (it.type == rt::MULBLANK)
            return rd16(d + 4 + 2 * (col - it.c0));
        return rd16(d + 4);
    };
    const uint32_t dateXf = b_.dateXf();
    auto makeRecord = [&](uint16_t row, uint16_t col, uint16_t xf, const CellValue& v) -> Bytes {
        Bytes rec;
        switch (v.kind) {
        case CellValue::Kind::Empty:
            rec = cellRecord(rt::BLANK, row, col, xf);
            break;
        case CellValue::Kind::Date:
            if (!b_.isDateXf(xf) && dateXf != UINT32_MAX)
                xf = static_cast<uint16_t>(dateXf);
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
    };
    // The cells [from, to] of a MULRK/MULBLANK as one record (RK/BLANK for a single cell).
    auto slice = [&](const Item& it, uint16_t from, uint16_t to) -> Item {
        Item piece;
        piece.row = it.row;
        piece.c0 = from;
        piece.c1 = to;
        piece.order = it.order;
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
    };

    for (const auto& [key, value] : b_.edits_[sheet].cells) {
        const uint16_t row = static_cast<uint16_t>(key >> 8), col = static_cast<uint16_t>(key & 0xFF);
        Item* hit = nullptr;
        for (size_t idx : byRow[row]) {
            Item& it = items[idx];
            if (!it.removed && col >= it.c0 && col <= it.c1)
                hit = &it;
        }
        std::vector<Item> pieces;
        std::vector<std::pair<uint32_t, uint32_t>> extras;
        uint16_t xf;
        if (hit) {
            xf = xfOfCell(*hit, col);
            if (hit->type == rt::LABELSST)
                --refDelta_;
            hit->removed = true;
            // Records that follow the cell: a formula's STRING result (and its CONTINUEs) and a
            // text's CONTINUEs go with it; anything else stays.
            bool dropping = hit->type == rt::FORMULA || hit->type == rt::FORMULA3 || hit->type == rt::FORMULA4 || hit->type == rt::LABEL || hit->type == rt::RSTRING;
            for (const auto& ex : hit->extras) {
                const uint16_t t = rd16(at(ex.first));
                if (dropping && (t == rt::STRING || t == rt::CONTINUE))
                    continue;
                dropping = false;
                extras.push_back(ex);
            }
            if (hit->c0 < col)
                pieces.push_back(slice(*hit, hit->c0, static_cast<uint16_t>(col - 1)));
            // A cleared cell keeps its format, as a BLANK.
            Item mid;
            mid.row = row;
            mid.c0 = mid.c1 = col;
            mid.order = hit->order;
            mid.own = makeRecord(row, col, xf, value);
            mid.type = rd16(&mid.own[0]);
            pieces.push_back(std::move(mid));
            if (col < hit->c1)
                pieces.push_back(slice(*hit, static_cast<uint16_t>(col + 1), hit->c1));
        } else {
            if (value.kind == CellValue::Kind::Empty)
                continue;
            xf = newCellXf(row, col);
            Item mid;
            mid.row = row;
            mid.c0 = mid.c1 = col;
            mid.order = items.size();
            mid.own = makeRecord(row, col, xf, value);
            mid.type = rd16(&mid.own[0]);
            pieces.push_back(std::move(mid));
            Grow& g = grown[row];
            g.minCol = std::min(g.minCol, col);
            g.maxCol = std::max(g.maxCol, col);
        }
        pieces.back().extras = std::move(extras);
        for (Item& p : pieces) {
            byRow[row].push_back(items.size());
            items.push_back(std::move(p));
        }
    }

    // ROW records for rows that gained cells.
    for (const auto& [row, g] : grown) {
        auto it = rowRecs.find(row);
        if (it == rowRecs.end()) {
            Bytes rec;
            put16(rec, rt::ROW);
            put16(rec, 16);
            put16(rec, row);
            put16(rec, g.minCol);
            put16(rec, static_cast<uint16_t>(g.maxCol + 1));
            put16(rec, defaultRowHeight);
            put16(rec, 0);
            put16(rec, 0);
            put16(rec, 0x0100);
            put16(rec, 0x000F);
            rowRecs.emplace(row, std::move(rec));
            continue;
        }
        uint8_t* d = it->second.data() + 4;
        const uint16_t mic = rd16(d + 2), mac = rd16(d + 4);
        if (mic >= mac) {
            wr16(d + 2, g.minCol);
            wr16(d + 4, static_cast<uint16_t>(g.maxCol + 1));
        } else {
            if (g.minCol < mic)
                wr16(d + 2, g.minCol);
            if (g.maxCol + 1 > mac)
                wr16(d + 4, static_cast<uint16_t>(g.maxCol + 1));
        }
    }

    // Sort the surviving cells by row, then column (stable: a cell's companions keep their place).
    std::vector<Item*> live;
    for (Item& it : items)
        if (!it.removed)
            live.push_back(&it);
    std::stable_sort(live.begin(), live.end(), [](const Item* a, const Item* b) {
        if (a->row != b->row)
            return a->row < b->row;
        return a->c0 < b->c0;
    });
    std::vector<uint16_t> rows;
    {
        size_t li = 0;
        auto ri = rowRecs.begin();
        while (li < live.size() || ri != rowRecs.end()) {
            uint16_t next;
            if (ri != rowRecs.end() && (li >= live.size() || ri->first <= live[li]->row))
                next = ri->first;
            else
                next = live[li]->row;
            if (rows.empty() || rows.back() != next)
                rows.push_back(next);
            if (ri != rowRecs.end() && ri->first == next)
                ++ri;
            while (li < live.size() && live[li]->row == next)
                ++li;
        }
    }
    // Rows with cells but no ROW record (some writers leave them out) get none either: only the
    // rows that gained cells were given one above.

    // Emit: prefix, table, suffix.
    long indexPos = -1;
    uint32_t indexLen = 0;
    long defColWidthPos = -1;
    uint32_t oldIbXf = 0;
    std::vector<uint32_t> dbcells;
    // The rows' blocks: Excel groups rows by row / 32.
    std::vector<std::pair<size_t, size_t>> blocks; // [begin, end) in `rows`
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j < rows.size() && rows[j] / 32 == rows[i] / 32)
            ++j;
        blocks.emplace_back(i, j);
        i = j;
    }
    for (size_t i = 0; i < first && i < recs.size(); ++i) {
        const Rec& r = recs[i].rec;
        mapRecord(r.pos);
        if (recs[i].depth == 1 && r.type == rt::INDEX && r.len >= 16 && indexPos < 0) {
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
        if (recs[i].depth == 1 && r.type == rt::DEFCOLWIDTH && defColWidthPos < 0)
            defColWidthPos = static_cast<long>(out_.size());
        copy(r.pos, 4 + r.len);
        if (recs[i].depth == 1 && r.type == rt::DIMENSIONS && r.len >= 14 && !grown.empty()) {
            uint8_t* d = &out_[out_.size() - r.len];
            uint32_t rw0 = rd32(d), rw1 = rd32(d + 4);
            uint16_t c0 = rd16(d + 8), c1 = rd16(d + 10);
            const bool empty = rw1 <= rw0 || c1 <= c0;
            for (const auto& [row, g] : grown) {
                if (empty && row == grown.begin()->first) {
                    rw0 = row;
                    rw1 = row + 1u;
                    c0 = g.minCol;
                    c1 = static_cast<uint16_t>(g.maxCol + 1);
                }
                rw0 = std::min<uint32_t>(rw0, row);
                rw1 = std::max<uint32_t>(rw1, row + 1u);
                c0 = std::min(c0, g.minCol);
                c1 = std::max<uint16_t>(c1, static_cast<uint16_t>(g.maxCol + 1));
            }
            wr32(d, rw0);
            wr32(d + 4, rw1);
            wr16(d + 8, c0);
            wr16(d + 10, c1);
        }
    }
    for (const auto& [p, n] : leading)
        copy(p, n);
    size_t li = 0;
    for (const auto& [bi, bj] : blocks) {
        const uint32_t firstRowPos = static_cast<uint32_t>(out_.size());
        uint32_t firstRowEnd = firstRowPos;
        for (size_t k = bi; k < bj; ++k) {
            auto rr = rowRecs.find(rows[k]);
            if (rr == rowRecs.end())
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
            if (rowRecs.count(rows[k]) || any) {
                offsets.push_back(static_cast<uint16_t>(cellStart - ref));
                ref = cellStart;
            }
        }
        if (!hadDbcell)
            continue;
        const uint32_t dbPos = static_cast<uint32_t>(out_.size());
        dbcells.push_back(dbPos);
        Bytes d;
        put32(d, dbPos - firstRowPos);
        for (size_t k = 0; k < offsets.size() && k < 32; ++k)
            put16(d, offsets[k]);
        putRecord(out_, rt::DBCELL, d);
    }
    for (size_t i = last + 1; i < recs.size(); ++i) {
        mapRecord(recs[i].rec.pos);
        copy(recs[i].rec.pos, 4u + recs[i].rec.len);
    }
    if (indexPos >= 0) {
        uint8_t* d = &out_[indexPos + 4];
        wr32(d + 4, rows.empty() ? 0 : rows.front());
        wr32(d + 8, rows.empty() ? 0 : rows.back() + 1u);
        wr32(d + 12, defColWidthPos >= 0 ? static_cast<uint32_t>(defColWidthPos) : (oldIbXf ? mapPos(oldIbXf) : 0));
        for (size_t k = 0; k < dbcells.size() && 16 + 4 * k + 4 <= indexLen; ++k)
            wr32(d + 16 + 4 * k, dbcells[k]);
    }
    return end;
}

Bytes Book::serialize() const {
    if (biff_ != 8)
        throw WorkbookError(WorkbookError::Code::OldFormat, "the workbook uses an old Excel format and is not changed");
    Writer w(*this);
    Bytes out = w.run();
    verify(out);
    return out;
}

// Reads the new stream back before it goes anywhere: the same sheets, and in every edited sheet
// exactly the old cells with the edits applied. A mismatch is a fault of the writer; the save
// is refused instead of damaging the roll book.
[[noreturn]] static void verifyFailed(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Unsupported,
                        "the workbook cannot be saved: the rewritten file did not read back (" + what + ")");
}

void Book::verify(const Bytes& out) const {
    auto fail = verifyFailed;
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
        const SheetCells* mine = sheets_[i].get();
        const SheetCells* parsed = nullptr;
        try {
            parsed = &check->sheetCells(static_cast<int>(i));
        } catch (const WorkbookError& e) {
            fail(e.what());
        }
        const SheetCells& theirs = *parsed;
        if (!mine)
            continue; // never read, never edited: copied as it was
        const int sheet = static_cast<int>(i);
        const size_t rows = std::max(mine->rows.size(), theirs.rows.size());
        for (size_t r = 0; r < rows; ++r) {
            auto cols = [](const SheetCells& sc, size_t row) {
                std::vector<uint16_t> c;
                if (row < sc.rows.size())
                    for (const auto& x : sc.rows[row])
                        c.push_back(x.col);
                return c;
            };
            std::vector<uint16_t> all = cols(*mine, r), other = cols(theirs, r);
            all.insert(all.end(), other.begin(), other.end());
            for (const auto& [key, v] : edits_[i].cells)
                if ((key >> 8) == r)
                    all.push_back(static_cast<uint16_t>(key & 0xFF));
            std::sort(all.begin(), all.end());
            all.erase(std::unique(all.begin(), all.end()), all.end());
            for (uint16_t c : all) {
                if (c > 255)
                    continue;
                CellValue want = cell(sheet, static_cast<int>(r), c);
                CellValue got = check->cell(sheet, static_cast<int>(r), c);
                if (want.kind == CellValue::Kind::Number && got.kind == CellValue::Kind::Date)
                    got.kind = CellValue::Kind::Number; // a number written into a date cell
                if (want.kind == CellValue::Kind::Date && got.kind == CellValue::Kind::Number &&
                    dateXf() == UINT32_MAX)
                    got.kind = CellValue::Kind::Date; // no date format in the workbook to give it
                if (!(want == got) && !(want.kind == got.kind && want.kind != CellValue::Kind::Text &&
                                        want.number != want.number && got.number != got.number))
                    fail("cell " + std::to_string(r + 1) + "," + std::to_string(c + 1) + " differs");
            }
        }
    }
}

} // namespace rostrel::workbook::xls
