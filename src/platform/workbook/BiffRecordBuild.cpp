// The records the BIFF8 writer builds or changes: new ROW, DBCELL and EXTSST records, widened
// ROW and DIMENSIONS records, and where a sheet's cell table lies among its records.
#include "platform/workbook/BiffRecords.h"
#include "platform/workbook/BiffWriter.h"

#include <algorithm>

namespace rostrel::workbook::xls {

namespace detail {

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

void putRecord(Bytes& out, uint16_t type, const Bytes& data) {
    put16(out, type);
    put16(out, static_cast<uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

} // namespace detail

using detail::isCellRecord;
using detail::putRecord;

namespace {

bool isTableRecord(uint16_t t) {
    return isCellRecord(t) || t == rt::ROW || t == rt::DBCELL || t == rt::STRING || t == rt::SHRFMLA ||
           t == rt::ARRAY || t == rt::TABLE;
}

} // namespace

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

} // namespace rostrel::workbook::xls
