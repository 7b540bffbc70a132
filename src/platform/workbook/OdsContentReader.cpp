// Reading content.xml's tables a row and a cell at a time: the value of each cell, the byte
// ranges an edit splices into, runs of repeated rows and cells kept as runs, and limits on what
// a few bytes may stand for.
#include "platform/workbook/OdsContent.h"
#include "platform/workbook/OdsXml.h"

#include <algorithm>
#include <charconv>

namespace rostrel::workbook::ods {

namespace {

bool parseDouble(const std::string& s, double& v) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\n' || s[b] == '\r'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\n' || s[e - 1] == '\r'))
        --e;
    if (b < e && s[b] == '+')
        ++b;
    const auto r = std::from_chars(s.data() + b, s.data() + e, v);
    return r.ec == std::errc() && r.ptr == s.data() + e && b < e;
}

long long attrCount(const char* v, long long max) {
    long long n = 0;
    for (; *v >= '0' && *v <= '9'; ++v) {
        n = n * 10 + (*v - '0');
        if (n > max)
            return max;
    }
    return n < 1 ? 1 : n;
}

constexpr long long kMaxCellsPerTable = 1LL << 25;
constexpr size_t kMaxText = 1u << 20;

class ContentReader : public xml::Handler {
public:
    Content out;

    void startNamespace(const char* prefix, const char* uri) override {
        if (!prefix)
            return;
        const xml::Ns ns = xml::namespaceOf(uri);
        std::string* slot = ns == xml::Ns::Table     ? &out.tablePrefix
                            : ns == xml::Ns::Office  ? &out.officePrefix
                            : ns == xml::Ns::Text    ? &out.textPrefix
                            : ns == xml::Ns::Calcext ? &out.calcextPrefix
                                                     : nullptr;
        if (slot && slot->empty())
            *slot = prefix;
    }

    void start(const xml::Name& n, const xml::Attrs& attrs, Span tag) override {
        ++depth_;
        if (depth_ == 1)
            out.rootTag = tag;
        if (cell_) {
            cellChild(n, attrs, tag);
            return;
        }
        if (row_) {
            if (depth_ == rowDepth_ + 1 && n.ns == xml::Ns::Table &&
                (n.local == "table-cell" || n.local == "covered-table-cell"))
                startCell(n, attrs, tag);
            return;
        }
        if (table_) {
            if (n.ns == xml::Ns::Table && n.local == "table-row")
                startRow(attrs, tag);
            else if (n.ns == xml::Ns::Table && n.local == "table")
                skipTable_ = skipTable_ ? skipTable_ : depth_; // a table inside a table: not a sheet
            return;
        }
        if (n.ns == xml::Ns::Office && n.local == "spreadsheet") {
            spreadsheetDepth_ = depth_;
            sawSpreadsheet_ = true;
        } else if (spreadsheetDepth_ && depth_ == spreadsheetDepth_ + 1 && n.ns == xml::Ns::Table &&
                   n.local == "table") {
            out.tables.emplace_back();
            table_ = &out.tables.back();
            tableDepth_ = depth_;
            const char* name = attrs.get(xml::Ns::Table, "name");
            table_->name = name ? name : "";
            table_->appendAt = tag.end;
            nextRow_ = 1;
            tableCells_ = 0;
            sawRow_ = false;
        }
    }

    void end(const xml::Name& n, Span tag, bool emptyTag) override {
        const int d = depth_--;
        if (cell_) {
            if (d == cellDepth_)
                endCell(tag, emptyTag);
            else
                cellChildEnd(n, d, tag);
            return;
        }
        if (row_) {
            if (d == rowDepth_)
                endRow(tag, emptyTag);
            return;
        }
        if (table_) {
            if (d == tableDepth_) {
                table_ = nullptr;
            } else if (skipTable_ == d) {
                skipTable_ = 0;
            } else if (d == tableDepth_ + 1 && !sawRow_ && !skipTable_) {
                table_->appendAt = tag.end; // columns, forms, shapes: rows follow them
            }
            return;
        }
        if (d == spreadsheetDepth_)
            spreadsheetDepth_ = 0;
    }

    // Spaces are kept as they are written: LibreOffice writes runs of them inside text spans
    // and shows them all.
    void text(const char* s, int len) override {
        if (cell_ && !skipDepth_ && paraDepth_ > 0)
            text_.append(s, static_cast<size_t>(len));
    }

    bool sawSpreadsheet() const { return sawSpreadsheet_; }

private:
    void startRow(const xml::Attrs& attrs, Span tag) {
        sawRow_ = true;
        rowDepth_ = depth_;
        const char* rep = attrs.get(xml::Ns::Table, "number-rows-repeated");
        const long long count = rep ? attrCount(rep, kMaxRows) : 1;
        if (skipTable_ || nextRow_ > kMaxRows) {
            rowDropped_ = true;
            row_ = &scratchRow_;
            scratchRow_.cells.clear();
        } else {
            rowDropped_ = false;
            table_->rows.emplace_back();
            row_ = &table_->rows.back();
            row_->row = static_cast<int>(nextRow_);
            row_->count = static_cast<int>(std::min<long long>(count, kMaxRows - nextRow_ + 1));
        }
        row_->startTag = tag;
        nextRow_ = std::min<long long>(nextRow_ + count, kMaxRows + 1);
        nextCol_ = 1;
    }

    void endRow(Span tag, bool emptyTag) {
        row_->element = {row_->startTag.begin, emptyTag ? row_->startTag.end : tag.end};
        row_->contentEnd = emptyTag ? row_->startTag.end : tag.begin;
        if (!rowDropped_ && !skipTable_) {
            table_->appendAt = row_->element.end;
            // Repeats multiply: a few bytes can stand for billions of cells with a value.
            long long filled = 0;
            for (const CellRun& c : row_->cells)
                filled += c.value.isEmpty() ? 0 : c.count;
            tableCells_ += filled * row_->count;
            if (tableCells_ > kMaxCellsPerTable)
                stop("table \"" + table_->name + "\" holds more cells with a value than a spreadsheet can");
        }
        row_ = nullptr;
    }

    void startCell(const xml::Name& n, const xml::Attrs& attrs, Span tag) {
        // One pass over the attributes: this runs for every cell of the sheet.
        const char *rep = nullptr, *mc = nullptr, *mr = nullptr, *sv = nullptr;
        valueType_.clear();
        calcType_.clear();
        value_.clear();
        dateValue_.clear();
        timeValue_.clear();
        boolValue_.clear();
        attrs.each([&](const xml::Name& an, const char* v) {
            if (an.ns == xml::Ns::Table) {
                if (an.local == "number-columns-repeated")
                    rep = v;
                else if (an.local == "number-matrix-columns-spanned")
                    mc = v;
                else if (an.local == "number-matrix-rows-spanned")
                    mr = v;
            } else if (an.ns == xml::Ns::Office) {
                if (an.local == "value-type")
                    valueType_ = v;
                else if (an.local == "value")
                    value_ = v;
                else if (an.local == "date-value")
                    dateValue_ = v;
                else if (an.local == "time-value")
                    timeValue_ = v;
                else if (an.local == "boolean-value")
                    boolValue_ = v;
                else if (an.local == "string-value")
                    sv = v;
            } else if (an.ns == xml::Ns::Calcext && an.local == "value-type") {
                calcType_ = v;
            }
        });
        const long long count = rep ? attrCount(rep, kMaxColumns) : 1;
        cellDepth_ = depth_;
        cellDropped_ = rowDropped_ || nextCol_ > kMaxColumns;
        scratchCell_ = CellRun{};
        cell_ = &scratchCell_;
        if (!cellDropped_) {
            cell_->col = static_cast<int>(nextCol_);
            cell_->count = static_cast<int>(std::min<long long>(count, kMaxColumns - nextCol_ + 1));
        }
        nextCol_ = std::min<long long>(nextCol_ + count, kMaxColumns + 1);
        cell_->startTag = tag;
        cell_->covered = n.local == "covered-table-cell";
        hasStringValue_ = sv != nullptr;
        stringValue_ = sv ? sv : "";
        text_.clear();
        paragraphs_ = 0;
        paraDepth_ = 0;
        skipDepth_ = 0;
        if ((mc || mr) && !cellDropped_) {
            const long long c = mc ? attrCount(mc, kMaxColumns) : 1, r = mr ? attrCount(mr, kMaxRows) : 1;
            table_->locked.push_back({row_->row, static_cast<int>(std::min<long long>(row_->row + r - 1, kMaxRows)),
                                      cell_->col,
                                      static_cast<int>(std::min<long long>(cell_->col + c - 1, kMaxColumns))});
        }
    }

    void cellChild(const xml::Name& n, const xml::Attrs& attrs, Span tag) {
        if (depth_ == cellDepth_ + 1)
            childBegin_ = tag.begin;
        if (skipDepth_)
            return;
        if (n.ns != xml::Ns::Text) {
            skipDepth_ = depth_; // annotations, frames, sub-tables: not the cell's text
            return;
        }
        if (n.local == "p" || n.local == "h") {
            if (paraDepth_ == 0) {
                if (paragraphs_++ > 0)
                    text_.push_back('\n');
            }
            ++paraDepth_;
        } else if (paraDepth_ && n.local == "s") {
            // A few bytes may ask for many spaces: a cell's text stops growing at a limit.
            const char* c = attrs.get(xml::Ns::Text, "c");
            const size_t n = static_cast<size_t>(c ? attrCount(c, 1 << 16) : 1);
            text_.append(std::min(n, kMaxText - std::min(kMaxText, text_.size())), ' ');
        } else if (paraDepth_ && n.local == "tab") {
            text_.push_back('\t');
        } else if (paraDepth_ && n.local == "line-break") {
            text_.push_back('\n');
        }
    }

    void cellChildEnd(const xml::Name& n, int d, Span tag) {
        if (skipDepth_ == d) {
            skipDepth_ = 0;
            if (d == cellDepth_ + 1)
                cell_->keptChildren.push_back({childBegin_, tag.end});
            return;
        }
        if (!skipDepth_ && paraDepth_ > 0 && (n.local == "p" || n.local == "h"))
            --paraDepth_;
    }

    void endCell(Span tag, bool emptyTag) {
        cell_->element = {cell_->startTag.begin, emptyTag ? cell_->startTag.end : tag.end};
        cell_->value = valueOf();
        if (!cellDropped_)
            row_->cells.push_back(std::move(*cell_));
        cell_ = nullptr;
    }

    CellValue valueOf() const {
        if (calcType_ == "error") {
            const std::string& shown = text_.empty() ? stringValue_ : text_;
            const auto code = errorFromText(shown);
            return code ? CellValue::fromError(*code) : CellValue::fromText(shown);
        }
        double v = 0;
        if (valueType_ == "float" || valueType_ == "percentage" || valueType_ == "currency") {
            if (parseDouble(value_, v))
                return CellValue::fromNumber(v);
        } else if (valueType_ == "date") {
            if (parseDate(dateValue_, v))
                return CellValue::fromDate(v);
        } else if (valueType_ == "time") {
            if (parseDuration(timeValue_, v))
                return CellValue::fromDate(v);
        } else if (valueType_ == "boolean") {
            if (boolValue_ == "true" || boolValue_ == "1")
                return CellValue::fromBool(true);
            if (boolValue_ == "false" || boolValue_ == "0")
                return CellValue::fromBool(false);
        } else if (valueType_ == "string") {
            return CellValue::fromText(hasStringValue_ ? stringValue_ : text_);
        }
        if (paragraphs_ == 0 && valueType_.empty())
            return CellValue::empty();
        return CellValue::fromText(text_);
    }

    int depth_ = 0;
    int spreadsheetDepth_ = 0;
    bool sawSpreadsheet_ = false;
    Table* table_ = nullptr;
    int tableDepth_ = 0;
    int skipTable_ = 0;
    bool sawRow_ = false;
    long long nextRow_ = 1, nextCol_ = 1;
    long long tableCells_ = 0;
    RowRun* row_ = nullptr;
    RowRun scratchRow_;
    bool rowDropped_ = false;
    int rowDepth_ = 0;
    CellRun* cell_ = nullptr;
    CellRun scratchCell_;
    bool cellDropped_ = false;
    int cellDepth_ = 0;
    size_t childBegin_ = 0;
    int skipDepth_ = 0;
    int paraDepth_ = 0;
    int paragraphs_ = 0;
    std::string text_;
    std::string valueType_, calcType_, value_, dateValue_, timeValue_, boolValue_, stringValue_;
    bool hasStringValue_ = false;
};

} // namespace

Content parseContent(const uint8_t* data, size_t size) {
    ContentReader r;
    xml::parse(data, size, r, "content.xml");
    if (!r.sawSpreadsheet())
        throw WorkbookError(WorkbookError::Code::Damaged, "content.xml holds no spreadsheet");
    return std::move(r.out);
}

} // namespace rostrel::workbook::ods
