#include "platform/workbook/OoxmlCodec.h"

#include "platform/workbook/Biff.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
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

    saved_.reset();
    std::vector<QuickSave> quick;
    for (size_t i = 0; i < sheets_.size(); ++i) {
        const Sheet& s = sheets_[i];
        if (s.edits.empty())
            continue;
        const StringAppender::Mark before = strings.mark();
        if (std::optional<QuickSave> q = quickSave(i, render, formulaRemoved)) {
            quick.push_back(std::move(*q));
            continue;
        }
        // The cells the quick save rendered before it gave up are rendered again below: counted
        // once, or the shared strings' count grows past the references.
        strings.rollback(before);
        SheetEditResult r = editSheet(package_.member(s.part), s.part, s.edits, render);
        formulaRemoved |= r.formulaRemoved;
        replaced[s.part] = std::move(r.bytes);
    }
    if (replaced.empty() && quick.empty())
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

    std::map<std::string, zip::Package::Compressed> compressed;
    for (const QuickSave& q : quick)
        compressed[sheets_[q.sheet].part] = {&q.member.data, q.member.index.size, q.member.index.crc};
    FileBytes out = package_.rewrite(replaced, {}, removed, compressed);
    saved_ = verify(out, replaced, removed, quick);
    return out;
}

// A save that decodes, edits and compresses again only the stretches of the sheet part around
// the edited rows, found through the places the read recorded. Nothing when the sheet does not
// allow it (the whole part is then edited); the edits may still be refused later.
std::optional<OoxmlCodec::QuickSave> OoxmlCodec::quickSave(size_t sheet, const CellRenderer& render,
                                                           bool& formulaRemoved) const {
    const Sheet& s = sheets_[sheet];
    const SheetCells& cells = cellsOf(static_cast<int>(sheet + 1));
    const zip::Package::Raw raw = package_.raw(s.part);
    // A sheet without rows gets its first ones rarely: the whole part is edited then.
    if (!cells.layout.usable || cells.layout.dataEmpty || cells.index.empty() || raw.method != 8)
        return std::nullopt;
    QuickSave q;
    q.sheet = sheet;
    q.touched = touchedPlaces(cells.layout, s.edits);
    std::vector<zip::ContentEdit> places;
    for (const Touched& t : q.touched)
        places.push_back({t.pos, t.end - t.pos, {}});
    q.regions = zip::planRegions(cells.index, places);
    // Each region is decoded once; the rows and the recompression take their bytes from it.
    std::vector<std::pair<uint64_t, FileBytes>> decoded;
    auto original = [&](uint64_t from, uint64_t to) -> FileBytes {
        for (const auto& [at, bytes] : decoded)
            if (from >= at && to <= at + bytes.size())
                return FileBytes(bytes.begin() + static_cast<std::ptrdiff_t>(from - at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(to - at));
        FileBytes b = zip::inflateRange(raw.data, raw.size, cells.index, from, to);
        decoded.emplace_back(from, b);
        return b;
    };
    try {
        for (const zip::Region& r : q.regions)
            original(r.begin - std::min(r.begin, zip::kWindowSize), r.end);
        RowEditResult rows = editRows(cells.layout, s.part, s.edits, render, original);
        for (Splice& sp : rows.splices)
            q.edits.push_back({sp.pos, sp.len, std::move(sp.text)});
        q.member = zip::editDeflated(raw.data, raw.size, cells.index, q.regions, q.edits, original, true);
        formulaRemoved |= rows.formulaRemoved;
    } catch (const WorkbookError&) {
        return std::nullopt; // the whole part is edited instead, which refuses what it cannot do
    }
    return q;
}

// The saved package becomes the codec's state without reading the saved sheets again: the
// package read back by verify(), with the cells it checked.
void OoxmlCodec::markSaved() {
    if (!saved_)
        return;
    std::unique_ptr<Saved> saved = std::move(saved_);
    OoxmlCodec& now = *saved->codec;
    for (size_t i = 0; i < sheets_.size() && i < now.sheets_.size(); ++i) {
        if (sheets_[i].edits.empty())
            now.sheets_[i].cells = std::move(sheets_[i].cells); // the part was copied as it was
        else if (auto it = saved->sheets.find(i); it != saved->sheets.end())
            now.sheets_[i].cells = std::move(it->second);
    }
    *this = std::move(now);
}

// The written package read back: every member not written anew is the same, byte for byte;
// every sheet with edits holds exactly the old cells with the edits applied (for a sheet saved
// quickly: the decoded rows it changed, and every other byte proven unchanged).
std::unique_ptr<OoxmlCodec::Saved> OoxmlCodec::verify(const FileBytes& out,
                                                      const std::map<std::string, FileBytes>& replaced,
                                                      const std::set<std::string>& removed,
                                                      const std::vector<QuickSave>& quick) const {
    auto saved = std::make_unique<Saved>();
    try {
        saved->codec = std::make_unique<OoxmlCodec>(out);
    } catch (const WorkbookError& e) {
        throw WorkbookError(WorkbookError::Code::Damaged,
                            std::string("the saved workbook does not read back: ") + e.what());
    }
    const OoxmlCodec& back = *saved->codec;
    auto fail = [](const std::string& what) {
        throw WorkbookError(WorkbookError::Code::Damaged, "the saved workbook does not read back: " + what);
    };
    if (back.sheetCount() != sheetCount())
        throw WorkbookError(WorkbookError::Code::Damaged, "the saved workbook lost a sheet");
    std::map<std::string, const QuickSave*> quickParts;
    for (const QuickSave& q : quick)
        quickParts[sheets_[q.sheet].part] = &q;
    for (const std::string& name : package_.names()) {
        if (removed.count(name)) {
            if (back.package_.has(name))
                fail("\"" + name + "\" was not removed");
            continue;
        }
        if (!back.package_.has(name))
            fail("\"" + name + "\" is missing");
        if (replaced.count(name))
            continue;
        const zip::Package::Raw now = back.package_.raw(name);
        if (auto q = quickParts.find(name); q != quickParts.end()) {
            const FileBytes& data = q->second->member.data;
            if (now.size != data.size() || std::memcmp(now.data, data.data(), data.size()) != 0)
                fail("\"" + name + "\" is not the data checked");
            continue;
        }
        const zip::Package::Raw was = package_.raw(name);
        if (now.size != was.size || now.method != was.method || std::memcmp(now.data, was.data, was.size) != 0)
            fail("\"" + name + "\" changed");
    }
    // Shared strings and cell formats are only ever appended to.
    if (back.strings_.strings.size() < strings_.strings.size() ||
        !std::equal(strings_.strings.begin(), strings_.strings.end(), back.strings_.strings.begin()))
        fail("the shared strings changed");
    if (back.styles_.xfIsDate.size() < styles_.xfIsDate.size() ||
        !std::equal(styles_.xfIsDate.begin(), styles_.xfIsDate.end(), back.styles_.xfIsDate.begin()))
        fail("the cell formats changed");
    for (const QuickSave& q : quick)
        saved->sheets[q.sheet] = verifyRows(back, q);
    for (int s = 1; s <= sheetCount(); ++s) {
        if (sheets_[static_cast<size_t>(s - 1)].edits.empty() || saved->sheets.count(static_cast<size_t>(s - 1)))
            continue;
        const std::unique_ptr<OoxmlCodec>& backPtr = saved->codec;
        size_t expected = 0, actual = 0;
        bool same = true;
        forEachCell(s, [&](int r, int c, const CellValue& v) {
            ++expected;
            same = same && sameValue(v, backPtr->cell(s, r, c));
        });
        backPtr->forEachCell(s, [&](int, int, const CellValue&) { ++actual; });
        same = same && expected == actual;
        if (!same)
            throw WorkbookError(WorkbookError::Code::Damaged, "the saved sheet \"" +
                                                                  sheets_[static_cast<size_t>(s - 1)].name +
                                                                  "\" does not read back as written");
        // Read again from the saved part when needed: these cells were read for the check.
        saved->codec->sheets_[static_cast<size_t>(s - 1)].cells.reset();
    }
    return saved;
}

// The rows a quick save changed, read from what the saved part decodes to, hold exactly the
// old cells with the edits applied. Returns the sheet's cells after the save: the old ones with
// those rows replaced, and the places of everything shifted by the edits.
std::unique_ptr<SheetCells> OoxmlCodec::verifyRows(const OoxmlCodec& back, const QuickSave& q) const {
    const Sheet& sheet = sheets_[q.sheet];
    const SheetCells& old = *sheet.cells;
    auto fail = [&](const std::string& what) {
        throw WorkbookError(WorkbookError::Code::Damaged,
                            "the saved sheet \"" + sheet.name + "\" does not read back as written: " + what);
    };
    SheetContext ctx;
    ctx.styles = &back.styles_;
    ctx.sharedStrings = back.strings_.strings.size();
    ctx.date1904 = back.workbook_.date1904;

    const zip::PositionShift shifted(q.edits);
    auto now = std::make_unique<SheetCells>();
    now->locked = old.locked;
    now->texts = old.texts;
    now->index = q.member.index;
    now->layout = old.layout;
    std::vector<StoredRow> rows;
    std::vector<RowSpan> places;
    auto keepRowsBefore = [&](uint32_t row, auto& oldRow, auto& oldPlace) {
        for (; oldRow != old.rows.end() && oldRow->row < row; ++oldRow)
            rows.push_back(*oldRow);
        for (; oldPlace != old.layout.rows.end() && oldPlace->row < row; ++oldPlace)
            places.push_back({oldPlace->row, shifted(oldPlace->pos, true), shifted(oldPlace->end, false)});
    };
    auto oldRow = old.rows.begin();
    auto oldPlace = old.layout.rows.begin();

    for (size_t k = 0; k < q.regions.size(); ++k) {
        const zip::Region& region = q.regions[k];
        const Touched* first = nullptr;
        const Touched* last = nullptr;
        for (const Touched& t : q.touched)
            if (t.rowLo != 0 && t.pos >= region.begin && t.end <= region.end) {
                first = first ? first : &t;
                last = &t;
            }
        if (!first)
            continue;
        const uint64_t from = shifted(first->pos, false);
        const uint64_t to = shifted(last->end, true);
        const zip::EditedMember::Decoded& d = q.member.decoded[k];
        if (from < d.begin || to < from || to > d.begin + d.bytes.size())
            fail("the edited rows lie outside the checked content");
        SheetCells got = readRows(old.layout, reinterpret_cast<const char*>(d.bytes.data()) + (from - d.begin),
                                  to - from, sheet.part, ctx);
        const int lo = first->rowLo, hi = last->rowHi;

        // What the rows lo..hi must hold.
        std::vector<std::pair<std::pair<int, int>, CellValue>> expected;
        auto e = sheet.edits.lower_bound({lo, 0});
        auto r = std::lower_bound(old.rows.begin(), old.rows.end(), static_cast<uint32_t>(lo),
                                  [](const StoredRow& x, uint32_t v) { return x.row < v; });
        for (; r != old.rows.end() && r->row <= static_cast<uint32_t>(hi); ++r)
            for (const StoredCell& c : r->cells) {
                const std::pair<int, int> at{static_cast<int>(r->row), c.col};
                if (!sheet.edits.count(at))
                    expected.push_back({at, toValue(old, c)});
            }
        for (; e != sheet.edits.end() && e->first.first <= hi; ++e)
            if (!e->second.isEmpty())
                expected.push_back({e->first, e->second});
        std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        size_t i = 0;
        for (const StoredRow& row : got.rows)
            for (const StoredCell& c : row.cells) {
                if (i >= expected.size() ||
                    expected[i].first != std::make_pair(static_cast<int>(row.row), int(c.col)) ||
                    !sameValue(expected[i].second, back.toValue(got, c)))
                    fail("cell " + cellRef(static_cast<int>(row.row), c.col));
                ++i;
            }
        if (i != expected.size())
            fail("a cell is missing in row " + std::to_string(expected[i].first.first));
        if (!got.layout.usable)
            fail("the edited rows are not in order");
        for (const RowSpan& p : got.layout.rows)
            if (p.row < static_cast<uint32_t>(lo) || p.row > static_cast<uint32_t>(hi))
                fail("row " + std::to_string(p.row) + " lies among the edited rows");

        // The sheet after the save: these rows as read back.
        keepRowsBefore(static_cast<uint32_t>(lo), oldRow, oldPlace);
        const auto base = static_cast<uint32_t>(now->texts.size());
        for (std::string& t : got.texts)
            now->texts.push_back(std::move(t));
        for (StoredRow& row : got.rows) {
            for (StoredCell& c : row.cells)
                if (c.kind == StoredCell::OwnText)
                    c.ref += base;
            rows.push_back(std::move(row));
        }
        for (const RowSpan& p : got.layout.rows)
            places.push_back({p.row, p.pos + from, p.end + from});
        while (oldRow != old.rows.end() && oldRow->row <= static_cast<uint32_t>(hi))
            ++oldRow;
        while (oldPlace != old.layout.rows.end() && oldPlace->row <= static_cast<uint32_t>(hi))
            ++oldPlace;
    }
    keepRowsBefore(UINT32_MAX, oldRow, oldPlace);
    if (oldRow != old.rows.end())
        rows.insert(rows.end(), oldRow, old.rows.end());
    if (oldPlace != old.layout.rows.end())
        for (; oldPlace != old.layout.rows.end(); ++oldPlace)
            places.push_back({oldPlace->row, shifted(oldPlace->pos, true), shifted(oldPlace->end, false)});
    now->rows = std::move(rows);

    SheetLayout& l = now->layout;
    l.rows = std::move(places);
    LockedRange grown;
    if (l.hasDimension && grownDimension(l.dimensionValid, l.dimension, sheet.edits, grown)) {
        l.dimension = grown;
        l.dimensionValid = true;
        l.dimensionEnd = shifted(l.dimensionEnd, false);
    }
    l.dataPos = shifted(l.dataPos, false);
    l.dataEnd = shifted(l.dataEnd, true);
    return now;
}

} // namespace rostrel::workbook
