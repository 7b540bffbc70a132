// The OLE2 compound document around the workbook stream, held in memory: read with libgsf,
// written back with every stream and storage (and their class ids) as they were. Internal.
#pragma once

#include "platform/workbook/Bytes.h"

#include <array>
#include <string>
#include <vector>

namespace rostrel::workbook::ole {

struct Entry {
    std::string name; // UTF-8
    bool storage = false;
    xls::Bytes data;         // streams
    bool hasClassId = false; // storages, and streams whose directory entry holds one
    std::array<uint8_t, 16> classId{};
    std::vector<Entry> children; // storages
};

struct Document {
    Entry root;
    // libgsf warned while reading (an entry may have been dropped): writing the document back
    // could lose data.
    bool lossy = false;
    std::string warnings;
};

bool hasOleSignature(const uint8_t* data, size_t size);
// Throws WorkbookError NotOle or Damaged (also for a directory whose shape libgsf cannot take
// safely: too many entries, links chained too deeply, loops).
Document read(const uint8_t* data, size_t size);
// The compound document's bytes. Throws WorkbookError Damaged when libgsf complains.
xls::Bytes write(const Document& doc);

} // namespace rostrel::workbook::ole
