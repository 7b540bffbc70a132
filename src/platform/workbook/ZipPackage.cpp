// Reading a ZIP package's central directory, with the checks that refuse hostile packages
// (limits, overlapping members, encrypted members, names that leave the package). Members are
// inflated in ZipMemberReader.cpp; packages written in ZipWrite.cpp.
#include "platform/workbook/ZipPackage.h"

#include "platform/workbook/ZipDetail.h"

#include <algorithm>
#include <cctype>

namespace rostrel::workbook::zip {

using namespace detail;

namespace detail {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the package is damaged: " + what);
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

uint32_t crcOf(uint32_t crc, const uint8_t* p, size_t n) {
    while (n > 0) {
        const uInt step = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        crc = static_cast<uint32_t>(crc32(crc, p, step));
        p += step;
        n -= step;
    }
    return crc;
}

} // namespace detail

namespace {

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

std::string lowerAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
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

} // namespace rostrel::workbook::zip
