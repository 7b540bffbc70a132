// Editing a worksheet part in place: only the written cells' elements change (plus rows that
// must appear and the dimension); every other byte of the part stays as it was. Here the
// splices are planned and a whole part edited; OoxmlRowEdit.cpp edits the rows alone.
#include "platform/workbook/OoxmlEditDetail.h"

#include <algorithm>

namespace rostrel::workbook::ooxml {

using namespace detail;

bool grownDimension(bool valid, const Rect& old, const CellEdits& edits, Rect& d) {
    d = old;
    bool any = valid;
    for (const auto& [rc, v] : edits) {
        if (v.isEmpty())
            continue;
        if (!any) {
            d = {rc.first, rc.second, rc.first, rc.second};
            any = true;
        }
        d.r0 = std::min(d.r0, rc.first);
        d.c0 = std::min(d.c0, rc.second);
        d.r1 = std::max(d.r1, rc.first);
        d.c1 = std::max(d.c1, rc.second);
    }
    return any && !(valid && d.r0 == old.r0 && d.c0 == old.c0 && d.r1 == old.r1 && d.c1 == old.c1);
}

namespace detail {

BuiltSplices buildSplices(const EditScanner& scan, const std::string& part, const CellEdits& edits,
                          const CellRenderer& render) {
    if (scan.dataPos == 0)
        unsupported("\"" + part + "\" has no cell data");
    if (!scan.ordered)
        unsupported("the rows or cells of \"" + part + "\" are out of order");
    for (const auto& [rc, v] : edits)
        for (const Rect& r : scan.locked)
            if (r.contains(rc.first, rc.second))
                throw WorkbookError(WorkbookError::Code::Unsupported, "the cell " + cellRef(rc.first, rc.second) +
                                                                          " belongs to an array or shared formula");

    BuiltSplices result;
    std::vector<Splice>& splices = result.splices;
    const std::string& p = scan.prefix;
    const std::string rowName = q(p, "row");

    auto columnStyle = [&](int col) -> std::optional<uint32_t> {
        for (const auto& cs : scan.colStyles)
            if (col >= cs.lo && col <= cs.hi)
                return cs.style;
        return std::nullopt;
    };
    auto renderCell = [&](int row, int col, std::optional<uint32_t> style, const CellValue& v) {
        CellRender r;
        r.prefix = p;
        r.ref = cellRef(row, col);
        r.style = style;
        r.value = &v;
        return render(r);
    };
    // A row or cell without "r" takes its place from the one before: once anything is inserted
    // before it, it needs its own reference.
    auto addRef = [&](uint64_t tagPos, const std::string& name, const std::string& ref) {
        splices.push_back({tagPos + 1 + name.size(), 0, " r=\"" + ref + "\""});
    };

    bool insertedRows = false;
    auto it = edits.begin();
    while (it != edits.end()) {
        const int row = it->first.first;
        auto next = it;
        while (next != edits.end() && next->first.first == row)
            ++next;
        auto found =
            std::lower_bound(scan.rows.begin(), scan.rows.end(), row, [](const RowAt& r, int v) { return r.row < v; });
        if (found != scan.rows.end() && found->row == row) {
            const RowAt& r = *found;
            std::string tail; // new cells after the last existing one
            std::set<int> replaced;
            for (auto e = it; e != next; ++e) {
                const int col = e->first.second;
                auto cell = std::lower_bound(r.cells.begin(), r.cells.end(), col,
                                             [](const CellAt& c, int v) { return c.col < v; });
                if (cell != r.cells.end() && cell->col == col) {
                    result.formulaRemoved |= cell->formula;
                    replaced.insert(col);
                    splices.push_back({cell->pos, cell->end - cell->pos, renderCell(row, col, cell->style, e->second)});
                    continue;
                }
                std::optional<uint32_t> style = r.style ? r.style : columnStyle(col);
                const std::string xmlCell = renderCell(row, col, style, e->second);
                if (cell != r.cells.end())
                    splices.push_back({cell->pos, 0, xmlCell});
                else
                    tail += xmlCell;
            }
            if (!tail.empty()) {
                if (r.empty) // <row .../> becomes <row ...>cells</row>
                    splices.push_back({r.pos + r.tagLen - 2, 2, ">" + tail + "</" + rowName + ">"});
                else
                    splices.push_back({r.endTag, 0, tail});
            }
            for (const CellAt& c : r.cells)
                if (!c.hasR && !replaced.count(c.col))
                    addRef(c.pos, q(p, "c"), cellRef(row, c.col));
        } else {
            std::string cells;
            for (auto e = it; e != next; ++e)
                cells += renderCell(row, e->first.second, columnStyle(e->first.second), e->second);
            if (!cells.empty()) {
                const std::string rowXml =
                    "<" + rowName + " r=\"" + std::to_string(row) + "\">" + cells + "</" + rowName + ">";
                insertedRows = true;
                if (found != scan.rows.end())
                    splices.push_back({found->pos, 0, rowXml});
                else if (scan.dataEmpty) // <sheetData/> becomes <sheetData>rows</sheetData>
                    splices.push_back(
                        {scan.dataPos + scan.dataTagLen - 2, 2, ">" + rowXml + "</" + q(p, "sheetData") + ">"});
                else
                    splices.push_back({scan.dataEnd, 0, rowXml});
            }
        }
        it = next;
    }
    if (insertedRows)
        for (const RowAt& r : scan.rows)
            if (!r.hasR)
                addRef(r.pos, rowName, std::to_string(r.row));

    Rect d;
    if (scan.hasDimension && grownDimension(scan.dimensionValid, scan.dimension, edits, d)) {
        const std::string ref =
            d.r0 == d.r1 && d.c0 == d.c1 ? cellRef(d.r0, d.c0) : cellRef(d.r0, d.c0) + ":" + cellRef(d.r1, d.c1);
        splices.push_back({scan.dimensionPos, scan.dimensionEnd - scan.dimensionPos,
                           "<" + q(scan.dimensionPrefix, "dimension") + " ref=\"" + ref + "\"/>"});
    }
    std::stable_sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) { return a.pos < b.pos; });
    return result;
}

} // namespace detail

SheetEditResult editSheet(const FileBytes& xml, const std::string& part, const CellEdits& edits,
                          const CellRenderer& render) {
    if (xml.size() >= 2 && ((xml[0] == 0xFF && xml[1] == 0xFE) || (xml[0] == 0xFE && xml[1] == 0xFF)))
        unsupported("\"" + part + "\" is not UTF-8");
    EditScanner scan(edits, part);
    {
        XmlParser parser(scan, part, false);
        scan.parser = &parser;
        parser.parse(xml);
    }
    BuiltSplices built = buildSplices(scan, part, edits, render);
    SheetEditResult result;
    result.formulaRemoved = built.formulaRemoved;
    result.bytes = applySplices(xml, std::move(built.splices));
    return result;
}

} // namespace rostrel::workbook::ooxml
