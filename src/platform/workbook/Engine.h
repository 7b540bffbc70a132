// Loading and saving a whole .xls file in memory: the container and the workbook stream.
// Internal to the engine (the command-line companion, tests and the fuzz harness use it too).
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
xls::Bytes saveXls(const LoadedFile& file, xls::Bytes* newStream = nullptr);

// Writes `bytes` to `path` through a temporary file in the same folder: written, flushed,
// given the original's permissions, then renamed over it. Throws WorkbookError Io.
void writeFileAtomically(const std::string& path, const xls::Bytes& bytes);

} // namespace rostrel::workbook
