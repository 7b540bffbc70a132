// The steps of reading and rewriting a sheet, one by one, and the records a save rebuilds
// (ROW, DIMENSIONS, EXTSST, RECALCID, DBCELL) checked byte for byte against bytes worked out
// by hand from the record layouts.
#include "HostileXls.h"
#include "XlsTestUtil.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

using namespace rostrel::workbook;
using namespace rostrel::workbook::xls;
using namespace rostrel::test;
using namespace rostrel::test::xlsutil;

namespace {

// A record held in `storage` (header included), as the reader sees it.
Rec recOf(const Bytes& storage, uint32_t pos = 0) {
    Rec r;
    EXPECT_TRUE(recordAt(storage, pos, r));
    return r;
}
Bytes whole(uint16_t type, const Bytes& data) {
    Bytes b;
    hostile::record(b, type, data);
    return b;
}
Bytes hex(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v)
        b.push_back(static_cast<uint8_t>(x));
    return b;
}

// The record of `type` that comes `nth` among the stream's records of that type.
Bytes nthRecord(const Bytes& stream, uint16_t type, int nth) {
    for (const auto& r : records(stream))
        if (r.type == type && nth-- == 0)
            return r.bytes;
    return {};
}

} // namespace

TEST(BiffSteps, RowAndDimensionRecords) {
    // Row 9 gaining columns 3..9, 300 twips high: colMac is one past the last column.
    EXPECT_EQ(rowRecord(9, 3, 9, 0x012C), hex({0x08, 0x02, 0x10, 0x00, 0x09, 0x00, 0x03, 0x00, 0x0A, 0x00,
                                               0x2C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x0F, 0x00}));
    Bytes row = rowRecord(2, 4, 5, 0xFF);
    widenRow(row.data() + 4, 1, 3); // left only
    EXPECT_EQ(Bytes(row.begin() + 6, row.begin() + 10), hex({0x01, 0x00, 0x06, 0x00}));
    widenRow(row.data() + 4, 7, 7); // right only
    EXPECT_EQ(Bytes(row.begin() + 6, row.begin() + 10), hex({0x01, 0x00, 0x08, 0x00}));
    Bytes empty = rowRecord(2, 0, 0, 0xFF);
    xls::wr16(empty.data() + 8, 0); // colMic == colMac: a row without cells takes the new span
    widenRow(empty.data() + 4, 5, 6);
    EXPECT_EQ(Bytes(empty.begin() + 6, empty.begin() + 10), hex({0x05, 0x00, 0x07, 0x00}));

    // Rows 0..2, columns 0..5, growing by row 9 columns 2..9 and row 1 column 12.
    Bytes dim = hex({0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 6, 0, 0, 0});
    growDimensions(dim.data(), {{9, {2, 9}}, {1, {12, 12}}});
    EXPECT_EQ(dim, hex({0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 13, 0, 0, 0}));
    // An empty sheet (first == last) starts from the rows that gained cells.
    Bytes none = hex({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    growDimensions(none.data(), {{4, {3, 3}}, {6, {1, 2}}});
    EXPECT_EQ(none, hex({4, 0, 0, 0, 7, 0, 0, 0, 1, 0, 4, 0, 0, 0}));
    Bytes same = dim;
    growDimensions(same.data(), {});
    EXPECT_EQ(same, dim);
}

TEST(BiffSteps, StringIndexRecalculationAndDbcellRecords) {
    // Three strings: one bucket of 8, pointing at the first string (0x1000 + 12, 12 bytes into
    // its record counting the header).
    EXPECT_EQ(extSstRecord({{0x100C, 0x1000}, {0x1010, 0x1000}, {0x2004, 0x2000}}),
              hex({0xFF, 0x00, 0x0A, 0x00, 0x08, 0x00, 0x0C, 0x10, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00}));
    // 20 strings: buckets of 8 start at strings 0, 8 and 16.
    std::vector<std::pair<uint32_t, uint32_t>> pos;
    for (uint32_t i = 0; i < 20; ++i)
        pos.emplace_back(100 + 10 * i, i < 16 ? 88 : 250);
    EXPECT_EQ(extSstRecord(pos), hex({0xFF, 0x00, 0x1A, 0x00, 0x08, 0x00,          //
                                      100,  0,    0,    0,    12,   0,    0, 0,    // string 0
                                      180,  0,    0,    0,    92,   0,    0, 0,    // string 8
                                      4,    1,    0,    0,    10,   0,    0, 0})); // string 16
    // 1200 strings: 1200 / 128 + 1 = 10 per bucket, 120 buckets.
    pos.assign(1200, {5000, 4000});
    const Bytes big = extSstRecord(pos);
    EXPECT_EQ(big.size(), 4u + 2 + 8 * 120);
    EXPECT_EQ(xls::rd16(&big[4]), 10);

    Bytes recalc = hex({0xC1, 0x01, 0x00, 0x00, 0x54, 0x8D, 0x01, 0x00});
    markForRecalculation(recalc.data(), static_cast<uint16_t>(recalc.size()));
    EXPECT_EQ(recalc, hex({0xC1, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    Bytes shortRecalc = hex({0xC1, 0x01, 0x00, 0x00});
    markForRecalculation(shortRecalc.data(), static_cast<uint16_t>(shortRecalc.size()));
    EXPECT_EQ(shortRecalc, hex({0xC1, 0x01, 0x00, 0x00}));

    EXPECT_EQ(dbcellRecord(0x140, {0x20, 0x1C, 0x0E}),
              hex({0xD7, 0x00, 0x0A, 0x00, 0x40, 0x01, 0x00, 0x00, 0x20, 0x00, 0x1C, 0x00, 0x0E, 0x00}));
    using Blocks = std::vector<std::pair<size_t, size_t>>;
    EXPECT_EQ(rowBlocks({0, 1, 31, 32, 40, 100}), (Blocks{{0, 3}, {3, 5}, {5, 6}}));
    EXPECT_EQ(rowBlocks({}), Blocks{});
}

// Where the cell table lies: from the first ROW or cell to the last table record and the
// CONTINUEs after it; an embedded chart's records are not the sheet's.
TEST(BiffSteps, LocatingTheCellTable) {
    auto sub = [](std::initializer_list<std::pair<uint16_t, int>> types) {
        std::vector<SubRecord> recs;
        for (const auto& [t, depth] : types) {
            Rec r;
            r.type = t;
            recs.push_back({r, depth});
        }
        return recs;
    };
    using P = std::pair<size_t, size_t>;
    EXPECT_EQ(locateCellTable(sub({{rt::BOF, 1},
                                   {rt::DIMENSIONS, 1},
                                   {rt::ROW, 1},
                                   {rt::NUMBER, 1},
                                   {rt::FORMULA, 1},
                                   {rt::STRING, 1},
                                   {rt::CONTINUE, 1},
                                   {rt::DBCELL, 1},
                                   {rt::WINDOW2, 1},
                                   {rt::EOF_, 1}})),
              (P{2, 7}));
    // A chart inside the sheet holds NUMBER records of its own.
    EXPECT_EQ(locateCellTable(sub({{rt::BOF, 1},
                                   {rt::ROW, 1},
                                   {rt::RK, 1},
                                   {rt::BOF, 2},
                                   {rt::NUMBER, 2},
                                   {rt::EOF_, 2},
                                   {rt::WINDOW2, 1},
                                   {rt::EOF_, 1}})),
              (P{1, 2}));
    // No cells: an empty range after DIMENSIONS, else before WINDOW2, else before the EOF.
    EXPECT_EQ(locateCellTable(sub({{rt::BOF, 1}, {rt::DIMENSIONS, 1}, {rt::WINDOW2, 1}, {rt::EOF_, 1}})), (P{2, 1}));
    EXPECT_EQ(locateCellTable(sub({{rt::BOF, 1}, {rt::COLINFO, 1}, {rt::WINDOW2, 1}, {rt::EOF_, 1}})), (P{2, 1}));
    EXPECT_EQ(locateCellTable(sub({{rt::BOF, 1}, {rt::COLINFO, 1}, {rt::EOF_, 1}})), (P{2, 1}));
}

TEST(BiffSteps, WalkingASubstream) {
    Bytes s = hostile::sheetSubstream({{rt::NUMBER, hostile::number(0, 0, 1)}}, 1, 1);
    const Bytes chart = whole(rt::BOF, hostile::bof(0x0020)); // a chart inside the sheet
    s.insert(s.end() - 4 - 18 - 4, chart.begin(), chart.end());
    const Bytes eof = whole(rt::EOF_, {});
    s.insert(s.end() - 4 - 18 - 4, eof.begin(), eof.end());
    std::vector<std::pair<uint16_t, int>> seen;
    const uint32_t end = walkSubstream(s, 0, static_cast<uint32_t>(s.size()), "x",
                                       [&](const Rec& r, int depth) { seen.emplace_back(r.type, depth); });
    EXPECT_EQ(end, s.size());
    const std::vector<std::pair<uint16_t, int>> want{{rt::BOF, 1},  {rt::DIMENSIONS, 1}, {rt::NUMBER, 1}, {rt::BOF, 2},
                                                     {rt::EOF_, 2}, {rt::WINDOW2, 1},    {rt::EOF_, 1}};
    EXPECT_EQ(seen, want);
    auto code = [&](uint32_t limit, const Bytes& bytes) {
        try {
            walkSubstream(bytes, 0, limit, "x", [](const Rec&, int) {});
        } catch (const WorkbookError& e) {
            return e.code();
        }
        return WorkbookError::Code::Io;
    };
    // Running into the next sheet, or past the end of the stream.
    EXPECT_EQ(code(static_cast<uint32_t>(s.size() - 1), s), WorkbookError::Code::Damaged);
    Bytes cut(s.begin(), s.end() - 4);
    EXPECT_EQ(code(static_cast<uint32_t>(s.size()), cut), WorkbookError::Code::Damaged);
}

// Each kind of cell record, fed to the sheet parser one at a time.
TEST(BiffSteps, ParsingCellRecords) {
    const Bytes stream =
        hostile::workbookStream({"S"}, {hostile::sheetSubstream({}, 0, 0)}, {0}, hostile::sstRecord({"x", "y"}));
    Book book(stream);
    SheetCells cells;
    SheetParser p(book, cells);
    auto feed = [&](uint16_t type, const Bytes& data) {
        const Bytes rec = whole(type, data);
        p.record(recOf(rec), rec);
    };
    feed(rt::NUMBER, hostile::number(2, 1, 4.5));
    Bytes rk = hex({2, 0, 0, 0, 15, 0});
    xls::put32(rk, (7u << 2) | 0x02 | 0x01); // 7 / 100
    feed(rt::RK, rk);
    Bytes labelSst = hex({0, 0, 3, 0, 15, 0});
    xls::put32(labelSst, 1);
    feed(rt::LABELSST, labelSst);
    feed(rt::BOOLERR, hex({1, 0, 0, 0, 15, 0, 0x07, 1})); // #DIV/0!
    feed(rt::BOOLERR, hex({1, 0, 1, 0, 15, 0, 1, 0}));    // TRUE
    // A formula with a text result, then its STRING record.
    Bytes formula = hex({3, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0});
    feed(rt::FORMULA, formula);
    feed(rt::STRING, hex({2, 0, 0, 'o', 'k'}));
    feed(rt::SHRFMLA, hex({3, 0, 3, 0, 0, 0})); // that formula hosts a shared formula
    p.finish();
    ASSERT_EQ(cells.rows.size(), 4u);
    EXPECT_EQ(book.valueOf(cells, 2, 1), CellValue::fromNumber(4.5));
    EXPECT_EQ(book.valueOf(cells, 2, 0), CellValue::fromNumber(0.07));
    EXPECT_EQ(book.valueOf(cells, 0, 3), CellValue::fromText("y"));
    EXPECT_EQ(book.valueOf(cells, 1, 0), CellValue::fromError(CellValue::ErrorCode::Div0));
    EXPECT_EQ(book.valueOf(cells, 1, 1), CellValue::fromBool(true));
    EXPECT_EQ(book.valueOf(cells, 3, 0), CellValue::fromText("ok"));
    EXPECT_EQ(cells.rows[2][0].col, 0); // sorted by column
    ASSERT_EQ(cells.locked.size(), 1u);
    EXPECT_EQ(cells.locked[0].r0, 3);

    // A STRING that follows no formula is not a cell's text; short records are damage.
    feed(rt::STRING, hex({2, 0, 0, 'n', 'o'}));
    EXPECT_THROW(feed(rt::NUMBER, hex({0, 0, 0, 0})), WorkbookError);
    Bytes missing = hex({0, 0, 5, 0, 15, 0});
    xls::put32(missing, 2); // the table holds two strings
    EXPECT_THROW(feed(rt::LABELSST, missing), WorkbookError);
}

TEST(BiffSteps, SettlingARowKeepsTheLaterOfTwoRecords) {
    auto cellAt = [](uint16_t col, double v) {
        StoredCell c;
        c.col = col;
        c.number = v;
        return c;
    };
    std::vector<StoredCell> row{cellAt(4, 1), cellAt(1, 2), cellAt(4, 3), cellAt(0, 4), cellAt(1, 5)};
    settleRow(row);
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[0].col, 0);
    EXPECT_EQ(row[1].number, 5);
    EXPECT_EQ(row[2].number, 3);
}

// A save rebuilds DIMENSIONS, ROW and RECALCID of the roll book as worked out by hand: the
// third class ("高一(3)班") holds rows 1..3 and columns A..F, rows 300 twips high.
TEST(BiffSteps, ASaveRebuildsTheRollBooksRecordsByteForByte) {
    LoadedFile f = load(fixturePath(QStringLiteral("lo_rollbook.xls")));
    const Bytes& before = f.stream().data;
    ASSERT_EQ(nthRecord(before, rt::DIMENSIONS, 2),
              hex({0x00, 0x02, 0x0E, 0x00, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 6, 0, 0, 0}));
    ASSERT_EQ(nthRecord(before, rt::RECALCID, 0), hex({0xC1, 0x01, 0x08, 0x00, 0xC1, 0x01, 0, 0, 0x54, 0x8D, 0x01, 0}));
    f.book->setCell(2, 9, 9, CellValue::fromNumber(7)); // J10: a new row
    f.book->setCell(2, 2, 7, CellValue::fromNumber(1)); // H3: row 3 widened to column H
    Bytes after;
    saveXls(f, &after);
    EXPECT_EQ(nthRecord(after, rt::DIMENSIONS, 2),
              hex({0x00, 0x02, 0x0E, 0x00, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 10, 0, 0, 0}));
    EXPECT_EQ(nthRecord(after, rt::RECALCID, 0), hex({0xC1, 0x01, 0x08, 0x00, 0xC1, 0x01, 0, 0, 0, 0, 0, 0}));
    std::vector<Bytes> rows;
    for (const auto& r : records(after))
        if (r.type == rt::ROW && r.pos > f.book->worksheets()[2].bofPos)
            rows.push_back(r.bytes);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2], hex({0x08, 0x02, 0x10, 0x00, 2, 0, 0, 0, 8, 0, 0x2C, 0x01, 0, 0, 0, 0, 0, 0x01, 0x0F, 0}));
    EXPECT_EQ(rows[3], hex({0x08, 0x02, 0x10, 0x00, 9, 0, 9, 0, 10, 0, 0x2C, 0x01, 0, 0, 0, 0, 0, 0x01, 0x0F, 0}));
    // The other sheets' records are copied as they were.
    EXPECT_EQ(nthRecord(after, rt::DIMENSIONS, 0), nthRecord(before, rt::DIMENSIONS, 0));
}

// A new string in a small table: the EXTSST written holds one bucket pointing at the first
// string, 12 bytes into the SST record (4 of header, 8 of counts).
TEST(BiffSteps, ASaveRebuildsTheStringIndexByteForByte) {
    Bytes tail = hostile::sstRecord({"a", "b"});
    tail.insert(tail.end(), {0xFF, 0x00, 0x02, 0x00, 0x08, 0x00}); // an EXTSST with no buckets
    const Bytes stream = hostile::workbookStream({"S"}, {hostile::sheetSubstream({}, 0, 0)}, {0}, tail);
    const Bytes file = hostile::xlsFile(stream);
    LoadedFile f = loadXls(file.data(), file.size());
    uint32_t sstPos = 0;
    for (const auto& r : records(stream))
        if (r.type == rt::SST)
            sstPos = r.pos;
    f.book->setCell(0, 0, 0, CellValue::fromText("新"));
    Bytes after;
    saveXls(f, &after);
    Bytes want = hex({0xFF, 0x00, 0x0A, 0x00, 0x08, 0x00});
    xls::put32(want, sstPos + 12);
    want.insert(want.end(), {0x0C, 0x00, 0x00, 0x00});
    EXPECT_EQ(nthRecord(after, rt::EXTSST, 0), want);
    // The table: one reference and one string more, the string appended as UTF-16.
    EXPECT_EQ(nthRecord(after, rt::SST, 0),
              hex({0xFC, 0x00, 0x15, 0x00, 3, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 'a', 1, 0, 0, 'b', 1, 0, 1, 0xB0, 0x65}));
}
