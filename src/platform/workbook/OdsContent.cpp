// Around the content reader (OdsContentReader.cpp): rows read on their own, the manifest's
// encryption mark, and finding the run that holds a row or a cell.
#include "platform/workbook/OdsContent.h"
#include "platform/workbook/OdsXml.h"

#include <algorithm>

namespace rostrel::workbook::ods {

namespace {

class ManifestReader : public xml::Handler {
public:
    bool encrypted = false;
    void start(const xml::Name& n, const xml::Attrs&, Span) override {
        encrypted = encrypted || (n.ns == xml::Ns::Manifest && n.local == "encryption-data");
    }
};

} // namespace

std::vector<RowRun> parseRows(std::string_view root, const char* xml, size_t size) {
    constexpr std::string_view office = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
    constexpr std::string_view table = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
    std::string name(root.substr(1, root.find_first_of(" \t\r\n/>") - 1));
    std::string buf(root);
    buf += "<rostrel-o:body xmlns:rostrel-o=\"" + std::string(office) +
           "\"><rostrel-o:spreadsheet><rostrel-t:table xmlns:rostrel-t=\"" + std::string(table) +
           "\" rostrel-t:name=\"rows\">";
    const size_t head = buf.size();
    buf.append(xml, size);
    buf += "</rostrel-t:table></rostrel-o:spreadsheet></rostrel-o:body></" + name + ">";
    Content c = parseContent(reinterpret_cast<const uint8_t*>(buf.data()), buf.size());
    if (c.tables.size() != 1)
        throw WorkbookError(WorkbookError::Code::Damaged, "content.xml: rows do not stand on their own");
    std::vector<RowRun> rows = std::move(c.tables[0].rows);
    auto rebase = [&](Span& s) {
        if (s.begin < head || s.end > head + size)
            throw WorkbookError(WorkbookError::Code::Damaged, "content.xml: rows do not stand on their own");
        s.begin -= head;
        s.end -= head;
    };
    for (RowRun& r : rows) {
        rebase(r.element);
        rebase(r.startTag);
        r.contentEnd -= head;
        for (CellRun& cell : r.cells) {
            rebase(cell.element);
            rebase(cell.startTag);
            for (Span& k : cell.keptChildren)
                rebase(k);
        }
    }
    return rows;
}

bool manifestEncrypted(const uint8_t* data, size_t size) {
    ManifestReader r;
    xml::parse(data, size, r, "META-INF/manifest.xml");
    return r.encrypted;
}

const RowRun* findRow(const Table& t, int row) {
    auto it = std::upper_bound(t.rows.begin(), t.rows.end(), row, [](int r, const RowRun& run) { return r < run.row; });
    if (it == t.rows.begin())
        return nullptr;
    --it;
    return row < it->row + it->count ? &*it : nullptr;
}

const CellRun* findCell(const RowRun& r, int col) {
    auto it =
        std::upper_bound(r.cells.begin(), r.cells.end(), col, [](int c, const CellRun& run) { return c < run.col; });
    if (it == r.cells.begin())
        return nullptr;
    --it;
    return col < it->col + it->count ? &*it : nullptr;
}

} // namespace rostrel::workbook::ods
