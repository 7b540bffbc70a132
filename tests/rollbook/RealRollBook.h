// The main window on the real spreadsheet engine with a copy of a fixture roll book, and
// what an independent reader (xlrd, openpyxl, python3-odf) reads from a file, for the
// end-to-end tests.
#pragma once

#include "rollbook/RollBookHarness.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <tuple>

namespace rostrel::test {

// Every non-empty cell of every sheet as xlrd reads it: (sheet, row, column) (1-based) ->
// "type:value" with xlrd's cell type and repr of the value.
using XlrdCells = std::map<std::tuple<QString, int, int>, QString>;

inline XlrdCells readWithXlrd(const QString& path) {
    static const char* script = R"(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1], formatting_info=False)
out = []
for s in b.sheets():
    for r in range(s.nrows):
        for c in range(s.ncols):
            cell = s.cell(r, c)
            if cell.ctype in (0, 6):
                continue
            out.append('%s\t%d\t%d\t%d:%r' % (s.name, r + 1, c + 1, cell.ctype, cell.value))
sys.stdout.buffer.write('\n'.join(out).encode('utf-8'))
)";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script), path});
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    XlrdCells cells;
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u'\t');
        if (f.size() == 4)
            cells[{f[0], f[1].toInt(), f[2].toInt()}] = f[3];
    }
    return cells;
}

// Every non-empty cell of every sheet as the independent reader of the file's format reads it
// (xlrd for .xls, openpyxl for .xlsx, python3-odf for .ods): (sheet, row, column) ->
// "kind:value", kind one of number, text, date, bool, error; numbers as Python's repr of a float.
inline XlrdCells readCells(const QString& path) {
    const QString scripts = QStringLiteral(ROSTREL_SOURCE_DIR "/tests/platform/workbook/");
    const QString suffix = QFileInfo(path).suffix().toLower();
    QTemporaryDir out;
    QStringList args;
    if (suffix == u"xlsx")
        args = {scripts + QStringLiteral("openpyxl_dump.py"), out.path(), path};
    else if (suffix == u"ods")
        args = {scripts + QStringLiteral("odf_dump.py"), path};
    else
        args = {scripts + QStringLiteral("xlrd_dump.py"), path};
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), args);
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QByteArray dump = p.readAllStandardOutput();
    if (suffix == u"xlsx") {
        QFile f(QDir(out.path()).filePath(QFileInfo(path).fileName() + QStringLiteral(".tsv")));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        dump = f.readAll();
    }
    XlrdCells cells;
    QString sheet;
    for (const QString& line : QString::fromUtf8(dump).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u'\t');
        if (f[0] == u"ERROR")
            ADD_FAILURE() << path.toStdString() << ": " << line.toStdString();
        else if (f[0] == u"SHEET" && f.size() == 3)
            sheet = f[2];
        else if (f.size() == 4 && f[0] != u"FILE")
            cells[{sheet, f[0].toInt(), f[1].toInt()}] = f[2] + u':' + f[3];
    }
    return cells;
}

// The cells that differ between two readings (present in either), with their new value or
// "" when the cell became empty.
inline XlrdCells changedCells(const XlrdCells& before, const XlrdCells& after) {
    XlrdCells diff;
    for (const auto& [k, v] : after) {
        auto it = before.find(k);
        if (it == before.end() || it->second != v)
            diff[k] = v;
    }
    for (const auto& [k, v] : before)
        if (!after.count(k))
            diff[k] = QString();
    return diff;
}

// The window on the real engine, with a copy of a fixture as its roll book.
struct RealRollBook : RollBookWindowBase {
    QTemporaryDir dir;
    QString path;

    explicit RealRollBook(const QString& fixture, const QString& as = QStringLiteral("点名册.xls")) {
        path = copyFixture(dir, fixture, as);
        use(path);
    }
    ~RealRollBook() {
        window->close(); // releases the roll book
    }
};

} // namespace rostrel::test
