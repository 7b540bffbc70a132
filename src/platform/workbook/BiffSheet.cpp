// A worksheet's cells, parsed when the sheet is first read: its substream walked a record at a
// time, each cell record kept as a StoredCell, and ranges that cannot be written one cell at a
// time noted.
#include "platform/workbook/Biff.h"
#include "platform/workbook/BiffDetail.h"
#include "platform/workbook/BiffRecords.h"

#include <algorithm>

namespace rostrel::workbook::xls {

using detail::damaged;

const SheetCells& Book::sheetCells(int sheet) const {
    if (sheet < 0 || sheet >= static_cast<int>(worksheets_.size()))
        throw WorkbookError(WorkbookError::Code::NoSuchSheet, "no such sheet");
    if (!sheets_[sheet])
        sheets_[sheet] = parseSheet(sheet);
    return *sheets_[sheet];
}

std::unique_ptr<SheetCells> Book::parseSheet(int sheet) const {
    auto cells = std::make_unique<SheetCells>();
    const SheetEntry& entry = worksheets_[sheet];
    Rec r;
    if (entry.bofPos < globalsEnd_ || !recordAt(stream_, entry.bofPos, r) || r.type != rt::BOF || r.len < 4)
        damaged("sheet \"" + entry.name + "\" does not start where the workbook says");
    if (rd16(r.data + 2) != 0x0010) {
        // A dialog, macro or chart sheet listed as a worksheet: no cells, and none written.
        cells->locked.push_back({0, 0xFFFF, 0, 0xFFFF});
        return cells;
    }
    SheetParser parser(*this, *cells);
    walkSubstream(stream_, entry.bofPos, sheetLimit_[sheet], entry.name, [&](const Rec& rec, int depth) {
        if (depth == 1 && rec.type != rt::BOF && rec.type != rt::EOF_)
            parser.record(rec, stream_);
    });
    parser.finish();
    return cells;
}

// One worksheet's cell table, a record at a time.

SheetParser::SheetParser(const Book& book, SheetCells& into) : book_(book), cells_(into) {}

StoredCell& SheetParser::add(uint16_t row, const StoredCell& c) {
    auto& rows = cells_.rows;
    if (row >= rows.size())
        rows.resize(static_cast<size_t>(row) + 1);
    rows[row].push_back(c);
    return rows[row].back();
}

StoredCell SheetParser::numberCell(uint16_t col, uint16_t xf, double v) const {
    StoredCell c;
    c.col = col;
    c.kind = book_.isDateXf(xf) ? StoredCell::Date : StoredCell::Number;
    c.number = v;
    return c;
}

StoredCell SheetParser::textCell(uint16_t col, std::string text) {
    StoredCell c;
    c.col = col;
    c.kind = StoredCell::OwnText;
    c.ref = static_cast<uint32_t>(cells_.texts.size());
    cells_.texts.push_back(std::move(text));
    return c;
}

void SheetParser::record(const Rec& r, const Bytes& in) {
    const uint8_t* d = r.data;
    switch (r.type) {
    case rt::NUMBER:
        if (r.len < 14)
            damaged("a NUMBER record is cut short");
        add(rd16(d), numberCell(rd16(d + 2), rd16(d + 4), rdDouble(d + 6)));
        break;
    case rt::RK:
        if (r.len < 10)
            damaged("an RK record is cut short");
        add(rd16(d), numberCell(rd16(d + 2), rd16(d + 4), decodeRk(rd32(d + 6))));
        break;
    case rt::MULRK: {
        if (r.len < 6)
            damaged("a MULRK record is cut short");
        const uint16_t row = rd16(d), col0 = rd16(d + 2);
        const size_t n = (r.len - 6) / 6;
        for (size_t i = 0; i < n && col0 + i <= 0xFFFF; ++i)
            add(row, numberCell(static_cast<uint16_t>(col0 + i), rd16(d + 4 + 6 * i), decodeRk(rd32(d + 6 + 6 * i))));
        break;
    }
    case rt::LABELSST: {
        if (r.len < 10)
            damaged("a LABELSST record is cut short");
        const uint32_t isst = rd32(d + 6);
        if (isst >= book_.sst_.size())
            damaged("a cell refers to a shared string that does not exist");
        StoredCell c;
        c.col = rd16(d + 2);
        c.kind = StoredCell::SstText;
        c.ref = isst;
        add(rd16(d), c);
        break;
    }
    case rt::LABEL:
    case rt::RSTRING: {
        std::string text;
        if (r.len < 8 || !book_.readShortString(d + 6, r.len - 6, 2, text))
            damaged("a LABEL record is cut short");
        add(rd16(d), textCell(rd16(d + 2), std::move(text)));
        break;
    }
    case rt::BOOLERR: {
        if (r.len < 8)
            damaged("a BOOLERR record is cut short");
        StoredCell c;
        c.col = rd16(d + 2);
        c.kind = d[7] ? StoredCell::Error : StoredCell::Bool;
        c.small = d[6];
        add(rd16(d), c);
        break;
    }
    case rt::FORMULA:
    case rt::FORMULA3:
    case rt::FORMULA4:
        formula(r);
        break;
    case rt::STRING:
        if (pendingRow_ >= 0)
            formulaText(r, in);
        break;
    case rt::SHRFMLA:
        if (lastWasFormula_)
            cells_.locked.push_back({lastRow_, lastRow_, lastCol_, lastCol_});
        break;
    case rt::ARRAY:
    case rt::TABLE:
        if (r.len >= 6)
            cells_.locked.push_back({rd16(d), rd16(d + 2), d[4], d[5]});
        break;
    default:
        break;
    }
    // Only the records that belong to a formula keep its string result and shared-formula
    // host pending.
    const bool formula = r.type == rt::FORMULA || r.type == rt::FORMULA3 || r.type == rt::FORMULA4;
    const bool follower = r.type == rt::SHRFMLA || r.type == rt::ARRAY || r.type == rt::TABLE || r.type == rt::STRING ||
                          r.type == rt::CONTINUE;
    if (!formula && !follower) {
        lastWasFormula_ = false;
        pendingRow_ = -1;
    }
}

void SheetParser::formula(const Rec& r) {
    if (r.len < 20)
        damaged("a FORMULA record is cut short");
    const uint8_t* d = r.data;
    const uint16_t row = rd16(d), col = rd16(d + 2);
    const uint8_t* res = d + 6;
    pendingRow_ = -1;
    if (rd16(res + 6) != 0xFFFF) {
        add(row, numberCell(col, rd16(d + 4), rdDouble(res)));
    } else {
        StoredCell c;
        switch (res[0]) {
        case 0: // string: the STRING record follows
            add(row, textCell(col, std::string()));
            pendingRow_ = row;
            pendingIndex_ = cells_.rows[row].size() - 1;
            break;
        case 1: // boolean
        case 2: // error code
            c.col = col;
            c.kind = res[0] == 1 ? StoredCell::Bool : StoredCell::Error;
            c.small = res[2];
            add(row, c);
            break;
        case 3: // empty string
            add(row, textCell(col, std::string()));
            break;
        default:
            damaged("a formula has an unknown result type");
        }
    }
    lastWasFormula_ = true;
    lastRow_ = row;
    lastCol_ = col;
}

void SheetParser::formulaText(const Rec& r, const Bytes& s) {
    std::string text;
    if (book_.biff_ == 8) {
        std::vector<ContinuedReader::Segment> segs{{r.pos + 4, r.len}};
        Rec c;
        for (uint32_t cp = r.pos + 4 + r.len; recordAt(s, cp, c) && c.type == rt::CONTINUE; cp += 4 + c.len)
            segs.push_back({cp + 4, c.len});
        ContinuedReader rd(s.data(), segs);
        if (!readRichString(rd, text, nullptr))
            damaged("a formula's text result is cut short");
    } else if (!book_.readShortString(r.data, r.len, 2, text)) {
        damaged("a formula's text result is cut short");
    }
    cells_.texts[cells_.rows[pendingRow_][pendingIndex_].ref] = std::move(text);
    pendingRow_ = -1;
}

void SheetParser::finish() {
    for (auto& row : cells_.rows)
        settleRow(row);
}

// Sorts a row's cells by column; where one cell has two records, the later one wins, as it
// does for other readers.
void settleRow(std::vector<StoredCell>& row) {
    if (row.size() < 2)
        return;
    auto byCol = [](const StoredCell& a, const StoredCell& b) { return a.col < b.col; };
    if (!std::is_sorted(row.begin(), row.end(), byCol))
        std::stable_sort(row.begin(), row.end(), byCol);
    bool dup = false;
    for (size_t i = 1; i < row.size() && !dup; ++i)
        dup = row[i].col == row[i - 1].col;
    if (!dup)
        return;
    std::vector<StoredCell> kept;
    for (const StoredCell& c : row) {
        if (!kept.empty() && kept.back().col == c.col)
            kept.back() = c;
        else
            kept.push_back(c);
    }
    row.swap(kept);
}

} // namespace rostrel::workbook::xls
