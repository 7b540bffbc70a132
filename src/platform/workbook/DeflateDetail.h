// What the deflate editing's files share (DeflateEdit.cpp reading through the block index,
// DeflateRecompress.cpp writing the edited member, DeflateVerify.cpp proving it): what the
// writer hands to the proof. Internal to the engine.
#pragma once

#include "platform/workbook/DeflateEdit.h"
#include "platform/workbook/ZipDetail.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace rostrel::workbook::zip::detail {

// What a recompressed region must decode to, checked once everything is written.
struct RegionCheck {
    uint64_t startBit = 0, endBit = 0;
    FileBytes dict, content;
    bool final = false;
    uint64_t begin = 0;
    uint32_t crc = 0; // of the new content before it
    std::shared_ptr<const FileBytes> window;
};
// An original block copied into the edited member, checked against the original. A stored block
// is byte-aligned: it is written again at its new place (same header bits, same bytes) rather
// than shifted.
struct BlockCopy {
    uint64_t from, to, at;
    bool stored;
};

// The proof that `result.data` decodes to the edited content of the original `data`; fills in
// `result.decoded` and `result.index.marks` (the `placed` marks of the copied blocks, given a
// window where a region ends when `windows` is set, and the block starts inside the regions).
// Throws WorkbookError Damaged when it does not decode so.
void proveEdited(const uint8_t* data, EditedMember& result, const std::vector<BlockCopy>& copies,
                 std::vector<RegionCheck>& checks, std::vector<BlockMark> placed, bool windows);

} // namespace rostrel::workbook::zip::detail
