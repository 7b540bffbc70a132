// Writing an edited deflated member: original blocks far from the edits copied bit for bit
// (shifted), the regions around the edits recompressed in place, and the new block index.
#include "platform/workbook/DeflateDetail.h"

#include "platform/workbook/Workbook.h"

#include <algorithm>

namespace rostrel::workbook::zip {

using namespace detail;

namespace {

// Recompressed pieces are flushed to a byte boundary this often, so that later edits nearby
// find a block start close to them.
constexpr size_t kChunk = 64 * 1024;

uint32_t combine(uint32_t a, uint32_t b, uint64_t lenB) {
    return static_cast<uint32_t>(crc32_combine64(a, b, static_cast<z_off64_t>(lenB)));
}
// The CRC of content [a, b) from the CRCs of [0, a) and [0, b).
uint32_t crcBetween(uint32_t crcA, uint64_t a, uint32_t crcB, uint64_t b) {
    return crcB ^ combine(crcA, 0, b - a);
}

// A bit stream in deflate's order: bit 0 of each byte comes first.
class BitWriter {
public:
    FileBytes bytes;
    uint64_t bits = 0;

    // Appends bits [from, to) of `src`.
    void append(const uint8_t* src, uint64_t from, uint64_t to) {
        // A bit at a time until the writer is byte-aligned, then whole bytes.
        while (from < to && (bits % 8 != 0 || from % 8 != 0)) {
            if (bits % 8 == 0 && to - from >= 8) {
                appendShifted(src, from, to);
                return;
            }
            putBit((src[from / 8] >> (from % 8)) & 1);
            ++from;
        }
        if (from >= to)
            return;
        // Both aligned.
        const uint64_t whole = (to - from) / 8;
        bytes.insert(bytes.end(), src + from / 8, src + from / 8 + whole);
        bits += whole * 8;
        from += whole * 8;
        for (; from < to; ++from)
            putBit((src[from / 8] >> (from % 8)) & 1);
    }

private:
    void putBit(unsigned b) {
        if (bits % 8 == 0)
            bytes.push_back(0);
        bytes.back() = static_cast<uint8_t>(bytes.back() | (b << (bits % 8)));
        ++bits;
    }
    // The writer is byte-aligned, the source is not: whole bytes put together from two.
    void appendShifted(const uint8_t* src, uint64_t from, uint64_t to) {
        const unsigned s = static_cast<unsigned>(from % 8);
        const uint64_t whole = (to - from) / 8;
        const uint8_t* p = src + from / 8;
        const size_t at = bytes.size();
        bytes.resize(at + whole);
        for (uint64_t i = 0; i < whole; ++i)
            bytes[at + i] = static_cast<uint8_t>((p[i] >> s) | (p[i + 1] << (8 - s)));
        bits += whole * 8;
        for (from += whole * 8; from < to; ++from)
            putBit((src[from / 8] >> (from % 8)) & 1);
    }
};

} // namespace

EditedMember editDeflated(const uint8_t* data, size_t size, const DeflateIndex& index,
                          const std::vector<Region>& regions, const std::vector<ContentEdit>& edits,
                          const std::function<FileBytes(uint64_t, uint64_t)>& original, bool windows) {
    const auto& marks = index.marks;
    if (marks.empty() || marks.front().bit != 0 || marks.front().out != 0)
        damaged("the member has no index");
    EditedMember result;
    BitWriter w;
    w.bytes.reserve(size + 4096);

    std::vector<RegionCheck> checks;
    std::vector<BlockCopy> copies;
    std::vector<BlockMark> placed; // marks of the copied blocks

    size_t nextMark = 0; // the first original mark not yet placed
    uint64_t oldPos = 0; // original content before this is placed
    uint32_t oldCrc = 0; // CRC of original content [0, oldPos)
    uint64_t newPos = 0; // content written so far
    uint32_t newCrc = 0; // its CRC
    size_t edit = 0;
    bool ended = false;

    // Original blocks [nextMark, upTo) at the end of what is written; `bitEnd` ends the last.
    auto copyOriginal = [&](size_t upTo, uint64_t bitEnd, uint64_t posEnd, uint32_t crcEnd) {
        for (size_t i = nextMark; i < upTo; ++i) {
            const BlockMark& m = marks[i];
            BlockMark n = m;
            n.bit = w.bits;
            n.out = newPos + (m.out - oldPos);
            n.crc = combine(newCrc, crcBetween(oldCrc, oldPos, m.crc, m.out), m.out - oldPos);
            placed.push_back(std::move(n));
            const uint64_t to = i + 1 < upTo ? marks[i + 1].bit : bitEnd;
            if (m.bit + 3 > to || m.bit + 3 > static_cast<uint64_t>(size) * 8)
                damaged("a block of the member is cut short");
            const bool stored = ((data[(m.bit + 1) / 8] >> ((m.bit + 1) % 8)) & 1) == 0 &&
                                ((data[(m.bit + 2) / 8] >> ((m.bit + 2) % 8)) & 1) == 0;
            if (stored) {
                const uint64_t at = (m.bit + 3 + 7) / 8;
                if (at + 4 > size)
                    damaged("a stored block of the member is cut short");
                const uint64_t len = data[at] | (data[at + 1] << 8);
                const uint64_t blockEnd = (at + 4 + len) * 8;
                if (blockEnd > static_cast<uint64_t>(size) * 8 || (i + 1 < upTo && blockEnd != to))
                    damaged("a stored block of the member does not end where the next begins");
                copies.push_back({m.bit, blockEnd, w.bits, true});
                w.append(data, m.bit, m.bit + 3);
                w.bits = w.bytes.size() * 8; // the padding to the byte
                w.append(data, at * 8, blockEnd);
                if (i + 1 == upTo && to > blockEnd) // the end of the data after a final stored block
                    w.append(data, blockEnd, to);
            } else {
                copies.push_back({m.bit, to, w.bits, false});
                w.append(data, m.bit, to);
            }
        }
        newCrc = combine(newCrc, crcBetween(oldCrc, oldPos, crcEnd, posEnd), posEnd - oldPos);
        newPos += posEnd - oldPos;
        oldPos = posEnd;
        oldCrc = crcEnd;
        nextMark = upTo;
    };

    for (const Region& r : regions) {
        if (r.first < nextMark || r.first >= marks.size() || r.last <= r.first || r.last > marks.size() ||
            (r.last == marks.size() && r.end != index.size))
            throw WorkbookError(WorkbookError::Code::Unsupported, "the regions of an edit are out of order");
        const BlockMark& s = marks[r.first];
        copyOriginal(r.first, s.bit, s.out, s.crc);

        const bool final = r.last == marks.size();
        const uint64_t end = final ? index.size : marks[r.last].out;
        const uint64_t dictFrom = s.out - std::min<uint64_t>(s.out, kWindowSize);
        FileBytes old = original(dictFrom, end);
        if (old.size() != end - dictFrom)
            damaged("the original content of an edited region is missing");
        RegionCheck c;
        c.dict.assign(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(s.out - dictFrom));
        // The region's new content: its original with the edits inside it applied.
        uint64_t at = s.out;
        for (; edit < edits.size() && (edits[edit].pos < end || (final && edits[edit].pos == end)); ++edit) {
            const ContentEdit& e = edits[edit];
            if (e.pos < at || e.pos + e.len > end || (!final && e.pos + e.len + kWindowSize > end))
                throw WorkbookError(WorkbookError::Code::Unsupported, "an edit lies outside its region");
            c.content.insert(c.content.end(), old.begin() + static_cast<std::ptrdiff_t>(at - dictFrom),
                             old.begin() + static_cast<std::ptrdiff_t>(e.pos - dictFrom));
            c.content.insert(c.content.end(), e.text.begin(), e.text.end());
            at = e.pos + e.len;
        }
        c.content.insert(c.content.end(), old.begin() + static_cast<std::ptrdiff_t>(at - dictFrom), old.end());
        c.final = final;
        c.begin = newPos;
        c.crc = newCrc;
        c.window = s.window;

        // Compressed right after the bits written so far: the partial last byte goes first.
        Deflater def;
        if (!c.dict.empty() && deflateSetDictionary(&def.z, c.dict.data(), static_cast<uInt>(c.dict.size())) != Z_OK)
            throw std::bad_alloc();
        c.startBit = w.bits;
        if (const unsigned k = w.bits % 8) {
            const int pending = w.bytes.back() & ((1 << k) - 1);
            w.bytes.pop_back();
            w.bits -= k;
            if (deflatePrime(&def.z, static_cast<int>(k), pending) != Z_OK)
                throw std::bad_alloc();
        }
        for (size_t done = 0;;) {
            const size_t n = std::min(kChunk, c.content.size() - done);
            const bool last = done + n == c.content.size();
            const int flush = last && final ? Z_FINISH : Z_SYNC_FLUSH;
            def.z.next_in = const_cast<Bytef*>(c.content.data() + done);
            def.z.avail_in = static_cast<uInt>(n);
            int rc;
            do {
                const size_t room = deflateBound(&def.z, static_cast<uLong>(n)) + 64;
                const size_t have = w.bytes.size();
                w.bytes.resize(have + room);
                def.z.next_out = w.bytes.data() + have;
                def.z.avail_out = static_cast<uInt>(room);
                rc = deflate(&def.z, flush);
                w.bytes.resize(have + room - def.z.avail_out);
                if (rc == Z_STREAM_ERROR)
                    throw WorkbookError(WorkbookError::Code::Unsupported, "a package member could not be compressed");
            } while (flush == Z_FINISH ? rc != Z_STREAM_END : def.z.avail_out == 0);
            w.bits = w.bytes.size() * 8;
            done += n;
            if (last)
                break;
        }
        c.endBit = w.bits;
        newPos += c.content.size();
        newCrc = crcOf(newCrc, c.content.data(), c.content.size());
        if (final) {
            ended = true;
        } else {
            // The original continues at the region's end: what the region replaced is skipped.
            oldPos = marks[r.last].out;
            oldCrc = marks[r.last].crc;
            nextMark = r.last;
        }
        checks.push_back(std::move(c));
    }
    if (edit != edits.size())
        throw WorkbookError(WorkbookError::Code::Unsupported, "an edit lies outside its region");
    if (!ended)
        copyOriginal(marks.size(), static_cast<uint64_t>(size) * 8, index.size, index.crc);
    result.index.size = newPos;
    result.index.crc = newCrc;
    result.data = std::move(w.bytes);

    proveEdited(data, result, copies, checks, std::move(placed), windows);
    return result;
}

} // namespace rostrel::workbook::zip
