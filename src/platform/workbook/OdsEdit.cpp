// Writing cells into content.xml: the markup of written cells and rows, and where it is spliced
// in (runs of rows and cells split around what is written). The text pieces are OdsMarkup.cpp's.
#include "platform/workbook/OdsEdit.h"

#include "platform/workbook/OdsMarkup.h"
#include "platform/workbook/OdsXml.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace rostrel::workbook::ods {

using detail::escape;
using detail::Tag;
using detail::xmlSafe;

namespace {

struct Writer {
    const char* bytes;
    const Content& doc;
    std::string tp, op, xp, cp; // prefixes
    std::string declarations;   // for namespaces the document does not bind

    Writer(const uint8_t* data, const Content& d) : bytes(reinterpret_cast<const char*>(data)), doc(d) {
        auto prefix = [&](const std::string& bound, const char* fallback, xml::Ns ns) {
            if (!bound.empty())
                return bound;
            declarations += std::string(" xmlns:") + fallback + "=\"" + std::string(xml::namespaceUri(ns)) + "\"";
            return std::string(fallback);
        };
        tp = doc.tablePrefix.empty() ? std::string("table") : doc.tablePrefix;
        op = prefix(doc.officePrefix, "office", xml::Ns::Office);
        xp = prefix(doc.textPrefix, "text", xml::Ns::Text);
        cp = prefix(doc.calcextPrefix, "calcext", xml::Ns::Calcext);
    }

    std::string_view slice(size_t b, size_t e) const { return std::string_view(bytes + b, e - b); }
    std::string_view slice(Span s) const { return slice(s.begin, s.end); }

    // An element with its repeat count changed (the attribute left out for one).
    std::string copyWithCount(Span element, Span startTag, const std::string& attr, int count) const {
        Tag t = Tag::parse(slice(startTag));
        if (count == 1)
            t.remove(attr);
        else
            t.set(attr, std::to_string(count));
        const bool empty = element.end == startTag.end;
        return t.render(empty) + std::string(slice(startTag.end, element.end));
    }

    std::string spaces(size_t n) const {
        return n == 1 ? "<" + xp + ":s/>" : "<" + xp + ":s " + xp + ":c=\"" + std::to_string(n) + "\"/>";
    }

    std::string paragraphs(const std::string& text) const {
        std::string out;
        size_t start = 0;
        for (;;) {
            const size_t nl = text.find('\n', start);
            const std::string_view para =
                std::string_view(text).substr(start, nl == std::string::npos ? std::string::npos : nl - start);
            out += "<" + xp + ":p>";
            for (size_t i = 0; i < para.size();) {
                if (para[i] == '\t') {
                    out += "<" + xp + ":tab/>";
                    ++i;
                } else if (para[i] == ' ') {
                    size_t k = i;
                    while (k < para.size() && para[k] == ' ')
                        ++k;
                    // Only a single space between other characters survives as it is.
                    if (i > 0 && k < para.size()) {
                        out.push_back(' ');
                        if (k - i > 1)
                            out += spaces(k - i - 1);
                    } else {
                        out += spaces(k - i);
                    }
                    i = k;
                } else {
                    size_t k = i;
                    while (k < para.size() && para[k] != ' ' && para[k] != '\t')
                        ++k;
                    out += escape(para.substr(i, k - i), false);
                    i = k;
                }
            }
            out += "</" + xp + ":p>";
            if (nl == std::string::npos)
                break;
            start = nl + 1;
        }
        return out;
    }

    std::string newCell(const CellRun* orig, const CellValue& v) const {
        Tag t;
        t.name = tp + ":table-cell";
        bool empty = true;
        std::string children;
        if (orig) {
            const Tag o = Tag::parse(slice(orig->startTag));
            t.name = o.name;
            for (const char* keep :
                 {"style-name", "content-validation-name", "number-columns-spanned", "number-rows-spanned"})
                if (const Tag::Attr* a = o.find(tp + ":" + keep))
                    t.attrs.push_back(*a);
            for (const Span& s : orig->keptChildren)
                children += slice(s);
        }
        std::string p;
        auto typed = [&](const char* type) { t.set(op + ":value-type", type); };
        switch (v.kind) {
        case CellValue::Kind::Empty:
            break;
        case CellValue::Kind::Number:
            typed("float");
            t.set(op + ":value", formatNumber(v.number));
            t.set(cp + ":value-type", "float");
            p = paragraphs(formatNumber(v.number));
            break;
        case CellValue::Kind::Date: {
            const std::string iso = formatDate(v.number);
            typed("date");
            t.set(op + ":date-value", iso);
            t.set(cp + ":value-type", "date");
            p = paragraphs(iso);
            break;
        }
        case CellValue::Kind::Text:
            typed("string");
            t.set(cp + ":value-type", "string");
            if (!v.text.empty())
                p = paragraphs(v.text);
            break;
        case CellValue::Kind::Bool:
            typed("boolean");
            t.set(op + ":boolean-value", v.boolean ? "true" : "false");
            t.set(cp + ":value-type", "boolean");
            p = paragraphs(v.boolean ? "TRUE" : "FALSE");
            break;
        case CellValue::Kind::Error:
            typed("string");
            t.set(op + ":string-value", "");
            t.set(cp + ":value-type", "error");
            p = paragraphs(errorText(v.error));
            break;
        }
        children += p;
        empty = children.empty();
        std::string out = t.render(empty);
        if (!declarations.empty())
            out.insert(out.size() - (empty ? 2 : 1), declarations);
        if (!empty)
            out += children + "</" + t.name + ">";
        return out;
    }

    std::string blankCells(int n) const {
        const std::string name = tp + ":table-cell";
        return n == 1 ? "<" + name + "/>"
                      : "<" + name + " " + tp + ":number-columns-repeated=\"" + std::to_string(n) + "\"/>";
    }

    std::string blankRows(int n) const {
        const std::string name = tp + ":table-row";
        std::string out = "<" + name;
        if (n > 1)
            out += " " + tp + ":number-rows-repeated=\"" + std::to_string(n) + "\"";
        return out + ">" + blankCells(1) + "</" + name + ">";
    }

    // New cells after a row's last one; `next` is the first column not held by a cell.
    std::string appendCells(int next, const std::vector<std::pair<int, const CellValue*>>& cells) const {
        std::string out;
        for (const auto& [col, v] : cells) {
            if (v->isEmpty())
                continue;
            if (col > next)
                out += blankCells(col - next);
            out += newCell(nullptr, *v);
            next = col + 1;
        }
        return out;
    }

    // One row of a run with its cells written.
    std::string editedRow(const RowRun& run, const std::vector<std::pair<int, const CellValue*>>& cells) const {
        Tag t = Tag::parse(slice(run.startTag));
        t.remove(tp + ":number-rows-repeated");
        std::string out = t.render(false);
        const std::string repeatAttr = tp + ":number-columns-repeated";
        size_t cursor = run.startTag.end;
        auto e = cells.begin();
        for (const CellRun& c : run.cells) {
            if (e == cells.end())
                break;
            if (e->first >= c.col + c.count)
                continue;
            out += slice(cursor, c.element.begin);
            int pos = c.col;
            for (; e != cells.end() && e->first < c.col + c.count; ++e) {
                if (e->first > pos)
                    out += copyWithCount(c.element, c.startTag, repeatAttr, e->first - pos);
                out += newCell(&c, *e->second);
                pos = e->first + 1;
            }
            if (pos < c.col + c.count)
                out += copyWithCount(c.element, c.startTag, repeatAttr, c.col + c.count - pos);
            cursor = c.element.end;
        }
        out += slice(cursor, run.contentEnd);
        const int next = run.cells.empty() ? 1 : run.cells.back().col + run.cells.back().count;
        out += appendCells(next, std::vector<std::pair<int, const CellValue*>>(e, cells.end()));
        if (run.element.end == run.startTag.end)
            out += "</" + t.name + ">";
        else
            out += slice(run.contentEnd, run.element.end);
        return out;
    }
};

void editTable(const Writer& w, int index, const Table& table, const SheetEdits& edits,
               std::vector<RowSplice>& splices) {
    std::map<int, std::vector<std::pair<int, const CellValue*>>> byRow;
    for (const auto& [rc, v] : edits)
        byRow[rc.first].push_back({rc.second, &v});
    auto r = byRow.begin();
    const std::string repeatAttr = w.tp + ":number-rows-repeated";
    for (size_t i = 0; i < table.rows.size(); ++i) {
        const RowRun& run = table.rows[i];
        if (r == byRow.end())
            break;
        if (r->first >= run.row + run.count)
            continue;
        std::string out;
        int pos = run.row;
        for (; r != byRow.end() && r->first < run.row + run.count; ++r) {
            if (r->first > pos)
                out += w.copyWithCount(run.element, run.startTag, repeatAttr, r->first - pos);
            out += w.editedRow(run, r->second);
            pos = r->first + 1;
        }
        if (pos < run.row + run.count)
            out += w.copyWithCount(run.element, run.startTag, repeatAttr, run.row + run.count - pos);
        splices.push_back({run.element.begin, run.element.end, std::move(out), index, static_cast<int>(i), run.row});
    }
    std::string out;
    const int first = table.rows.empty() ? 1 : table.rows.back().row + table.rows.back().count;
    int next = first;
    for (; r != byRow.end(); ++r) {
        const std::string cells = w.appendCells(1, r->second);
        if (cells.empty())
            continue;
        if (r->first > next)
            out += w.blankRows(r->first - next);
        out += "<" + w.tp + ":table-row>" + cells + "</" + w.tp + ":table-row>";
        next = r->first + 1;
    }
    if (!out.empty())
        splices.push_back({table.appendAt, table.appendAt, std::move(out), index, -1, first});
}

} // namespace

CellValue writableValue(const CellValue& v) {
    switch (v.kind) {
    case CellValue::Kind::Number:
        if (!std::isfinite(v.number))
            throw WorkbookError(WorkbookError::Code::Unsupported, "a spreadsheet cell cannot hold an infinite number");
        return v;
    case CellValue::Kind::Date: {
        const std::string iso = formatDate(v.number);
        double back = 0;
        if (iso.empty() || !parseDate(iso, back))
            throw WorkbookError(WorkbookError::Code::Unsupported, "the date is outside the years 0 to 9999");
        return CellValue::fromDate(back);
    }
    case CellValue::Kind::Text: {
        std::string t = xmlSafe(v.text);
        return CellValue::fromText(std::move(t));
    }
    default:
        return v;
    }
}

std::vector<RowSplice> editSplices(const uint8_t* data, const Content& doc, const std::map<int, SheetEdits>& edits) {
    const Writer w(data, doc);
    std::vector<RowSplice> splices;
    for (const auto& [index, sheetEdits] : edits)
        if (index >= 0 && static_cast<size_t>(index) < doc.tables.size())
            editTable(w, index, doc.tables[static_cast<size_t>(index)], sheetEdits, splices);
    std::stable_sort(splices.begin(), splices.end(),
                     [](const RowSplice& a, const RowSplice& b) { return a.begin < b.begin; });
    return splices;
}

FileBytes applyEdits(const uint8_t* data, size_t size, const Content& doc, const std::map<int, SheetEdits>& edits) {
    const std::vector<RowSplice> splices = editSplices(data, doc, edits);
    size_t grow = 0;
    for (const RowSplice& s : splices)
        grow += s.text.size();
    FileBytes out;
    out.reserve(size + grow);
    size_t cursor = 0;
    for (const RowSplice& s : splices) {
        out.insert(out.end(), data + cursor, data + s.begin);
        out.insert(out.end(), s.text.begin(), s.text.end());
        cursor = s.end;
    }
    out.insert(out.end(), data + cursor, data + size);
    return out;
}

} // namespace rostrel::workbook::ods
