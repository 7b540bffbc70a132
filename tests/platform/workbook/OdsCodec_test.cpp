// The .ods codec on whole packages: the roll book reads as its .xls original does, edits show
// at once and survive a save, and packages that are not plain spreadsheets are refused.
#include "OdsTestUtil.h"
#include "support/Fixtures.h"

#include "platform/workbook/ZipPackage.h"

#include <gtest/gtest.h>

using namespace rostrel::workbook;
using namespace rostrel::test::odsutil;

namespace {

FileBytes bytesOf(const std::string& s) {
    return FileBytes(s.begin(), s.end());
}

FileBytes rollBook() {
    return readBytes(rostrel::test::fixturePath(QStringLiteral("lo_rollbook.ods")));
}

// lo_rollbook.ods with some members replaced or removed.
FileBytes variant(const std::map<std::string, FileBytes>& replaced, const std::set<std::string>& removed = {}) {
    return zip::Package::read(rollBook()).rewrite(replaced, {}, removed);
}

WorkbookError::Code refusal(const FileBytes& bytes) {
    try {
        openOdsCodec(bytes);
    } catch (const WorkbookError& e) {
        return e.code();
    }
    ADD_FAILURE() << "the package was accepted";
    return WorkbookError::Code::Io;
}

const std::string kArrayContent =
    R"(<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
    R"(xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">)"
    R"(<office:body><office:spreadsheet><table:table table:name="A"><table:table-row>)"
    R"(<table:table-cell table:formula="of:={1;2}" table:number-matrix-columns-spanned="1" table:number-matrix-rows-spanned="2" office:value-type="float" office:value="1"><text:p>1</text:p></table:table-cell>)"
    R"(</table:table-row><table:table-row><table:table-cell office:value-type="float" office:value="2"><text:p>2</text:p></table:table-cell></table:table-row>)"
    R"(</table:table></office:spreadsheet></office:body></office:document-content>)";

} // namespace

TEST(OdsCodec, TheRollBookReadsAsItsXlsOriginal) {
    if (!QFileInfo::exists(rostrel::test::fixturePath(QStringLiteral("lo_rollbook.ods"))))
        GTEST_SKIP() << "the shared fixtures are not there";
    auto ods = openOdsCodec(rollBook());
    const LoadedFile xls = load(rostrel::test::fixturePath(QStringLiteral("lo_rollbook.xls")));
    const BookDump a = codecDump(*ods), b = ourDump(*xls.book);
    EXPECT_EQ(a.names, (std::vector<std::string>{"高一(1)班", "高一(2)班", "高一(3)班"}));
    EXPECT_EQ(compare(a, b, "xls"), "");
    EXPECT_EQ(ods->cell(1, 3, 2), CellValue::fromText("罗洁"));
    EXPECT_EQ(ods->cell(1, 2, 7), CellValue::fromText("03月14"));
    EXPECT_TRUE(ods->cell(1, 1, 2).isEmpty()) << "covered by the merged title";
    EXPECT_STREQ(ods->formatName(), "ods");
    EXPECT_EQ(ods->maxRows(), 1048576);
    EXPECT_EQ(ods->maxColumns(), 16384);
}

TEST(OdsCodec, EditsShowAtOnceAndReadBackAfterSaving) {
    if (!QFileInfo::exists(rostrel::test::fixturePath(QStringLiteral("lo_rollbook.ods"))))
        GTEST_SKIP() << "the shared fixtures are not there";
    const FileBytes original = rollBook();
    auto codec = openOdsCodec(original);
    EXPECT_FALSE(codec->hasEdits());
    EXPECT_EQ(codec->serialize(), original) << "nothing written, nothing changed";
    codec->setCell(1, 3, 9, CellValue::fromNumber(5)); // a score in a new day column
    codec->setCell(1, 2, 9, CellValue::fromText("03月16"));
    codec->setCell(1, 3, 2, CellValue::empty());
    codec->setCell(3, 2000000 / 2, 1, CellValue::fromDate(46095.25)); // deep in the blank-row run
    EXPECT_TRUE(codec->hasEdits());
    EXPECT_EQ(codec->cell(1, 3, 9), CellValue::fromNumber(5));
    EXPECT_TRUE(codec->cell(1, 3, 2).isEmpty());
    std::vector<std::tuple<int, int, CellValue>> row3;
    codec->forEachCell(1, [&](int r, int c, const CellValue& v) {
        if (r == 3)
            row3.emplace_back(r, c, v);
    });
    ASSERT_FALSE(row3.empty());
    EXPECT_EQ(std::get<1>(row3.back()), 9);
    for (const auto& cell : row3)
        EXPECT_NE(std::get<1>(cell), 2) << "a cleared cell is not visited";

    const FileBytes saved = codec->serialize();
    auto back = openOdsCodec(saved);
    EXPECT_EQ(back->cell(1, 3, 9), CellValue::fromNumber(5));
    EXPECT_EQ(back->cell(1, 2, 9), CellValue::fromText("03月16"));
    EXPECT_TRUE(back->cell(1, 3, 2).isEmpty());
    EXPECT_EQ(back->cell(3, 1000000, 1), CellValue::fromDate(46095.25));
    EXPECT_EQ(back->cell(1, 4, 2), codec->cell(1, 4, 2));
    EXPECT_EQ(codecDump(*back).sheets[1], codecDump(*codec).sheets[1]);
    EXPECT_THROW(codec->setCell(1, 0, 1, CellValue::fromNumber(1)), WorkbookError);
    EXPECT_THROW(codec->setCell(1, 1, 16385, CellValue::fromNumber(1)), WorkbookError);
    EXPECT_THROW(codec->setCell(4, 1, 1, CellValue::fromNumber(1)), WorkbookError);
}

TEST(OdsCodec, PackagesThatAreNotPlainSpreadsheetsAreRefused) {
    if (!QFileInfo::exists(rostrel::test::fixturePath(QStringLiteral("lo_rollbook.ods"))))
        GTEST_SKIP() << "the shared fixtures are not there";
    using Code = WorkbookError::Code;
    EXPECT_EQ(refusal(variant({{"mimetype", bytesOf("application/vnd.oasis.opendocument.text")}})), Code::NotOle);
    EXPECT_EQ(refusal(variant({}, {"mimetype"})), Code::NotOle);
    EXPECT_EQ(refusal(variant({}, {"content.xml"})), Code::Damaged);
    const std::string encrypted =
        R"(<?xml version="1.0" encoding="UTF-8"?><manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">)"
        R"(<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml" manifest:size="74550">)"
        R"(<manifest:encryption-data manifest:checksum-type="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0#sha256-1k" manifest:checksum="AAAA">)"
        R"(<manifest:algorithm manifest:algorithm-name="http://www.w3.org/2001/04/xmlenc#aes256-cbc" manifest:initialisation-vector="AAAA"/>)"
        R"(</manifest:encryption-data></manifest:file-entry></manifest:manifest>)";
    EXPECT_EQ(refusal(variant({{"META-INF/manifest.xml", bytesOf(encrypted)}})), Code::Encrypted);
    const std::string laughs =
        R"(<?xml version="1.0"?><!DOCTYPE d [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;">]>)"
        R"(<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0">&b;</office:document-content>)";
    EXPECT_EQ(refusal(variant({{"content.xml", bytesOf(laughs)}})), Code::Damaged);
    EXPECT_EQ(refusal(variant({{"content.xml", bytesOf("<office:document-content")}})), Code::Damaged);
    EXPECT_EQ(refusal(bytesOf("PK\x03\x04 not really")), Code::Damaged);
}

TEST(OdsCodec, CellsOfAnArrayFormulaCannotBeWrittenAlone) {
    if (!QFileInfo::exists(rostrel::test::fixturePath(QStringLiteral("lo_rollbook.ods"))))
        GTEST_SKIP() << "the shared fixtures are not there";
    auto codec = openOdsCodec(variant({{"content.xml", bytesOf(kArrayContent)}}));
    ASSERT_EQ(codec->sheetCount(), 1);
    EXPECT_EQ(codec->cell(1, 2, 1), CellValue::fromNumber(2));
    for (int row : {1, 2}) {
        try {
            codec->setCell(1, row, 1, CellValue::fromNumber(9));
            ADD_FAILURE() << "row " << row << " of the array took an edit";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.code(), WorkbookError::Code::Unsupported);
        }
    }
    codec->setCell(1, 3, 1, CellValue::fromNumber(9));
    EXPECT_EQ(openOdsCodec(codec->serialize())->cell(1, 3, 1), CellValue::fromNumber(9));
}
