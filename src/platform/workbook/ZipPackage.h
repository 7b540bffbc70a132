// The ZIP container of .xlsx and .ods packages: reading members with limits against hostile
// packages, and writing a package anew with most members copied as they are (their compressed
// data untouched). Never touches the file system. Internal to the engine; no Qt, no GLib.
#pragma once

#include "platform/workbook/Codec.h"
#include "platform/workbook/DeflateEdit.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace rostrel::workbook::zip {

struct Limits {
    uint64_t maxMemberSize = 256u << 20; // inflated size of one member
    uint64_t maxTotalSize = 1u << 30;    // inflated size of all members together
    uint32_t maxRatio = 200;             // inflated / compressed size of one member...
    uint64_t ratioFloor = 1u << 20;      // ...once it inflates past this size (small runs of blanks compress far)
    uint32_t maxMembers = 20000;
};

class Package {
public:
    // Parses the central directory; throws WorkbookError Damaged for a truncated or
    // inconsistent directory, duplicate member names, names with ".." segments or absolute
    // paths, encrypted members; never touches the file system.
    static Package read(FileBytes bytes, Limits limits = {});

    const std::vector<std::string>& names() const; // in directory order
    const FileBytes& bytes() const { return *bytes_; }
    bool has(const std::string& name) const;
    // The declared inflated size (0 for a name not in the package).
    uint64_t declaredSize(const std::string& name) const;
    // The member's uncompressed content; throws Damaged when it would exceed the size or
    // ratio limits (checked while inflating, not only from the declared size) or the CRC
    // does not match.
    FileBytes member(const std::string& name) const;
    // A streaming read for large parts: calls `chunk` with pieces of the inflated content.
    // The CRC is checked at the end, after the last piece. With `index`, a deflated member's
    // block starts are recorded there (with a window about every `windowEvery` bytes of
    // content, when not 0); a stored member leaves it empty.
    void streamMember(const std::string& name, const std::function<void(const char*, size_t)>& chunk,
                      DeflateIndex* index = nullptr, uint64_t windowEvery = 0) const;
    // A member's compressed data as it lies in the package.
    struct Raw {
        const uint8_t* data = nullptr;
        uint64_t size = 0;
        uint16_t method = 0;
    };
    Raw raw(const std::string& name) const;
    // A new package: every member copied with its compressed data untouched, in the same
    // order, except those in `replaced` (written anew, same name and place: deflated, or stored
    // when the original was stored, as ODS `mimetype` must be), then `added` appended (deflated)
    // and `removed` left out. Throws Damaged for a replaced name not in the package.
    // `compressed` replaces members with deflated data made elsewhere (content size and CRC
    // given).
    struct Compressed {
        const FileBytes* data = nullptr;
        uint64_t size = 0;
        uint32_t crc = 0;
    };
    FileBytes rewrite(const std::map<std::string, FileBytes>& replaced,
                      const std::map<std::string, FileBytes>& added = {}, const std::set<std::string>& removed = {},
                      const std::map<std::string, Compressed>& compressed = {}) const;

    struct Entry {
        std::string name;
        uint16_t versionMadeBy = 20, versionNeeded = 20, flags = 0, method = 0, time = 0, date = 0;
        uint32_t crc = 0;
        uint64_t compressedSize = 0, size = 0;
        uint64_t localOffset = 0, dataOffset = 0;
        uint16_t internalAttrs = 0;
        uint32_t externalAttrs = 0;
        std::string extra; // central-directory extra fields, ZIP64 field removed
        std::string comment;
    };

private:
    friend class MemberReader;
    Package() = default;
    const Entry& entry(const std::string& name) const;

    std::shared_ptr<const FileBytes> bytes_;
    Limits limits_;
    std::vector<Entry> entries_;
    std::vector<std::string> names_;
    std::map<std::string, size_t> index_;
    std::string comment_;
};

// A member read into the caller's buffer piece by piece, with the checks and the index of
// Package::streamMember (which reads through one). The package must outlive it.
class MemberReader {
public:
    MemberReader(const Package& package, const std::string& name, DeflateIndex* index = nullptr,
                 uint64_t windowEvery = 0);
    ~MemberReader();
    MemberReader(const MemberReader&) = delete;
    MemberReader& operator=(const MemberReader&) = delete;
    // Up to `size` bytes of the content; 0 at its end, once the whole member is checked.
    // Throws WorkbookError Damaged.
    size_t read(uint8_t* out, size_t size);

private:
    struct State;
    std::unique_ptr<State> s_;
};

// Whether the bytes begin like a ZIP archive (a local file header, or an empty archive).
bool looksLikeZip(const FileBytes& bytes);

} // namespace rostrel::workbook::zip
