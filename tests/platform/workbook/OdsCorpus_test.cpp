// The .ods codec on files LibreOffice saved from real-world workbooks: every cell reads as
// python3-odf reads it; edited copies read back (by python3-odf and by LibreOffice) with the
// edits and nothing else changed, every other member of the package as it was.
#include "OdsTestUtil.h"
#include "support/Fixtures.h"

#include "platform/workbook/ZipPackage.h"

#include <gtest/gtest.h>

using namespace rostrel::workbook;
using namespace rostrel::test::odsutil;

namespace {

struct Edit {
    int row, col;
    CellValue value;
};

QString soffice() {
    for (const char* p : {"/usr/bin/soffice", "/usr/bin/libreoffice"})
        if (QFileInfo::exists(QString::fromLatin1(p)))
            return QString::fromLatin1(p);
    return {};
}

using Grid = std::vector<QStringList>;

// Tab-separated fields, some quoted (with line breaks and doubled quotes inside).
Grid parseTsv(const QString& text) {
    Grid grid(1);
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"'))
                field += c, ++i;
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"') && field.isEmpty()) {
            quoted = true;
        } else if (c == QLatin1Char('\t')) {
            grid.back() << field;
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            grid.back() << field;
            field.clear();
            grid.emplace_back();
        } else if (c != QLatin1Char('\r')) {
            field += c;
        }
    }
    grid.back() << field;
    return grid;
}

// The first sheet of each file as LibreOffice exports it (raw values, UTF-8), from one
// converter run for all files. `firstSheet` names each file's first sheet.
std::map<QString, Grid> libreOfficeSheets(const std::map<QString, std::string>& firstSheet, const QTemporaryDir& tmp) {
    const QString out = tmp.filePath(QStringLiteral("csv"));
    QDir().mkpath(out);
    QStringList files;
    for (const auto& [f, sheet] : firstSheet)
        files << f;
    QProcess p;
    // A profile of its own, so that a LibreOffice running elsewhere does not take the job.
    p.start(soffice(),
            QStringList{QStringLiteral("-env:UserInstallation=file://") + tmp.filePath(QStringLiteral("profile")),
                        QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                        QStringLiteral("csv:Text - txt - csv (StarCalc):9,34,76,1,,0,false,true,false,false,false,1"),
                        QStringLiteral("--outdir"), out} +
                files);
    p.waitForFinished(1800000);
    std::map<QString, Grid> grids;
    for (const auto& [f, sheet] : firstSheet) {
        // One sheet exported by number: LibreOffice names the file NAME-SHEET.csv.
        QFile csv(QDir(out).filePath(QFileInfo(f).completeBaseName() + QLatin1Char('-') +
                                     QString::fromStdString(sheet) + QStringLiteral(".csv")));
        if (csv.open(QIODevice::ReadOnly))
            grids[f] = parseTsv(QString::fromUtf8(csv.readAll()));
    }
    return grids;
}

QString field(const Grid& g, int row, int col) {
    if (row < 1 || row > static_cast<int>(g.size()) || col < 1 || col > g[static_cast<size_t>(row - 1)].size())
        return {};
    return g[static_cast<size_t>(row - 1)][col - 1];
}

} // namespace

TEST(OdsCorpus, EveryOkFileReadsAsPythonOdfReadsIt) {
    if (!QDir(odsDir("ok")).exists())
        GTEST_SKIP() << "the shared fixtures (../shared/fixtures/ods/ok) are not there";
    if (!odfAvailable())
        GTEST_SKIP() << "python3-odf is not installed";
    const QStringList files = xlsFilesIn(odsDir("ok"));
    ASSERT_GE(files.size(), 121);
    const auto theirs = odfDump(files);
    int agreed = 0;
    for (const QString& f : files) {
        const std::string name = QFileInfo(f).fileName().toStdString();
        try {
            const BookDump mine = codecDump(*openOds(f));
            auto it = theirs.find(f);
            if (it == theirs.end() || !it->second.error.empty()) {
                ADD_FAILURE() << name << ": python3-odf failed";
                continue;
            }
            const std::string diff = compare(mine, it->second, "odf");
            if (diff.empty())
                ++agreed;
            else
                ADD_FAILURE() << name << ": " << diff;
        } catch (const std::exception& e) {
            ADD_FAILURE() << name << ": " << e.what();
        }
    }
    std::printf("[ corpus ] %d of %d files agree with python3-odf on every cell\n", agreed,
                static_cast<int>(files.size()));
}

// Each file: its first used cell overwritten, a text two rows below the last used row, a
// number right of the last used column; saved, then read back by the codec, by python3-odf
// and by LibreOffice.
TEST(OdsCorpus, EditedCopiesChangeOnlyTheEditedCells) {
    if (!QDir(odsDir("ok")).exists())
        GTEST_SKIP() << "the shared fixtures (../shared/fixtures/ods/ok) are not there";
    if (!odfAvailable())
        GTEST_SKIP() << "python3-odf is not installed";
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QStringList files = xlsFilesIn(odsDir("ok"));
    std::map<QString, std::vector<Edit>> editsOf;
    std::map<QString, QString> originalOf;
    std::map<QString, std::string> firstSheet;
    for (const QString& f : files) {
        const std::string name = QFileInfo(f).fileName().toStdString();
        try {
            const FileBytes original = readBytes(f);
            auto codec = openOdsCodec(original);
            if (codec->sheetCount() == 0)
                continue;
            int firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
            codec->forEachCell(1, [&](int r, int c, const CellValue&) {
                if (!firstRow)
                    firstRow = r, firstCol = c;
                lastRow = std::max(lastRow, r);
                lastCol = std::max(lastCol, c);
            });
            std::vector<Edit> edits;
            if (firstRow)
                edits.push_back({firstRow, firstCol, CellValue::fromNumber(123.25)});
            edits.push_back({std::min(lastRow + 2, codec->maxRows()), 3, CellValue::fromText("新文字 " + name)});
            edits.push_back(
                {std::max(firstRow, 1), std::min(lastCol + 3, codec->maxColumns()), CellValue::fromNumber(-7.5)});
            for (const Edit& e : edits)
                codec->setCell(1, e.row, e.col, e.value);
            const FileBytes saved = codec->serialize();

            const QString copy = tmp.filePath(QFileInfo(f).fileName());
            QFile out(copy);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(reinterpret_cast<const char*>(saved.data()), static_cast<qint64>(saved.size()));
            out.close();
            editsOf[copy] = edits;
            originalOf[copy] = f;
            firstSheet[copy] = codec->sheetName(1);

            // The package: the same members in the same order, all but content.xml byte for
            // byte, `mimetype` first and stored.
            const zip::Package a = zip::Package::read(original), b = zip::Package::read(saved);
            EXPECT_EQ(a.names(), b.names()) << name;
            for (const std::string& m : a.names()) {
                if (m != "content.xml" && b.has(m)) {
                    EXPECT_EQ(a.member(m), b.member(m)) << name << ": " << m << " changed";
                }
            }
            ASSERT_GE(saved.size(), 38u);
            EXPECT_EQ(std::string(saved.begin() + 30, saved.begin() + 38), "mimetype") << name;
            EXPECT_EQ(saved[8] | saved[9] << 8, 0) << name << ": mimetype is compressed";
        } catch (const std::exception& e) {
            ADD_FAILURE() << name << ": " << e.what();
        }
    }
    EXPECT_GE(editsOf.size(), 121u);

    QStringList copies, originals;
    for (const auto& [copy, orig] : originalOf)
        copies << copy, originals << orig;
    const auto now = odfDump(copies);
    const auto before = odfDump(originals);
    for (const auto& [copy, edits] : editsOf) {
        const std::string name = QFileInfo(copy).fileName().toStdString();
        const BookDump& got = now.at(copy);
        if (!got.error.empty()) {
            ADD_FAILURE() << name << ": python3-odf cannot read the edited copy: " << got.error;
            continue;
        }
        BookDump want = before.at(originalOf[copy]);
        for (const Edit& e : edits)
            want.sheets[0][{e.row, e.col}] = toCell(e.value);
        const std::string diff = compare(got, want, "expected");
        if (!diff.empty())
            ADD_FAILURE() << name << " (python3-odf): " << diff;
    }

    if (soffice().isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed: the edited copies were not opened in it";
    const auto shown = libreOfficeSheets(firstSheet, tmp);
    int opened = 0;
    for (const auto& [copy, edits] : editsOf) {
        const std::string name = QFileInfo(copy).fileName().toStdString();
        auto g = shown.find(copy);
        if (g == shown.end()) {
            ADD_FAILURE() << name << ": LibreOffice did not convert the edited copy";
            continue;
        }
        ++opened;
        const Edit& text = edits[edits.size() - 2];
        EXPECT_EQ(field(g->second, text.row, text.col).toStdString(), text.value.text) << name;
        const Edit& number = edits.back();
        EXPECT_EQ(field(g->second, number.row, number.col).toStdString(), "-7.5") << name;
    }
    std::printf("[ corpus ] %d edited files saved; LibreOffice opened %d and showed the edits\n",
                static_cast<int>(editsOf.size()), opened);
}

// Every kind of value the program can write, as LibreOffice shows it: the markup written for
// each is the one LibreOffice itself reads.
TEST(OdsCorpus, LibreOfficeShowsEveryKindOfValueWritten) {
    if (!QFileInfo::exists(rostrel::test::fixturePath(QStringLiteral("lo_rollbook.ods"))))
        GTEST_SKIP() << "the shared fixtures are not there";
    if (soffice().isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    QTemporaryDir tmp;
    auto codec = openOds(rostrel::test::fixturePath(QStringLiteral("lo_rollbook.ods")));
    const std::vector<Edit> edits = {
        {3, 7, CellValue::fromNumber(4.5)},         {3, 8, CellValue::fromText("  两个  空格 制表 ")},
        {3, 9, CellValue::fromBool(true)},          {3, 10, CellValue::fromError(CellValue::ErrorCode::NA)},
        {3, 11, CellValue::fromText("a<b>&\"c\"")}, {4, 2, CellValue::fromText("新行")},
        {9, 30, CellValue::fromNumber(100000.25)},  {3, 2, CellValue::fromDate(46095)},
    };
    for (const Edit& e : edits)
        codec->setCell(1, e.row, e.col, e.value);
    const QString copy = tmp.filePath(QStringLiteral("kinds.ods"));
    QFile out(copy);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    const FileBytes saved = codec->serialize();
    out.write(reinterpret_cast<const char*>(saved.data()), static_cast<qint64>(saved.size()));
    out.close();
    const auto shown = libreOfficeSheets({{copy, codec->sheetName(1)}}, tmp);
    ASSERT_EQ(shown.count(copy), 1u) << "LibreOffice did not convert the file";
    const Grid& g = shown.at(copy);
    EXPECT_EQ(field(g, 3, 7).toStdString(), "4.5");
    EXPECT_EQ(field(g, 3, 8).toStdString(), "  两个  空格 制表 ");
    EXPECT_EQ(field(g, 3, 9).toStdString(), "TRUE");
    EXPECT_EQ(field(g, 3, 10).toStdString(), "#N/A");
    EXPECT_EQ(field(g, 3, 11).toStdString(), "a<b>&\"c\"");
    EXPECT_EQ(field(g, 4, 2).toStdString(), "新行");
    EXPECT_EQ(field(g, 9, 30).toStdString(), "100000.25");
    EXPECT_NE(field(g, 3, 2).indexOf(QStringLiteral("2026")), -1) << field(g, 3, 2).toStdString();
    EXPECT_EQ(field(g, 3, 1).toStdString(), "1") << "the cells beside the written ones are as they were";
    EXPECT_EQ(field(g, 4, 3).toStdString(), "女");
}
