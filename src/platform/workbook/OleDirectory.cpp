// Reading the OLE2 container's header, FAT and directory without libgsf: libgsf trusts the
// directory's shape (it follows sibling links by recursion, and its work grows with the square
// of the entry count), so a hostile directory is refused before it gets there.
#include "platform/workbook/OleDirectory.h"

#include <glib.h>

#include <algorithm>

namespace rostrel::workbook::ole::detail {

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFEu, kFree = 0xFFFFFFFFu, kNoEntry = 0xFFFFFFFFu;

struct Sectors {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t ssz = 512;
    size_t count = 0; // whole or partial sectors after the header
    std::vector<uint32_t> fat;

    uint32_t u32(size_t off) const {
        if (off > size || size - off < 4)
            return kFree;
        return static_cast<uint32_t>(data[off]) | (static_cast<uint32_t>(data[off + 1]) << 8) |
               (static_cast<uint32_t>(data[off + 2]) << 16) | (static_cast<uint32_t>(data[off + 3]) << 24);
    }
    size_t offsetOf(uint32_t sec) const { return ssz * (static_cast<size_t>(sec) + 1); }
};

// Reads the header and the FAT. `seen` (one flag per sector) marks the FAT and DIFAT sectors;
// a sector met twice is a problem. Returns the problem, or "".
std::string readSectors(const uint8_t* data, size_t size, Sectors& s, std::vector<uint8_t>& seen) {
    s.data = data;
    s.size = size;
    if (size < 512)
        return "the header is cut short";
    const uint16_t shift = static_cast<uint16_t>(data[0x1E] | (data[0x1F] << 8));
    if (shift != 9 && shift != 12)
        return "unusual sector size";
    s.ssz = size_t{1} << shift;
    s.count = size > s.ssz ? (size - s.ssz + s.ssz - 1) / s.ssz : 0;
    seen.assign(s.count, 0);
    auto claim = [&](uint32_t sec) {
        if (sec >= s.count || seen[sec])
            return false;
        seen[sec] = 1;
        return true;
    };
    std::vector<uint32_t> fatSectors;
    for (size_t i = 0; i < 109; ++i) {
        const uint32_t sec = s.u32(0x4C + 4 * i);
        if (sec < kEnd - 4)
            fatSectors.push_back(sec);
    }
    uint32_t dif = s.u32(0x44);
    for (size_t guard = 0; dif < kEnd - 4 && guard <= s.count; ++guard) {
        if (!claim(dif))
            return "the sector list loops or overlaps";
        const size_t base = s.offsetOf(dif);
        for (size_t i = 0; i + 1 < s.ssz / 4; ++i) {
            const uint32_t sec = s.u32(base + 4 * i);
            if (sec < kEnd - 4)
                fatSectors.push_back(sec);
        }
        dif = s.u32(base + s.ssz - 4);
    }
    s.fat.reserve(std::min(fatSectors.size(), s.count) * (s.ssz / 4));
    for (uint32_t sec : fatSectors) {
        if (!claim(sec))
            return "a FAT sector is claimed twice";
        for (size_t i = 0; i < s.ssz / 4; ++i)
            s.fat.push_back(s.u32(s.offsetOf(sec) + 4 * i));
    }
    return {};
}

// Follows a sector chain; false when it loops, overlaps what `seen` marks, or leaves the file.
bool followChain(const Sectors& s, uint32_t start, std::vector<uint8_t>& seen, std::vector<uint32_t>* out) {
    for (uint32_t sec = start; sec != kEnd && sec != kFree;) {
        if (sec >= s.count || sec >= s.fat.size() || seen[sec])
            return false;
        seen[sec] = 1;
        if (out)
            out->push_back(sec);
        sec = s.fat[sec];
    }
    return true;
}

std::string entryName(const uint8_t* e) {
    const size_t bytes = std::min<size_t>(static_cast<size_t>(e[0x40] | (e[0x41] << 8)), 64);
    std::vector<gunichar2> units;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        const gunichar2 u = static_cast<gunichar2>(e[i] | (e[i + 1] << 8));
        if (u == 0)
            break;
        units.push_back(u);
    }
    gchar* utf8 = g_utf16_to_utf8(units.data(), static_cast<glong>(units.size()), nullptr, nullptr, nullptr);
    std::string name = utf8 ? utf8 : "";
    g_free(utf8);
    return name;
}

} // namespace

// Reads the directory reachable from the root without recursion, refusing what libgsf cannot
// take safely: a link that leads back to an entry already met (a loop, or two parents), more
// entries than kMaxEntries, or a path of sibling and child links longer than kMaxLinkDepth.
// Links to entries past the directory's end are left to libgsf, which skips them.
std::string readDirectory(const uint8_t* data, size_t size, Directory& dir) {
    Sectors s;
    std::vector<uint8_t> seen;
    if (std::string problem = readSectors(data, size, s, seen); !problem.empty())
        return problem;
    std::vector<uint32_t> dirSectors;
    std::vector<uint8_t> inDirectory(s.count, 0);
    if (!followChain(s, s.u32(0x30), inDirectory, &dirSectors))
        return "the directory's sector chain is broken";
    const size_t perSector = s.ssz / 128;
    const size_t entries = dirSectors.size() * perSector;
    if (entries == 0)
        return "the directory is empty";
    auto offsetOf = [&](uint32_t id) { return s.offsetOf(dirSectors[id / perSector]) + 128 * (id % perSector); };
    dir.nodes.assign(0, DirNode());
    dir.nodes.resize(std::min(entries, size / 128 + 1));
    struct Visit {
        uint32_t id;
        uint32_t depth;
        uint32_t parent; // the storage whose children this entry's sibling tree holds
    };
    std::vector<uint8_t> met(entries, 0);
    std::vector<Visit> todo{{0, 0, kNoEntry}};
    size_t reached = 0;
    while (!todo.empty()) {
        const Visit v = todo.back();
        todo.pop_back();
        if (v.id == kNoEntry || v.id >= entries)
            continue;
        if (met[v.id])
            return "the directory's links form a loop";
        met[v.id] = 1;
        if (++reached > kMaxEntries)
            return "the directory holds more than " + std::to_string(kMaxEntries) + " entries";
        if (v.depth > kMaxLinkDepth)
            return "the directory's entries are chained too deeply";
        const size_t off = offsetOf(v.id);
        if (off + 128 > size)
            return "the directory is cut short";
        const uint8_t* e = data + off;
        if (v.id >= dir.nodes.size())
            dir.nodes.resize(v.id + 1);
        DirNode& node = dir.nodes[v.id];
        node.offset = off;
        node.type = e[0x42];
        node.name = entryName(e);
        std::copy(e + 0x50, e + 0x60, node.classId.begin());
        if (v.parent != kNoEntry)
            dir.nodes[v.parent].children.push_back(v.id);
        if (v.id != 0) {
            todo.push_back({s.u32(off + 0x44), v.depth + 1, v.parent});
            todo.push_back({s.u32(off + 0x48), v.depth + 1, v.parent});
        }
        if (node.type == 1 || node.type == 5)
            todo.push_back({s.u32(off + 0x4C), v.depth + 1, v.id});
    }
    if (dir.nodes.empty() || dir.nodes[0].type != 5)
        return "the directory has no root";
    return {};
}

// A sector that two chains claim (or a chain that loops or leaves the file) means entries
// overlap, which libgsf reads without a word. Such a file may be read, but rewriting it could
// lose what the other chain held.
std::string allocationProblem(const uint8_t* data, size_t size) {
    Sectors s;
    std::vector<uint8_t> seen;
    if (std::string problem = readSectors(data, size, s, seen); !problem.empty())
        return problem;
    std::vector<uint32_t> dirSectors;
    if (!followChain(s, s.u32(0x30), seen, &dirSectors))
        return "the directory overlaps other data";
    if (!followChain(s, s.u32(0x3C), seen, nullptr))
        return "the mini FAT overlaps other data";
    const uint32_t cutoff = s.u32(0x38);
    for (uint32_t dsec : dirSectors) {
        for (size_t e = 0; e < s.ssz / 128; ++e) {
            const size_t off = s.offsetOf(dsec) + 128 * e;
            if (off + 128 > size)
                break;
            const uint8_t type = data[off + 0x42];
            const uint32_t start = s.u32(off + 0x74), len = s.u32(off + 0x78);
            const bool big = type == 5 || (type == 2 && len >= cutoff);
            if (big && len > 0 && !followChain(s, start, seen, nullptr))
                return "two entries share sectors";
        }
    }
    return {};
}

} // namespace rostrel::workbook::ole::detail
