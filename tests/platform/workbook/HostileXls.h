// Builders of hostile and hand-shaped .xls files for the engine's tests, the fuzz harness and
// the measurements: a compound-document writer that takes any directory shape (degenerate
// sibling chains, cycles, deep nesting — shapes no library writes), and small BIFF8 workbook
// streams. Plain C++, no Qt.
#pragma once

#include "platform/workbook/Bytes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace rostrel::test::hostile {

using workbook::xls::Bytes;
using workbook::xls::put16;
using workbook::xls::put32;
using workbook::xls::wr16;
using workbook::xls::wr32;

constexpr uint32_t kNoStream = 0xFFFFFFFFu;
constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;

struct DirEntry {
    std::u16string name;
    uint8_t type = 2; // 1 storage, 2 stream, 5 root
    uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    std::array<uint8_t, 16> clsid{};
    Bytes data; // streams
};

// A version 3 compound document (512-byte sectors) holding `entries` as given (entry 0 is the
// root); streams under 4096 bytes go to the mini stream. Links are written exactly as given.
inline Bytes compoundDocument(std::vector<DirEntry> entries) {
    constexpr uint32_t S = 512;
    constexpr uint32_t kFatSect = 0xFFFFFFFDu, kDifSect = 0xFFFFFFFCu, kFree = 0xFFFFFFFFu;
    std::vector<uint32_t> start(entries.size(), kEndOfChain);
    Bytes mini;
    std::vector<uint32_t> miniFat;
    std::vector<size_t> big;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Bytes& d = entries[i].data;
        if (entries[i].type != 2 || d.empty())
            continue;
        if (d.size() >= 4096) {
            big.push_back(i);
            continue;
        }
        const uint32_t first = static_cast<uint32_t>(mini.size() / 64);
        const uint32_t n = static_cast<uint32_t>((d.size() + 63) / 64);
        for (uint32_t k = 0; k < n; ++k)
            miniFat.push_back(k + 1 < n ? first + k + 1 : kEndOfChain);
        start[i] = first;
        mini.insert(mini.end(), d.begin(), d.end());
        mini.resize(mini.size() + (64 - mini.size() % 64) % 64, 0);
    }
    auto sectorsOf = [](size_t bytes) { return static_cast<uint32_t>((bytes + S - 1) / S); };
    const uint32_t nDir = sectorsOf(entries.size() * 128);
    const uint32_t nMiniFat = sectorsOf(miniFat.size() * 4);
    const uint32_t nMini = sectorsOf(mini.size());
    uint32_t data = nDir + nMiniFat + nMini;
    for (size_t i : big)
        data += sectorsOf(entries[i].data.size());
    uint32_t nFat = 1, nDifat = 0;
    for (;;) {
        const uint32_t total = data + nFat + nDifat;
        const uint32_t needFat = (total + 127) / 128;
        const uint32_t needDifat = needFat > 109 ? (needFat - 109 + 126) / 127 : 0;
        if (needFat == nFat && needDifat == nDifat)
            break;
        nFat = needFat;
        nDifat = needDifat;
    }
    const uint32_t total = data + nFat + nDifat;
    std::vector<uint32_t> fat(static_cast<size_t>(nFat) * 128, kFree);
    for (uint32_t k = 0; k < nFat; ++k)
        fat[k] = kFatSect;
    for (uint32_t k = 0; k < nDifat; ++k)
        fat[nFat + k] = kDifSect;
    uint32_t next = nFat + nDifat;
    auto place = [&](uint32_t n) -> uint32_t {
        if (n == 0)
            return kEndOfChain;
        const uint32_t first = next;
        for (uint32_t k = 0; k < n; ++k)
            fat[first + k] = k + 1 < n ? first + k + 1 : kEndOfChain;
        next += n;
        return first;
    };
    const uint32_t dirStart = place(nDir);
    const uint32_t miniFatStart = place(nMiniFat);
    const uint32_t miniStart = place(nMini);
    for (size_t i : big)
        start[i] = place(sectorsOf(entries[i].data.size()));

    Bytes out(S * (static_cast<size_t>(total) + 1), 0);
    auto sector = [&](uint32_t s) { return out.data() + S * (static_cast<size_t>(s) + 1); };
    static const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(sig, sig + 8, out.begin());
    wr16(&out[0x18], 0x003E);
    wr16(&out[0x1A], 3);
    wr16(&out[0x1C], 0xFFFE);
    wr16(&out[0x1E], 9);
    wr16(&out[0x20], 6);
    wr32(&out[0x2C], nFat);
    wr32(&out[0x30], dirStart);
    wr32(&out[0x38], 4096);
    wr32(&out[0x3C], nMiniFat ? miniFatStart : kEndOfChain);
    wr32(&out[0x40], nMiniFat);
    wr32(&out[0x44], nDifat ? nFat : kEndOfChain);
    wr32(&out[0x48], nDifat);
    for (uint32_t k = 0; k < 109; ++k)
        wr32(&out[0x4C + 4 * k], k < nFat ? k : kFree);
    for (uint32_t d = 0; d < nDifat; ++d) {
        uint8_t* p = sector(nFat + d);
        for (uint32_t k = 0; k < 127; ++k) {
            const uint32_t f = 109 + d * 127 + k;
            wr32(p + 4 * k, f < nFat ? f : kFree);
        }
        wr32(p + 508, d + 1 < nDifat ? nFat + d + 1 : kEndOfChain);
    }
    for (uint32_t k = 0; k < nFat; ++k)
        for (uint32_t j = 0; j < 128; ++j)
            wr32(sector(k) + 4 * j, fat[k * 128 + j]);
    for (size_t i = 0; i < miniFat.size(); ++i)
        wr32(sector(miniFatStart + static_cast<uint32_t>(i / 128)) + 4 * (i % 128), miniFat[i]);
    for (size_t i = miniFat.size(); i < static_cast<size_t>(nMiniFat) * 128; ++i)
        wr32(sector(miniFatStart + static_cast<uint32_t>(i / 128)) + 4 * (i % 128), kFree);
    if (nMini)
        std::copy(mini.begin(), mini.end(), sector(miniStart));
    for (size_t i : big)
        std::copy(entries[i].data.begin(), entries[i].data.end(), sector(start[i]));

    const size_t slots = static_cast<size_t>(nDir) * (S / 128);
    for (size_t i = 0; i < slots; ++i) {
        uint8_t* e = sector(dirStart + static_cast<uint32_t>(i / 4)) + 128 * (i % 4);
        wr32(e + 0x44, kNoStream);
        wr32(e + 0x48, kNoStream);
        wr32(e + 0x4C, kNoStream);
        if (i >= entries.size())
            continue;
        const DirEntry& d = entries[i];
        const size_t n = std::min<size_t>(d.name.size(), 31);
        for (size_t k = 0; k < n; ++k)
            wr16(e + 2 * k, static_cast<uint16_t>(d.name[k]));
        wr16(e + 0x40, static_cast<uint16_t>(2 * (n + 1)));
        e[0x42] = d.type;
        e[0x43] = 1;
        wr32(e + 0x44, d.left);
        wr32(e + 0x48, d.right);
        wr32(e + 0x4C, d.child);
        std::copy(d.clsid.begin(), d.clsid.end(), e + 0x50);
        if (d.type == 5) {
            wr32(e + 0x74, nMini ? miniStart : kEndOfChain);
            wr32(e + 0x78, static_cast<uint32_t>(mini.size()));
        } else if (d.type == 2) {
            wr32(e + 0x74, start[i]);
            wr32(e + 0x78, static_cast<uint32_t>(d.data.size()));
        }
    }
    return out;
}

inline std::u16string ascii16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// A root holding the workbook stream and `extra` empty streams "s0000000".. whose sibling
// links form one chain (each the right sibling of the one before), as no writer lays them out.
inline std::vector<DirEntry> chainEntries(const Bytes& workbook, uint32_t extra) {
    std::vector<DirEntry> e(2 + static_cast<size_t>(extra));
    e[0].name = ascii16("Root Entry");
    e[0].type = 5;
    e[0].child = 1;
    e[1].name = ascii16("Workbook");
    e[1].data = workbook;
    for (uint32_t i = 0; i < extra; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "s%07u", i);
        e[2 + i].name = ascii16(name);
    }
    for (size_t i = 1; i + 1 < e.size(); ++i)
        e[i].right = static_cast<uint32_t>(i + 1);
    return e;
}
inline Bytes siblingChain(const Bytes& workbook, uint32_t extra) {
    return compoundDocument(chainEntries(workbook, extra));
}

// The same entries as a balanced tree: every shape check passes; only the count is large.
inline std::vector<DirEntry> balancedEntries(const Bytes& workbook, uint32_t extra) {
    std::vector<DirEntry> e = chainEntries(workbook, extra);
    for (DirEntry& d : e)
        d.left = d.right = d.child = kNoStream;
    // Entries 1..n+1 in order; the middle of each range is the parent of its halves.
    struct Range {
        uint32_t lo, hi, parent;
        bool leftOf;
    };
    std::vector<Range> todo{{1, extra + 2, kNoStream, false}};
    while (!todo.empty()) {
        const Range r = todo.back();
        todo.pop_back();
        if (r.lo >= r.hi)
            continue;
        const uint32_t mid = r.lo + (r.hi - r.lo) / 2;
        if (r.parent == kNoStream)
            e[0].child = mid;
        else if (r.leftOf)
            e[r.parent].left = mid;
        else
            e[r.parent].right = mid;
        todo.push_back({r.lo, mid, mid, true});
        todo.push_back({mid + 1, r.hi, mid, false});
    }
    return e;
}
inline Bytes balancedDirectory(const Bytes& workbook, uint32_t extra) {
    return compoundDocument(balancedEntries(workbook, extra));
}

// --- BIFF8 workbook streams ---------------------------------------------------------------

inline void record(Bytes& s, uint16_t type, const Bytes& data) {
    put16(s, type);
    put16(s, static_cast<uint16_t>(data.size()));
    s.insert(s.end(), data.begin(), data.end());
}
inline Bytes bof(uint16_t kind) {
    Bytes d;
    put16(d, 0x0600);
    put16(d, kind);
    put16(d, 0x0DBB);
    put16(d, 0x07CC);
    put32(d, 0);
    put32(d, 0x0006);
    return d;
}
inline Bytes number(uint16_t row, uint16_t col, double v, uint16_t xf = 15) {
    Bytes d;
    put16(d, row);
    put16(d, col);
    put16(d, xf);
    workbook::xls::putDouble(d, v);
    return d;
}

// One cell-table worksheet: DIMENSIONS, the given cell records (type, data), WINDOW2, EOF.
struct CellRecord {
    uint16_t type;
    Bytes data;
};
inline Bytes sheetSubstream(const std::vector<CellRecord>& cells, uint32_t rows = 0, uint16_t cols = 0) {
    Bytes s;
    record(s, 0x0809, bof(0x0010));
    Bytes dim;
    put32(dim, 0);
    put32(dim, rows);
    put16(dim, 0);
    put16(dim, cols);
    put16(dim, 0);
    record(s, 0x0200, dim);
    for (const CellRecord& c : cells)
        record(s, c.type, c.data);
    record(s, 0x023E, Bytes{0xB6, 0x06, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    record(s, 0x000A, {});
    return s;
}

// A shared string table of 8-bit strings (one SST record, no EXTSST).
inline Bytes sstRecord(const std::vector<std::string>& strings) {
    Bytes d;
    put32(d, static_cast<uint32_t>(strings.size()));
    put32(d, static_cast<uint32_t>(strings.size()));
    for (const std::string& t : strings) {
        put16(d, static_cast<uint16_t>(t.size()));
        d.push_back(0);
        d.insert(d.end(), t.begin(), t.end());
    }
    Bytes rec;
    record(rec, 0x00FC, d);
    return rec;
}

// A workbook stream: globals with 16 XF records, one BOUNDSHEET per name pointing at the given
// substreams (`target[i]` is the substream sheet i points at, so tables may share one), then
// `globalsTail` (whole records, such as a string table) before the globals' EOF.
inline Bytes workbookStream(const std::vector<std::string>& names, const std::vector<Bytes>& substreams,
                            const std::vector<size_t>& target, const Bytes& globalsTail = {}) {
    Bytes g;
    record(g, 0x0809, bof(0x0005));
    Bytes cp;
    put16(cp, 1200);
    record(g, 0x0042, cp);
    for (int i = 0; i < 16; ++i) {
        Bytes xf(20, 0);
        wr16(&xf[4], i < 15 ? 0xFFF5 : 0x0001); // 0..14 style XFs, 15 the default cell XF
        record(g, 0x00E0, xf);
    }
    std::vector<size_t> bsPos;
    for (const std::string& n : names) {
        Bytes d(4, 0);
        d.push_back(0); // visible
        d.push_back(0); // worksheet
        d.push_back(static_cast<uint8_t>(n.size()));
        d.push_back(0);
        d.insert(d.end(), n.begin(), n.end());
        bsPos.push_back(g.size());
        record(g, 0x0085, d);
    }
    g.insert(g.end(), globalsTail.begin(), globalsTail.end());
    record(g, 0x000A, {});
    std::vector<uint32_t> at;
    Bytes s = g;
    for (const Bytes& sub : substreams) {
        at.push_back(static_cast<uint32_t>(s.size()));
        s.insert(s.end(), sub.begin(), sub.end());
    }
    for (size_t i = 0; i < names.size(); ++i)
        wr32(&s[bsPos[i] + 4], at[target[i]]);
    return s;
}

inline Bytes oneSheetWorkbook(const std::vector<CellRecord>& cells, uint32_t rows, uint16_t cols) {
    return workbookStream({"Sheet1"}, {sheetSubstream(cells, rows, cols)}, {0});
}

// A plain container around a workbook stream: root, "Workbook".
inline Bytes xlsFile(const Bytes& workbook) {
    return siblingChain(workbook, 0);
}

} // namespace rostrel::test::hostile
