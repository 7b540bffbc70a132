// The .xlsx codec on small packages written here, each holding the variations real writers use
// (prefixed namespaces, cells and rows without references, empty elements, rich text).
#include "platform/workbook/OoxmlCodec.h"
#include "platform/workbook/OoxmlStrings.h"
#include "platform/workbook/OoxmlXml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace rostrel::workbook;
using rostrel::workbook::zip::Package;
namespace ooxml = rostrel::workbook::ooxml;

namespace {

using Parts = std::map<std::string, std::string>;

const char* kNs = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                  "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

FileBytes bytes(const std::string& s) {
    return FileBytes(s.begin(), s.end());
}
std::string text(const FileBytes& b) {
    return std::string(b.begin(), b.end());
}

FileBytes makePackage(const Parts& parts) {
    std::map<std::string, FileBytes> added;
    for (const auto& [name, content] : parts)
        added[name] = bytes(content);
    const FileBytes emptyZip = {0x50, 0x4b, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    return Package::read(emptyZip).rewrite({}, added);
}

// A workbook of the given sheets (name -> sheet XML), with shared strings and styles.
Parts workbook(const std::vector<std::pair<std::string, std::string>>& sheets, const std::string& sst,
               const std::string& styles, const std::string& workbookExtra = "") {
    Parts p;
    std::string types = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                        "<Override PartName=\"/xl/calcChain.xml\" "
                        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/>"
                        "</Types>";
    p["[Content_Types].xml"] = types;
    p["_rels/.rels"] = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                       "<Relationship Id=\"rId1\" Type=\"" +
                       kRel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    std::string wb = std::string("<workbook ") + kNs + ">" + workbookExtra + "<sheets>";
    std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    int n = 0;
    for (const auto& [name, xml] : sheets) {
        ++n;
        const std::string id = "rId" + std::to_string(n);
        wb += "<sheet name=\"" + name + "\" sheetId=\"" + std::to_string(n) + "\" r:id=\"" + id + "\"/>";
        rels += "<Relationship Id=\"" + id + "\" Type=\"" + kRel + "worksheet\" Target=\"worksheets/sheet" +
                std::to_string(n) + ".xml\"/>";
        p["xl/worksheets/sheet" + std::to_string(n) + ".xml"] = xml;
    }
    wb += "</sheets><calcPr calcId=\"191029\"/></workbook>";
    rels += "<Relationship Id=\"rS\" Type=\"" + kRel +
            "sharedStrings\" Target=\"sharedStrings.xml\"/>"
            "<Relationship Id=\"rT\" Type=\"" +
            kRel +
            "styles\" Target=\"/xl/styles.xml\"/>"
            "<Relationship Id=\"rC\" Type=\"" +
            kRel + "calcChain\" Target=\"calcChain.xml\"/></Relationships>";
    p["xl/workbook.xml"] = wb;
    p["xl/_rels/workbook.xml.rels"] = rels;
    p["xl/sharedStrings.xml"] = sst;
    p["xl/styles.xml"] = styles;
    p["xl/calcChain.xml"] = std::string("<calcChain ") + kNs + "><c r=\"C1\" i=\"1\"/></calcChain>";
    return p;
}

const std::string kStyles =
    std::string("<styleSheet ") + kNs +
    "><numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"yyyy&quot;年&quot;m&quot;月&quot;\"/>"
    "<numFmt numFmtId=\"165\" formatCode=\"0.00&quot;d&quot;\"/></numFmts>"
    "<cellXfs count=\"5\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/>"
    "<xf numFmtId=\"165\"/><xf numFmtId=\"2\"/></cellXfs></styleSheet>";
const std::string kSst =
    std::string("<sst ") + kNs +
    " count=\"3\" uniqueCount=\"3\"><si><t>甲</t></si>"
    "<si><r><t>Rich </t></r><r><rPr><b/></rPr><t xml:space=\"preserve\">text </t></r><rPh><t>ピ</t></rPh></si>"
    "<si><t>a_x000D_b</t></si></sst>";

std::string sheet(const std::string& data, const std::string& prefix = "") {
    const std::string p = prefix.empty() ? "" : prefix + ":";
    std::string ns = kNs;
    if (!prefix.empty())
        ns.replace(0, 5, "xmlns:" + prefix);
    return "<" + p + "worksheet " + ns + "><" + p + "dimension ref=\"A1:C3\"/>" + data + "</" + p + "worksheet>";
}

} // namespace

TEST(OoxmlCodec, ReadsEveryKindOfCell) {
    const std::string data =
        "<x:sheetData><x:row r=\"1\"><x:c r=\"A1\" t=\"s\"><x:v>0</x:v></x:c><x:c t=\"s\"><x:v>1</x:v></x:c>"
        "<x:c r=\"C1\" t=\"s\"><x:v>2</x:v></x:c></x:row>"
        "<x:row><x:c t=\"b\"><x:v>1</x:v></x:c><x:c t=\"e\"><x:v>#DIV/0!</x:v></x:c><x:c "
        "t=\"str\"><x:f>A1</x:f><x:v>甲</x:v></x:c>"
        "<x:c r=\"E2\" t=\"inlineStr\"><x:is><x:t>in</x:t><x:r><x:t>line</x:t></x:r></x:is></x:c></x:row>"
        "<x:row r=\"5\"><x:c r=\"A5\" s=\"1\"><x:v>46095</x:v></x:c><x:c r=\"B5\" s=\"2\"><x:v>46095.5</x:v></x:c>"
        "<x:c r=\"C5\" s=\"3\"><x:v>1.5</x:v></x:c><x:c r=\"D5\" t=\"d\"><x:v>2026-03-14T12:00:00</x:v></x:c>"
        "<x:c r=\"E5\"><x:f>SUM(A1)</x:f></x:c><x:c r=\"F5\" s=\"4\"/><x:c r=\"G5\"><x:v>-1.25E-3</x:v></x:c></x:row>"
        "</x:sheetData>";
    Parts parts = workbook({{"一班", sheet(data, "x")}, {"空", sheet("<sheetData/>")}}, kSst, kStyles);
    OoxmlCodec codec(makePackage(parts));
    ASSERT_EQ(codec.sheetCount(), 2);
    EXPECT_EQ(codec.sheetName(1), "一班");
    EXPECT_EQ(codec.cell(1, 1, 1), CellValue::fromText("甲"));
    EXPECT_EQ(codec.cell(1, 1, 2), CellValue::fromText("Rich text "));
    EXPECT_EQ(codec.cell(1, 1, 3), CellValue::fromText("a\rb"));
    EXPECT_EQ(codec.cell(1, 2, 1), CellValue::fromBool(true));
    EXPECT_EQ(codec.cell(1, 2, 2), CellValue::fromError(CellValue::ErrorCode::Div0));
    EXPECT_EQ(codec.cell(1, 2, 3), CellValue::fromText("甲"));
    EXPECT_EQ(codec.cell(1, 2, 5), CellValue::fromText("inline"));
    EXPECT_EQ(codec.cell(1, 5, 1), CellValue::fromDate(46095));
    EXPECT_EQ(codec.cell(1, 5, 2), CellValue::fromDate(46095.5));
    EXPECT_EQ(codec.cell(1, 5, 3), CellValue::fromNumber(1.5)); // "0.00"d"": the d is quoted
    EXPECT_EQ(codec.cell(1, 5, 4), CellValue::fromDate(46095.5));
    EXPECT_TRUE(codec.cell(1, 5, 5).isEmpty()); // a formula never calculated
    EXPECT_TRUE(codec.cell(1, 5, 6).isEmpty());
    EXPECT_EQ(codec.cell(1, 5, 7), CellValue::fromNumber(-0.00125));
    int count = 0;
    codec.forEachCell(2, [&](int, int, const CellValue&) { ++count; });
    EXPECT_EQ(count, 0);

    // The 1904 date system moves ISO dates; serial numbers stay as stored.
    parts =
        workbook({{"S", sheet("<sheetData><row r=\"1\"><c r=\"A1\" t=\"d\"><v>1904-01-02</v></c></row></sheetData>")}},
                 kSst, kStyles, "<workbookPr date1904=\"1\"/>");
    EXPECT_EQ(OoxmlCodec(makePackage(parts)).cell(1, 1, 1), CellValue::fromDate(1));
}

TEST(OoxmlCodec, RefusesDtdsStrictPackagesAndBrokenParts) {
    auto refusal = [](const Parts& parts) -> std::string {
        try {
            OoxmlCodec codec(makePackage(parts));
            for (int s = 1; s <= codec.sheetCount(); ++s)
                codec.loadSheet(s);
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.code(), WorkbookError::Code::Damaged);
            return e.what();
        }
        return {};
    };
    const std::string laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;&lol;\">]>";
    EXPECT_NE(
        refusal(
            workbook(
                {{"S",
                  laughs + sheet("<sheetData><row><c t=\"inlineStr\"><is><t>&lol2;</t></is></c></row></sheetData>")}},
                kSst, kStyles))
            .find("DTD"),
        std::string::npos);
    EXPECT_NE(refusal(workbook({{"S", sheet("<sheetData/>")}}, laughs + kSst, kStyles)), "");
    Parts strict = workbook({{"S", sheet("<sheetData/>")}}, kSst, kStyles);
    strict["xl/workbook.xml"] =
        "<workbook xmlns=\"http://purl.oclc.org/ooxml/spreadsheetml/main\"><sheets/></workbook>";
    EXPECT_NE(refusal(strict).find("Strict"), std::string::npos);
    EXPECT_NE(refusal(workbook({{"S", sheet("<sheetData><row><c><v>1</v></row></sheetData>")}}, kSst, kStyles)), "");
    EXPECT_NE(
        refusal(workbook({{"S", sheet("<sheetData><row><c t=\"s\"><v>3</v></c></row></sheetData>")}}, kSst, kStyles)),
        "");
    Parts noTypes = workbook({{"S", sheet("<sheetData/>")}}, kSst, kStyles);
    noTypes.erase("[Content_Types].xml");
    EXPECT_NE(refusal(noTypes), "");
}

TEST(OoxmlCodec, WritesOnlyTheEditedCellsInOrder) {
    const std::string data =
        "<sheetData><row r=\"1\" spans=\"1:3\"><c r=\"A1\" s=\"4\"><v>1</v></c><c r=\"C1\"><v>3</v></c></row>"
        "<row r=\"3\"/><row r=\"6\"><c r=\"B6\" t=\"s\"><v>0</v></c></row></sheetData>";
    const std::string original = sheet(data);
    const Parts parts = workbook({{"S", original}}, kSst, kStyles);
    OoxmlCodec codec(makePackage(parts));
    codec.setCell(1, 1, 2, CellValue::fromText("甲"));   // between two cells; an existing string
    codec.setCell(1, 1, 1, CellValue::fromNumber(2.5));  // over a cell: keeps its style
    codec.setCell(1, 3, 2, CellValue::fromText("新 "));  // into an empty <row/>
    codec.setCell(1, 4, 1, CellValue::fromBool(false));  // a new row between rows
    codec.setCell(1, 9, 30, CellValue::fromDate(46095)); // a new row at the end, a date style added
    codec.setCell(1, 6, 2, CellValue::empty());          // cleared
    const FileBytes out = codec.serialize();
    const Package p = Package::read(out);
    const std::string xml = text(p.member("xl/worksheets/sheet1.xml"));
    EXPECT_EQ(
        xml,
        sheet("<sheetData><row r=\"1\" spans=\"1:3\"><c r=\"A1\" s=\"4\"><v>2.5</v></c><c r=\"B1\" t=\"s\"><v>0</v></c>"
              "<c r=\"C1\"><v>3</v></c></row><row r=\"3\"><c r=\"B3\" t=\"s\"><v>3</v></c></row>"
              "<row r=\"4\"><c r=\"A4\" t=\"b\"><v>0</v></c></row><row r=\"6\"></row>"
              "<row r=\"9\"><c r=\"AD9\" s=\"1\"><v>46095</v></c></row></sheetData>")
            .replace(sheet("").find("A1:C3"), 5, "A1:AD9"));
    // The new text appended; an existing one reused.
    const std::string sst = text(p.member("xl/sharedStrings.xml"));
    EXPECT_NE(sst.find("uniqueCount=\"4\""), std::string::npos);
    EXPECT_NE(sst.find("<si><t xml:space=\"preserve\">新 </t></si></sst>"), std::string::npos);
    // 46095 went into a cell formatted with the existing short-date format (index 1).
    EXPECT_EQ(text(p.member("xl/styles.xml")), kStyles);
    EXPECT_EQ(text(p.member("xl/calcChain.xml")), parts.at("xl/calcChain.xml"));
    const OoxmlCodec back(out);
    EXPECT_EQ(back.cell(1, 9, 30), CellValue::fromDate(46095));
    EXPECT_EQ(back.cell(1, 3, 2), CellValue::fromText("新 "));
    EXPECT_TRUE(back.cell(1, 6, 2).isEmpty());
}

TEST(OoxmlCodec, FillsInReferencesAndKeepsPrefixesAndEmptyElements) {
    // Rows and cells without "r": anything inserted before them would move them.
    const std::string data = "<x:sheetData><x:row><x:c><x:v>1</x:v></x:c><x:c><x:v>2</x:v></x:c></x:row>"
                             "<x:row><x:c><x:v>3</x:v></x:c></x:row></x:sheetData>";
    OoxmlCodec codec(makePackage(workbook({{"S", sheet(data, "x")}, {"T", sheet("<sheetData/>")}}, kSst, kStyles)));
    codec.setCell(1, 1, 1, CellValue::fromNumber(9));
    codec.setCell(1, 2, 3, CellValue::fromText("x<&>\"y\x01"));
    codec.setCell(1, 2, 1, CellValue::fromNumber(5));
    codec.setCell(2, 2, 2, CellValue::fromNumber(7));
    const FileBytes out = codec.serialize();
    const Package p = Package::read(out);
    EXPECT_EQ(
        text(p.member("xl/worksheets/sheet1.xml")),
        sheet("<x:sheetData><x:row><x:c r=\"A1\"><x:v>9</x:v></x:c><x:c r=\"B1\"><x:v>2</x:v></x:c></x:row>"
              "<x:row><x:c r=\"A2\"><x:v>5</x:v></x:c><x:c r=\"C2\" t=\"s\"><x:v>3</x:v></x:c></x:row></x:sheetData>",
              "x"));
    EXPECT_EQ(text(p.member("xl/worksheets/sheet2.xml")),
              sheet("<sheetData><row r=\"2\"><c r=\"B2\"><v>7</v></c></row></sheetData>"));
    const OoxmlCodec back(out);
    EXPECT_EQ(back.cell(1, 1, 2), CellValue::fromNumber(2));
    EXPECT_EQ(back.cell(1, 2, 3), CellValue::fromText("x<&>\"y\x01"));
}

TEST(OoxmlCodec, OverwrittenFormulaDropsTheCalculationChain) {
    const std::string data =
        "<sheetData><row r=\"1\"><c r=\"A1\"><f t=\"shared\" ref=\"A1:A3\" si=\"0\">B1</f><v>1</v></c>"
        "<c r=\"C1\"><f>A1*2</f><v>2</v></c><c r=\"D1\"><f t=\"array\" ref=\"D1:E2\">B1:C2</f><v>0</v></c></row>"
        "<row r=\"2\"><c r=\"A2\"><f t=\"shared\" si=\"0\"/><v>1</v></c></row></sheetData>";
    const FileBytes input = makePackage(workbook({{"S", sheet(data)}}, kSst, kStyles));
    OoxmlCodec codec(input);
    for (auto [r, c] : {std::pair{1, 1}, {1, 4}, {2, 5}}) {
        try {
            codec.setCell(1, r, c, CellValue::fromNumber(1));
            ADD_FAILURE() << "no refusal at " << r << "," << c;
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.code(), WorkbookError::Code::Unsupported);
        }
    }
    EXPECT_FALSE(codec.hasEdits());
    // Unchanged: the same bytes.
    EXPECT_EQ(codec.serialize(), input);
    codec.setCell(1, 2, 1, CellValue::fromNumber(10)); // a dependant of the shared formula
    codec.setCell(1, 1, 3, CellValue::fromText("done"));
    const Package p = Package::read(codec.serialize());
    EXPECT_FALSE(p.has("xl/calcChain.xml"));
    EXPECT_EQ(text(p.member("xl/_rels/workbook.xml.rels")).find("calcChain"), std::string::npos);
    EXPECT_EQ(text(p.member("[Content_Types].xml")).find("calcChain"), std::string::npos);
    EXPECT_NE(text(p.member("xl/workbook.xml")).find("<calcPr calcId=\"191029\" fullCalcOnLoad=\"1\"/>"),
              std::string::npos);
}

namespace {

// Every tag with the text the parser placed it at, and every attribute and text as handed over.
class Recorder : public ooxml::XmlHandler {
public:
    explicit Recorder(const std::string& doc) : doc_(doc) {}
    void start(const ooxml::XName& n, const char** atts, uint64_t pos, uint64_t len) override {
        log += "<" + n.qualified() + (n.uri.empty() ? "" : "{" + std::string(n.uri) + "}");
        for (const char** a = atts; *a; a += 2)
            log += std::string(" ") + a[0] + "=" + a[1];
        log += "@" + doc_.substr(pos, len) + "\n";
    }
    void end(const ooxml::XName& n, uint64_t pos, uint64_t len) override {
        log += "</" + n.qualified() +
               (len == 0 ? "(empty at " + std::to_string(pos) + ")" : "@" + doc_.substr(pos, len)) + "\n";
    }
    void text(const char* s, int len) override { log += "'" + std::string(s, static_cast<size_t>(len)) + "'\n"; }
    std::string log;

private:
    const std::string& doc_;
};

// Fed in chunks, or read by the parser (`pull`) a chunk at most at a time.
std::string parsed(const std::string& doc, bool namespaces, size_t chunk, bool pull = false) {
    Recorder r(doc);
    ooxml::XmlParser p(r, "part", namespaces);
    if (pull) {
        size_t at = 0;
        p.parse([&](char* out, size_t size) {
            const size_t n = std::min({size, chunk, doc.size() - at});
            doc.copy(out, n, at);
            at += n;
            return n;
        });
        return r.log;
    }
    for (size_t at = 0; at < doc.size(); at += chunk)
        p.feed(doc.data() + at, std::min(chunk, doc.size() - at), false);
    p.feed(nullptr, 0, true);
    return r.log;
}

} // namespace

// The places of tags are what edits are spliced at: they must hold however the part arrives.
TEST(OoxmlXml, TagsArePlacedExactlyAndAttributesDecodedInAnyChunking) {
    const std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<x:w xmlns:x=\"urn:m\" xmlns:r=\"urn:r\">"
        "<x:c r=\"A1\"  t = 's' >1</x:c >\n<x:e r:id=\"a&amp;b&#10;c\tz\"/><x:t>甲&lt;<![CDATA[<&>]]></x:t></x:w>";
    const std::string asWritten = "<x:w xmlns:x=urn:m xmlns:r=urn:r@<x:w xmlns:x=\"urn:m\" xmlns:r=\"urn:r\">\n"
                                  "<x:c r=A1 t=s@<x:c r=\"A1\"  t = 's' >\n"
                                  "'1'\n"
                                  "</x:c@</x:c >\n"
                                  "'\n'\n"
                                  "<x:e r:id=a&b\nc z@<x:e r:id=\"a&amp;b&#10;c\tz\"/>\n"
                                  "</x:e(empty at 136)\n"
                                  "<x:t@<x:t>\n";
    for (const auto& [chunk, pull] : {std::pair{size_t{1}, false},
                                      {size_t{7}, false},
                                      {doc.size(), false},
                                      {size_t{1}, true},
                                      {size_t{7}, true},
                                      {doc.size(), true}}) {
        const std::string log = parsed(doc, false, chunk, pull);
        EXPECT_EQ(log.substr(0, asWritten.size()), asWritten) << "chunks of " << chunk;
        // Text may come in pieces; together it is the decoded text.
        std::string t;
        for (size_t at = log.find("<x:t@"); (at = log.find('\'', at)) != std::string::npos;) {
            const size_t close = log.find("'\n", at + 1);
            t += log.substr(at + 1, close - at - 1);
            at = close + 2;
        }
        EXPECT_EQ(t, "甲<<&>") << "chunks of " << chunk;
        EXPECT_NE(log.find("</x:w@</x:w>"), std::string::npos);
    }
    // With namespaces: names carry their URI, prefixed attributes come as "uri|local|prefix".
    const std::string ns = parsed(doc, true, 5);
    EXPECT_NE(ns.find("<x:c{urn:m} r=A1 t=s@"), std::string::npos);
    EXPECT_NE(ns.find("<x:e{urn:m} urn:r|id|r=a&b\nc z@"), std::string::npos);
    // Places count the part's own bytes: a part in another encoding is refused, not misplaced.
    try {
        parsed("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xe9</a>", false, 64);
        ADD_FAILURE() << "a Latin-1 part was read";
    } catch (const WorkbookError& e) {
        EXPECT_NE(std::string(e.what()).find("UTF-8"), std::string::npos) << e.what();
    }
    // A declaration the bytes honour as UTF-8 as well (ASCII text) is read, places and all.
    const std::string utf8 = parsed("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a><b>x</b></a>", false, 64);
    for (const char* declared : {"US-ASCII", "ISO-8859-1"})
        EXPECT_EQ(parsed(std::string("<?xml version=\"1.0\" encoding=\"") + declared + "\"?><a><b>x</b></a>", false, 4),
                  utf8)
            << declared;
}

TEST(OoxmlXml, CellReferencesAndCountsAsSheetsWriteThem) {
    int r = -1, c = -1;
    EXPECT_TRUE(ooxml::parseCellRef("A1", r, c));
    EXPECT_EQ(std::pair(r, c), std::pair(1, 1));
    EXPECT_TRUE(ooxml::parseCellRef("$xfd$1048576", r, c));
    EXPECT_EQ(std::pair(r, c), std::pair(1048576, 16384));
    EXPECT_TRUE(ooxml::parseCellRef("AB12", r, c));
    EXPECT_EQ(std::pair(r, c), std::pair(12, 28));
    for (const char* bad : {"", "A", "1", "A0", "AAAA1", "A12345678", "A1B", "$$A1", "A-1", "Ä1"}) {
        r = c = -1;
        EXPECT_FALSE(ooxml::parseCellRef(bad, r, c)) << bad;
        EXPECT_EQ(std::pair(r, c), std::pair(-1, -1)) << bad;
    }
    uint32_t u = 7;
    EXPECT_TRUE(ooxml::parseUnsigned("4294967295", u));
    EXPECT_EQ(u, 4294967295u);
    for (const char* bad : {"", "4294967296", "-1", "+1", "1 ", "0x1"})
        EXPECT_FALSE(ooxml::parseUnsigned(bad, u)) << bad;
    EXPECT_FALSE(ooxml::parseUnsigned(nullptr, u));
}

// Text escaped as _xHHHH_: characters beyond the 16-bit range come as two escaped surrogates.
TEST(OoxmlXml, EscapedCharactersDecodeToUtf8OfAnyLength) {
    EXPECT_EQ(ooxml::decodeEscapes("a_x0041_b_x00E9__x4E2D_"), "aAb\u00e9\u4e2d");
    EXPECT_EQ(ooxml::decodeEscapes("_xD83D__xDE00_!"), "\U0001F600!");
    EXPECT_EQ(ooxml::decodeEscapes("_xD83D_x_xDE00_"), "\uFFFDx\uFFFD"); // lone surrogates
    EXPECT_EQ(ooxml::decodeEscapes("_x12_ _xZZZZ_ _x0041"), "_x12_ _xZZZZ_ _x0041");
    const std::string text = "\x01_x0041_\U0001F600\t";
    EXPECT_EQ(ooxml::encodeEscapes(text), "_x0001__x005F_x0041_\U0001F600\t");
    EXPECT_EQ(ooxml::decodeEscapes(ooxml::encodeEscapes(text)), text);
}

// A save may ask for strings and give up (the quick save of a sheet falling back to editing the
// whole part asks again): only the strings of cells written are counted and kept.
TEST(OoxmlStrings, StringsOfAnAbandonedSaveAreNeitherKeptNorCounted) {
    const FileBytes xml = bytes(kSst);
    const ooxml::SharedStrings table = ooxml::SharedStrings::parse(xml, "sst");
    ooxml::StringAppender strings(table);
    EXPECT_EQ(strings.indexFor("甲"), 0u);
    const ooxml::StringAppender::Mark mark = strings.mark();
    EXPECT_EQ(strings.indexFor("new"), 3u);
    EXPECT_EQ(strings.indexFor("other"), 4u);
    strings.rollback(mark);
    EXPECT_EQ(strings.indexFor("other"), 3u);
    EXPECT_EQ(strings.indexFor("new"), 4u);
    const std::string out = text(strings.apply(xml));
    EXPECT_NE(out.find("count=\"6\" uniqueCount=\"5\""), std::string::npos) << out;
    EXPECT_NE(out.find("<si><t>other</t></si><si><t>new</t></si></sst>"), std::string::npos) << out;
}
