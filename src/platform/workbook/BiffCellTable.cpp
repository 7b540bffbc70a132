// Writing an edited sheet's substream again: the records before its cell table (INDEX rebuilt,
// DIMENSIONS grown), the table in blocks of rows with their DBCELLs, and the records after it.
#include "platform/workbook/BiffWriter.h"

#include <algorithm>

namespace rostrel::workbook::xls {

using detail::putRecord;
using detail::refuse;

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

} // namespace rostrel::workbook::xls
