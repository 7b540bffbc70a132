// What the ZIP package's files share (ZipPackage.cpp the directory and its checks,
// ZipMemberReader.cpp inflating a member, ZipWrite.cpp writing a package, and the deflate
// editing of Deflate*.cpp): record signatures, the error of a damaged package, the name
// check, the decompressor and compressor, and CRC-32 over any length. Internal to the engine.
#pragma once

#include "platform/workbook/Codec.h"

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

namespace rostrel::workbook::zip::detail {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kEnd64Sig = 0x06064b50;
constexpr uint32_t kEnd64LocatorSig = 0x07064b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;

// Throws WorkbookError Damaged: "the package is damaged: <what>".
[[noreturn]] void damaged(const std::string& what);

// Names are never used as paths here, but a package that carries "../x" or "/etc/x" was made to
// attack an extracting program and is refused outright (Damaged).
void checkName(const std::string& name);

// CRC-32 of `n` more bytes after content whose CRC is `crc` (0 for none).
uint32_t crcOf(uint32_t crc, const uint8_t* p, size_t n);

// A raw inflate stream that may start at any deflate block.
class Inflater {
public:
    Inflater() {
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&z); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

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

// A raw deflate stream at the fastest level: a save must feel instant, and XML compresses well
// at any level.
class Deflater {
public:
    Deflater() {
        if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
    }
    ~Deflater() { deflateEnd(&z); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    z_stream z{};
};

} // namespace rostrel::workbook::zip::detail
