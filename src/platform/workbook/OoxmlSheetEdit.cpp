// Editing a worksheet part in place: only the written cells' elements change (plus rows that
// must appear and the dimension); every other byte of the part stays as it was.
#include "platform/workbook/OoxmlSheet.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace rostrel::workbook::ooxml {

namespace {

[[noreturn]] void unsupported(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Unsupported, "the workbook cannot be saved: " + what);
}

using Rect = LockedRange;

struct CellAt {
    int col = 0;
    uint64_t pos = 0, tagLen = 0, end = 0;
    bool hasR = false;
    std::optional<uint32_t> style;
    bool formula = false;
};
struct RowAt {
    int row = 0;
    uint64_t pos = 0, tagLen = 0, endTag = 0; // endTag: </row>, or the end of an empty <row/>
    bool empty = false, hasR = false;
    std::optional<uint32_t> style; // a row format that new cells take
    std::vector<CellAt> cells;     // kept for edited rows only
};

class EditScanner : public XmlHandler {
public:
    EditScanner(const CellEdits& edits, const std::string& part) : part_(part) {
        for (const auto& [rc, v] : edits)
            editedRows_.insert(rc.first);
    }
    XmlParser* parser = nullptr;

    void start(const XName& n, const char** atts, uint64_t pos, uint64_t len) override {
        ++depth_;
        if (depth_ == 1) {
            const char* ns = attr(atts, n.prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(n.prefix));
            if (!ns || kMainNs != ns)
                unsupported("\"" + part_ + "\" is not a SpreadsheetML worksheet");
            return;
        }
        if (depth_ == 2) {
            if (n.local == "dimension") {
                hasDimension = true;
                dimensionPos = pos;
                dimensionEnd = pos + len;
                const char* ref = attr(atts, "ref");
                dimensionValid = ref && parseRange(ref, dimension);
                dimensionPrefix = std::string(n.prefix);
            } else if (n.local == "sheetData") {
                inData_ = true;
                prefix = std::string(n.prefix);
                dataPos = pos;
                dataTagLen = len;
                dataEnd = pos + len;
            } else if (n.local == "cols") {
                inCols_ = true;
            }
            return;
        }
        if (depth_ == 3 && inCols_ && n.local == "col") {
            uint32_t lo, hi, style;
            if (parseUnsigned(attr(atts, "min"), lo) && parseUnsigned(attr(atts, "max"), hi) &&
                parseUnsigned(attr(atts, "style"), style) && style != 0)
                colStyles.push_back({static_cast<int>(lo), static_cast<int>(hi), style});
            return;
        }
        if (!inData_)
            return;
        if (depth_ == 3 && n.local == "row") {
            RowAt r;
            uint32_t num;
            r.hasR = parseUnsigned(attr(atts, "r"), num);
            r.row = r.hasR ? static_cast<int>(num) : (rows.empty() ? 1 : rows.back().row + 1);
            r.pos = pos;
            r.tagLen = len;
            r.endTag = pos + len;
            const char* custom = attr(atts, "customFormat");
            uint32_t s;
            if (custom && (std::strcmp(custom, "1") == 0 || std::strcmp(custom, "true") == 0) &&
                parseUnsigned(attr(atts, "s"), s))
                r.style = s;
            if (!rows.empty() && rows.back().row >= r.row)
                ordered = false;
            rows.push_back(std::move(r));
            // Past the last edited row nothing more is needed: this row is where new rows go,
            // and a formula range further down cannot cover an edited cell.
            if (ordered && !editedRows_.empty() && rows.back().row > *editedRows_.rbegin() && parser) {
                stoppedEarly = true;
                parser->stop();
                return;
            }
            col_ = 0;
            keepCells_ = editedRows_.count(rows.back().row) != 0;
        } else if (depth_ == 4 && n.local == "c") {
            CellAt c;
            const char* ref = attr(atts, "r");
            int r = rows.empty() ? 1 : rows.back().row;
            c.hasR = ref != nullptr;
            c.col = col_ + 1;
            if (ref && !parseCellRef(ref, r, c.col))
                unsupported("a cell reference in \"" + part_ + "\" is not understood");
            if (!rows.empty() && r != rows.back().row && editedRows_.count(r))
                unsupported("a cell of row " + std::to_string(r) + " lies in another row's element");
            col_ = c.col;
            cellRow_ = r;
            c.pos = pos;
            c.tagLen = len;
            c.end = pos + len;
            uint32_t s;
            if (parseUnsigned(attr(atts, "s"), s))
                c.style = s;
            if (keepCells_) {
                auto& cells = rows.back().cells;
                if (!cells.empty() && cells.back().col >= c.col)
                    ordered = false;
                cells.push_back(c);
            }
            cellOpen_ = true;
        } else if (depth_ == 5 && cellOpen_ && n.local == "f") {
            if (keepCells_)
                rows.back().cells.back().formula = true;
            const char* t = attr(atts, "t");
            const char* ref = attr(atts, "ref");
            Rect rect;
            if (t && (std::strcmp(t, "array") == 0 || std::strcmp(t, "dataTable") == 0)) {
                if (ref && parseRange(ref, rect))
                    locked.push_back(rect);
                else
                    locked.push_back({cellRow_, col_, cellRow_, col_});
            } else if (t && std::strcmp(t, "shared") == 0 && ref) {
                // The host of a shared formula carries the text its dependants use.
                locked.push_back({cellRow_, col_, cellRow_, col_});
            }
        }
    }

    void end(const XName& n, uint64_t pos, uint64_t len) override {
        if (depth_ == 2) {
            if (n.local == "sheetData") {
                inData_ = false;
                dataEmpty = len == 0;
                dataEnd = len == 0 ? dataEnd : pos;
            } else if (n.local == "dimension" && len > 0) {
                dimensionEnd = pos + len;
            } else if (n.local == "cols") {
                inCols_ = false;
            }
        } else if (inData_ && depth_ == 3 && n.local == "row") {
            rows.back().empty = len == 0;
            if (len > 0)
                rows.back().endTag = pos;
            keepCells_ = false;
        } else if (inData_ && depth_ == 4 && n.local == "c") {
            if (keepCells_ && len > 0)
                rows.back().cells.back().end = pos + len;
            cellOpen_ = false;
        }
        --depth_;
    }

    std::string prefix, dimensionPrefix;
    bool hasDimension = false, dimensionValid = false;
    uint64_t dimensionPos = 0, dimensionEnd = 0;
    Rect dimension{};
    uint64_t dataPos = 0, dataTagLen = 0, dataEnd = 0;
    bool dataEmpty = false;
    bool stoppedEarly = false;
    std::vector<RowAt> rows;
    bool ordered = true;
    std::vector<ColStyle> colStyles;
    std::vector<Rect> locked;

private:
    const std::string& part_;
    std::set<int> editedRows_;
    int depth_ = 0;
    bool inData_ = false, inCols_ = false, keepCells_ = false, cellOpen_ = false;
    int col_ = 0, cellRow_ = 0;
};

std::string q(const std::string& prefix, const char* local) {
    return prefix.empty() ? local : prefix + ":" + local;
}

} // namespace

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

namespace {

struct BuiltSplices {
    std::vector<Splice> splices;
    bool formulaRemoved = false;
};

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
    merged.prefix = layout.prefix;
    merged.dimensionPrefix = layout.dimensionPrefix;
    merged.hasDimension = layout.hasDimension;
    merged.dimensionValid = layout.dimensionValid;
    merged.dimensionPos = layout.dimensionPos;
    merged.dimensionEnd = layout.dimensionEnd;
    merged.dimension = layout.dimension;
    merged.dataPos = layout.dataPos;
    merged.dataTagLen = layout.dataTagLen;
    merged.dataEnd = layout.dataEnd;
    merged.dataEmpty = layout.dataEmpty;
    merged.colStyles = layout.colStyles;
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
