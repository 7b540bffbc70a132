#include "platform/workbook/OoxmlCodec.h"

#include "platform/workbook/Biff.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace rostrel::workbook {

using namespace ooxml;

namespace {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the workbook is damaged: " + what);
}

[[noreturn]] void strict() {
    throw WorkbookError(
        WorkbookError::Code::Damaged,
        "the workbook is saved as Strict Open XML, which cannot be read; save it as an ordinary .xlsx workbook");
}

const Relationship* findRel(const std::vector<Relationship>& rels, std::string_view kind) {
    for (const Relationship& r : rels)
        if (!r.external && relationshipIs(r.type, kind))
            return &r;
    return nullptr;
}

// Numbers and dates are one kind as far as a written cell goes: a number written into a cell
// formatted as a date reads back as a date.
bool sameValue(const CellValue& a, const CellValue& b) {
    const bool an = a.kind == CellValue::Kind::Number || a.kind == CellValue::Kind::Date;
    const bool bn = b.kind == CellValue::Kind::Number || b.kind == CellValue::Kind::Date;
    if (an && bn)
        return a.number == b.number;
    return a == b;
}

// A password-protected .xlsx is an OLE2 compound file around the encrypted package.
FileBytes refuseEncrypted(FileBytes bytes) {
    static const uint8_t kOle2[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (bytes.size() >= sizeof kOle2 && std::equal(std::begin(kOle2), std::end(kOle2), bytes.begin()))
        throw WorkbookError(WorkbookError::Code::Encrypted, "the workbook is encrypted (password protected)");
    return bytes;
}

} // namespace

OoxmlCodec::OoxmlCodec(FileBytes bytes) : package_(zip::Package::read(refuseEncrypted(std::move(bytes)))) {
    if (!package_.has("[Content_Types].xml"))
        damaged("the package has no [Content_Types].xml");
    std::vector<Relationship> rootRels;
    if (package_.has("_rels/.rels"))
        rootRels = parseRelationships(package_.member("_rels/.rels"), "_rels/.rels", "");
    for (const Relationship& r : rootRels)
        if (isStrictType(r.type))
            strict();
    const Relationship* office = findRel(rootRels, "officeDocument");
    workbookPart_ = office ? office->target : "xl/workbook.xml";
    if (!package_.has(workbookPart_))
        damaged("the package has no workbook part");
    workbook_ = parseWorkbook(package_.member(workbookPart_), workbookPart_);
    if (workbook_.strict)
        strict();
    const std::string relsPart = relationshipsPartOf(workbookPart_);
    if (package_.has(relsPart))
        workbookRels_ = parseRelationships(package_.member(relsPart), relsPart, workbookPart_);

    if (const Relationship* r = findRel(workbookRels_, "sharedStrings"); r && package_.has(r->target))
        sharedStringsPart_ = r->target;
    if (const Relationship* r = findRel(workbookRels_, "styles"); r && package_.has(r->target))
        stylesPart_ = r->target;
    else if (package_.has("xl/styles.xml"))
        stylesPart_ = "xl/styles.xml";
    if (const Relationship* r = findRel(workbookRels_, "calcChain"); r && package_.has(r->target))
        calcChainPart_ = r->target;
    if (!sharedStringsPart_.empty())
        strings_ = SharedStrings::parse(package_.member(sharedStringsPart_), sharedStringsPart_);
    if (!stylesPart_.empty())
        styles_ = Styles::parse(package_.member(stylesPart_), stylesPart_);

    for (const WorkbookInfo::Sheet& s : workbook_.sheets) {
        for (const Relationship& r : workbookRels_) {
            if (r.id != s.relId || r.external)
                continue;
            // Chart sheets, dialog and macro sheets are no worksheets; a sheet whose part is
            // missing is left out as the office suites do.
            if (relationshipIs(r.type, "worksheet") && package_.has(r.target)) {
                Sheet sheet;
                sheet.name = s.name;
                sheet.part = r.target;
                sheets_.push_back(std::move(sheet));
            }
            break;
        }
    }
}

std::unique_ptr<Codec> openOoxmlCodec(FileBytes bytes) {
    return std::make_unique<OoxmlCodec>(std::move(bytes));
}

const OoxmlCodec::Sheet& OoxmlCodec::sheetAt(int sheet) const {
    if (sheet < 1 || sheet > sheetCount())
        throw WorkbookError(WorkbookError::Code::NoSuchSheet, "no such sheet");
    return sheets_[static_cast<size_t>(sheet - 1)];
}

std::string OoxmlCodec::sheetName(int sheet) const {
    return sheetAt(sheet).name;
}

const std::string& OoxmlCodec::sheetPart(int sheet) const {
    return sheetAt(sheet).part;
}

const SheetCells& OoxmlCodec::cellsOf(int sheet) const {
    const Sheet& s = sheetAt(sheet);
    if (!s.cells) {
        SheetContext ctx;
        ctx.styles = &styles_;
        ctx.sharedStrings = strings_.strings.size();
        ctx.date1904 = workbook_.date1904;
        s.cells = std::make_unique<SheetCells>(readSheet(package_, s.part, ctx));
    }
    return *s.cells;
}

void OoxmlCodec::loadSheet(int sheet) {
    cellsOf(sheet);
}

CellValue OoxmlCodec::toValue(const SheetCells& cells, const StoredCell& c) const {
    switch (c.kind) {
    case StoredCell::Number:
        return CellValue::fromNumber(c.number);
    case StoredCell::Date:
        return CellValue::fromDate(c.number);
    case StoredCell::SharedText:
        return CellValue::fromText(strings_.strings[c.ref]);
    case StoredCell::OwnText:
        return CellValue::fromText(cells.texts[c.ref]);
    case StoredCell::Bool:
        return CellValue::fromBool(c.small != 0);
    case StoredCell::Error:
        return CellValue::fromError(static_cast<CellValue::ErrorCode>(c.small));
    }
    return {};
}

CellValue OoxmlCodec::cell(int sheet, int row, int column) const {
    const Sheet& s = sheetAt(sheet);
    if (auto e = s.edits.find({row, column}); e != s.edits.end())
        return e->second;
    const SheetCells& cells = cellsOf(sheet);
    auto r = std::lower_bound(cells.rows.begin(), cells.rows.end(), static_cast<uint32_t>(row),
                              [](const StoredRow& x, uint32_t v) { return x.row < v; });
    if (r == cells.rows.end() || r->row != static_cast<uint32_t>(row))
        return {};
    auto c = std::lower_bound(r->cells.begin(), r->cells.end(), column,
                              [](const StoredCell& x, int v) { return x.col < v; });
    if (c == r->cells.end() || c->col != column)
        return {};
    return toValue(cells, *c);
}

void OoxmlCodec::forEachCell(int sheet, const std::function<void(int, int, const CellValue&)>& visit) const {
    const Sheet& s = sheetAt(sheet);
    const SheetCells& cells = cellsOf(sheet);
    auto e = s.edits.begin();
    auto flushEditsBefore = [&](int row, int col) {
        for (; e != s.edits.end() && e->first < std::make_pair(row, col); ++e)
            if (!e->second.isEmpty())
                visit(e->first.first, e->first.second, e->second);
    };
    for (const StoredRow& r : cells.rows) {
        for (const StoredCell& c : r.cells) {
            const int row = static_cast<int>(r.row);
            flushEditsBefore(row, c.col);
            if (e != s.edits.end() && e->first == std::make_pair(row, static_cast<int>(c.col)))
                continue; // the edit comes out with the next flush
            visit(row, c.col, toValue(cells, c));
        }
    }
    flushEditsBefore(kMaxRows + 1, 0);
}

void OoxmlCodec::setCell(int sheet, int row, int column, const CellValue& value) {
    const Sheet& s = sheetAt(sheet);
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        throw WorkbookError(WorkbookError::Code::BadCell,
                            "the cell lies outside an .xlsx sheet (1048576 rows, 16384 columns)");
    for (const LockedRange& r : cellsOf(sheet).locked)
        if (r.contains(row, column))
            throw WorkbookError(WorkbookError::Code::Unsupported,
                                "the cell " + cellRef(row, column) + " belongs to an array or shared formula");
    if ((value.kind == CellValue::Kind::Number || value.kind == CellValue::Kind::Date) && !std::isfinite(value.number))
        throw WorkbookError(WorkbookError::Code::Unsupported, "a cell cannot hold an infinite or undefined number");
    if (value.kind == CellValue::Kind::Text && value.text.size() > 32767 * 3)
        throw WorkbookError(WorkbookError::Code::Unsupported, "the text is longer than a cell can hold");
    sheets_[static_cast<size_t>(sheet - 1)].edits[{row, column}] = value;
    (void)s;
}

bool OoxmlCodec::hasEdits() const {
    for (const Sheet& s : sheets_)
        if (!s.edits.empty())
            return true;
    return false;
}

FileBytes OoxmlCodec::serialize() const {
    std::map<std::string, FileBytes> replaced;
    std::set<std::string> removed;
    StringAppender strings(strings_);
    std::optional<uint32_t> dateXf = styles_.dateXf;
    bool formulaRemoved = false;

    const CellRenderer render = [&](const CellRender& r) -> std::string {
        const CellValue& v = *r.value;
        const std::string c = r.prefix.empty() ? "c" : r.prefix + ":c";
        const std::string vTag = r.prefix.empty() ? "v" : r.prefix + ":v";
        std::optional<uint32_t> style = r.style;
        if (v.kind == CellValue::Kind::Date && !(style && styles_.isDate(*style))) {
            if (!dateXf) {
                if (stylesPart_.empty())
                    throw WorkbookError(WorkbookError::Code::Unsupported,
                                        "the workbook has no styles to show a date with");
                uint32_t index = 0;
                replaced[stylesPart_] = styles_.withDateXf(package_.member(stylesPart_), index);
                dateXf = index;
            }
            style = dateXf;
        }
        std::string open = "<" + c + " r=\"" + r.ref + "\"";
        if (style && *style != 0)
            open += " s=\"" + std::to_string(*style) + "\"";
        auto withValue = [&](const char* type, const std::string& text) {
            return open + (type ? std::string(" t=\"") + type + "\"" : std::string()) + "><" + vTag + ">" + text +
                   "</" + vTag + "></" + c + ">";
        };
        switch (v.kind) {
        case CellValue::Kind::Empty:
            return style && *style != 0 ? open + "/>" : std::string();
        case CellValue::Kind::Number:
        case CellValue::Kind::Date:
            return withValue(nullptr, formatNumber(v.number));
        case CellValue::Kind::Bool:
            return withValue("b", v.boolean ? "1" : "0");
        case CellValue::Kind::Error: {
            return withValue("e", errorText(v.error));
        }
        case CellValue::Kind::Text:
            if (!sharedStringsPart_.empty())
                return withValue("s", std::to_string(strings.indexFor(v.text)));
            const std::string is = r.prefix.empty() ? "is" : r.prefix + ":is";
            return open + " t=\"inlineStr\"><" + is + ">" + textElement(r.prefix, v.text) + "</" + is + "></" + c + ">";
        }
        return {};
    };

    for (const Sheet& s : sheets_) {
        if (s.edits.empty())
            continue;
        SheetEditResult r = editSheet(package_.member(s.part), s.part, s.edits, render);
        formulaRemoved |= r.formulaRemoved;
        replaced[s.part] = std::move(r.bytes);
    }
    if (replaced.empty())
        return package_.bytes();
    if (strings.changed())
        replaced[sharedStringsPart_] = strings.apply(package_.member(sharedStringsPart_));

    // A value over a formula: the calculation chain would name a cell without a formula, which
    // the office suites report as damage; they rebuild the chain, and recalculate on opening.
    if (formulaRemoved) {
        FileBytes wb = package_.member(workbookPart_);
        std::vector<Splice> wbSplices;
        if (workbook_.hasCalcPr) {
            const std::string tag(reinterpret_cast<const char*>(wb.data() + workbook_.calcPrPos), workbook_.calcPrLen);
            wbSplices.push_back({workbook_.calcPrPos, workbook_.calcPrLen, withAttribute(tag, "fullCalcOnLoad", "1")});
        } else {
            const std::string name = workbook_.prefix.empty() ? "calcPr" : workbook_.prefix + ":calcPr";
            wbSplices.push_back({workbook_.calcPrInsertAt, 0, "<" + name + " fullCalcOnLoad=\"1\"/>"});
        }
        replaced[workbookPart_] = applySplices(wb, std::move(wbSplices));
        if (!calcChainPart_.empty()) {
            removed.insert(calcChainPart_);
            const std::string relsPart = relationshipsPartOf(workbookPart_);
            std::vector<Splice> relSplices;
            for (const Relationship& r : workbookRels_)
                if (!r.external && r.target == calcChainPart_)
                    relSplices.push_back({r.pos, r.end - r.pos, {}});
            replaced[relsPart] = applySplices(package_.member(relsPart), std::move(relSplices));
            const FileBytes types = package_.member("[Content_Types].xml");
            std::vector<Splice> typeSplices;
            for (const ContentOverride& o : parseContentTypes(types))
                if (o.partName == calcChainPart_)
                    typeSplices.push_back({o.pos, o.end - o.pos, {}});
            replaced["[Content_Types].xml"] = applySplices(types, std::move(typeSplices));
        }
    }

    FileBytes out = package_.rewrite(replaced, {}, removed);
    verify(out);
    lastSaved_ = out;
    return out;
}

// The saved package becomes the codec's state: read anew, so that offsets into the parts and
// the shared strings match the file.
void OoxmlCodec::markSaved() {
    if (lastSaved_.empty())
        return;
    OoxmlCodec saved(std::move(lastSaved_));
    *this = std::move(saved);
}

// The written package read back: every sheet with edits holds exactly the old cells with the
// edits applied.
void OoxmlCodec::verify(const FileBytes& out) const {
    std::unique_ptr<OoxmlCodec> back;
    try {
        back = std::make_unique<OoxmlCodec>(out);
    } catch (const WorkbookError& e) {
        throw WorkbookError(WorkbookError::Code::Damaged,
                            std::string("the saved workbook does not read back: ") + e.what());
    }
    if (back->sheetCount() != sheetCount())
        throw WorkbookError(WorkbookError::Code::Damaged, "the saved workbook lost a sheet");
    for (int s = 1; s <= sheetCount(); ++s) {
        if (sheets_[static_cast<size_t>(s - 1)].edits.empty())
            continue;
        size_t expected = 0, actual = 0;
        bool same = true;
        forEachCell(s, [&](int r, int c, const CellValue& v) {
            ++expected;
            same = same && sameValue(v, back->cell(s, r, c));
        });
        back->forEachCell(s, [&](int, int, const CellValue&) { ++actual; });
        same = same && expected == actual;
        if (!same)
            throw WorkbookError(WorkbookError::Code::Damaged, "the saved sheet \"" +
                                                                  sheets_[static_cast<size_t>(s - 1)].name +
                                                                  "\" does not read back as written");
    }
}

} // namespace rostrel::workbook
