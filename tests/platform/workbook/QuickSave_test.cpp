// Saving a large sheet by recompressing only the deflate blocks around the edits: the edited
// member decodes to exactly the edited content however the original was compressed (stored
// blocks, flush points, one long stream), save after save; and the codecs, which keep their
// parsed state across such saves instead of reading the file again, stay equal to a fresh read.
#include "OdsTestUtil.h"
#include "support/Fixtures.h"

#include "platform/workbook/DeflateEdit.h"
#include "platform/workbook/OoxmlCodec.h"
#include "platform/workbook/ZipPackage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <random>

using namespace rostrel::workbook;
using zip::Package;

namespace {

FileBytes bytesOf(const std::string& s) {
    return FileBytes(s.begin(), s.end());
}

// `content` deflated at `level`, flushed with `flush` every `every` bytes.
FileBytes deflateWith(const FileBytes& content, int level, int flush, size_t every) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    FileBytes out(deflateBound(&z, static_cast<uLong>(content.size())) + content.size() / 100 + 1024);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    for (size_t at = 0; at < content.size(); at += every) {
        const size_t n = std::min(every, content.size() - at);
        z.next_in = const_cast<Bytef*>(content.data() + at);
        z.avail_in = static_cast<uInt>(n);
        deflate(&z, at + n == content.size() ? Z_FINISH : flush);
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

FileBytes inflateAll(const FileBytes& data, size_t size) {
    FileBytes out(size + 1);
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    out.resize(rc == Z_STREAM_END ? z.total_out : 0);
    inflateEnd(&z);
    return out;
}

// A package of one member "m" holding `content`, compressed as given.
Package packageOf(const FileBytes& content, const FileBytes& compressed) {
    const FileBytes emptyZip = {0x50, 0x4b, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Package first = Package::read(Package::read(emptyZip).rewrite({}, {{"m", content}}));
    const auto crc = static_cast<uint32_t>(crc32(0, content.data(), static_cast<uInt>(content.size())));
    return Package::read(first.rewrite({}, {}, {}, {{"m", {&compressed, content.size(), crc}}}));
}

// Rows of XML-like text, with a stretch of noise that deflate keeps in stored blocks.
FileBytes sampleContent(std::mt19937& rng) {
    std::string s;
    for (int r = 1; s.size() < 900000; ++r) {
        s += "<row r=\"" + std::to_string(r) + "\">";
        for (int c = 0; c < 8; ++c)
            s += "<c><v>" + std::to_string(rng() % 1000) + "</v></c>";
        s += "</row>";
        if (r == 3000)
            for (int i = 0; i < 70000; ++i)
                s.push_back(static_cast<char>(rng()));
    }
    return bytesOf(s);
}

} // namespace

TEST(DeflateEdit, EditedMembersDecodeToTheEditedContentSaveAfterSave) {
    std::mt19937 rng(7);
    const FileBytes original = sampleContent(rng);
    struct Way {
        const char* name;
        int level, flush;
        size_t every;
    };
    for (const Way& way : {Way{"one stream", 6, Z_NO_FLUSH, 1 << 30}, Way{"sync flushes", 6, Z_SYNC_FLUSH, 100000},
                           Way{"full flushes, fast", 1, Z_FULL_FLUSH, 77777}, Way{"stored", 0, Z_NO_FLUSH, 1 << 30}}) {
        SCOPED_TRACE(way.name);
        FileBytes content = original;
        FileBytes data = deflateWith(content, way.level, way.flush, way.every);
        zip::DeflateIndex index;
        packageOf(content, data)
            .streamMember(
                "m", [](const char*, size_t) {}, &index, 100000);
        ASSERT_GT(index.marks.size(), 2u);
        for (int generation = 0; generation < 4; ++generation) {
            // Edits at the very start, in the middle, at the very end, and a few anywhere.
            std::vector<zip::ContentEdit> edits;
            std::vector<uint64_t> at = {0, content.size() / 2, content.size()};
            for (int i = 0; i < 3; ++i)
                at.push_back(rng() % content.size());
            std::sort(at.begin(), at.end());
            for (uint64_t p : at) {
                if (!edits.empty() && edits.back().pos + edits.back().len > p)
                    continue;
                const uint64_t len = std::min<uint64_t>(rng() % 40, content.size() - p);
                edits.push_back({p, len, std::string(rng() % 60, static_cast<char>('a' + generation))});
            }
            FileBytes expected;
            uint64_t cursor = 0;
            for (const zip::ContentEdit& e : edits) {
                expected.insert(expected.end(), content.begin() + static_cast<std::ptrdiff_t>(cursor),
                                content.begin() + static_cast<std::ptrdiff_t>(e.pos));
                expected.insert(expected.end(), e.text.begin(), e.text.end());
                cursor = e.pos + e.len;
            }
            expected.insert(expected.end(), content.begin() + static_cast<std::ptrdiff_t>(cursor), content.end());

            const auto regions = zip::planRegions(index, edits);
            zip::EditedMember m = zip::editDeflated(
                data.data(), data.size(), index, regions, edits,
                [&](uint64_t from, uint64_t to) {
                    return FileBytes(content.begin() + static_cast<std::ptrdiff_t>(from),
                                     content.begin() + static_cast<std::ptrdiff_t>(to));
                },
                true);
            ASSERT_EQ(inflateAll(m.data, expected.size()), expected) << "generation " << generation;
            EXPECT_EQ(m.index.size, expected.size());
            EXPECT_EQ(m.index.crc, crc32(0, expected.data(), static_cast<uInt>(expected.size())));
            // Every mark is a place decoding can start from.
            for (size_t i = 0; i < m.index.marks.size(); i += 3) {
                const uint64_t from = m.index.marks[i].out, to = std::min<uint64_t>(from + 5000, expected.size());
                ASSERT_EQ(zip::inflateRange(m.data.data(), m.data.size(), m.index, from, to),
                          FileBytes(expected.begin() + static_cast<std::ptrdiff_t>(from),
                                    expected.begin() + static_cast<std::ptrdiff_t>(to)))
                    << "mark " << i;
            }
            content = std::move(expected);
            data = std::move(m.data);
            index = std::move(m.index);
        }
    }
}

TEST(DeflateEdit, OnlyTheBlocksNearAnEditAreWrittenAgain) {
    std::mt19937 rng(3);
    const FileBytes content = sampleContent(rng);
    const FileBytes data = deflateWith(content, 6, Z_NO_FLUSH, 1 << 30);
    zip::DeflateIndex index;
    packageOf(content, data)
        .streamMember(
            "m", [](const char*, size_t) {}, &index);
    const std::vector<zip::ContentEdit> edits = {{content.size() - 1000, 5, "edit"}};
    const auto regions = zip::planRegions(index, edits);
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_LT(regions[0].end - regions[0].begin, content.size() / 4);
    const zip::EditedMember m = zip::editDeflated(
        data.data(), data.size(), index, regions, edits,
        [&](uint64_t from, uint64_t to) {
            return FileBytes(content.begin() + static_cast<std::ptrdiff_t>(from),
                             content.begin() + static_cast<std::ptrdiff_t>(to));
        },
        false);
    size_t same = 0;
    while (same < m.data.size() && same < data.size() && m.data[same] == data[same])
        ++same;
    EXPECT_GT(same, data.size() * 3 / 4) << "the blocks before the edit are the original's";
    // An edit that its region does not cover is refused, not written.
    EXPECT_THROW(zip::editDeflated(
                     data.data(), data.size(), index, {regions[0]}, {{10, 1, "x"}},
                     [&](uint64_t from, uint64_t to) {
                         return FileBytes(content.begin() + static_cast<std::ptrdiff_t>(from),
                                          content.begin() + static_cast<std::ptrdiff_t>(to));
                     },
                     false),
                 WorkbookError);
}

namespace {

std::map<std::pair<int, int>, CellValue> cellsOf(const Codec& codec, int sheet) {
    std::map<std::pair<int, int>, CellValue> out;
    codec.forEachCell(sheet, [&](int r, int c, const CellValue& v) { out[{r, c}] = v; });
    return out;
}

} // namespace

TEST(QuickSave, XlsxSheetsStayAsAFreshReadSaveAfterSave) {
    for (const std::string prefix : {"", "x:"}) {
        SCOPED_TRACE("prefix \"" + prefix + "\"");
        const std::string ns = prefix.empty() ? "xmlns" : "xmlns:x";
        std::string sheet = "<" + prefix + "worksheet " + ns +
                            "=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><" + prefix +
                            "dimension ref=\"A1:F4000\"/><" + prefix + "sheetData>";
        std::mt19937 rng(11);
        for (int r = 1; r <= 4000; ++r) {
            if (r % 100 == 0)
                continue; // rows that a save inserts
            sheet += "<" + prefix + "row r=\"" + std::to_string(r) + "\">";
            for (int c = 1; c <= 6; ++c) {
                const std::string ref = std::string(1, static_cast<char>('A' + c - 1)) + std::to_string(r);
                if (c == 2)
                    sheet += "<" + prefix + "c r=\"" + ref + "\" t=\"s\"><" + prefix + "v>" + std::to_string(r % 3) +
                             "</" + prefix + "v></" + prefix + "c>";
                else if (c != 5)
                    sheet += "<" + prefix + "c r=\"" + ref + "\"><" + prefix + "v>" + std::to_string(rng() % 100) +
                             "</" + prefix + "v></" + prefix + "c>";
            }
            sheet += "</" + prefix + "row>";
        }
        sheet += "</" + prefix + "sheetData></" + prefix + "worksheet>";
        const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
        const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
        std::map<std::string, FileBytes> parts = {
            {"[Content_Types].xml", bytesOf("<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                                            "content-types\"/>")},
            {"_rels/.rels", bytesOf("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                                    "relationships\"><Relationship Id=\"r1\" Type=\"" +
                                    rel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>")},
            {"xl/workbook.xml",
             bytesOf("<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel.substr(0, rel.size() - 1) +
                     "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"r1\"/></sheets></workbook>")},
            {"xl/_rels/workbook.xml.rels",
             bytesOf("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                     "<Relationship Id=\"r1\" Type=\"" +
                     rel + "worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"r2\" Type=\"" + rel +
                     "sharedStrings\" Target=\"sharedStrings.xml\"/><Relationship Id=\"r3\" Type=\"" + rel +
                     "styles\" Target=\"styles.xml\"/></Relationships>")},
            {"xl/sharedStrings.xml", bytesOf("<sst xmlns=\"" + main +
                                             "\" count=\"3\" uniqueCount=\"3\"><si><t>甲</t></si><si><t>乙</t></si>"
                                             "<si><t>丙</t></si></sst>")},
            {"xl/styles.xml", bytesOf("<styleSheet xmlns=\"" + main +
                                      "\"><cellXfs count=\"1\"><xf numFmtId=\"0\"/></cellXfs></styleSheet>")},
            {"xl/worksheets/sheet1.xml", bytesOf(sheet)}};
        const FileBytes emptyZip = {0x50, 0x4b, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        FileBytes file = Package::read(emptyZip).rewrite({}, parts);
        OoxmlCodec codec(file);
        auto model = cellsOf(codec, 1);
        std::vector<std::pair<std::pair<int, int>, CellValue>> column; // a whole new column in one save
        for (int r = 1; r <= 4100; r += 3)
            column.push_back({{r, 7}, CellValue::fromNumber(r)});
        const std::vector<std::vector<std::pair<std::pair<int, int>, CellValue>>> saves = {
            {{{3999, 5}, CellValue::fromNumber(7.5)}},                               // a new cell in a row near the end
            {{{1, 1}, CellValue::fromText("新名字")}, {{2, 2}, CellValue::empty()}}, // a new string; a cleared cell
            {{{500, 3}, CellValue::fromNumber(1)}, {{501, 1}, CellValue::fromBool(true)}}, // an inserted row
            {{{4100, 8}, CellValue::fromDate(45000)}}, // a row past the end, the dimension grows
            {{{3999, 5}, CellValue::fromNumber(8)}, {{2000, 3}, CellValue::fromText("甲")}},
            column,
        };
        for (size_t i = 0; i < saves.size(); ++i) {
            SCOPED_TRACE("save " + std::to_string(i));
            for (const auto& [at, v] : saves[i]) {
                codec.setCell(1, at.first, at.second, v);
                if (v.isEmpty())
                    model.erase(at);
                else
                    model[at] = v;
            }
            const FileBytes saved = codec.serialize();
            codec.markSaved();
            const OoxmlCodec fresh(saved);
            const auto now = cellsOf(fresh, 1);
            ASSERT_EQ(now.size(), model.size());
            for (const auto& [at, v] : model) {
                const CellValue& got = now.at(at);
                EXPECT_TRUE(got == v || (got.kind == CellValue::Kind::Date && v.kind == CellValue::Kind::Number &&
                                         got.number == v.number))
                    << at.first << "," << at.second;
            }
            EXPECT_EQ(cellsOf(codec, 1), now) << "the codec after the save differs from a fresh read";
            // The sheet's compressed data before the first edited row is the previous file's.
            const Package before = Package::read(file), after = Package::read(saved);
            const auto was = before.raw("xl/worksheets/sheet1.xml");
            const auto is = after.raw("xl/worksheets/sheet1.xml");
            if (i == 0) {
                size_t same = 0;
                while (same < was.size && same < is.size && was.data[same] == is.data[same])
                    ++same;
                EXPECT_GT(same, was.size / 2);
            }
            file = saved;
        }
    }
}

TEST(QuickSave, OdsTablesStayAsAFreshReadSaveAfterSave) {
    const QString base = rostrel::test::fixturePath(QStringLiteral("lo_rollbook.ods"));
    if (!QFileInfo::exists(base))
        GTEST_SKIP() << "the shared fixtures are not there";
    std::string content =
        R"(<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
        R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">)"
        R"(<office:body><office:spreadsheet><table:table table:name="A"><table:table-column/>)";
    for (int r = 1; r <= 3000; ++r) {
        if (r % 500 == 0) {
            content +=
                R"(<table:table-row table:number-rows-repeated="3"><table:table-cell table:number-columns-repeated="4"/></table:table-row>)";
            r += 2;
            continue;
        }
        content += "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>学生" + std::to_string(r) +
                   "</text:p></table:table-cell><table:table-cell table:number-columns-repeated=\"2\"/>"
                   "<table:table-cell office:value-type=\"float\" office:value=\"" +
                   std::to_string(r % 97) + "\"><text:p>" + std::to_string(r % 97) +
                   "</text:p></table:table-cell></table:table-row>";
    }
    content +=
        R"(<table:table-row table:number-rows-repeated="1045000"><table:table-cell/></table:table-row>)"
        R"(</table:table><table:table table:name="B"><table:table-row><table:table-cell office:value-type="float" office:value="1"><text:p>1</text:p></table:table-cell></table:table-row></table:table>)"
        R"(</office:spreadsheet></office:body></office:document-content>)";
    FileBytes file =
        Package::read(rostrel::test::xlsutil::readBytes(base)).rewrite({{"content.xml", bytesOf(content)}});
    auto codec = openOdsCodec(file);
    auto model = cellsOf(*codec, 1);
    const std::vector<std::vector<std::pair<std::pair<int, int>, CellValue>>> saves = {
        {{{2990, 3}, CellValue::fromNumber(5)}},                                       // inside a repeated cell run
        {{{1001, 2}, CellValue::fromText("a b  c")}, {{1, 4}, CellValue::empty()}},    // inside a repeated row run
        {{{3200, 1}, CellValue::fromBool(true)}, {{3300, 2}, CellValue::fromDate(1)}}, // in the final repeated run
        {{{2990, 3}, CellValue::fromNumber(6)}, {{1500, 1}, CellValue::fromNumber(2)}},
    };
    for (size_t i = 0; i < saves.size(); ++i) {
        SCOPED_TRACE("save " + std::to_string(i));
        for (const auto& [at, v] : saves[i]) {
            codec->setCell(1, at.first, at.second, v);
            if (v.isEmpty())
                model.erase(at);
            else
                model[at] = v;
        }
        const FileBytes saved = codec->serialize();
        codec->markSaved();
        const auto fresh = openOdsCodec(saved);
        EXPECT_EQ(cellsOf(*fresh, 1), model);
        EXPECT_EQ(cellsOf(*codec, 1), model) << "the codec after the save differs from what was written";
        EXPECT_EQ(cellsOf(*fresh, 2), cellsOf(*codec, 2));
        EXPECT_EQ(Package::read(saved).names(), Package::read(file).names());
        file = saved;
    }
    // Both tables in one save; the second gets rows after its last one.
    auto second = cellsOf(*codec, 2);
    codec->setCell(2, 5, 2, CellValue::fromText("后"));
    codec->setCell(2, 1, 1, CellValue::fromNumber(3));
    codec->setCell(1, 10, 1, CellValue::fromNumber(4));
    second[{5, 2}] = CellValue::fromText("后");
    second[{1, 1}] = CellValue::fromNumber(3);
    model[{10, 1}] = CellValue::fromNumber(4);
    const FileBytes saved = codec->serialize();
    codec->markSaved();
    const auto fresh = openOdsCodec(saved);
    EXPECT_EQ(cellsOf(*fresh, 1), model);
    EXPECT_EQ(cellsOf(*fresh, 2), second);
    EXPECT_EQ(cellsOf(*codec, 2), second);
    codec->setCell(2, 7, 1, CellValue::fromNumber(5)); // after the rows the last save appended
    second[{7, 1}] = CellValue::fromNumber(5);
    EXPECT_EQ(cellsOf(*openOdsCodec(codec->serialize()), 2), second);
}

TEST(QuickSave, XlsxFormulaOverwrittenDropsTheCalculationChain) {
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    std::string sheet = "<worksheet xmlns=\"" + main + "\"><dimension ref=\"A1:B3000\"/><sheetData>";
    for (int r = 1; r <= 3000; ++r)
        sheet += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" + std::to_string(r) +
                 "</v></c><c r=\"B" + std::to_string(r) + "\"><f>A" + std::to_string(r) + "*2</f><v>" +
                 std::to_string(2 * r) + "</v></c></row>";
    sheet += "</sheetData></worksheet>";
    const std::map<std::string, FileBytes> parts = {
        {"[Content_Types].xml",
         bytesOf("<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Override "
                 "PartName=\"/xl/calcChain.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/></Types>")},
        {"_rels/.rels", bytesOf("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                                "relationships\"><Relationship Id=\"r1\" Type=\"" +
                                rel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>")},
        {"xl/workbook.xml", bytesOf("<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel.substr(0, rel.size() - 1) +
                                    "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"r1\"/></sheets>"
                                    "<calcPr calcId=\"1\"/></workbook>")},
        {"xl/_rels/workbook.xml.rels",
         bytesOf("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                 "<Relationship Id=\"r1\" Type=\"" +
                 rel + "worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"r2\" Type=\"" + rel +
                 "calcChain\" Target=\"calcChain.xml\"/></Relationships>")},
        {"xl/calcChain.xml", bytesOf("<calcChain xmlns=\"" + main + "\"><c r=\"B1\" i=\"1\"/></calcChain>")},
        {"xl/worksheets/sheet1.xml", bytesOf(sheet)}};
    const FileBytes emptyZip = {0x50, 0x4b, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    OoxmlCodec codec(Package::read(emptyZip).rewrite({}, parts));
    codec.setCell(1, 2500, 2, CellValue::fromNumber(-1));
    const FileBytes saved = codec.serialize();
    codec.markSaved();
    const Package p = Package::read(saved);
    EXPECT_FALSE(p.has("xl/calcChain.xml"));
    const FileBytes wb = p.member("xl/workbook.xml");
    EXPECT_NE(std::string(wb.begin(), wb.end()).find("fullCalcOnLoad=\"1\""), std::string::npos);
    const OoxmlCodec fresh(saved);
    EXPECT_EQ(fresh.cell(1, 2500, 2), CellValue::fromNumber(-1));
    EXPECT_EQ(fresh.cell(1, 2499, 2), CellValue::fromNumber(4998));
    EXPECT_EQ(cellsOf(codec, 1), cellsOf(fresh, 1));
}

TEST(DeflateEdit, PlacesShiftPastEditsAndInsertionsGoWhereAsked) {
    const zip::PositionShift shift({{10, 0, "abc"}, {20, 5, "x"}, {40, 0, "yy"}});
    EXPECT_EQ(shift(5, false), 5u);
    EXPECT_EQ(shift(10, false), 10u); // an insertion here comes after the place...
    EXPECT_EQ(shift(10, true), 13u);  // ...or before it
    EXPECT_EQ(shift(20, true), 23u);  // a replacement starting here is not an insertion
    EXPECT_EQ(shift(25, false), 24u);
    EXPECT_EQ(shift(40, true), 41u);
    EXPECT_EQ(shift(100, false), 101u);
}
