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

inline bool odfAvailable() {
    return pythonHas("odf");
}

// python3-odf's view of each file, from one python process.
inline std::map<QString, BookDump> odfDump(const QStringList& files) {
    return parseDumps(runDumpScript("odf_dump.py", files, 900000));
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
