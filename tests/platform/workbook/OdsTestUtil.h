// Helpers of the .ods tests: the codec's view of a file and python3-odf's view of it, in the
// dump format the .xls tests use.
#pragma once

#include "XlsTestUtil.h"

#include "platform/workbook/OdsCodec.h"

namespace rostrel::test::odsutil {

using namespace rostrel::test::xlsutil;
using workbook::Codec;

inline QString odsDir(const char* sub) {
    return QDir(QStringLiteral(ROSTREL_FIXTURES_DIR)).filePath(QStringLiteral("ods/") + QLatin1String(sub));
}

inline std::unique_ptr<Codec> openOds(const QString& path) {
    return workbook::openOdsCodec(readBytes(path));
}

inline BookDump codecDump(const Codec& codec) {
    BookDump d;
    for (int s = 1; s <= codec.sheetCount(); ++s) {
        d.names.push_back(escape(codec.sheetName(s)));
        SheetDump sheet;
        codec.forEachCell(s, [&](int r, int c, const CellValue& v) { sheet[{r, c}] = toCell(v); });
        d.sheets.push_back(std::move(sheet));
    }
    return d;
}

inline bool odfAvailable() {
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) &&
           QProcess::execute(QStringLiteral("/usr/bin/python3"),
                             {QStringLiteral("-c"), QStringLiteral("import odf")}) == 0;
}

// python3-odf's view of each file, from one python process.
inline std::map<QString, BookDump> odfDump(const QStringList& files) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(ROSTREL_SOURCE_DIR "/tests/platform/workbook/odf_dump.py")} + files);
    p.waitForFinished(900000);
    std::map<QString, BookDump> out;
    BookDump* cur = nullptr;
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> f = line.split('\t');
        if (f[0] == "FILE") {
            cur = &out[QString::fromUtf8(f.value(1))];
        } else if (!cur) {
            continue;
        } else if (f[0] == "ERROR") {
            cur->error = line.toStdString();
        } else if (f[0] == "SHEET") {
            cur->names.push_back(line.mid(line.indexOf('\t', line.indexOf('\t') + 1) + 1).toStdString());
            cur->sheets.emplace_back();
        } else if (f.size() >= 3 && !cur->sheets.empty()) {
            Cell c;
            c.kind = f[2].toStdString();
            const int cut = static_cast<int>(line.indexOf('\t', line.indexOf('\t', line.indexOf('\t') + 1) + 1));
            const QByteArray value = line.mid(cut + 1);
            if (c.kind == "number" || c.kind == "date")
                c.number = std::strtod(value.constData(), nullptr);
            else
                c.text = value.toStdString();
            cur->sheets.back()[{f[0].toInt(), f[1].toInt()}] = c;
        }
    }
    return out;
}

inline std::string describe(const Cell& c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", c.number);
    return c.kind + ":" + (c.kind == "number" || c.kind == "date" ? std::string(buf) : c.text);
}

// The first difference between two dumps, or "".
inline std::string compare(const BookDump& mine, const BookDump& theirs, const char* who) {
    if (mine.names != theirs.names)
        return "sheet names differ";
    for (size_t s = 0; s < mine.sheets.size(); ++s) {
        const SheetDump& a = mine.sheets[s];
        const SheetDump& b = theirs.sheets[s];
        auto where = [&](const std::pair<int, int>& rc) {
            return "sheet " + std::to_string(s + 1) + " cell " + std::to_string(rc.first) + "," +
                   std::to_string(rc.second);
        };
        for (const auto& [rc, cell] : a) {
            auto it = b.find(rc);
            if (it == b.end() || !(it->second == cell))
                return where(rc) + ": ours " + describe(cell) + ", " + who + " " +
                       (it == b.end() ? "empty" : describe(it->second));
        }
        for (const auto& [rc, cell] : b)
            if (!a.count(rc))
                return where(rc) + ": ours empty, " + who + " " + describe(cell);
    }
    return {};
}

} // namespace rostrel::test::odsutil
