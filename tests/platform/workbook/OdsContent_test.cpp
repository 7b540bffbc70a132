// The content.xml of an .ods spreadsheet on plain bytes: cells as the format defines them, and
// edits spliced into the original text with runs split around the written cells.
#include "platform/workbook/OdsContent.h"
#include "platform/workbook/OdsEdit.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <string>

using namespace rostrel::workbook;
using namespace rostrel::workbook::ods;

namespace {

const std::string kHead =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    R"(<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
    R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" )"
    R"(xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0" )"
    R"(xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"><office:body><office:spreadsheet>)";
const std::string kTail = "</office:spreadsheet></office:body></office:document-content>";

std::string doc(const std::string& tables) {
    return kHead + tables + kTail;
}

Content parse(const std::string& xml) {
    return parseContent(reinterpret_cast<const uint8_t*>(xml.data()), xml.size());
}

using Cells = std::map<std::pair<int, int>, CellValue>;

Cells cellsOf(const Table& t) {
    Cells out;
    for (const RowRun& r : t.rows)
        for (int row = r.row; row < r.row + r.count; ++row)
            for (const CellRun& c : r.cells)
                for (int col = c.col; c.value.kind != CellValue::Kind::Empty && col < c.col + c.count; ++col)
                    out[{row, col}] = c.value;
    return out;
}

std::string edited(const std::string& xml, const Content& d, const std::map<int, SheetEdits>& edits) {
    const FileBytes b = applyEdits(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), d, edits);
    return std::string(b.begin(), b.end());
}

// A sheet as LibreOffice writes one: a title over a merge, a header row in table-header-rows,
// repeated cells with a value, a row group, and the run of blank rows to the last row.
const std::string kSheet = doc(
    R"(<table:table table:name="高一(1)班" table:style-name="ta1">)"
    R"(<table:table-column table:style-name="co1" table:number-columns-repeated="16384"/>)"
    R"(<table:table-header-rows><table:table-row table:style-name="ro1">)"
    R"(<table:table-cell table:style-name="ce1" office:value-type="string" calcext:value-type="string" table:number-columns-spanned="3" table:number-rows-spanned="1"><text:p>点名<text:span>册</text:span></text:p></table:table-cell>)"
    R"(<table:covered-table-cell table:number-columns-repeated="2" table:style-name="ce1"/>)"
    R"(<table:table-cell table:number-columns-repeated="16381"/></table:table-row></table:table-header-rows>)"
    R"(<table:table-row table:style-name="ro1">)"
    R"(<table:table-cell office:value-type="float" office:value="1" calcext:value-type="float"><text:p>1</text:p></table:table-cell>)"
    R"(<table:table-cell office:value-type="percentage" office:value="0.25"><text:p>25%</text:p></table:table-cell>)"
    R"(<table:table-cell office:value-type="currency" office:currency="CNY" office:value="-3.5"><text:p>¥-3.50</text:p></table:table-cell>)"
    R"(<table:table-cell office:value-type="date" office:date-value="2026-03-14"><text:p>03月14</text:p></table:table-cell>)"
    R"(<table:table-cell office:value-type="date" office:date-value="2026-03-14T12:00:00"><text:p>x</text:p></table:table-cell>)"
    R"(<table:table-cell office:value-type="time" office:time-value="PT36H00M00S"><text:p>36:00</text:p></table:table-cell>)"
    R"(<table:table-cell office:value-type="boolean" office:boolean-value="true"><text:p>TRUE</text:p></table:table-cell>)"
    R"(<table:table-cell table:formula="of:=1/0" office:value-type="string" office:string-value="" calcext:value-type="error"><text:p>#DIV/0!</text:p></table:table-cell>)"
    R"(<table:table-cell table:formula="of:=[.A2]*2" office:value-type="float" office:value="2"><text:p>2</text:p></table:table-cell>)"
    R"(</table:table-row>)"
    R"(<table:table-row-group><table:table-row table:number-rows-repeated="3">)"
    R"(<table:table-cell table:style-name="ce2" table:number-columns-repeated="2" office:value-type="float" office:value="7"><text:p>7</text:p></table:table-cell>)"
    R"(<table:table-cell office:value-type="string"><text:p>a<text:s text:c="3"/>b<text:tab/>c<text:line-break/>d</text:p><text:p> two  </text:p>)"
    R"(<office:annotation><text:p>a note</text:p></office:annotation></table:table-cell>)"
    R"(<table:table-cell office:value-type="string" office:string-value="stored"><text:p>shown</text:p></table:table-cell>)"
    R"(</table:table-row></table:table-row-group>)"
    R"(<table:table-row table:style-name="ro1" table:number-rows-repeated="1048570"><table:table-cell table:number-columns-repeated="16384"/></table:table-row>)"
    R"(<table:table-row table:style-name="ro1"><table:table-cell table:number-columns-repeated="16384"/></table:table-row>)"
    R"(</table:table><table:table table:name="Sheet2"><table:table-column/><table:table-row><table:table-cell/></table:table-row></table:table>)"
    R"(<table:table table:name="Columns only"><table:table-column table:number-columns-repeated="2"/></table:table>)");

} // namespace

TEST(OdsContent, ReadsValueTypesTextAndRepeatedRunsAsTheyAre) {
    const Content d = parse(kSheet);
    ASSERT_EQ(d.tables.size(), 3u);
    EXPECT_EQ(d.tables[0].name, "高一(1)班");
    EXPECT_EQ(d.tables[1].name, "Sheet2");
    const Table& t = d.tables[0];
    // The million blank rows stay two runs.
    ASSERT_EQ(t.rows.size(), 5u);
    EXPECT_EQ(t.rows[3].row, 6);
    EXPECT_EQ(t.rows[4].row, kMaxRows);

    const Cells c = cellsOf(t);
    EXPECT_EQ(c.at({1, 1}), CellValue::fromText("点名册"));
    EXPECT_EQ(c.count({1, 2}), 0u) << "covered cells without a value are empty";
    EXPECT_EQ(c.at({2, 1}), CellValue::fromNumber(1));
    EXPECT_EQ(c.at({2, 2}), CellValue::fromNumber(0.25));
    EXPECT_EQ(c.at({2, 3}), CellValue::fromNumber(-3.5));
    EXPECT_EQ(c.at({2, 4}), CellValue::fromDate(46095));
    EXPECT_EQ(c.at({2, 5}), CellValue::fromDate(46095.5));
    EXPECT_EQ(c.at({2, 6}), CellValue::fromDate(1.5));
    EXPECT_EQ(c.at({2, 7}), CellValue::fromBool(true));
    EXPECT_EQ(c.at({2, 8}), CellValue::fromError(CellValue::ErrorCode::Div0));
    EXPECT_EQ(c.at({2, 9}), CellValue::fromNumber(2)) << "a formula reads as its cached result";
    for (int row = 3; row <= 5; ++row) {
        EXPECT_EQ(c.at({row, 1}), CellValue::fromNumber(7));
        EXPECT_EQ(c.at({row, 2}), CellValue::fromNumber(7));
        EXPECT_EQ(c.at({row, 3}), CellValue::fromText("a   b\tc\nd\n two  ")) << "the note is not the cell's text";
        EXPECT_EQ(c.at({row, 4}), CellValue::fromText("stored"));
    }
    EXPECT_EQ(c.size(), 1u + 9 + 3 * 4);
    EXPECT_EQ(d.tablePrefix, "table");
}

TEST(OdsContent, DatesAndDurationsConvertBothWays) {
    double v = 0;
    ASSERT_TRUE(parseDate("1899-12-30", v));
    EXPECT_EQ(v, 0);
    ASSERT_TRUE(parseDate("1900-03-01T06:00:00.5", v));
    EXPECT_NEAR(v, 61.25 + 0.5 / 86400, 1e-12);
    EXPECT_FALSE(parseDate("2026-13-01", v));
    EXPECT_FALSE(parseDate("14.03.2026", v));
    ASSERT_TRUE(parseDuration("-PT01H30M00S", v));
    EXPECT_NEAR(v, -1.5 / 24, 1e-12);
    ASSERT_TRUE(parseDuration("P1DT12H", v));
    EXPECT_EQ(v, 1.5);
    EXPECT_FALSE(parseDuration("PT1X", v));
    EXPECT_EQ(formatDate(46095), "2026-03-14");
    EXPECT_EQ(formatDate(46095.75), "2026-03-14T18:00:00");
    EXPECT_EQ(formatDate(-1), "1899-12-29");
    EXPECT_EQ(formatDate(1e9), "");
    EXPECT_EQ(formatNumber(100000.25), "100000.25");
    EXPECT_EQ(formatNumber(0.1 + 0.2), "0.30000000000000004");
}

TEST(OdsContent, DocumentTypesEntitiesAndBrokenXmlAreRefused) {
    const std::string dtd = R"(<?xml version="1.0"?><!DOCTYPE a [<!ENTITY x "xxxxxxxx">]><a>&x;</a>)";
    const std::string bomb =
        R"(<?xml version="1.0"?><!DOCTYPE a [<!ENTITY a "aaaa"><!ENTITY b "&a;&a;&a;&a;">]><office:document-content/>)";
    // A few bytes that stand for 17 billion numbers.
    const std::string repeats =
        doc(R"(<table:table table:name="x"><table:table-row table:number-rows-repeated="1048576">)"
            R"(<table:table-cell table:number-columns-repeated="16384" office:value-type="float" office:value="1"/>)"
            R"(</table:table-row></table:table>)");
    for (const std::string& bad :
         {dtd, bomb, repeats, kSheet.substr(0, kSheet.size() - 20), std::string(), std::string("<a/>")}) {
        try {
            parse(bad);
            ADD_FAILURE() << "accepted: " << bad.substr(0, 60);
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.code(), WorkbookError::Code::Damaged);
        }
    }
    // Tags are placed by the bytes of the part: one in another encoding is refused, not misplaced.
    std::string latin1 = kSheet;
    latin1.replace(latin1.find("UTF-8"), 5, "ISO-8859-1");
    latin1.replace(latin1.find("<text:p>1</text:p>"), 18, "<text:p>\xe9</text:p>");
    try {
        parse(latin1);
        ADD_FAILURE() << "a Latin-1 content.xml was read";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.code(), WorkbookError::Code::Damaged);
        EXPECT_NE(std::string(e.what()).find("UTF-8"), std::string::npos) << e.what();
    }
    const std::string manifest =
        R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"><manifest:file-entry manifest:full-path="content.xml">)"
        R"(<manifest:encryption-data manifest:checksum-type="SHA1/1K"/></manifest:file-entry></manifest:manifest>)";
    EXPECT_TRUE(manifestEncrypted(reinterpret_cast<const uint8_t*>(manifest.data()), manifest.size()));
}

// Writes into repeated runs, beyond the last cell of a row, past the used rows, and over a
// formula, an annotated cell and a merged title; re-reads and checks that only the edits changed.
TEST(OdsContent, EditsSplitRunsAndChangeOnlyTheWrittenCells) {
    const Content before = parse(kSheet);
    std::map<int, SheetEdits> edits;
    SheetEdits& e = edits[0];
    e[{4, 2}] = CellValue::fromText("  新 <&>\"值\"  x\ty\nz"); // middle of a 3-row, 2-cell run
    e[{4, 5}] = CellValue::fromNumber(4.5);                     // past the row's last cell
    e[{4, 40}] = CellValue::fromBool(false);
    e[{2, 9}] = CellValue::fromNumber(-7.25);                   // a formula cell
    e[{3, 3}] = CellValue::fromDate(46096.5);                   // a cell with a note
    e[{1, 1}] = CellValue::fromText("标题");                    // a merged title
    e[{1, 2}] = CellValue::fromError(CellValue::ErrorCode::NA); // a covered cell
    e[{2, 1}] = CellValue::empty();                             // cleared
    e[{100, 3}] = CellValue::fromNumber(100000.25);             // inside the blank-row run
    e[{kMaxRows, kMaxColumns}] = CellValue::fromText("末");
    edits[1][{3, 2}] = CellValue::fromNumber(1);  // past the last row of a short sheet
    edits[1][{9, 9}] = CellValue::empty();        // clearing nothing adds nothing
    edits[2][{2, 1}] = CellValue::fromText("r2"); // a table without rows
    const std::string out = edited(kSheet, before, edits);
    const Content after = parse(out);

    Cells want = cellsOf(before.tables[0]);
    for (const auto& [rc, v] : e) {
        const CellValue w = writableValue(v);
        if (w.isEmpty())
            want.erase(rc);
        else
            want[rc] = w;
    }
    EXPECT_EQ(cellsOf(after.tables[0]), want);
    EXPECT_EQ(cellsOf(after.tables[1]), (Cells{{{3, 2}, CellValue::fromNumber(1)}}));
    EXPECT_EQ(cellsOf(after.tables[2]), (Cells{{{2, 1}, CellValue::fromText("r2")}}));
    EXPECT_NE(
        out.find(
            R"(<table:table-column table:number-columns-repeated="2"/><table:table-row><table:table-cell/></table:table-row>)"),
        std::string::npos)
        << "rows follow the columns";
    // Runs are split, never expanded.
    EXPECT_LE(after.tables[0].rows.size(), before.tables[0].rows.size() + 6);
    // Styles, spans and the note stay; the formula goes; the text is there for other programs.
    EXPECT_NE(
        out.find(
            R"(<table:table-cell table:style-name="ce1" table:number-columns-spanned="3" table:number-rows-spanned="1" office:value-type="string")"),
        std::string::npos);
    EXPECT_NE(
        out.find(
            R"(<table:table-cell table:style-name="ce2" office:value-type="string" calcext:value-type="string"><text:p><text:s text:c="2"/>新 &lt;&amp;&gt;"值" <text:s/>x<text:tab/>y</text:p><text:p>z</text:p>)"),
        std::string::npos)
        << out.substr(out.find("新") - 150, 300);
    EXPECT_NE(
        out.find(R"(office:value-type="float" office:value="-7.25" calcext:value-type="float"><text:p>-7.25</text:p>)"),
        std::string::npos);
    EXPECT_EQ(out.find("of:=[.A2]*2"), std::string::npos);
    EXPECT_NE(out.find("<office:annotation><text:p>a note</text:p></office:annotation>"), std::string::npos);
    EXPECT_NE(out.find(R"(office:date-value="2026-03-15T12:00:00")"), std::string::npos);
    // Everything before the first written row is byte for byte the original.
    const size_t firstRow = kSheet.find("<table:table-header-rows>") + std::string("<table:table-header-rows>").size();
    EXPECT_EQ(out.substr(0, firstRow), kSheet.substr(0, firstRow));
    EXPECT_EQ(out.substr(out.size() - kTail.size()), kTail);
}

TEST(OdsContent, TextsAreMadeWritableAndImpossibleNumbersRefused) {
    EXPECT_EQ(writableValue(CellValue::fromText("a\x01\rb\xff"
                                                "c"))
                  .text,
              "ab\xEF\xBF\xBD"
              "c");
    EXPECT_THROW(writableValue(CellValue::fromNumber(std::numeric_limits<double>::infinity())), WorkbookError);
    EXPECT_THROW(writableValue(CellValue::fromDate(1e12)), WorkbookError);
}

// Other writers may bind other prefixes (or bind them on inner elements): cells are found by
// namespace, and written cells use the document's own prefixes.
TEST(OdsContent, PrefixesAreTheDocumentsOwn) {
    std::string renamed = kSheet;
    for (size_t at = 0; (at = renamed.find("table:", at)) != std::string::npos; at += 3)
        renamed.replace(at, 6, "tb:");
    for (size_t at = 0; (at = renamed.find("xmlns:table=", at)) != std::string::npos; at += 9)
        renamed.replace(at, 12, "xmlns:tb=");
    renamed.replace(renamed.find("xmlns:tb:1.0"), 12, "xmlns:table:1.0"); // the namespace itself
    // The text namespace bound on the body only, and a "table" prefix that means something else.
    const std::string textNs = R"( xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0")";
    renamed.erase(renamed.find(textNs), textNs.size());
    renamed.replace(renamed.find("<office:body>"), 13,
                    "<office:body" + textNs + R"( xmlns:table="urn:example:other">)");
    const Content before = parse(renamed);
    ASSERT_EQ(before.tables.size(), 3u);
    EXPECT_EQ(before.tablePrefix, "tb");
    EXPECT_EQ(cellsOf(before.tables[0]), cellsOf(parse(kSheet).tables[0]));

    std::map<int, SheetEdits> edits;
    edits[0][{4, 2}] = CellValue::fromText("新");
    edits[0][{7, 3}] = CellValue::fromNumber(2);
    const std::string out = edited(renamed, before, edits);
    const Content after = parse(out);
    Cells want = cellsOf(before.tables[0]);
    want[{4, 2}] = CellValue::fromText("新");
    want[{7, 3}] = CellValue::fromNumber(2);
    EXPECT_EQ(cellsOf(after.tables[0]), want);
    EXPECT_EQ(out.find("<table:"), std::string::npos);
}
