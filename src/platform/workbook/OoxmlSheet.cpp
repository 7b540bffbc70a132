#include "platform/workbook/OoxmlSheet.h"

#include "platform/workbook/Biff.h"

#include <algorithm>
#include <cstring>

namespace rostrel::workbook::ooxml {

namespace {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the workbook is damaged: " + what);
}

// A cell's "t": anything unknown reads as a number, as before.
enum class Type { Number, Shared, Str, InlineStr, Bool, Error, Date };
Type typeOf(const char* t) {
    if (!t)
        return Type::Number;
    const std::string_view v = shortText(t);
    return named(v, "s")           ? Type::Shared
           : named(v, "str")       ? Type::Str
           : named(v, "inlineStr") ? Type::InlineStr
           : named(v, "b")         ? Type::Bool
           : named(v, "e")         ? Type::Error
           : named(v, "d")         ? Type::Date
                                   : Type::Number;
}

class SheetReader : public XmlHandler {
public:
    SheetReader(SheetCells& out, const SheetContext& ctx, const std::string& part)
        : out_(out), ctx_(ctx), part_(part) {}

    void start(const XName& n, const char** atts, uint64_t pos, uint64_t len) override {
        ++depth_;
        SheetLayout& l = out_.layout;
        if (depth_ == 1) {
            // Only SpreadsheetML's own elements hold cells (a 2006 beta namespace, say, holds none
            // that spreadsheet programs read).
            const char* ns = attr(atts, n.prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(n.prefix));
            foreign_ = !ns || kMainNs != ns;
            l.rootName = n.qualified();
            l.rootTag = "<" + l.rootName;
            for (const char** a = atts; *a; a += 2)
                l.rootTag += std::string(" ") + a[0] + "=\"" + xmlEscape(a[1]) + "\"";
            l.rootTag += ">";
            return;
        }
        if (depth_ == 2) {
            inData_ = named(n.local, "sheetData") && !foreign_;
            if (inData_) {
                l.prefix = std::string(n.prefix);
                l.dataPos = pos;
                l.dataTagLen = len;
                l.dataEnd = pos + len;
            } else if (named(n.local, "dimension")) {
                l.hasDimension = true;
                l.dimensionPos = pos;
                l.dimensionEnd = pos + len;
                const char* ref = attr(atts, "ref");
                l.dimensionValid = ref && parseRange(ref, l.dimension);
                l.dimensionPrefix = std::string(n.prefix);
            } else if (named(n.local, "cols")) {
                inCols_ = true;
            }
            return;
        }
        if (inCols_ && depth_ == 3 && named(n.local, "col")) {
            uint32_t lo, hi, style;
            if (parseUnsigned(attr(atts, "min"), lo) && parseUnsigned(attr(atts, "max"), hi) &&
                parseUnsigned(attr(atts, "style"), style) && style != 0)
                l.colStyles.push_back({static_cast<int>(lo), static_cast<int>(hi), style});
            return;
        }
        if (!inData_)
            return;
        if (depth_ == 3 && named(n.local, "row")) {
            uint32_t r;
            const bool hasR = parseUnsigned(attr(atts, "r"), r);
            row_ = hasR ? static_cast<int>(r) : row_ + 1;
            col_ = 0;
            if (!hasR || (!l.rows.empty() && l.rows.back().row >= static_cast<uint32_t>(row_)))
                placesUsable_ = false;
            l.rows.push_back({static_cast<uint32_t>(row_), pos, pos + len});
        } else if (depth_ == 4 && named(n.local, "c")) {
            // One pass over the attributes: this runs for every cell.
            const char *ref = nullptr, *t = nullptr, *st = nullptr;
            for (const char** a = atts; *a; a += 2) {
                if (a[0][0] == '\0' || a[0][1] != '\0')
                    continue;
                if (a[0][0] == 'r')
                    ref = a[1];
                else if (a[0][0] == 't')
                    t = a[1];
                else if (a[0][0] == 's')
                    st = a[1];
            }
            int r = row_, c = col_ + 1;
            if (ref && !parseCellRef(shortText(ref), r, c))
                damaged("the cell reference \"" + std::string(ref) + "\" in \"" + part_ + "\"");
            if (r != row_)
                placesUsable_ = false;
            cellRow_ = r;
            col_ = c;
            type_ = typeOf(t);
            uint32_t s = 0;
            style_ = parseUnsigned(st, s) ? s : 0;
            value_.clear();
            inline_.clear();
            hasValue_ = false;
            hasInline_ = false;
        } else if (depth_ == 5 && named(n.local, "v")) {
            collect_ = &value_;
            hasValue_ = true;
        } else if (depth_ == 5 && named(n.local, "f")) {
            const char* t = attr(atts, "t");
            const char* ref = attr(atts, "ref");
            LockedRange range{cellRow_, col_, cellRow_, col_};
            if (t && (std::strcmp(t, "array") == 0 || std::strcmp(t, "dataTable") == 0)) {
                if (ref)
                    parseRange(ref, range);
                out_.locked.push_back(range);
            } else if (t && std::strcmp(t, "shared") == 0 && ref) {
                out_.locked.push_back(range); // the host: its dependants use its text
            }
        } else if (depth_ == 5 && named(n.local, "is")) {
            hasInline_ = true;
        } else if (depth_ >= 6 && hasInline_ && named(n.local, "rPh")) {
            phonetic_ = depth_;
        } else if (depth_ >= 6 && hasInline_ && phonetic_ == 0 && named(n.local, "t")) {
            piece_.clear();
            collect_ = &piece_;
        }
    }

    void end(const XName& n, uint64_t pos, uint64_t len) override {
        SheetLayout& l = out_.layout;
        if (depth_ == 2) {
            if (inData_) {
                l.dataEmpty = len == 0;
                if (len > 0)
                    l.dataEnd = pos;
            } else if (named(n.local, "dimension") && len > 0) {
                l.dimensionEnd = pos + len;
            }
            inData_ = false;
            inCols_ = false;
        }
        if (inData_ && depth_ == 3 && named(n.local, "row") && len > 0)
            l.rows.back().end = pos + len;
        if (inData_) {
            if (depth_ == 4 && named(n.local, "c")) {
                finishCell();
            } else if (depth_ == 5 && named(n.local, "v")) {
                collect_ = nullptr;
            } else if (depth_ == phonetic_) {
                phonetic_ = 0;
            } else if (collect_ == &piece_ && named(n.local, "t")) {
                inline_ += decodeEscapes(piece_);
                collect_ = nullptr;
            }
        }
        --depth_;
    }

    void text(const char* s, int len) override {
        if (collect_)
            collect_->append(s, static_cast<size_t>(len));
    }

    void finish() {
        out_.layout.usable = ordered_ && placesUsable_ && out_.layout.dataPos != 0 && !foreign_;
        if (!ordered_) {
            // Rows or cells out of order: sort, the later of two cells at one place winning.
            std::vector<std::pair<uint32_t, StoredCell>> flat;
            for (StoredRow& r : out_.rows)
                for (const StoredCell& c : r.cells)
                    flat.emplace_back(r.row, c);
            std::stable_sort(flat.begin(), flat.end(), [](const auto& a, const auto& b) {
                return a.first != b.first ? a.first < b.first : a.second.col < b.second.col;
            });
            out_.rows.clear();
            for (const auto& [row, cell] : flat) {
                if (out_.rows.empty() || out_.rows.back().row != row)
                    out_.rows.push_back({row, {}});
                auto& cells = out_.rows.back().cells;
                if (!cells.empty() && cells.back().col == cell.col)
                    cells.back() = cell;
                else
                    cells.push_back(cell);
            }
        }
    }

private:
    void finishCell() {
        StoredCell cell;
        if (cellRow_ < 1 || cellRow_ > kMaxRows || col_ < 1 || col_ > kMaxColumns)
            damaged("a cell lies outside the sheet in \"" + part_ + "\"");
        cell.col = static_cast<uint16_t>(col_);
        if (type_ == Type::InlineStr) {
            if (!hasInline_)
                return;
            cell.kind = StoredCell::OwnText;
            cell.ref = static_cast<uint32_t>(out_.texts.size());
            out_.texts.push_back(std::move(inline_));
        } else {
            if (!hasValue_ || value_.empty())
                return; // a formatted blank, or a formula never calculated
            if (type_ == Type::Shared) {
                uint32_t index;
                if (!parseUnsigned(value_.c_str(), index) || index >= ctx_.sharedStrings)
                    damaged("a cell refers to shared string " + value_ + " of " + std::to_string(ctx_.sharedStrings));
                cell.kind = StoredCell::SharedText;
                cell.ref = index;
            } else if (type_ == Type::Str) {
                cell.kind = StoredCell::OwnText;
                cell.ref = static_cast<uint32_t>(out_.texts.size());
                out_.texts.push_back(decodeEscapes(value_));
            } else if (type_ == Type::Bool) {
                double v = 0;
                if (value_ == "true" || value_ == "false")
                    v = value_ == "true";
                else if (!parseNumber(value_, v))
                    damaged("the boolean \"" + value_ + "\" in \"" + part_ + "\"");
                cell.kind = StoredCell::Bool;
                cell.small = v != 0;
            } else if (type_ == Type::Error) {
                cell.kind = StoredCell::Error;
                cell.small = static_cast<uint8_t>(errorCode(value_));
            } else if (type_ == Type::Date) {
                if (!parseIsoDate(value_, ctx_.date1904, cell.number))
                    damaged("the date \"" + value_ + "\" in \"" + part_ + "\"");
                cell.kind = StoredCell::Date;
            } else {
                if (!parseNumber(value_, cell.number))
                    damaged("the number \"" + value_ + "\" in \"" + part_ + "\"");
                cell.kind = ctx_.styles && ctx_.styles->isDate(style_) ? StoredCell::Date : StoredCell::Number;
            }
        }
        const auto row = static_cast<uint32_t>(cellRow_);
        if (out_.rows.empty() || out_.rows.back().row != row) {
            if (!out_.rows.empty() && out_.rows.back().row > row)
                ordered_ = false;
            // Rows of a sheet are much alike: room for as many cells as the row before.
            const size_t room = out_.rows.empty() ? 0 : out_.rows.back().cells.size();
            out_.rows.push_back({row, {}});
            out_.rows.back().cells.reserve(room);
        } else if (!out_.rows.back().cells.empty() && out_.rows.back().cells.back().col >= cell.col) {
            ordered_ = false;
        }
        out_.rows.back().cells.push_back(cell);
    }

    SheetCells& out_;
    const SheetContext& ctx_;
    const std::string& part_;
    int depth_ = 0;
    bool inData_ = false;
    int row_ = 0, col_ = 0, cellRow_ = 0;
    Type type_ = Type::Number;
    uint32_t style_ = 0;
    std::string value_, inline_, piece_;
    std::string* collect_ = nullptr;
    bool hasValue_ = false, hasInline_ = false;
    int phonetic_ = 0;
    bool ordered_ = true;
    bool foreign_ = false;
    bool inCols_ = false;
    bool placesUsable_ = true;
};

// Big enough that a kept window costs little beside the content decoded to reach a row.
constexpr uint64_t kWindowEvery = 512 * 1024;

} // namespace

bool parseRange(std::string_view ref, LockedRange& out) {
    const size_t colon = ref.find(':');
    if (colon == std::string_view::npos) {
        if (!parseCellRef(ref, out.r0, out.c0))
            return false;
        out.r1 = out.r0;
        out.c1 = out.c0;
        return true;
    }
    return parseCellRef(ref.substr(0, colon), out.r0, out.c0) && parseCellRef(ref.substr(colon + 1), out.r1, out.c1);
}

CellValue::ErrorCode errorCode(std::string_view text) {
    // Newer errors (#SPILL!, #CALC!) have no value of their own.
    return errorFromText(text).value_or(CellValue::ErrorCode::NA);
}

SheetCells readSheet(const zip::Package& package, const std::string& part, const SheetContext& context) {
    SheetCells cells;
    SheetReader reader(cells, context, part);
    XmlParser parser(reader, part, false);
    parser.positionsUpTo(3); // rows and what comes before them
    zip::MemberReader member(package, part, &cells.index, kWindowEvery);
    parser.parse([&](char* buffer, size_t size) { return member.read(reinterpret_cast<uint8_t*>(buffer), size); });
    // The member's checks come at its end, which the parser need not have asked for.
    uint8_t rest[4096];
    while (member.read(rest, sizeof rest) > 0) {
    }
    reader.finish();
    return cells;
}

SheetCells readRows(const SheetLayout& layout, const char* xml, size_t size, const std::string& part,
                    const SheetContext& context) {
    const std::string data = layout.prefix.empty() ? "sheetData" : layout.prefix + ":sheetData";
    const std::string head = layout.rootTag + "<" + data + ">";
    const std::string tail = "</" + data + "></" + layout.rootName + ">";
    SheetCells cells;
    SheetReader reader(cells, context, part);
    XmlParser parser(reader, part, false);
    parser.positionsUpTo(3);
    parser.feed(head.data(), head.size(), false);
    parser.feed(xml, size, false);
    parser.feed(tail.data(), tail.size(), true);
    reader.finish();
    for (RowSpan& r : cells.layout.rows) {
        if (r.pos < head.size() || r.end > head.size() + size)
            damaged("rows of \"" + part + "\" do not stand on their own");
        r.pos -= head.size();
        r.end -= head.size();
    }
    return cells;
}

} // namespace rostrel::workbook::ooxml
