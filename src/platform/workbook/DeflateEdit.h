// Editing a deflated ZIP member without recompressing all of it: the block starts found while
// the member was inflated let an edited copy reuse every original block far enough from the
// edits (bit for bit, shifted), recompress only the regions around them, and prove by decoding
// those regions that the copy holds exactly the edited content. A save of one cell in a
// sheet of megabytes then costs a few hundred kilobytes of work. Internal to the engine.
#pragma once

#include "platform/workbook/Codec.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rostrel::workbook::zip {

// A place where a deflate block begins: decoding can start there given the content before it
// (at most the last 32 KiB of it are used).
struct BlockMark {
    uint64_t bit = 0; // in the compressed data
    uint64_t out = 0; // in the content
    uint32_t crc = 0; // CRC-32 of the content before `out`
    // The content's last 32 KiB (or less, near the start) before `out`, on some marks only.
    std::shared_ptr<const FileBytes> window;
};

struct DeflateIndex {
    std::vector<BlockMark> marks; // ascending; the first is the start of the stream
    uint64_t size = 0;            // of the content
    uint32_t crc = 0;             // of the whole content
    bool empty() const { return marks.empty(); }
};

constexpr uint64_t kWindowSize = 32768;

// Content bytes [from, to) of an indexed deflated member, decoded from the nearest mark that
// keeps a window. Throws WorkbookError Damaged.
FileBytes inflateRange(const uint8_t* data, size_t size, const DeflateIndex& index, uint64_t from, uint64_t to);

// Replaces content [pos, pos + len) with `text`.
struct ContentEdit {
    uint64_t pos = 0, len = 0;
    std::string text;
};

// A span of the original content that is recompressed: from a block start to a block start at
// least 32 KiB past the last edit in it (the content after an edit then decodes as before), or
// to the end of the content.
struct Region {
    size_t first = 0; // mark where it begins
    size_t last = 0;  // mark where it ends; marks.size() for the end of the content
    uint64_t begin = 0, end = 0;
};

// The regions that cover the edits (sorted by position, none overlapping).
std::vector<Region> planRegions(const DeflateIndex& index, const std::vector<ContentEdit>& edits);

struct EditedMember {
    FileBytes data; // the new compressed data
    DeflateIndex index;
    // The recompressed regions as decoded back from `data`: where each begins in the new
    // content, and its bytes.
    struct Decoded {
        uint64_t begin = 0;
        FileBytes bytes;
    };
    std::vector<Decoded> decoded;
};

// The member with `edits` applied. `original(from, to)` returns original content [from, to);
// it is asked once per region, for the region and the 32 KiB before it. Marks of the new index
// keep the windows they had where the content before them is unchanged (and get one at the end
// of each region when `windows` is set). Throws WorkbookError: Damaged when the new data does
// not decode to the edited content (nothing of it may be written then), Unsupported for edits
// outside the regions.
EditedMember editDeflated(const uint8_t* data, size_t size, const DeflateIndex& index,
                          const std::vector<Region>& regions, const std::vector<ContentEdit>& edits,
                          const std::function<FileBytes(uint64_t, uint64_t)>& original, bool windows);

// Where offsets of the original content lie once the edits (sorted by position) are in.
class PositionShift {
public:
    explicit PositionShift(const std::vector<ContentEdit>& edits);
    // An insertion at `pos` itself counts as before it when `insertionsBefore` is set.
    uint64_t operator()(uint64_t pos, bool insertionsBefore) const;

private:
    std::vector<uint64_t> pos_;
    std::vector<bool> insertion_;
    std::vector<int64_t> delta_; // delta_[i]: the shift once edits [0, i) are in
};

} // namespace rostrel::workbook::zip
