// Finding where things lie in a worksheet part for an edit, by streaming it once.
#include "platform/workbook/OoxmlEditDetail.h"

#include <cstring>

namespace rostrel::workbook::ooxml::detail {

[[noreturn]] void unsupported(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Unsupported, "the workbook cannot be saved: " + what);
}

void EditScanner::start(const XName& n, const char** atts, uint64_t pos, uint64_t len) {
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

void EditScanner::end(const XName& n, uint64_t pos, uint64_t len) {
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

} // namespace rostrel::workbook::ooxml::detail
