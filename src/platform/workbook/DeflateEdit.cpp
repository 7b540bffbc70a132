#include "platform/workbook/DeflateEdit.h"

#include "platform/workbook/Workbook.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace rostrel::workbook::zip {

namespace {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the package is damaged: " + what);
}
[[noreturn]] void notWritten(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the edited member does not read back: " + what);
}

// Recompressed pieces are flushed to a byte boundary this often, so that later edits nearby
// find a block start close to them.
constexpr size_t kChunk = 64 * 1024;

uint32_t crcOf(uint32_t crc, const uint8_t* p, size_t n) {
    while (n > 0) {
        const uInt step = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        crc = static_cast<uint32_t>(crc32(crc, p, step));
        p += step;
        n -= step;
    }
    return crc;
}
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

class Inflate {
public:
    Inflate() {
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            throw std::bad_alloc();
    }
    ~Inflate() { inflateEnd(&z); }
    Inflate(const Inflate&) = delete;
    Inflate& operator=(const Inflate&) = delete;

    // Positions the decoder at bit `bit` of `data` with `dict` as the content before it.
    void startAt(const uint8_t* data, size_t size, uint64_t bit, const uint8_t* dict, size_t dictLen) {
        size_t at = static_cast<size_t>(bit / 8);
        if (at > size || (bit % 8 != 0 && at >= size))
            damaged("a block start lies outside the member");
        if (const unsigned rem = bit % 8) {
            if (inflatePrime(&z, static_cast<int>(8 - rem), data[at] >> rem) != Z_OK)
                damaged("a block start cannot be decoded");
            ++at;
        }
        if (dictLen > 0 && inflateSetDictionary(&z, dict, static_cast<uInt>(dictLen)) != Z_OK)
            damaged("a block start cannot be decoded");
        base = data;
        z.next_in = const_cast<Bytef*>(data + at);
        z.avail_in = static_cast<uInt>(std::min<size_t>(size - at, 0x7FFFFFFF));
    }
    // The bit position of the decoder (meaningful at a block boundary).
    uint64_t bitPosition() const {
        return static_cast<uint64_t>(z.next_in - base) * 8 - static_cast<unsigned>(z.data_type & 7);
    }
    bool atBlockBoundary() const { return (z.data_type & 128) != 0; }

    z_stream z{};
    const uint8_t* base = nullptr;
};

class Deflate {
public:
    Deflate() {
        // The fastest level: a save must feel instant, and XML compresses well at any level.
        if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
    }
    ~Deflate() { deflateEnd(&z); }
    Deflate(const Deflate&) = delete;
    Deflate& operator=(const Deflate&) = delete;
    z_stream z{};
};

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

FileBytes inflateRange(const uint8_t* data, size_t size, const DeflateIndex& index, uint64_t from, uint64_t to) {
    if (index.empty() || from > to || to > index.size)
        damaged("a range outside the member was asked for");
    FileBytes out;
    if (from == to)
        return out;
    const BlockMark* start = &index.marks.front();
    for (const BlockMark& m : index.marks) {
        if (m.out > from)
            break;
        if (m.out == 0 || m.window)
            start = &m;
    }
    Inflate inf;
    const FileBytes* w = start->window.get();
    inf.startAt(data, size, start->bit, w ? w->data() : nullptr, w ? w->size() : 0);
    const uint64_t want = to - start->out;
    FileBytes buf(static_cast<size_t>(std::min<uint64_t>(want, 1u << 20)));
    uint64_t produced = 0;
    out.reserve(static_cast<size_t>(to - from));
    while (produced < want) {
        const auto room = static_cast<uInt>(std::min<uint64_t>(buf.size(), want - produced));
        inf.z.next_out = buf.data();
        inf.z.avail_out = room;
        const int rc = inflate(&inf.z, Z_NO_FLUSH);
        const size_t got = room - inf.z.avail_out;
        if (rc != Z_OK && rc != Z_STREAM_END)
            damaged("a member does not inflate");
        const uint64_t lo = std::max(produced, from - start->out), hi = produced + got;
        if (hi > lo)
            out.insert(out.end(), buf.begin() + static_cast<std::ptrdiff_t>(lo - produced),
                       buf.begin() + static_cast<std::ptrdiff_t>(hi - produced));
        produced += got;
        if (rc == Z_STREAM_END || got == 0)
            break;
    }
    if (produced < want)
        damaged("a member ends before its declared size");
    return out;
}

std::vector<Region> planRegions(const DeflateIndex& index, const std::vector<ContentEdit>& edits) {
    std::vector<Region> regions;
    const auto& marks = index.marks;
    for (const ContentEdit& e : edits) {
        const uint64_t b = e.pos, end = e.pos + e.len;
        // The last block start at or before the edit.
        auto s =
            std::upper_bound(marks.begin(), marks.end(), b, [](uint64_t v, const BlockMark& m) { return v < m.out; });
        const size_t first = static_cast<size_t>(s - marks.begin()) - 1;
        // The first block start whose 32 KiB before it lie past the edit.
        auto u = std::lower_bound(marks.begin() + static_cast<std::ptrdiff_t>(first), marks.end(), end + kWindowSize,
                                  [](const BlockMark& m, uint64_t v) { return m.out < v; });
        Region r;
        r.first = first;
        r.last = static_cast<size_t>(u - marks.begin());
        r.begin = marks[first].out;
        r.end = r.last == marks.size() ? index.size : marks[r.last].out;
        if (!regions.empty() && r.first < regions.back().last) {
            Region& prev = regions.back();
            if (r.last > prev.last) {
                prev.last = r.last;
                prev.end = r.end;
            }
        } else {
            regions.push_back(r);
        }
    }
    return regions;
}

PositionShift::PositionShift(const std::vector<ContentEdit>& edits) {
    delta_.push_back(0);
    for (const ContentEdit& e : edits) {
        pos_.push_back(e.pos);
        insertion_.push_back(e.len == 0);
        delta_.push_back(delta_.back() + static_cast<int64_t>(e.text.size()) - static_cast<int64_t>(e.len));
    }
}

uint64_t PositionShift::operator()(uint64_t pos, bool insertionsBefore) const {
    size_t k = static_cast<size_t>(std::lower_bound(pos_.begin(), pos_.end(), pos) - pos_.begin());
    while (insertionsBefore && k < pos_.size() && pos_[k] == pos && insertion_[k])
        ++k;
    return static_cast<uint64_t>(static_cast<int64_t>(pos) + delta_[k]);
}

EditedMember editDeflated(const uint8_t* data, size_t size, const DeflateIndex& index,
                          const std::vector<Region>& regions, const std::vector<ContentEdit>& edits,
                          const std::function<FileBytes(uint64_t, uint64_t)>& original, bool windows) {
    const auto& marks = index.marks;
    if (marks.empty() || marks.front().bit != 0 || marks.front().out != 0)
        damaged("the member has no index");
    EditedMember result;
    BitWriter w;
    w.bytes.reserve(size + 4096);

    // What each recompressed region must decode to, checked once everything is written.
    struct Check {
        uint64_t startBit = 0, endBit = 0;
        FileBytes dict, content;
        bool final = false;
        uint64_t begin = 0;
        uint32_t crc = 0; // of the new content before it
        std::shared_ptr<const FileBytes> window;
    };
    std::vector<Check> checks;
    // Copied blocks, checked against the original. A stored block is byte-aligned: it is
    // written again at its new place (same header bits, same bytes) rather than shifted.
    struct Copy {
        uint64_t from, to, at;
        bool stored;
    };
    std::vector<Copy> copies;
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
        Check c;
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
        Deflate def;
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

    // The proof: every copied block equals the original's, and every recompressed region
    // decodes, from its start with the content before it, to exactly its new content and ends
    // where the next copied block begins. The decoder's state at a block start is its position
    // and the last 32 KiB, so the whole member decodes to the edited content.
    const uint8_t* out = result.data.data();
    for (const Copy& c : copies) {
        const bool same = c.stored ? sameBits(out, c.at, data, c.from, 3) &&
                                         sameBits(out, (c.at + 3 + 7) / 8 * 8, data, (c.from + 3 + 7) / 8 * 8,
                                                  c.to - (c.from + 3 + 7) / 8 * 8)
                                   : sameBits(out, c.at, data, c.from, c.to - c.from);
        if (!same)
            notWritten("a copied block differs from the original");
    }
    std::vector<BlockMark> found; // block starts inside the regions, found while decoding them
    for (Check& c : checks) {
        Inflate inf;
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
    return result;
}

} // namespace rostrel::workbook::zip
