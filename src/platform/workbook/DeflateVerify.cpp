// The proof that an edited deflated member holds exactly the edited content, made before any
// of it may be written: copied blocks compared bit for bit, recompressed regions decoded.
#include "platform/workbook/DeflateDetail.h"

#include <cstring>

namespace rostrel::workbook::zip::detail {

namespace {

[[noreturn]] void notWritten(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the edited member does not read back: " + what);
}

// Whether bits [aFrom, aFrom + n) of `a` equal bits [bFrom, bFrom + n) of `b`.
bool sameBits(const uint8_t* a, uint64_t aFrom, const uint8_t* b, uint64_t bFrom, uint64_t n) {
    auto byteAt = [](const uint8_t* p, uint64_t bit, uint64_t left) {
        const unsigned s = static_cast<unsigned>(bit % 8);
        unsigned v = p[bit / 8] >> s;
        if (s != 0 && left > 8 - s)
            v |= static_cast<unsigned>(p[bit / 8 + 1]) << (8 - s);
        const unsigned keep = left >= 8 ? 8 : static_cast<unsigned>(left);
        return v & ((1u << keep) - 1);
    };
    if (aFrom % 8 == bFrom % 8) {
        while (n > 0 && aFrom % 8 != 0) {
            if (((a[aFrom / 8] >> (aFrom % 8)) & 1) != ((b[bFrom / 8] >> (bFrom % 8)) & 1))
                return false;
            ++aFrom, ++bFrom, --n;
        }
        const uint64_t whole = n / 8;
        if (std::memcmp(a + aFrom / 8, b + bFrom / 8, whole) != 0)
            return false;
        aFrom += whole * 8, bFrom += whole * 8, n -= whole * 8;
    }
    while (n > 0) {
        if (byteAt(a, aFrom, n) != byteAt(b, bFrom, n))
            return false;
        const uint64_t step = std::min<uint64_t>(8, n);
        aFrom += step, bFrom += step, n -= step;
    }
    return true;
}

std::shared_ptr<const FileBytes> windowOf(const FileBytes& dict, const FileBytes& content, size_t end) {
    // The last 32 KiB of dict + content[0, end).
    FileBytes w;
    const size_t fromContent = std::min<size_t>(end, kWindowSize);
    const size_t fromDict = std::min<size_t>(dict.size(), kWindowSize - fromContent);
    w.reserve(fromDict + fromContent);
    w.insert(w.end(), dict.end() - static_cast<std::ptrdiff_t>(fromDict), dict.end());
    w.insert(w.end(), content.begin() + static_cast<std::ptrdiff_t>(end - fromContent),
             content.begin() + static_cast<std::ptrdiff_t>(end));
    return std::make_shared<const FileBytes>(std::move(w));
}

} // namespace

void proveEdited(const uint8_t* data, EditedMember& result, const std::vector<BlockCopy>& copies,
                 std::vector<RegionCheck>& checks, std::vector<BlockMark> placed, bool windows) {
    // The proof: every copied block equals the original's, and every recompressed region
    // decodes, from its start with the content before it, to exactly its new content and ends
    // where the next copied block begins. The decoder's state at a block start is its position
    // and the last 32 KiB, so the whole member decodes to the edited content.
    const uint8_t* out = result.data.data();
    for (const BlockCopy& c : copies) {
        const bool same = c.stored ? sameBits(out, c.at, data, c.from, 3) &&
                                         sameBits(out, (c.at + 3 + 7) / 8 * 8, data, (c.from + 3 + 7) / 8 * 8,
                                                  c.to - (c.from + 3 + 7) / 8 * 8)
                                   : sameBits(out, c.at, data, c.from, c.to - c.from);
        if (!same)
            notWritten("a copied block differs from the original");
    }
    std::vector<BlockMark> found; // block starts inside the regions, found while decoding them
    for (RegionCheck& c : checks) {
        Inflater inf;
        inf.startAt(out, result.data.size(), c.startBit, c.dict.data(), c.dict.size());
        FileBytes got(c.content.size() + 1);
        inf.z.next_out = got.data();
        inf.z.avail_out = static_cast<uInt>(got.size());
        found.push_back({c.startBit, c.begin, c.crc, c.window});
        uint64_t crcAt = 0;
        uint32_t crc = c.crc;
        for (bool done = false; !done;) {
            const int rc = inflate(&inf.z, Z_BLOCK);
            const uint64_t produced = got.size() - inf.z.avail_out;
            if (produced > c.content.size())
                notWritten("a region decodes too long");
            if (rc == Z_STREAM_END) {
                if (!c.final || produced != c.content.size())
                    notWritten("a region ends the member too early");
                done = true;
            } else if (rc != Z_OK) {
                notWritten("a region does not decode");
            } else if (inf.atBlockBoundary()) {
                const uint64_t at = inf.bitPosition();
                if (!c.final && produced == c.content.size() && at >= c.endBit) {
                    if (at > c.endBit)
                        notWritten("a region ends past its place");
                    done = true;
                } else if (!(inf.z.data_type & 64)) {
                    crc = crcOf(crc, got.data() + crcAt, produced - crcAt);
                    crcAt = produced;
                    found.push_back({at, c.begin + produced, crc, nullptr});
                }
            }
        }
        got.resize(c.content.size());
        if (got != c.content)
            notWritten("a region decodes to other content");
        // A window where the region ends, so that later reads nearby start close.
        if (windows && !c.final)
            for (BlockMark& m : placed)
                if (m.bit == c.endBit && !m.window)
                    m.window = windowOf(c.dict, c.content, c.content.size());
        result.decoded.push_back({c.begin, std::move(got)});
    }
    result.index.marks = std::move(placed);
    result.index.marks.insert(result.index.marks.end(), std::make_move_iterator(found.begin()),
                              std::make_move_iterator(found.end()));
    std::sort(result.index.marks.begin(), result.index.marks.end(),
              [](const BlockMark& a, const BlockMark& b) { return a.bit < b.bit; });
}

} // namespace rostrel::workbook::zip::detail
