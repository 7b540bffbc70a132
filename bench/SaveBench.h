// What the engine's benchmarks share: the shared roll books, and one score written and saved
// through the public engine as the program saves (lock, verify, atomic replace).
#pragma once

#include "platform/workbook/Workbook.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <string>

namespace rostrel::bench {

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
