// The .xlsx codec on real-world files: every worksheet of the corpus reads as openpyxl reads
// it; edited copies read back (by openpyxl, and by LibreOffice for a sample) with the edits and
// nothing else changed; damaged and malicious packages are refused.
#include "OoxmlTestUtil.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <optional>
#include <set>

using namespace rostrel::workbook;
using namespace rostrel::test::ooxmlutil;
using rostrel::test::xlsutil::readBytes;

namespace {

QString fixtures(const char* sub) {
    return QDir(QStringLiteral(ROSTREL_FIXTURES_DIR)).filePath(QLatin1String(sub));
}

QStringList filesIn(const QString& dir) {
    QStringList out;
    for (const QString& f : QDir(dir).entryList(QDir::Files, QDir::Name))
        out << QDir(dir).filePath(f);
    return out;
}

// Packages in the "ok" corpus that openpyxl reads and the codec refuses, on purpose: two members
// under one name (readers disagree on which is the sheet), a sheet with a row 0, package
// relationships that are no XML, and Strict Open XML.
const std::set<QString> kRefusedOnPurpose = {
    QStringLiteral("duplicate-filename.xlsx"), QStringLiteral("duplicate-filename-case-insensitive.xlsx"),
    QStringLiteral("poc-shared-strings.xlsx"), QStringLiteral("SampleSS.strict.xlsx"),
    QStringLiteral("SimpleStrict.xlsx"),       QStringLiteral("xlsx-corrupted.xlsx"),
};

// A package of the 2006 beta format: its sheets read empty (as openpyxl reads them) and are
// never written.
const std::set<QString> kNotWritable = {QStringLiteral("sample-beta.xlsx")};

// Packages in the "refuse" corpus whose only fault lies in a part the codec does not read
// (an unknown attribute of a cell style, alternate content in the styles): their sheets read.
const std::set<QString> kReadableRefusals = {
    QStringLiteral("picture.xlsx"),
    QStringLiteral("style-alternate-content.xlsx"),
};

std::unique_ptr<OoxmlCodec> openFile(const QString& path, std::string& error) {
    try {
        auto codec = std::make_unique<OoxmlCodec>(readBytes(path));
        for (int s = 1; s <= codec->sheetCount(); ++s)
            codec->loadSheet(s);
        return codec;
    } catch (const WorkbookError& e) {
        error = e.what();
        return nullptr;
    }
}

class OoxmlCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo::exists(fixtures("xlsx/ok")))
            GTEST_SKIP() << "the shared fixtures (" << ROSTREL_FIXTURES_DIR << ") are not here";
        if (!openpyxlAvailable())
            GTEST_SKIP() << "python3-openpyxl is not installed";
    }
};

struct Edit {
    int sheet, row, col;
    CellValue value;
};

// Two edits per file: a text beyond the used range of the first sheet, and a number over its
// first used cell that may be changed alone.
std::vector<Edit> chooseEdits(OoxmlCodec& codec) {
    std::vector<Edit> edits;
    if (codec.sheetCount() == 0)
        return edits;
    int maxRow = 0, maxCol = 0;
    std::vector<std::pair<int, int>> used;
    codec.forEachCell(1, [&](int r, int c, const CellValue&) {
        maxRow = std::max(maxRow, r);
        maxCol = std::max(maxCol, c);
        used.emplace_back(r, c);
    });
    const Edit beyond{1, std::min(maxRow + 2, ooxml::kMaxRows), std::min(maxCol + 1, 16384),
                      CellValue::fromText("点名 测试&<x>")};
    codec.setCell(beyond.sheet, beyond.row, beyond.col, beyond.value);
    edits.push_back(beyond);
    for (const auto& [r, c] : used) {
        try {
            codec.setCell(1, r, c, CellValue::fromNumber(42.5));
            edits.push_back({1, r, c, CellValue::fromNumber(42.5)});
            break;
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.code(), WorkbookError::Code::Unsupported);
        }
    }
    return edits;
}

} // namespace

TEST_F(OoxmlCorpus, EveryWorksheetReadsAsOpenpyxlReadsIt) {
    const QStringList files = filesIn(fixtures("xlsx/ok"));
    QTemporaryDir dumps;
    const auto theirs = openpyxlDump(files, dumps.path());
    int compared = 0;
    for (const QString& path : files) {
        const QString name = QFileInfo(path).fileName();
        SCOPED_TRACE(name.toStdString());
        std::string error;
        const auto codec = openFile(path, error);
        if (kRefusedOnPurpose.count(name)) {
            EXPECT_FALSE(codec) << "expected a refusal";
            continue;
        }
        auto it = theirs.find(name);
        ASSERT_NE(it, theirs.end()) << "openpyxl gave no dump";
        if (!it->second.error.empty())
            continue; // openpyxl cannot read it either; reading it or refusing it are both fine
        ASSERT_TRUE(codec) << error;
        const std::string diff = compare(ourDump(*codec), it->second);
        EXPECT_EQ(diff, "");
        ++compared;
    }
    EXPECT_GE(compared, 200);
}

TEST_F(OoxmlCorpus, EditedCopiesReadBackWithOnlyTheEditsChanged) {
    const QStringList files = filesIn(fixtures("xlsx/ok"));
    QTemporaryDir work;
    QDir(work.path()).mkpath(QStringLiteral("saved"));
    QDir(work.path()).mkpath(QStringLiteral("dump"));
    QDir(work.path()).mkpath(QStringLiteral("orig"));
    QStringList originalsSaved;
    std::map<QString, BookDump> expected;
    QStringList saved;
    for (const QString& path : files) {
        const QString name = QFileInfo(path).fileName();
        SCOPED_TRACE(name.toStdString());
        std::string error;
        auto codec = openFile(path, error);
        if (!codec || codec->sheetCount() == 0)
            continue;
        const std::vector<Edit> edits = chooseEdits(*codec);
        FileBytes out;
        try {
            out = codec->serialize();
        } catch (const WorkbookError& e) {
            if (!kNotWritable.count(name) || e.code() != WorkbookError::Code::Unsupported)
                ADD_FAILURE() << "save refused: " << e.what();
            continue;
        }
        // The codec's own reading of the result (serialize verified it; this checks the edits).
        OoxmlCodec back(out);
        BookDump want = ourDump(back);
        for (const Edit& e : edits) {
            const CellValue got = back.cell(e.sheet, e.row, e.col);
            EXPECT_TRUE(got.kind == e.value.kind ||
                        (got.kind == CellValue::Kind::Date && e.value.kind == CellValue::Kind::Number))
                << ooxml::cellRef(e.row, e.col);
        }
        // Every member but the edited sheet, the shared strings, and (after a formula was
        // overwritten) the workbook, its relationships and content types is copied unchanged.
        const zip::Package before = zip::Package::read(readBytes(path));
        const zip::Package after = zip::Package::read(out);
        std::set<std::string> mayChange = {codec->sheetPart(1), "[Content_Types].xml"};
        for (const std::string& n : before.names())
            if (n.find("sharedStrings") != std::string::npos || n.find("workbook.xml") != std::string::npos ||
                n.find("styles") != std::string::npos)
                mayChange.insert(n);
        for (const std::string& n : before.names()) {
            if (!mayChange.count(n) && after.has(n)) {
                EXPECT_EQ(before.member(n), after.member(n)) << n;
            }
        }
        const QString target = QDir(work.path()).filePath(QStringLiteral("saved/") + name);
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(out.data()), static_cast<qint64>(out.size()));
        f.close();
        saved << target;
        originalsSaved << path;
        expected[name] = std::move(want);
    }
    const auto theirs = openpyxlDump(saved, QDir(work.path()).filePath(QStringLiteral("dump")));
    const auto originals = openpyxlDump(originalsSaved, QDir(work.path()).filePath(QStringLiteral("orig")));
    int checked = 0;
    for (const auto& [name, want] : expected) {
        SCOPED_TRACE(name.toStdString());
        auto it = theirs.find(name);
        ASSERT_NE(it, theirs.end());
        if (originals.count(name) && !originals.at(name).error.empty())
            continue; // openpyxl could not read the original either
        EXPECT_EQ(it->second.error, "");
        EXPECT_EQ(compare(want, it->second), "");
        ++checked;
    }
    EXPECT_GE(checked, 200);
}

TEST_F(OoxmlCorpus, DamagedAndMaliciousPackagesAreRefused) {
    for (const QString& path : filesIn(fixtures("xlsx/refuse"))) {
        SCOPED_TRACE(QFileInfo(path).fileName().toStdString());
        std::string error;
        const auto codec = openFile(path, error);
        if (kReadableRefusals.count(QFileInfo(path).fileName())) {
            EXPECT_TRUE(codec) << error;
            continue;
        }
        EXPECT_FALSE(codec) << "read without complaint";
        EXPECT_FALSE(error.empty());
    }
}

// The roll books LibreOffice and openpyxl made: the classes read as from the .xls roll book.
TEST_F(OoxmlCorpus, RollBooksReadAsTheXlsRollBook) {
    const auto xls = openWorkbook(fixtures("lo_rollbook.xls").toStdString());
    std::string error;
    const auto xlsx = openFile(fixtures("lo_rollbook.xlsx"), error);
    ASSERT_TRUE(xlsx) << error;
    ASSERT_EQ(xlsx->sheetCount(), xls->sheetCount());
    for (int s = 1; s <= xlsx->sheetCount(); ++s) {
        EXPECT_EQ(xlsx->sheetName(s), xls->sheetName(s));
        xls->activate(s);
        int maxRow = 0, maxCol = 0, cells = 0;
        xlsx->forEachCell(s, [&](int r, int c, const CellValue& v) {
            EXPECT_EQ(v, xls->cell(r, c)) << "sheet " << s << " " << ooxml::cellRef(r, c);
            maxRow = std::max(maxRow, r);
            maxCol = std::max(maxCol, c);
            ++cells;
        });
        int xlsCells = 0;
        for (int r = 1; r <= maxRow + 3; ++r)
            for (int c = 1; c <= maxCol + 3; ++c)
                xlsCells += !xls->cell(r, c).isEmpty();
        EXPECT_EQ(cells, xlsCells) << "sheet " << s;
        EXPECT_GT(cells, 0);
    }

    const auto book = openFile(fixtures("openpyxl_rollbook.xlsx"), error);
    ASSERT_TRUE(book) << error;
    ASSERT_EQ(book->sheetCount(), 2);
    EXPECT_EQ(book->cell(1, 2, 7), CellValue::fromDate(46095)); // 14 March 2026, "MM月dd"
    EXPECT_EQ(book->cell(1, 2, 8), CellValue::fromText("03月15"));
    int students[2] = {0, 0};
    for (int s = 1; s <= 2; ++s)
        for (int r = 3; r < 40; ++r)
            students[s - 1] += book->cell(s, r, 2).kind == CellValue::Kind::Text;
    EXPECT_EQ(students[0], 12);
    EXPECT_EQ(students[1], 9);
}

// LibreOffice opens edited copies (roll books and a sample of the corpus) and shows the edits.
TEST_F(OoxmlCorpus, LibreOfficeShowsTheEdits) {
    QString soffice;
    for (const char* p : {"/usr/bin/soffice", "/usr/bin/libreoffice"})
        if (QFileInfo::exists(QString::fromLatin1(p)))
            soffice = QString::fromLatin1(p);
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    QStringList sample = {fixtures("lo_rollbook.xlsx"), fixtures("openpyxl_rollbook.xlsx")};
    const QStringList corpus = filesIn(fixtures("xlsx/ok"));
    for (qsizetype i = 0; i < corpus.size() && sample.size() < 14; i += 17)
        sample << corpus[i];
    QTemporaryDir work;
    QDir(work.path()).mkpath(QStringLiteral("csv"));
    std::map<QString, std::pair<int, int>> where; // base name -> the new text's cell
    QStringList saved;
    int n = 0;
    for (const QString& path : sample) {
        std::string error;
        auto codec = openFile(path, error);
        if (!codec || codec->sheetCount() == 0)
            continue;
        int maxRow = 0;
        codec->forEachCell(1, [&](int r, int, const CellValue&) { maxRow = std::max(maxRow, r); });
        codec->setCell(1, maxRow + 2, 1, CellValue::fromText("点名测试"));
        const QString base = QStringLiteral("f%1").arg(n++);
        const QString target = QDir(work.path()).filePath(base + QStringLiteral(".xlsx"));
        const FileBytes out = codec->serialize();
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(out.data()), static_cast<qint64>(out.size()));
        f.close();
        saved << target;
        where[base] = {maxRow + 2, 1};
    }
    QProcess p;
    p.start(soffice,
            QStringList{QStringLiteral("-env:UserInstallation=file://") +
                            QDir(work.path()).filePath(QStringLiteral("profile")),
                        QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                        QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,1"),
                        QStringLiteral("--outdir"), QDir(work.path()).filePath(QStringLiteral("csv"))} +
                saved);
    p.waitForFinished(600000);
    for (const auto& [base, cell] : where) {
        SCOPED_TRACE(base.toStdString());
        // Named after the file and the sheet exported.
        const QDir csv(QDir(work.path()).filePath(QStringLiteral("csv")));
        const QStringList found =
            csv.entryList({base + QStringLiteral("-*.csv"), base + QStringLiteral(".csv")}, QDir::Files);
        ASSERT_FALSE(found.isEmpty()) << "LibreOffice did not convert it";
        QFile f(csv.filePath(found.first()));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        ASSERT_GE(lines.size(), cell.first);
        EXPECT_TRUE(lines[cell.first - 1].startsWith("点名测试")) << lines[cell.first - 1].toStdString();
    }
    EXPECT_GE(where.size(), 10u);
}
