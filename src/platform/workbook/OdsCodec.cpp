#include "platform/workbook/OdsCodec.h"

#include "platform/workbook/OdsContent.h"
#include "platform/workbook/OdsEdit.h"
#include "platform/workbook/ZipPackage.h"

#include <cstdint>
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

// A digest of every cell a sheet shows, in order: comparing two sheets this way needs no copy
// of either, however many cells they hold.
uint64_t digest(const Codec& codec, int sheet) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](const void* p, size_t n) {
        for (size_t i = 0; i < n; ++i)
            h = (h ^ static_cast<const uint8_t*>(p)[i]) * 1099511628211ull;
    };
    codec.forEachCell(sheet, [&](int r, int c, const CellValue& v) {
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
    });
    return h;
}

class OdsCodec : public Codec {
public:
    OdsCodec(FileBytes original, zip::Package package, FileBytes content, ods::Content doc)
        : original_(std::move(original)), package_(std::move(package)), content_(std::move(content)),
          doc_(std::move(doc)) {}

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
        const ods::SheetEdits& edits = found == edits_.end() ? none : found->second;
        auto e = edits.begin();
        auto flushBefore = [&](std::pair<int, int> at) {
            for (; e != edits.end() && e->first < at; ++e)
                if (!e->second.isEmpty())
                    visit(e->first.first, e->first.second, e->second);
        };
        for (const ods::RowRun& r : t.rows) {
            bool anyValue = false;
            for (const ods::CellRun& c : r.cells)
                anyValue = anyValue || !c.value.isEmpty();
            if (!anyValue)
                continue;
            for (int row = r.row; row < r.row + r.count; ++row)
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
        if (edits_.empty())
            return original_;
        FileBytes content = ods::applyEdits(content_.data(), content_.size(), doc_, edits_);
        FileBytes out = package_.rewrite({{kContent, content}});
        verify(out);
        lastSaved_ = out;
        return out;
    }

    // The saved package becomes the codec's state: read anew, so that the byte ranges of the
    // cells match the new content.xml.
    void markSaved() override {
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

    FileBytes original_;
    mutable FileBytes lastSaved_; // the last serialize(), until markSaved()
    zip::Package package_;
    FileBytes content_;
    ods::Content doc_;
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
    FileBytes content = package.member(kContent);
    ods::Content doc = ods::parseContent(content.data(), content.size());
    return std::make_unique<OdsCodec>(std::move(bytes), std::move(package), std::move(content), std::move(doc));
}

} // namespace rostrel::workbook
