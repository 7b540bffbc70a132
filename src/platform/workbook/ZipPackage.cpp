#include "platform/workbook/ZipPackage.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <limits>

namespace rostrel::workbook::zip {

namespace {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kEnd64Sig = 0x06064b50;
constexpr uint32_t kEnd64LocatorSig = 0x07064b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the package is damaged: " + what);
}

uint16_t rd16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t rd32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t rd64(const uint8_t* p) {
    return static_cast<uint64_t>(rd32(p)) | (static_cast<uint64_t>(rd32(p + 4)) << 32);
}

void put16(FileBytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(FileBytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putText(FileBytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}

// The fields a local header and its central-directory entry share, in their common order
// (from the version needed to extract to the extra field's length).
void putHeaderFields(FileBytes& out, const Package::Entry& e) {
    put16(out, e.versionNeeded);
    put16(out, e.flags);
    put16(out, e.method);
    put16(out, e.time);
    put16(out, e.date);
    put32(out, e.crc);
    put32(out, static_cast<uint32_t>(e.compressedSize));
    put32(out, static_cast<uint32_t>(e.size));
    put16(out, static_cast<uint16_t>(e.name.size()));
    put16(out, static_cast<uint16_t>(e.extra.size()));
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Names are never used as paths here, but a package that carries "../x" or "/etc/x" was made to
// attack an extracting program and is refused outright.
void checkName(const std::string& name) {
    if (name.empty())
        damaged("a member has no name");
    if (name.find('\0') != std::string::npos)
        damaged("a member name holds a NUL character");
    if (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'))
        damaged("the member name \"" + name + "\" is an absolute path");
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0 && end - start == 2)
            damaged("the member name \"" + name + "\" leaves the package (\"..\")");
        start = end + 1;
    }
}

// ZIP64 extended information: the fields present are those whose 32-bit value is saturated.
std::string readZip64Extra(const uint8_t* extra, size_t len, uint64_t& size, uint64_t& csize, uint64_t& offset) {
    std::string kept;
    size_t pos = 0;
    while (pos + 4 <= len) {
        const uint16_t id = rd16(extra + pos);
        const uint16_t n = rd16(extra + pos + 2);
        if (pos + 4 + n > len)
            damaged("a member's extra field is cut short");
        if (id == 0x0001) {
            size_t q = pos + 4;
            auto take = [&](uint64_t& field) {
                if (field != 0xFFFFFFFFu)
                    return;
                if (q + 8 > pos + 4 + n)
                    damaged("a ZIP64 field is cut short");
                field = rd64(extra + q);
                q += 8;
            };
            take(size);
            take(csize);
            take(offset);
        } else {
            kept.append(reinterpret_cast<const char*>(extra + pos), 4 + n);
        }
        pos += 4 + n;
    }
    return kept;
}

class Inflater {
public:
    Inflater() {
        if (inflateInit2(&z_, -MAX_WBITS) != Z_OK)
            throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&z_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream* get() { return &z_; }

private:
    z_stream z_{};
};

class Deflater {
public:
    Deflater() {
        // The fastest level: a save must feel instant, and XML compresses well at any level.
        if (deflateInit2(&z_, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
    }
    ~Deflater() { deflateEnd(&z_); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    z_stream* get() { return &z_; }

private:
    z_stream z_{};
};

FileBytes deflateAll(const FileBytes& data) {
    Deflater d;
    z_stream* z = d.get();
    FileBytes out(deflateBound(z, static_cast<uLong>(data.size())) + 16);
    z->next_in = const_cast<Bytef*>(data.data());
    z->avail_in = static_cast<uInt>(data.size());
    z->next_out = out.data();
    z->avail_out = static_cast<uInt>(out.size());
    if (deflate(z, Z_FINISH) != Z_STREAM_END)
        throw WorkbookError(WorkbookError::Code::Unsupported, "a package member could not be compressed");
    out.resize(z->total_out);
    return out;
}

uint32_t crcOf(const uint8_t* p, size_t n) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (n > 0) {
        const uInt step = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        crc = crc32(crc, p, step);
        p += step;
        n -= step;
    }
    return static_cast<uint32_t>(crc);
}

void dosNow(uint16_t& time, uint16_t& date) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    time = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    date = static_cast<uint16_t>(((std::max(tm.tm_year, 80) - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

} // namespace

bool looksLikeZip(const FileBytes& bytes) {
    return bytes.size() >= 4 && (rd32(bytes.data()) == kLocalSig || rd32(bytes.data()) == kEndSig);
}

Package Package::read(FileBytes bytes, Limits limits) {
    Package pkg;
    pkg.limits_ = limits;
    auto owned = std::make_shared<const FileBytes>(std::move(bytes));
    pkg.bytes_ = owned;
    const FileBytes& b = *owned;
    const uint8_t* d = b.data();
    const size_t n = b.size();

    // The end record lies within the last 64 KiB + 22 bytes (its comment is at most 65535).
    if (n < kEndSize)
        damaged("the file is too short for a ZIP archive");
    size_t end = std::string::npos;
    const size_t lowest = n > kEndSize + 0xFFFF ? n - kEndSize - 0xFFFF : 0;
    for (size_t p = n - kEndSize + 1; p-- > lowest;) {
        if (rd32(d + p) == kEndSig && p + kEndSize + rd16(d + p + 20) <= n) {
            end = p;
            break;
        }
    }
    if (end == std::string::npos)
        damaged("the central directory is missing (truncated file?)");
    if (rd16(d + end + 4) != 0 || rd16(d + end + 6) != 0)
        damaged("a multi-volume archive");
    uint64_t count = rd16(d + end + 10);
    uint64_t dirSize = rd32(d + end + 12);
    uint64_t dirOffset = rd32(d + end + 16);
    pkg.comment_.assign(reinterpret_cast<const char*>(d + end + kEndSize), rd16(d + end + 20));
    if (count == 0xFFFF || dirSize == 0xFFFFFFFFu || dirOffset == 0xFFFFFFFFu) {
        if (end < 20 || rd32(d + end - 20) != kEnd64LocatorSig)
            damaged("the ZIP64 directory locator is missing");
        const uint64_t at = rd64(d + end - 20 + 8);
        if (at > n || n - at < 56 || rd32(d + at) != kEnd64Sig)
            damaged("the ZIP64 end record is missing");
        count = rd64(d + at + 32);
        dirSize = rd64(d + at + 40);
        dirOffset = rd64(d + at + 48);
    }
    if (count > limits.maxMembers)
        damaged("too many members (" + std::to_string(count) + ")");
    if (dirOffset > n || dirSize > n - dirOffset)
        damaged("the central directory lies outside the file (truncated file?)");

    uint64_t total = 0;
    std::map<std::string, size_t> folded;
    size_t pos = dirOffset;
    const size_t dirEnd = dirOffset + dirSize;
    for (uint64_t i = 0; i < count; ++i) {
        if (dirEnd - pos < kCentralHeaderSize || rd32(d + pos) != kCentralSig)
            damaged("the central directory is cut short");
        const uint8_t* h = d + pos;
        Entry e;
        e.versionMadeBy = rd16(h + 4);
        e.versionNeeded = rd16(h + 6);
        e.flags = rd16(h + 8);
        e.method = rd16(h + 10);
        e.time = rd16(h + 12);
        e.date = rd16(h + 14);
        e.crc = rd32(h + 16);
        e.compressedSize = rd32(h + 20);
        e.size = rd32(h + 24);
        const size_t nameLen = rd16(h + 28), extraLen = rd16(h + 30), commentLen = rd16(h + 32);
        e.internalAttrs = rd16(h + 36);
        e.externalAttrs = rd32(h + 38);
        e.localOffset = rd32(h + 42);
        if (dirEnd - pos - kCentralHeaderSize < nameLen + extraLen + commentLen)
            damaged("the central directory is cut short");
        e.name.assign(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameLen);
        e.extra = readZip64Extra(h + kCentralHeaderSize + nameLen, extraLen, e.size, e.compressedSize, e.localOffset);
        e.comment.assign(reinterpret_cast<const char*>(h + kCentralHeaderSize + nameLen + extraLen), commentLen);
        pos += kCentralHeaderSize + nameLen + extraLen + commentLen;

        checkName(e.name);
        if (e.flags & 0x0041)
            throw WorkbookError(WorkbookError::Code::Damaged, "the package is encrypted: \"" + e.name + "\"");
        if (!folded.emplace(lowerAscii(e.name), size_t{0}).second)
            damaged("the member \"" + e.name + "\" appears twice");
        if (e.method == 0 && e.compressedSize != e.size)
            damaged("the stored member \"" + e.name + "\" has two sizes");
        if (e.size > limits.maxMemberSize)
            damaged("the member \"" + e.name + "\" is too large (" + std::to_string(e.size) + " bytes)");
        total += e.size;
        if (total > limits.maxTotalSize)
            damaged("the members are too large together");

        // The local header: its own name and extra lengths decide where the data begins.
        if (e.localOffset > n || n - e.localOffset < kLocalHeaderSize || rd32(d + e.localOffset) != kLocalSig)
            damaged("the member \"" + e.name + "\" has no local header");
        const uint64_t dataOffset =
            e.localOffset + kLocalHeaderSize + rd16(d + e.localOffset + 26) + rd16(d + e.localOffset + 28);
        if (dataOffset > n || e.compressedSize > n - dataOffset)
            damaged("the member \"" + e.name + "\" is cut short");
        e.dataOffset = dataOffset;
        pkg.index_.emplace(e.name, pkg.entries_.size());
        pkg.names_.push_back(e.name);
        pkg.entries_.push_back(std::move(e));
    }

    // Members whose data overlap are the trick of non-recursive ZIP bombs; no writer makes them.
    std::vector<const Entry*> byOffset;
    for (const Entry& e : pkg.entries_)
        byOffset.push_back(&e);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const Entry* a, const Entry* b) { return a->localOffset < b->localOffset; });
    for (size_t i = 1; i < byOffset.size(); ++i)
        if (byOffset[i - 1]->dataOffset + byOffset[i - 1]->compressedSize > byOffset[i]->localOffset)
            damaged("the members \"" + byOffset[i - 1]->name + "\" and \"" + byOffset[i]->name + "\" overlap");
    return pkg;
}

const std::vector<std::string>& Package::names() const {
    return names_;
}

bool Package::has(const std::string& name) const {
    return index_.count(name) != 0;
}

uint64_t Package::declaredSize(const std::string& name) const {
    auto it = index_.find(name);
    return it == index_.end() ? 0 : entries_[it->second].size;
}

const Package::Entry& Package::entry(const std::string& name) const {
    auto it = index_.find(name);
    if (it == index_.end())
        damaged("the member \"" + name + "\" is missing");
    return entries_[it->second];
}

Package::Raw Package::raw(const std::string& name) const {
    const Entry& e = entry(name);
    return {bytes_->data() + e.dataOffset, e.compressedSize, e.method};
}

struct MemberReader::State {
    const Package::Entry* entry = nullptr;
    uint64_t ratioCap = 0;
    DeflateIndex* index = nullptr;
    uint64_t windowEvery = 0;
    const uint8_t* start = nullptr; // the member's data
    const uint8_t* src = nullptr;   // what is not given to the inflater yet
    uint64_t inLeft = 0;
    uint64_t produced = 0;
    uint64_t lastWindow = 0; // for the index: where the last window was kept
    uLong crc = crc32(0L, Z_NULL, 0);
    bool ended = false;
    Inflater inflater;

    const std::string& name() const { return entry->name; }
    // The checks of the whole member, once its end is reached.
    void finish() {
        ended = true;
        if (produced != entry->size)
            damaged("the member \"" + name() + "\" is shorter than declared");
        if (index) {
            index->size = produced;
            index->crc = static_cast<uint32_t>(crc);
        }
        if (static_cast<uint32_t>(crc) != entry->crc)
            damaged("the member \"" + name() + "\" fails its checksum");
    }
    size_t stored(uint8_t* out, size_t size) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(size, inLeft));
        std::memcpy(out, src, step);
        crc = crc32(crc, out, static_cast<uInt>(step));
        src += step;
        inLeft -= step;
        produced += step;
        if (inLeft == 0)
            finish();
        return step;
    }
    size_t inflated(uint8_t* out, size_t size) {
        z_stream* z = inflater.get();
        while (true) {
            if (z->avail_in == 0) {
                const uInt step = static_cast<uInt>(std::min<uint64_t>(inLeft, 1u << 20));
                z->next_in = const_cast<Bytef*>(src);
                z->avail_in = step;
                src += step;
                inLeft -= step;
            }
            z->next_out = out;
            z->avail_out = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
            const uInt room = z->avail_out;
            const int rc = inflate(z, index ? Z_BLOCK : Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && z->avail_in == 0 && inLeft > 0))
                damaged("the member \"" + name() + "\" does not inflate");
            const size_t got = room - z->avail_out;
            produced += got;
            // The limit on what one member may inflate to: its declared size (itself within the
            // member limit), and the ratio once past the floor.
            if (produced > entry->size)
                damaged("the member \"" + name() + "\" inflates past its declared size");
            if (produced > ratioCap)
                damaged("the member \"" + name() + "\" inflates too far (a ZIP bomb?)");
            if (got > 0)
                crc = crc32(crc, out, static_cast<uInt>(got));
            else if (rc != Z_STREAM_END && z->avail_in == 0 && inLeft == 0 && !(index && (z->data_type & 128)))
                damaged("the member \"" + name() + "\" is cut short");
            // A block starts here (not past the last one).
            if (index && rc == Z_OK && (z->data_type & 128) && !(z->data_type & 64))
                mark(z);
            if (rc == Z_STREAM_END)
                finish();
            if (got > 0 || ended)
                return got;
        }
    }
    void mark(z_stream* z) {
        BlockMark m;
        m.bit = static_cast<uint64_t>(z->next_in - start) * 8 - static_cast<unsigned>(z->data_type & 7);
        m.out = produced;
        m.crc = static_cast<uint32_t>(crc);
        if (m.bit <= index->marks.back().bit)
            return;
        if (windowEvery > 0 && produced - lastWindow >= windowEvery) {
            // The inflater's own window is the content's last 32 KiB.
            FileBytes w(kWindowSize);
            uInt n = 0;
            if (inflateGetDictionary(z, w.data(), &n) == Z_OK) {
                w.resize(n);
                m.window = std::make_shared<const FileBytes>(std::move(w));
                lastWindow = produced;
            }
        }
        index->marks.push_back(std::move(m));
    }
};

MemberReader::MemberReader(const Package& package, const std::string& name, DeflateIndex* index, uint64_t windowEvery)
    : s_(std::make_unique<State>()) {
    const Package::Entry& e = package.entry(name);
    if (e.method != 0 && e.method != 8)
        damaged("the member \"" + name + "\" uses compression method " + std::to_string(e.method));
    State& s = *s_;
    s.entry = &e;
    s.ratioCap = std::max<uint64_t>(package.limits_.ratioFloor, e.compressedSize * package.limits_.maxRatio);
    s.start = s.src = package.bytes_->data() + e.dataOffset;
    s.inLeft = e.method == 0 ? e.size : e.compressedSize;
    if (index) {
        *index = {};
        if (e.method == 8) {
            s.index = index;
            s.windowEvery = windowEvery;
            index->marks.push_back({});
        }
    }
    if (e.method == 0 && e.size == 0)
        s.finish();
}

MemberReader::~MemberReader() = default;

size_t MemberReader::read(uint8_t* out, size_t size) {
    State& s = *s_;
    if (s.ended || size == 0)
        return 0;
    return s.entry->method == 0 ? s.stored(out, size) : s.inflated(out, size);
}

void Package::streamMember(const std::string& name, const std::function<void(const char*, size_t)>& chunk,
                           DeflateIndex* index, uint64_t windowEvery) const {
    MemberReader reader(*this, name, index, windowEvery);
    std::vector<uint8_t> buf(64 * 1024);
    while (const size_t n = reader.read(buf.data(), buf.size()))
        chunk(reinterpret_cast<const char*>(buf.data()), n);
}

FileBytes Package::member(const std::string& name) const {
    const Entry& e = entry(name);
    FileBytes out;
    out.reserve(e.size);
    streamMember(name, [&](const char* p, size_t n) { out.insert(out.end(), p, p + n); });
    return out;
}

FileBytes Package::rewrite(const std::map<std::string, FileBytes>& replaced,
                           const std::map<std::string, FileBytes>& added, const std::set<std::string>& removed,
                           const std::map<std::string, Compressed>& compressed) const {
    for (const auto& [name, data] : replaced)
        entry(name);
    for (const auto& [name, data] : compressed)
        entry(name);
    for (const auto& [name, data] : added)
        if (has(name) && !removed.count(name))
            damaged("the member \"" + name + "\" is added twice");

    FileBytes out;
    out.reserve(bytes_->size() + 4096);
    std::vector<Entry> written;

    auto writeMember = [&](Entry e, const uint8_t* data, size_t size) {
        if (out.size() > 0xFFFFFFFFu || size > 0xFFFFFFFFu || e.size > 0xFFFFFFFFu)
            throw WorkbookError(WorkbookError::Code::Unsupported, "the package is too large to be written");
        // The sizes go into the local header, so no data descriptor follows.
        e.flags &= static_cast<uint16_t>(~0x0008);
        e.localOffset = out.size();
        put32(out, kLocalSig);
        putHeaderFields(out, e);
        putText(out, e.name);
        putText(out, e.extra);
        out.insert(out.end(), data, data + size);
        written.push_back(std::move(e));
    };
    auto writeNew = [&](Entry e, const FileBytes& content, bool stored) {
        e.size = content.size();
        e.crc = crcOf(content.data(), content.size());
        e.flags &= static_cast<uint16_t>(~0x0008);
        if (stored) {
            e.method = 0;
            e.compressedSize = content.size();
            writeMember(std::move(e), content.data(), content.size());
        } else {
            e.method = 8;
            e.versionNeeded = std::max<uint16_t>(e.versionNeeded, 20);
            const FileBytes packed = deflateAll(content);
            e.compressedSize = packed.size();
            writeMember(std::move(e), packed.data(), packed.size());
        }
    };

    for (const Entry& e : entries_) {
        if (removed.count(e.name))
            continue;
        auto it = replaced.find(e.name);
        auto packed = compressed.find(e.name);
        if (packed != compressed.end()) {
            Entry n = e;
            n.method = 8;
            n.versionNeeded = std::max<uint16_t>(n.versionNeeded, 20);
            n.size = packed->second.size;
            n.crc = packed->second.crc;
            n.compressedSize = packed->second.data->size();
            writeMember(std::move(n), packed->second.data->data(), packed->second.data->size());
        } else if (it == replaced.end()) {
            writeMember(e, bytes_->data() + e.dataOffset, e.compressedSize);
        } else {
            writeNew(e, it->second, e.method == 0);
        }
    }
    for (const auto& [name, content] : added) {
        checkName(name);
        Entry e;
        e.name = name;
        dosNow(e.time, e.date);
        writeNew(std::move(e), content, false);
    }

    const size_t dirOffset = out.size();
    for (const Entry& e : written) {
        put32(out, kCentralSig);
        put16(out, e.versionMadeBy);
        putHeaderFields(out, e);
        put16(out, static_cast<uint16_t>(e.comment.size()));
        put16(out, 0);
        put16(out, e.internalAttrs);
        put32(out, e.externalAttrs);
        put32(out, static_cast<uint32_t>(e.localOffset));
        putText(out, e.name);
        putText(out, e.extra);
        putText(out, e.comment);
    }
    const size_t dirSize = out.size() - dirOffset;
    if (out.size() > 0xFFFFFFFFu || written.size() > 0xFFFF)
        throw WorkbookError(WorkbookError::Code::Unsupported, "the package is too large to be written");
    put32(out, kEndSig);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint16_t>(written.size()));
    put16(out, static_cast<uint16_t>(written.size()));
    put32(out, static_cast<uint32_t>(dirSize));
    put32(out, static_cast<uint32_t>(dirOffset));
    put16(out, static_cast<uint16_t>(comment_.size()));
    putText(out, comment_);
    return out;
}

} // namespace rostrel::workbook::zip
