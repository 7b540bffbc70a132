// Loading and saving a whole .xls file in memory: the container and the workbook stream, under
// the .xls codec (XlsCodec.cpp). Internal to the engine (tests and the fuzz harness use it too).
#pragma once

#include "platform/workbook/Biff.h"
#include "platform/workbook/Ole.h"

#include <memory>

namespace rostrel::workbook {

struct LoadedFile {
    ole::Document doc;
    std::vector<size_t> streamPath; // child indices from the root to the workbook stream
    std::unique_ptr<xls::Book> book;

    ole::Entry& stream();
};

// Parses an .xls file's bytes. Throws WorkbookError.
LoadedFile loadXls(const uint8_t* data, size_t size);
// The file's bytes with the book's edits applied (and the new workbook stream in `newStream`);
// `file` itself is not changed. Throws WorkbookError (Damaged when the container could not be
// rewritten without loss).
xls::Bytes saveXls(const LoadedFile& file, xls::Bytes* newStream = nullptr,
                   std::unique_ptr<xls::Book>* readBack = nullptr);

} // namespace rostrel::workbook
