#include "platform/workbook/OdsCodec.h"

#include "platform/workbook/OdsContent.h"
#include "platform/workbook/OdsEdit.h"
#include "platform/workbook/ZipPackage.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>

namespace rostrel::workbook {

namespace {

constexpr const char* kContent = "content.xml";
constexpr const char* kManifest = "META-INF/manifest.xml";

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, what);
}

bool isSpreadsheetType(const FileBytes& m) {
    const std::string s(m.begin(), m.end());
    return s == "application/vnd.oasis.opendocument.spreadsheet" ||
           s == "application/vnd.oasis.opendocument.spreadsheet-template";
}

// Every cell with a value of the row runs [from, to) (their rows moved by `rowShift`) with
// the edits applied, rows ascending, columns ascending within a row; edits of rows past the
// last run come last.
void visitRuns(const std::vector<ods::RowRun>& rows, size_t from, size_t to, int rowShift, const ods::SheetEdits& edits,
               const std::function<void(int, int, const CellValue&)>& visit) {
    auto e = edits.begin();
    auto flushBefore = [&](std::pair<int, int> at) {
        for (; e != edits.end() && e->first < at; ++e)
            if (!e->second.isEmpty())
                visit(e->first.first, e->first.second, e->second);
    };
    for (size_t i = from; i < to; ++i) {
        const ods::RowRun& r = rows[i];
        bool anyValue = false;
        for (const ods::CellRun& c : r.cells)
            anyValue = anyValue || !c.value.isEmpty();
        if (!anyValue)
            continue;
        for (int row = r.row + rowShift; row < r.row + rowShift + r.count; ++row)
            for (const ods::CellRun& c : r.cells) {
                if (c.value.isEmpty())
                    continue;
                for (int col = c.col; col < c.col + c.count; ++col) {
                    flushBefore({row, col});
                    if (e != edits.end() && e->first == std::make_pair(row, col)) {
                        if (!e->second.isEmpty())
                            visit(row, col, e->second);
                        ++e;
                    } else {
                        visit(row, col, c.value);
                    }
                }
            }
    }
    flushBefore({INT32_MAX, INT32_MAX});
}

// A digest of cells in order: comparing two sheets this way needs no copy of either, however
// many cells they hold.
class Digest {
public:
    void operator()(int r, int c, const CellValue& v) {
        const int kind = static_cast<int>(v.kind);
        mix(&r, sizeof r);
        mix(&c, sizeof c);
        mix(&kind, sizeof kind);
        mix(&v.number, sizeof v.number);
        const uint64_t len = v.text.size();
        mix(&len, sizeof len);
        mix(v.text.data(), v.text.size());
        mix(&v.boolean, sizeof v.boolean);
        mix(&v.error, sizeof v.error);
    }
    uint64_t value() const { return h_; }

private:
    void mix(const void* p, size_t n) {
        for (size_t i = 0; i < n; ++i)
            h_ = (h_ ^ static_cast<const uint8_t*>(p)[i]) * 1099511628211ull;
    }
    uint64_t h_ = 1469598103934665603ull;
};

uint64_t digest(const Codec& codec, int sheet) {
    Digest d;
    codec.forEachCell(sheet, [&](int r, int c, const CellValue& v) { d(r, c, v); });
    return d.value();
}

class OdsCodec : public Codec {
public:
    OdsCodec(FileBytes original, zip::Package package, FileBytes content, ods::Content doc, zip::DeflateIndex index)
        : original_(std::move(original)), package_(std::move(package)), content_(std::move(content)),
          doc_(std::move(doc)), index_(std::move(index)) {}

    const char* formatName() const override { return "ods"; }
    int maxRows() const override { return ods::kMaxRows; }
    int maxColumns() const override { return ods::kMaxColumns; }
    bool writable() const override { return true; }
    int sheetCount() const override { return static_cast<int>(doc_.tables.size()); }
    std::string sheetName(int sheet) const override { return table(sheet).name; }
    void loadSheet(int sheet) override { (void)table(sheet); }

    CellValue cell(int sheet, int row, int column) const override {
        const ods::Table& t = table(sheet);
        checkCell(row, column);
        auto e = edits_.find(sheet - 1);
        if (e != edits_.end()) {
            auto it = e->second.find({row, column});
            if (it != e->second.end())
                return it->second;
        }
        const ods::RowRun* r = ods::findRow(t, row);
        const ods::CellRun* c = r ? ods::findCell(*r, column) : nullptr;
        return c ? c->value : CellValue::empty();
    }

    void forEachCell(int sheet, const std::function<void(int, int, const CellValue&)>& visit) const override {
        const ods::Table& t = table(sheet);
        static const ods::SheetEdits none;
        auto found = edits_.find(sheet - 1);
        visitRuns(t.rows, 0, t.rows.size(), 0, found == edits_.end() ? none : found->second, visit);
    }

    void setCell(int sheet, int row, int column, const CellValue& value) override {
        const ods::Table& t = table(sheet);
        checkCell(row, column);
        for (const ods::Table::Rect& r : t.locked)
            if (row >= r.r0 && row <= r.r1 && column >= r.c0 && column <= r.c1)
                throw WorkbookError(WorkbookError::Code::Unsupported,
                                    "the cell belongs to an array formula and cannot be changed alone");
        edits_[sheet - 1][{row, column}] = ods::writableValue(value);
    }

    bool hasEdits() const override { return !edits_.empty(); }

    FileBytes serialize() const override {
        saved_.reset();
        lastSaved_.clear();
        if (edits_.empty())
            return original_;
        if (!index_.empty() && package_.raw(kContent).method == 8) {
            try {
                return quickSave();
            } catch (const WorkbookError&) {
                saved_.reset(); // the whole content is written instead, and checked whole
            }
        }
        FileBytes content = ods::applyEdits(content_.data(), content_.size(), doc_, edits_);
        FileBytes out = package_.rewrite({{kContent, content}});
        verify(out);
        lastSaved_ = out;
        return out;
    }

    // The saved package becomes the codec's state: after a quick save the content and cells
    // checked by it, otherwise the package read anew.
    void markSaved() override {
        if (saved_) {
            std::unique_ptr<OdsCodec> saved = std::move(saved_);
            *this = std::move(*saved);
            return;
        }
        if (lastSaved_.empty())
            return;
        std::unique_ptr<Codec> saved = openOdsCodec(std::move(lastSaved_));
        *this = std::move(static_cast<OdsCodec&>(*saved));
        lastSaved_.clear();
    }

private:
    const ods::Table& table(int sheet) const {
        if (sheet < 1 || sheet > sheetCount())
            throw WorkbookError(WorkbookError::Code::NoSuchSheet, "no sheet " + std::to_string(sheet));
        return doc_.tables[static_cast<size_t>(sheet - 1)];
    }

    static void checkCell(int row, int column) {
        if (row < 1 || row > ods::kMaxRows || column < 1 || column > ods::kMaxColumns)
            throw WorkbookError(WorkbookError::Code::BadCell,
                                "cell " + std::to_string(row) + "," + std::to_string(column) + " is outside the sheet");
    }

    // The written package read back: the same sheets, every written cell as written and every
    // other cell of the written sheets as before.
    void verify(const FileBytes& written) const {
        std::unique_ptr<Codec> back;
        try {
            back = openOdsCodec(written);
        } catch (const WorkbookError& e) {
            damaged(std::string("the written file does not read back: ") + e.what());
        }
        if (back->sheetCount() != sheetCount())
            damaged("the written file does not read back with the same sheets");
        for (int s = 1; s <= sheetCount(); ++s)
            if (back->sheetName(s) != sheetName(s))
                damaged("the written file does not read back with the same sheets");
        // Written values read back exactly: setCell keeps them as the format holds them.
        for (const auto& sheetEdits : edits_)
            if (digest(*back, sheetEdits.first + 1) != digest(*this, sheetEdits.first + 1))
                damaged("the written file does not read back with the cells written");
    }

    // A save that decodes, edits and compresses again only the stretches of content.xml around
    // the written rows. The package written is checked before it is returned: every other
    // member the same bytes, content.xml proven to decode to the edited content, and the
    // written rows read back from it as the old rows with the edits. Their cells, with the
    // places of everything else shifted, become the codec's state once it is saved.
    FileBytes quickSave() const {
        const std::vector<ods::RowSplice> splices = ods::editSplices(content_.data(), doc_, edits_);
        std::vector<zip::ContentEdit> edits;
        for (const ods::RowSplice& sp : splices)
            edits.push_back({sp.begin, sp.end - sp.begin, sp.text});
        const std::vector<zip::Region> regions = zip::planRegions(index_, edits);
        const zip::Package::Raw raw = package_.raw(kContent);
        zip::EditedMember member = zip::editDeflated(
            raw.data, raw.size, index_, regions, edits,
            [&](uint64_t from, uint64_t to) {
                return FileBytes(content_.begin() + static_cast<std::ptrdiff_t>(from),
                                 content_.begin() + static_cast<std::ptrdiff_t>(to));
            },
            false);
        FileBytes out = package_.rewrite({}, {}, {}, {{kContent, {&member.data, member.index.size, member.index.crc}}});

        zip::Package back = zip::Package::read(out);
        if (back.names() != package_.names())
            damaged("the written file does not read back with the same members");
        for (const std::string& name : package_.names()) {
            const zip::Package::Raw now = back.raw(name), was = package_.raw(name);
            const bool same = name == kContent ? now.size == member.data.size() &&
                                                     std::memcmp(now.data, member.data.data(), now.size) == 0
                                               : now.size == was.size && now.method == was.method &&
                                                     std::memcmp(now.data, was.data, was.size) == 0;
            if (!same)
                damaged("the written file does not read back with \"" + name + "\" as written");
        }

        const zip::PositionShift shifted(edits);
        const std::string_view root(reinterpret_cast<const char*>(content_.data()) + doc_.rootTag.begin,
                                    doc_.rootTag.end - doc_.rootTag.begin);
        ods::Content doc = doc_;
        std::map<std::pair<int, int>, std::vector<ods::RowRun>> fresh; // (table, run) -> its rows now
        for (const ods::RowSplice& sp : splices) {
            const uint64_t begin = shifted(sp.begin, false);
            const zip::EditedMember::Decoded* d = nullptr;
            for (const auto& r : member.decoded)
                if (begin >= r.begin && begin + sp.text.size() <= r.begin + r.bytes.size())
                    d = &r;
            if (!d)
                damaged("the written rows lie outside the checked content");
            std::vector<ods::RowRun> rows = ods::parseRows(
                root, reinterpret_cast<const char*>(d->bytes.data()) + (begin - d->begin), sp.text.size());
            const ods::Table& t = doc_.tables[static_cast<size_t>(sp.table)];
            const ods::SheetEdits& sheetEdits = edits_.at(sp.table);
            // The rows the text stands for: the run it replaces, or new rows after the last run
            // up to the last one written with a value (cleared cells there need no row).
            long long count = 0;
            for (const ods::RowRun& r : rows)
                count += r.count;
            const int lo = sp.firstRow;
            const int hi = sp.run >= 0
                               ? t.rows[static_cast<size_t>(sp.run)].row + t.rows[static_cast<size_t>(sp.run)].count - 1
                               : static_cast<int>(std::min<long long>(lo - 1 + count, ods::kMaxRows));
            if (sp.run < 0)
                for (auto e = sheetEdits.lower_bound({hi + 1, 0}); e != sheetEdits.end(); ++e)
                    if (!e->second.isEmpty())
                        damaged("the written file does not read back with the cells written");
            ods::SheetEdits within(sheetEdits.lower_bound({lo, 0}), sheetEdits.lower_bound({hi + 1, 0}));
            Digest expected, got;
            const size_t run = sp.run >= 0 ? static_cast<size_t>(sp.run) : t.rows.size();
            visitRuns(t.rows, run, sp.run >= 0 ? run + 1 : run, 0, within,
                      [&](int r, int c, const CellValue& v) { expected(r, c, v); });
            visitRuns(rows, 0, rows.size(), lo - 1, {}, [&](int r, int c, const CellValue& v) { got(r, c, v); });
            if (count != hi - lo + 1 || expected.value() != got.value())
                damaged("the written file does not read back with the cells written");
            for (ods::RowRun& r : rows) {
                r.row += lo - 1;
                moveRun(r, [&](size_t p) { return p + begin; });
            }
            fresh[{sp.table, sp.run}] = std::move(rows);
        }

        // The codec once saved: every place shifted by the edits, the written runs as read back.
        auto now =
            std::make_unique<OdsCodec>(out, std::move(back), FileBytes(), std::move(doc), std::move(member.index));
        FileBytes& content = now->content_;
        content.reserve(static_cast<size_t>(now->index_.size));
        size_t cursor = 0;
        for (const ods::RowSplice& sp : splices) {
            content.insert(content.end(), content_.begin() + static_cast<std::ptrdiff_t>(cursor),
                           content_.begin() + static_cast<std::ptrdiff_t>(sp.begin));
            content.insert(content.end(), sp.text.begin(), sp.text.end());
            cursor = sp.end;
        }
        content.insert(content.end(), content_.begin() + static_cast<std::ptrdiff_t>(cursor), content_.end());
        if (content.size() != now->index_.size)
            damaged("the written content has another size than checked");
        ods::Content& d = now->doc_;
        d.rootTag = {shifted(d.rootTag.begin, false), shifted(d.rootTag.end, false)};
        for (size_t ti = 0; ti < d.tables.size(); ++ti) {
            ods::Table& t = d.tables[ti];
            const auto table = static_cast<int>(ti);
            std::vector<ods::RowRun> rows;
            rows.reserve(t.rows.size());
            for (size_t i = 0; i < t.rows.size(); ++i) {
                auto f = fresh.find({table, static_cast<int>(i)});
                if (f != fresh.end()) {
                    for (ods::RowRun& r : f->second)
                        rows.push_back(std::move(r));
                    continue;
                }
                moveRun(t.rows[i], [&](size_t p) { return shifted(p, false); });
                rows.push_back(std::move(t.rows[i]));
            }
            const bool appended = fresh.count({table, -1}) != 0;
            if (appended)
                for (ods::RowRun& r : fresh[{table, -1}])
                    rows.push_back(std::move(r));
            t.rows = std::move(rows);
            t.appendAt = shifted(t.appendAt, appended);
        }
        saved_ = std::move(now);
        return out;
    }

    template <class Shift> static void moveRun(ods::RowRun& r, const Shift& shift) {
        auto span = [&](ods::Span& s) { s = {shift(s.begin), shift(s.end)}; };
        span(r.element);
        span(r.startTag);
        r.contentEnd = shift(r.contentEnd);
        for (ods::CellRun& c : r.cells) {
            span(c.element);
            span(c.startTag);
            for (ods::Span& k : c.keptChildren)
                span(k);
        }
    }

    FileBytes original_;
    mutable FileBytes lastSaved_;             // the last serialize(), until markSaved()
    mutable std::unique_ptr<OdsCodec> saved_; // the codec once a quick save is the file
    zip::Package package_;
    FileBytes content_;
    ods::Content doc_;
    zip::DeflateIndex index_;              // of content.xml, when it is deflated
    std::map<int, ods::SheetEdits> edits_; // by 0-based sheet
};

} // namespace

std::unique_ptr<Codec> openOdsCodec(FileBytes bytes) {
    zip::Package package = zip::Package::read(bytes);
    if (!package.has("mimetype") || !isSpreadsheetType(package.member("mimetype")))
        throw WorkbookError(WorkbookError::Code::NotOle, "the package is not an OpenDocument spreadsheet");
    if (package.has(kManifest)) {
        const FileBytes manifest = package.member(kManifest);
        if (ods::manifestEncrypted(manifest.data(), manifest.size()))
            throw WorkbookError(WorkbookError::Code::Encrypted, "the spreadsheet is encrypted with a password");
    }
    if (!package.has(kContent))
        damaged("the spreadsheet has no content.xml");
    FileBytes content;
    content.reserve(static_cast<size_t>(package.declaredSize(kContent)));
    zip::DeflateIndex index;
    package.streamMember(
        kContent, [&](const char* p, size_t n) { content.insert(content.end(), p, p + n); }, &index);
    ods::Content doc = ods::parseContent(content.data(), content.size());
    return std::make_unique<OdsCodec>(std::move(bytes), std::move(package), std::move(content), std::move(doc),
                                      std::move(index));
}

} // namespace rostrel::workbook
