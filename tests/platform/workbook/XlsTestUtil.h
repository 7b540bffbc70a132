// Helpers of the workbook engine's tests: reading files, xlrd's view of them, our own view,
// and the records of a workbook stream.
#pragma once

#include "platform/workbook/BiffRecords.h"
#include "platform/workbook/Codec.h"
#include "platform/workbook/Engine.h"
#include "rostrel-book/Escape.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <string>
#include <variant>
#include <vector>

namespace rostrel::test::xlsutil {

using workbook::CellValue;
using workbook::xls::Bytes;

inline Bytes readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray a = f.readAll();
    return Bytes(a.begin(), a.end());
}

inline QString corpusDir(const char* sub) {
    return QDir(QStringLiteral(ROSTREL_FIXTURES_DIR)).filePath(QStringLiteral("corpus/") + QLatin1String(sub));
}

inline QStringList xlsFilesIn(const QString& dir) {
    QStringList out;
    for (const QString& f : QDir(dir).entryList({QStringLiteral("*")}, QDir::Files, QDir::Name))
        out << QDir(dir).filePath(f);
    return out;
}

// One cell as both readers print it: kind and value; numbers compared as numbers.
struct Cell {
    std::string kind;
    std::string text;
    double number = 0;
    bool operator==(const Cell& o) const {
        if (kind != o.kind)
            return false;
        if (kind == "number" || kind == "date")
            return number == o.number || (number != number && o.number != o.number);
        return text == o.text;
    }
};
using SheetDump = std::map<std::pair<int, int>, Cell>; // (row, col), 1-based
struct BookDump {
    std::vector<std::string> names;
    std::vector<SheetDump> sheets;
    std::string error; // xlrd could not read it
};

using book::escapeField;

inline Cell toCell(const CellValue& v) {
    Cell c;
    switch (v.kind) {
    case CellValue::Kind::Empty:
        c.kind = "empty";
        break;
    case CellValue::Kind::Number:
        c.kind = "number";
        c.number = v.number;
        break;
    case CellValue::Kind::Date:
        c.kind = "date";
        c.number = v.number;
        break;
    case CellValue::Kind::Text:
        c.kind = "text";
        c.text = escapeField(v.text);
        break;
    case CellValue::Kind::Bool:
        c.kind = "bool";
        c.text = v.boolean ? "TRUE" : "FALSE";
        break;
    case CellValue::Kind::Error: {
        c.kind = "error";
        c.text = workbook::errorText(v.error);
        break;
    }
    }
    return c;
}

// The engine's view of every worksheet.
inline BookDump ourDump(const workbook::xls::Book& book) {
    BookDump d;
    for (size_t s = 0; s < book.worksheets().size(); ++s) {
        d.names.push_back(book.worksheets()[s].name);
        SheetDump sheet;
        const auto& cells = book.sheetCells(static_cast<int>(s));
        for (size_t r = 0; r < cells.rows.size(); ++r)
            for (const auto& c : cells.rows[r])
                if (c.col <= 255)
                    sheet[{static_cast<int>(r) + 1, c.col + 1}] =
                        toCell(book.cell(static_cast<int>(s), static_cast<int>(r), c.col));
        d.sheets.push_back(std::move(sheet));
    }
    return d;
}

// The engine's view of every sheet of a codec, cells printed by `cellOf`.
template <typename CellOf = Cell (*)(const CellValue&)>
inline BookDump codecDump(const workbook::Codec& codec, CellOf cellOf = toCell) {
    BookDump d;
    for (int s = 1; s <= codec.sheetCount(); ++s) {
        d.names.push_back(escapeField(codec.sheetName(s)));
        SheetDump sheet;
        codec.forEachCell(s, [&](int r, int c, const CellValue& v) { sheet[{r, c}] = cellOf(v); });
        d.sheets.push_back(std::move(sheet));
    }
    return d;
}

inline bool pythonHas(const char* module) {
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) &&
           QProcess::execute(QStringLiteral("/usr/bin/python3"),
                             {QStringLiteral("-c"), QStringLiteral("import ") + QLatin1String(module)}) == 0;
}
inline bool xlrdAvailable() {
    return pythonHas("xlrd");
}

// What one of the dump scripts beside this file prints for `args`.
inline QByteArray runDumpScript(const char* script, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(ROSTREL_SOURCE_DIR "/tests/platform/workbook/") + QLatin1String(script)} + args);
    p.waitForFinished(timeoutMs);
    return p.readAllStandardOutput();
}

// One line of a dump script's output other than "FILE": an error, a sheet or a cell.
inline void parseDumpLine(BookDump& d, const QByteArray& line) {
    const QList<QByteArray> f = line.split('\t');
    // Names and texts hold tabs only escaped; the last field is everything after its tab.
    auto after = [&](int tabs) {
        qsizetype cut = -1;
        for (int i = 0; i < tabs; ++i)
            cut = line.indexOf('\t', cut + 1);
        return line.mid(cut + 1);
    };
    if (f[0] == "ERROR") {
        d.error = line.toStdString();
    } else if (f[0] == "SHEET") {
        d.names.push_back(after(2).toStdString());
        d.sheets.emplace_back();
    } else if (f.size() >= 4 && !d.sheets.empty()) {
        Cell c;
        c.kind = f[2].toStdString();
        const QByteArray value = after(3);
        if (c.kind == "number" || c.kind == "date")
            c.number = std::strtod(value.constData(), nullptr);
        else
            c.text = value.toStdString();
        d.sheets.back()[{f[0].toInt(), f[1].toInt()}] = c;
    }
}

// The dumps of several files, by the path each "FILE" line names.
inline std::map<QString, BookDump> parseDumps(const QByteArray& output) {
    std::map<QString, BookDump> out;
    BookDump* cur = nullptr;
    for (const QByteArray& line : output.split('\n')) {
        if (line.isEmpty())
            continue;
        if (line.startsWith("FILE\t"))
            cur = &out[QString::fromUtf8(line.mid(5))];
        else if (cur)
            parseDumpLine(*cur, line);
    }
    return out;
}

// xlrd's view of each file, from one python process.
inline std::map<QString, BookDump> xlrdDump(const QStringList& files) {
    return parseDumps(runDumpScript("xlrd_dump.py", files, 600000));
}

// The top-level records of a stream: (type, bytes including header).
struct RawRecord {
    uint16_t type;
    uint32_t pos;
    Bytes bytes;
};
inline std::vector<RawRecord> records(const Bytes& s) {
    std::vector<RawRecord> out;
    uint32_t pos = 0;
    workbook::xls::Rec r;
    while (workbook::xls::recordAt(s, pos, r)) {
        out.push_back({r.type, pos, Bytes(s.begin() + pos, s.begin() + pos + 4 + r.len)});
        pos += 4 + r.len;
    }
    return out;
}

inline workbook::LoadedFile load(const QString& path) {
    const Bytes b = readBytes(path);
    return workbook::loadXls(b.data(), b.size());
}

} // namespace rostrel::test::xlsutil
