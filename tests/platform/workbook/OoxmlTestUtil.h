// Helpers of the .xlsx tests: openpyxl's view of files (one python process for many files), our
// own view through the codec, and their comparison.
#pragma once

#include "XlsTestUtil.h"

#include "platform/workbook/OoxmlCodec.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cmath>
#include <map>
#include <string>

namespace rostrel::test::ooxmlutil {

using xlsutil::BookDump;
using xlsutil::Cell;
using xlsutil::SheetDump;

inline bool openpyxlAvailable() {
    return xlsutil::pythonHas("openpyxl");
}

// A text as the dump prints it: long ones as their SHA-1.
inline std::string dumpText(const std::string& text) {
    if (text.size() > 256)
        return "sha1:" + QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha1)
                             .toHex()
                             .toStdString();
    return xlsutil::escapeField(text);
}

inline Cell toCell(const workbook::CellValue& v) {
    Cell c = xlsutil::toCell(v);
    if (v.kind == workbook::CellValue::Kind::Text)
        c.text = dumpText(v.text);
    return c;
}

// One file's dump.
inline BookDump parseDump(const QByteArray& data) {
    BookDump d;
    for (const QByteArray& line : data.split('\n'))
        if (!line.isEmpty() && !line.startsWith("FILE\t"))
            xlsutil::parseDumpLine(d, line);
    return d;
}

// openpyxl's view of each file (by file name), dumped into `folder`.
inline std::map<QString, BookDump> openpyxlDump(const QStringList& files, const QString& folder) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(ROSTREL_SOURCE_DIR "/tests/platform/workbook/openpyxl_dump.py"), folder} +
                files);
    p.waitForFinished(1200000);
    std::map<QString, BookDump> out;
    for (const QString& f : files) {
        QFile dump(QDir(folder).filePath(QFileInfo(f).fileName() + QStringLiteral(".tsv")));
        if (dump.open(QIODevice::ReadOnly))
            out[QFileInfo(f).fileName()] = parseDump(dump.readAll());
    }
    return out;
}

inline BookDump ourDump(const workbook::Codec& codec) {
    return xlsutil::codecDump(codec, toCell);
}

inline std::string describe(const Cell& c) {
    return c.kind + ":" + (c.kind == "number" || c.kind == "date" ? std::to_string(c.number) : c.text);
}

// Dates pass through openpyxl's datetime (microseconds), so they agree to a fraction of a second.
inline bool sameCell(const Cell& a, const Cell& b) {
    if (a.kind == "date" && b.kind == "date")
        return std::fabs(a.number - b.number) < 1e-6;
    return a == b;
}

// The first difference between two dumps, or "".
inline std::string compare(const BookDump& mine, const BookDump& theirs) {
    if (mine.names != theirs.names) {
        std::string m, t;
        for (const auto& n : mine.names)
            m += "[" + n + "]";
        for (const auto& n : theirs.names)
            t += "[" + n + "]";
        return "sheet names differ: ours " + m + ", openpyxl " + t;
    }
    for (size_t s = 0; s < mine.sheets.size(); ++s) {
        const SheetDump& a = mine.sheets[s];
        const SheetDump& b = theirs.sheets[s];
        for (const auto& [rc, cell] : a) {
            auto it = b.find(rc);
            if (it == b.end() || !sameCell(cell, it->second))
                return "sheet " + std::to_string(s + 1) + " cell " + workbook::ooxml::cellRef(rc.first, rc.second) +
                       ": ours " + describe(cell) + ", openpyxl " + (it == b.end() ? "empty" : describe(it->second));
        }
        for (const auto& [rc, cell] : b)
            if (!a.count(rc))
                return "sheet " + std::to_string(s + 1) + " cell " + workbook::ooxml::cellRef(rc.first, rc.second) +
                       ": ours empty, openpyxl " + describe(cell);
    }
    return {};
}

} // namespace rostrel::test::ooxmlutil
