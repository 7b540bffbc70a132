// Checking a saved .xlsx package by reading it back before it may replace the file.
#include "platform/workbook/OoxmlCodec.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace rostrel::workbook {

using namespace ooxml;

namespace {

// Numbers and dates are one kind as far as a written cell goes: a number written into a cell
// formatted as a date reads back as a date.
bool sameValue(const CellValue& a, const CellValue& b) {
    const bool an = a.kind == CellValue::Kind::Number || a.kind == CellValue::Kind::Date;
    const bool bn = b.kind == CellValue::Kind::Number || b.kind == CellValue::Kind::Date;
    if (an && bn)
        return a.number == b.number;
    return a == b;
}

} // namespace

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
