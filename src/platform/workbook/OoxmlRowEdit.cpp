// Editing only the rows of a worksheet part that the edits touch, found through the places the
// read recorded: each row is scanned on its own and the splices planned as for a whole part.
#include "platform/workbook/OoxmlEditDetail.h"

#include <algorithm>

namespace rostrel::workbook::ooxml {

using namespace detail;

namespace {

using RowIt = std::vector<RowSpan>::const_iterator;

// Each edited row once, ascending, with the recorded row at or after it (end() when none).
template <class Visit> void eachEditedRow(const SheetLayout& layout, const CellEdits& edits, Visit&& visit) {
    RowIt it = layout.rows.begin();
    for (auto e = edits.begin(); e != edits.end();) {
        const int row = e->first.first;
        while (e != edits.end() && e->first.first == row)
            ++e;
        it = std::lower_bound(it, layout.rows.end(), static_cast<uint32_t>(row),
                              [](const RowSpan& r, uint32_t v) { return r.row < v; });
        visit(row, it);
    }
}

} // namespace

std::vector<Touched> touchedPlaces(const SheetLayout& layout, const CellEdits& edits) {
    std::vector<Touched> out;
    Rect d;
    if (layout.hasDimension && grownDimension(layout.dimensionValid, layout.dimension, edits, d))
        out.push_back({layout.dimensionPos, layout.dimensionEnd, 0, 0});
    eachEditedRow(layout, edits, [&](int row, RowIt it) {
        Touched t{0, 0, row, row};
        if (it != layout.rows.end() && it->row == static_cast<uint32_t>(row)) {
            t.pos = it->pos;
            t.end = it->end;
        } else if (it != layout.rows.end()) {
            t.pos = t.end = it->pos;
        } else if (layout.dataEmpty) { // <sheetData/> becomes <sheetData>rows</sheetData>
            t.pos = layout.dataPos + layout.dataTagLen - 2;
            t.end = layout.dataPos + layout.dataTagLen;
        } else {
            t.pos = t.end = layout.dataEnd;
        }
        if (!out.empty() && out.back().rowLo != 0 && out.back().pos == t.pos && out.back().end == t.end)
            out.back().rowHi = row;
        else
            out.push_back(t);
    });
    return out;
}

RowEditResult editRows(const SheetLayout& layout, const std::string& part, const CellEdits& edits,
                       const CellRenderer& render, const std::function<FileBytes(uint64_t, uint64_t)>& bytes) {
    if (!layout.usable)
        unsupported("the places of the rows of \"" + part + "\" are not known");
    const std::string data = q(layout.prefix, "sheetData");
    const std::string head = layout.rootTag + "<" + data + ">";
    const std::string tail = "</" + data + "></" + layout.rootName + ">";

    EditScanner merged(edits, part);
    static_cast<SheetPlaces&>(merged) = layout;
    eachEditedRow(layout, edits, [&](int row, RowIt it) {
        if (it == layout.rows.end())
            return;
        if (it->row != static_cast<uint32_t>(row)) {
            // Rows inserted before it need only its start.
            if (merged.rows.empty() || merged.rows.back().row != static_cast<int>(it->row)) {
                RowAt next;
                next.row = static_cast<int>(it->row);
                next.pos = it->pos;
                next.hasR = true;
                merged.rows.push_back(std::move(next));
            }
            return;
        }
        const FileBytes xml = bytes(it->pos, it->end);
        EditScanner one(edits, part);
        {
            XmlParser parser(one, part, false);
            one.parser = &parser;
            parser.feed(head.data(), head.size(), false);
            parser.feed(reinterpret_cast<const char*>(xml.data()), xml.size(), false);
            parser.feed(tail.data(), tail.size(), true);
        }
        if (one.rows.size() != 1 || one.rows[0].row != row || !one.ordered)
            unsupported("row " + std::to_string(row) + " of \"" + part + "\" does not stand on its own");
        RowAt r = std::move(one.rows[0]);
        const uint64_t shift = it->pos - head.size();
        r.pos += shift;
        r.endTag += shift;
        for (CellAt& c : r.cells) {
            c.pos += shift;
            c.end += shift;
        }
        merged.locked.insert(merged.locked.end(), one.locked.begin(), one.locked.end());
        if (!merged.rows.empty() && merged.rows.back().row == row)
            merged.rows.back() = std::move(r);
        else
            merged.rows.push_back(std::move(r));
    });
    BuiltSplices built = buildSplices(merged, part, edits, render);
    return {std::move(built.splices), built.formulaRemoved};
}

} // namespace rostrel::workbook::ooxml
