// Saving an .xlsx workbook: edited cells rendered into their worksheet parts (quickly, by
// recompressing only the blocks around the edited rows, where the sheet allows it), the shared
// strings, styles and calculation chain kept consistent, and the saved package adopted.
#include "platform/workbook/OoxmlCodec.h"

#include <algorithm>

namespace rostrel::workbook {

using namespace ooxml;

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

} // namespace rostrel::workbook
