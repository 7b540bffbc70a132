// What the engine's benchmarks share: the shared roll books, and one score written and saved
// through the public engine as the program saves (lock, verify, atomic replace).
#pragma once

#include "platform/workbook/Workbook.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

namespace rostrel::bench {

// The first line a Python reference reader prints for `file`: it runs /usr/bin/python3 with
// `script` (which holds no double quote, dollar sign or backquote); "" when it cannot run.
inline std::string referenceReaderOutput(const std::string& script, const std::string& file) {
    const std::string cmd = "/usr/bin/python3 -c \"" + script + "\" '" + file + "' 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return {};
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, p) != nullptr;
    ::pclose(p);
    return read ? std::string(line) : std::string();
}

inline std::string fixture(const char* name) {
    return std::string(ROSTREL_FIXTURES_DIR) + "/" + name;
}

// Writes a score into the last (empty) score column of big_class in `fileName` and saves it,
// once per iteration; the workbook stays open, as in the program.
inline void setCellAndSave(benchmark::State& state, const char* fileName) {
    QTemporaryDir dir;
    const QString copy = dir.filePath(QString::fromUtf8(fileName));
    QFile::copy(QString::fromStdString(fixture(fileName)), copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    auto book = workbook::openWorkbook(copy.toStdString());
    book->activate(1);
    int i = 0;
    for (auto _ : state) {
        ++i;
        book->setCell(3 + i % 3000, 46, workbook::CellValue::fromNumber(i % 100));
        book->save();
    }
}

} // namespace rostrel::bench
