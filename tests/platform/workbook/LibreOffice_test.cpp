// LibreOffice reads roll books the engine has edited: the new values, and every other cell as
// it showed them before. Slow (a converter start per file), so only a few files.
#include "XlsTestUtil.h"
#include "support/Fixtures.h"

#include "platform/workbook/Workbook.h"

#include <gtest/gtest.h>

using namespace rostrel::workbook;
using namespace rostrel::test;

namespace {

QString soffice() {
    for (const char* p : {"/usr/bin/soffice", "/usr/bin/libreoffice", "/usr/local/bin/soffice"})
        if (QFileInfo::exists(QString::fromLatin1(p)))
            return QString::fromLatin1(p);
    return {};
}

using Grid = std::vector<std::vector<QString>>;

Grid parseCsv(const QString& text) {
    Grid grid(1);
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            grid.back().push_back(field);
            field.clear();
        } else if (c == '\n') {
            grid.back().push_back(field);
            field.clear();
            grid.emplace_back();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!field.isEmpty() || !grid.back().empty())
        grid.back().push_back(field);
    else
        grid.pop_back();
    return grid;
}

// Sheet `sheet` (1-based) of `file` as LibreOffice shows it, via its CSV export.
Grid libreOfficeSheet(const QString& file, int sheet, const QTemporaryDir& tmp) {
    const QString out = tmp.filePath(QStringLiteral("csv-%1-%2").arg(QFileInfo(file).baseName()).arg(sheet));
    QDir().mkpath(out);
    QProcess p;
    // A profile of its own, so that a LibreOffice running elsewhere does not take the job.
    p.start(soffice(),
            {QStringLiteral("-env:UserInstallation=file://") + tmp.filePath(QStringLiteral("profile")),
             QStringLiteral("--headless"), QStringLiteral("--convert-to"),
             QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,%1").arg(sheet),
             QStringLiteral("--outdir"), out, file});
    p.waitForFinished(180000);
    const QStringList csv = QDir(out).entryList({QStringLiteral("*.csv")}, QDir::Files);
    if (csv.isEmpty())
        return {};
    QFile f(QDir(out).filePath(csv.first()));
    f.open(QIODevice::ReadOnly);
    return parseCsv(QString::fromUtf8(f.readAll()));
}

QString at(const Grid& g, int row, int col) {
    if (row < 1 || row > static_cast<int>(g.size()) || col < 1 || col > static_cast<int>(g[row - 1].size()))
        return {};
    return g[row - 1][col - 1];
}

struct Expect {
    int row, col;
    QString shown;
};

// `recalculated`: formula cells whose shown value follows the edits.
void checkEdited(const char* fixture, int sheet, const std::vector<std::pair<Expect, CellValue>>& edits,
                 const std::vector<Expect>& recalculated = {}) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString original = fixturePath(QString::fromLatin1(fixture));
    const QString copy = copyFixture(tmp, QString::fromLatin1(fixture));
    {
        auto book = openWorkbook(copy.toStdString());
        book->activate(sheet);
        for (const auto& [e, v] : edits)
            book->setCell(e.row, e.col, v);
        book->save();
    }
    const Grid before = libreOfficeSheet(original, sheet, tmp);
    const Grid after = libreOfficeSheet(copy, sheet, tmp);
    ASSERT_FALSE(before.empty());
    ASSERT_FALSE(after.empty()) << "LibreOffice could not read the edited copy";
    const int rows = static_cast<int>(std::max(before.size(), after.size()));
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= 256; ++c) {
            QString want = at(before, r, c);
            for (const auto& [e, v] : edits)
                if (e.row == r && e.col == c)
                    want = e.shown;
            for (const Expect& e : recalculated)
                if (e.row == r && e.col == c)
                    want = e.shown;
            ASSERT_EQ(at(after, r, c).toStdString(), want.toStdString()) << fixture << " cell " << r << "," << c;
        }
    }
}

} // namespace

TEST(LibreOffice, ReadsAnEditedLibreOfficeRollBook) {
    if (soffice().isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    checkEdited("lo_rollbook.xls", 1,
                {{{3, 7, QStringLiteral("88.5")}, CellValue::fromNumber(88.5)},
                 {{2, 9, QStringLiteral("03月16")}, CellValue::fromText("03月16")},
                 {{4, 7, QString()}, CellValue()},
                 {{47, 1, QStringLiteral("46")}, CellValue::fromNumber(46)},
                 {{300, 2, QStringLiteral("新同学")}, CellValue::fromText("新同学")}},
                // G48 sums G3:G47: 99.5 before; G3 gains 88.5 and G4 loses its 5.
                {{48, 7, QStringLiteral("183")}});
}

TEST(LibreOffice, ReadsAnEditedXlwtRollBookOnItsSecondSheet) {
    if (soffice().isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    checkEdited("xlwt_rollbook.xls", 2,
                {{{3, 7, QStringLiteral("4.5")}, CellValue::fromNumber(4.5)},
                 {{2, 7, QStringLiteral("03月14")}, CellValue::fromText("03月14")},
                 {{5, 12, QStringLiteral("组长")}, CellValue::fromText("组长")}});
}
