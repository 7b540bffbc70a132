// Hostile and damaged .xls files, generated here: compound documents whose directory libgsf
// cannot take safely, sheet tables that share one substream, damaged sheets, and a stream's
// class id that must survive a save. Each is refused with the damaged-file error (the file
// left as it was), or read and saved correctly.
#include "HostileXls.h"
#include "XlsTestUtil.h"
#include "support/Fixtures.h"

#include "platform/workbook/Workbook.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace rostrel::workbook;
using namespace rostrel::test;
using namespace rostrel::test::xlsutil;
using namespace rostrel::test::hostile;

namespace {

WorkbookError::Code codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const WorkbookError& e) {
        return e.code();
    }
    return static_cast<WorkbookError::Code>(-1);
}

std::string writeFile(const QTemporaryDir& dir, const char* name, const Bytes& bytes) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path.toStdString();
}

Bytes smallWorkbook() {
    return oneSheetWorkbook({{0x0203, number(0, 0, 1.5)}}, 1, 1);
}

double secondsOf(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The stream of `file` with `copies` more BOUNDSHEET records, each pointing at the first
// sheet's substream (every offset after them moved along).
Bytes withSharedSheetTables(const Bytes& stream, int copies) {
    const auto recs = records(stream);
    size_t first = 0;
    while (recs[first].type != xls::rt::BOUNDSHEET)
        ++first;
    const Bytes dup = recs[first].bytes;
    const uint32_t grow = static_cast<uint32_t>(dup.size()) * static_cast<uint32_t>(copies);
    Bytes out;
    for (size_t i = 0; i < recs.size(); ++i) {
        Bytes rec = recs[i].bytes;
        if (rec.size() >= 8 && recs[i].type == xls::rt::BOUNDSHEET)
            xls::wr32(&rec[4], xls::rd32(&rec[4]) + grow);
        out.insert(out.end(), rec.begin(), rec.end());
        if (i == first)
            for (int k = 0; k < copies; ++k)
                out.insert(out.end(), rec.begin(), rec.end());
    }
    return out;
}

} // namespace

// The sibling chain that overflowed libgsf's stack at 40,000 entries (5 MB) is refused at once;
// so are a directory whose links loop and one with more entries than libgsf reads in time.
// Ordinary shapes, a short chain included, still read.
TEST(HostileFiles, DirectoriesLibgsfCannotTakeAreRefusedAsDamaged) {
    const Bytes wb = smallWorkbook();
    const Bytes deep = siblingChain(wb, 40000);
    ASSERT_GT(deep.size(), 5'000'000u);
    double took =
        secondsOf([&] { EXPECT_EQ(codeOf([&] { loadXls(deep.data(), deep.size()); }), WorkbookError::Code::Damaged); });
    EXPECT_LT(took, 2.0);

    const Bytes many = balancedDirectory(wb, 3000); // a tree of depth 12, but 3000 entries
    took =
        secondsOf([&] { EXPECT_EQ(codeOf([&] { loadXls(many.data(), many.size()); }), WorkbookError::Code::Damaged); });
    EXPECT_LT(took, 2.0);

    std::vector<DirEntry> loop(3);
    loop[0].name = ascii16("Root Entry");
    loop[0].type = 5;
    loop[0].child = 1;
    loop[1].name = ascii16("Workbook");
    loop[1].data = wb;
    loop[1].right = 2;
    loop[2].name = ascii16("Other");
    loop[2].left = 1; // back to the first
    const Bytes looped = compoundDocument(loop);
    EXPECT_EQ(codeOf([&] { loadXls(looped.data(), looped.size()); }), WorkbookError::Code::Damaged);

    for (const Bytes& fine : {siblingChain(wb, 300), balancedDirectory(wb, 1000), xlsFile(wb)}) {
        LoadedFile f = loadXls(fine.data(), fine.size());
        EXPECT_EQ(f.book->cell(0, 0, 0), CellValue::fromNumber(1.5));
    }

    // Through the workbook: refused, and the file stays as it was.
    QTemporaryDir dir;
    const std::string path = writeFile(dir, "deep.xls", deep);
    EXPECT_EQ(codeOf([&] { openWorkbook(path); }), WorkbookError::Code::Damaged);
    EXPECT_EQ(readBytes(QString::fromStdString(path)), deep);
}

// 3,000 sheet entries pointing at one sheet of a 1.2 MB roll book made a one-cell save need
// gigabytes; sheet tables that share a substream are refused when the file is opened.
TEST(HostileFiles, SheetTablesSharingASubstreamAreRefusedAsDamaged) {
    LoadedFile big = load(fixturePath(QStringLiteral("big_class.xls")));
    big.stream().data = withSharedSheetTables(big.stream().data, 2999);
    const Bytes shared = ole::write(big.doc);
    QTemporaryDir dir;
    const std::string path = writeFile(dir, "shared.xls", shared);
    const double took =
        secondsOf([&] { EXPECT_EQ(codeOf([&] { openWorkbook(path); }), WorkbookError::Code::Damaged); });
    EXPECT_LT(took, 2.0);
    EXPECT_EQ(readBytes(QString::fromStdString(path)), shared);

    // Two tables overlapping: the first sheet's substream has no EOF and runs into the second.
    Bytes first = sheetSubstream({{0x0203, number(0, 0, 1)}}, 1, 1);
    first.resize(first.size() - 4);
    const Bytes second = sheetSubstream({{0x0203, number(0, 0, 2)}}, 1, 1);
    const Bytes file = xlsFile(workbookStream({"一", "二"}, {first, second}, {0, 1}));
    LoadedFile f = loadXls(file.data(), file.size());
    EXPECT_EQ(codeOf([&] { f.book->sheetCells(0); }), WorkbookError::Code::Damaged);
    EXPECT_EQ(f.book->cell(1, 0, 0), CellValue::fromNumber(2));
}

// A save with a damaged sheet elsewhere in the book was refused as a fault of the writer
// ("did not read back"). A sheet cut short is refused as damaged; a sheet whose cells are
// broken cannot be activated (damaged), and a save of another sheet carries it along as it was.
TEST(HostileFiles, DamagedSheetsAreRefusedAsDamaged) {
    const Bytes broken = sheetSubstream({{0x0203, number(0, 0, 2)}, {0x00FD, Bytes(10, 0)}}, 1, 1); // no strings
    const Bytes stream =
        workbookStream({"好", "坏"}, {sheetSubstream({{0x0203, number(0, 0, 1)}}, 1, 1), broken}, {0, 1});
    QTemporaryDir dir;
    const std::string path = writeFile(dir, "damaged-sheet.xls", xlsFile(stream));
    {
        auto book = openWorkbook(path);
        EXPECT_EQ(codeOf([&] { book->activate(2); }), WorkbookError::Code::Damaged);
        book->activate(1);
        book->setCell(1, 1, CellValue::fromNumber(5));
        book->save();
    }
    LoadedFile saved = load(QString::fromStdString(path));
    EXPECT_EQ(saved.book->cell(0, 0, 0), CellValue::fromNumber(5));
    const Bytes& out = saved.stream().data;
    const uint32_t at = saved.book->worksheets()[1].bofPos;
    EXPECT_EQ(Bytes(out.begin() + at, out.end()), broken);

    Bytes cut = stream;
    cut.resize(cut.size() - 10);
    const Bytes cutFile = xlsFile(cut);
    const std::string cutPath = writeFile(dir, "cut-sheet.xls", cutFile);
    auto book = openWorkbook(cutPath);
    EXPECT_EQ(codeOf([&] { book->activate(2); }), WorkbookError::Code::Damaged);
    book->activate(1);
    book->setCell(1, 1, CellValue::fromNumber(5));
    EXPECT_EQ(codeOf([&] { book->save(); }), WorkbookError::Code::Damaged);
    EXPECT_EQ(readBytes(QString::fromStdString(cutPath)), cutFile);
}

// The summary streams of a roll book can carry a class id in their directory entry; libgsf
// writes none for a stream, and a save used to drop it.
TEST(HostileFiles, AStreamsClassIdIsKeptOnSave) {
    const std::array<uint8_t, 16> id{0x3A, 0x9C, 0x51, 0x07, 0xE2, 0x44, 0x11, 0xD0,
                                     0x8B, 0x10, 0x00, 0xAA, 0x00, 0x4B, 0xE9, 0x7C};
    std::vector<DirEntry> e(3);
    e[0].name = ascii16("Root Entry");
    e[0].type = 5;
    e[0].child = 1;
    e[1].name = ascii16("Workbook");
    e[1].data = smallWorkbook();
    e[1].right = 2;
    e[2].name = u"\u0005SummaryInformation";
    e[2].data = Bytes(200, 0x11);
    e[2].clsid = id;
    const Bytes file = compoundDocument(e);
    LoadedFile f = loadXls(file.data(), file.size());
    f.book->setCell(0, 0, 3, CellValue::fromText("新"));
    const Bytes saved = saveXls(f);
    // Independently of our reader: the id's bytes are in the new directory, once.
    auto found = std::search(saved.begin(), saved.end(), id.begin(), id.end());
    ASSERT_NE(found, saved.end());
    EXPECT_EQ(std::search(found + 1, saved.end(), id.begin(), id.end()), saved.end());
    LoadedFile again = loadXls(saved.data(), saved.size());
    const ole::Entry* summary = nullptr;
    for (const auto& c : again.doc.root.children)
        if (c.name == "\x05SummaryInformation")
            summary = &c;
    ASSERT_NE(summary, nullptr);
    EXPECT_TRUE(summary->hasClassId);
    EXPECT_EQ(summary->classId, id);
    EXPECT_EQ(summary->data, Bytes(200, 0x11));
    EXPECT_EQ(again.book->cell(0, 0, 3), CellValue::fromText("新"));
}

// One cell written twice in a file: the later record wins, as xlrd and LibreOffice read it;
// writing or clearing the cell replaces both records.
TEST(HostileFiles, ADuplicateCellRecordReadsAsTheLaterOne) {
    Bytes mulrk;
    for (uint16_t v : {0, 0, 0, 0}) // row 0, from column 0 ...
        xls::put16(mulrk, v);
    mulrk.resize(4);
    for (uint32_t k = 0; k < 3; ++k) { // ... three RK integers 1, 2, 3
        xls::put16(mulrk, 15);
        xls::put32(mulrk, ((k + 1) << 2) | 0x02);
    }
    xls::put16(mulrk, 2);
    const Bytes stream = oneSheetWorkbook(
        {{0x0203, number(1, 0, 10)}, {0x00BD, mulrk}, {0x0203, number(1, 0, 20)}, {0x0203, number(0, 1, 30)}}, 2, 3);
    QTemporaryDir dir;
    const std::string path = writeFile(dir, "twice.xls", xlsFile(stream));
    {
        auto book = openWorkbook(path);
        book->activate(1);
        EXPECT_EQ(book->cell(2, 1), CellValue::fromNumber(20));
        EXPECT_EQ(book->cell(1, 2), CellValue::fromNumber(30));
        EXPECT_EQ(book->cell(1, 1), CellValue::fromNumber(1));
        EXPECT_EQ(book->cell(1, 3), CellValue::fromNumber(3));
    }
    if (xlrdAvailable()) {
        const auto xlrd = xlrdDump({QString::fromStdString(path)});
        const BookDump& d = xlrd.at(QString::fromStdString(path));
        ASSERT_EQ(d.sheets.size(), 1u) << d.error;
        EXPECT_EQ(d.sheets[0].at({2, 1}).number, 20);
        EXPECT_EQ(d.sheets[0].at({1, 2}).number, 30);
    }
    {
        auto book = openWorkbook(path);
        book->activate(1);
        book->setCell(2, 1, CellValue()); // cleared: neither old value may come back
        book->setCell(1, 2, CellValue::fromNumber(40));
        book->save();
    }
    auto book = openWorkbook(path);
    book->activate(1);
    EXPECT_TRUE(book->cell(2, 1).isEmpty());
    EXPECT_EQ(book->cell(1, 2), CellValue::fromNumber(40));
    EXPECT_EQ(book->cell(1, 1), CellValue::fromNumber(1));
    EXPECT_EQ(book->cell(1, 3), CellValue::fromNumber(3));
    if (xlrdAvailable()) {
        const auto xlrd = xlrdDump({QString::fromStdString(path)});
        const BookDump& d = xlrd.at(QString::fromStdString(path));
        ASSERT_EQ(d.sheets.size(), 1u) << d.error;
        EXPECT_FALSE(d.sheets[0].count({2, 1}) && d.sheets[0].at({2, 1}).kind == "number");
        EXPECT_EQ(d.sheets[0].at({1, 2}).number, 40);
    }
}

// Writes the generated files to $ROSTREL_HOSTILE_OUT for measuring them from outside:
//   ROSTREL_HOSTILE_OUT=/tmp/h build/tests/platform_tests --gtest_also_run_disabled_tests
//     --gtest_filter='*WriteOut*'
TEST(HostileFiles, DISABLED_WriteOut) {
    const char* out = std::getenv("ROSTREL_HOSTILE_OUT");
    ASSERT_NE(out, nullptr);
    QDir().mkpath(QString::fromUtf8(out));
    auto save = [&](const char* name, const Bytes& b) {
        QFile f(QDir(QString::fromUtf8(out)).filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(b.data()), static_cast<qint64>(b.size()));
    };
    const Bytes wb = smallWorkbook();
    save("chain-40000.xls", siblingChain(wb, 40000));
    save("chain-1024.xls", siblingChain(wb, 1023));
    save("balanced-2046.xls", balancedDirectory(wb, 2046));
    LoadedFile big = load(fixturePath(QStringLiteral("big_class.xls")));
    const Bytes original = big.stream().data;
    big.stream().data = withSharedSheetTables(original, 2999);
    save("shared-3000.xls", ole::write(big.doc));
    // Within every limit: 2,046 entries beside a workbook of eight copies of the big class.
    std::vector<Bytes> subs;
    std::vector<std::string> names;
    Bytes sheet, strings;
    for (const auto& r : records(original)) {
        if (r.pos >= big.book->worksheets()[0].bofPos)
            sheet.insert(sheet.end(), r.bytes.begin(), r.bytes.end());
        else if (r.type == xls::rt::SST || r.type == xls::rt::CONTINUE)
            strings.insert(strings.end(), r.bytes.begin(), r.bytes.end());
    }
    for (int i = 0; i < 8; ++i) {
        subs.push_back(sheet);
        names.push_back("班" + std::to_string(i));
    }
    const Bytes eight = workbookStream(names, subs, {0, 1, 2, 3, 4, 5, 6, 7}, strings);
    save("eight-classes-2046-entries.xls", balancedDirectory(eight, 2046));

    // 3.2 million empty shared strings (3 bytes each) in 9.6 MB.
    Bytes sst;
    {
        Bytes d;
        put32(d, 1);
        put32(d, 3'200'000);
        uint32_t left = 3'200'000;
        while (left > 0) {
            while (left > 0 && d.size() + 3 <= 8224) {
                d.insert(d.end(), {0, 0, 0});
                --left;
            }
            record(sst, sst.empty() ? 0x00FC : 0x003C, d);
            d.clear();
        }
    }
    Bytes label(10, 0);
    save("strings-3200000.xls", xlsFile(workbookStream({"S"}, {sheetSubstream({{0x00FD, label}}, 1, 1)}, {0}, sst)));

    // 150,000 sheets, each one cell in the last row.
    std::vector<std::string> sheetNames;
    std::vector<size_t> targets;
    std::vector<Bytes> tiny;
    for (size_t i = 0; i < 150'000; ++i) {
        sheetNames.push_back(std::to_string(i));
        targets.push_back(i);
        Bytes t;
        record(t, 0x0809, bof(0x0010));
        record(t, 0x0203, number(65535, 0, 1));
        record(t, 0x000A, {});
        tiny.push_back(std::move(t));
    }
    save("sheets-150000.xls", xlsFile(workbookStream(sheetNames, tiny, targets)));
}
