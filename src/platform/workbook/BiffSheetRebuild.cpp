// Rebuilding an edited sheet's cells: its substream taken apart into cell records and ROW
// records, each edited cell's records replaced by a new one (a MULRK or MULBLANK split around
// it), and the rows that gained cells given ROW records. BiffCellTable.cpp writes the result.
#include "platform/workbook/BiffDetail.h"
#include "platform/workbook/BiffWriter.h"

#include <algorithm>
#include <tuple>

namespace rostrel::workbook::xls {

using detail::damaged;
using detail::isCellRecord;

namespace {

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

} // namespace

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

} // namespace rostrel::workbook::xls
