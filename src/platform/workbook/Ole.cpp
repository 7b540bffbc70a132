// libgsf and GLib live only in this file and the BIFF reader's code-page conversion.
#include "platform/workbook/Ole.h"
#include "platform/workbook/Workbook.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace rostrel::workbook::ole {

namespace {

// Limits of the directory that libgsf is given. Its reading time grows with the square of the
// entries reached (2048 take about 0.3 s) and it follows links by recursion; a roll book has a
// handful of entries, a workbook with many embedded objects a few hundred.
constexpr size_t kMaxEntries = 2048;
constexpr uint32_t kMaxLinkDepth = 1024;
constexpr int kMaxStorageDepth = 64;

// Collects libgsf's warnings and criticals while a container is read or written on this
// thread: libgsf can drop a broken directory entry and carry on, saying so only in its log.
// GLib's log handler is process-wide with fixed user data, so the collector of the read in
// progress is found through this thread-local pointer.
thread_local std::string* tlsWarnings = nullptr;

void logHandler(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    if (tlsWarnings && (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR))) {
        *tlsWarnings += domain ? domain : "";
        *tlsWarnings += ": ";
        *tlsWarnings += message ? message : "";
        *tlsWarnings += "\n";
        return;
    }
    if (tlsWarnings)
        return; // debug and info chatter of a read in progress
    g_log_default_handler(domain, level, message, nullptr);
}

void initOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK & ~G_LOG_LEVEL_ERROR);
        // libgsf logs some damage without a domain of its own.
        for (const char* domain : {static_cast<const char*>(nullptr), "libgsf:msole", "libgsf", "libgsf:utils",
                                   "GLib-GObject", "GLib", "GLib-GIO"})
            g_log_set_handler(domain, levels, logHandler, nullptr);
    });
}

class CollectWarnings {
public:
    explicit CollectWarnings(std::string& into) : prev_(tlsWarnings) { tlsWarnings = &into; }
    ~CollectWarnings() { tlsWarnings = prev_; }
    CollectWarnings(const CollectWarnings&) = delete;
    CollectWarnings& operator=(const CollectWarnings&) = delete;

private:
    std::string* prev_;
};

template <typename T> struct Unref {
    T* p;
    explicit Unref(T* q) : p(q) {}
    ~Unref() {
        if (p)
            g_object_unref(p);
    }
    Unref(const Unref&) = delete;
    Unref& operator=(const Unref&) = delete;
};

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the file's container is damaged: " + what);
}

// GObjects kept alive until the walk that uses them is over.
class Holds {
public:
    Holds() = default;
    ~Holds() {
        for (auto it = objects_.rbegin(); it != objects_.rend(); ++it)
            g_object_unref(*it);
    }
    Holds(const Holds&) = delete;
    Holds& operator=(const Holds&) = delete;
    template <typename T> T* keep(T* p) {
        if (p)
            objects_.push_back(p);
        return p;
    }

private:
    std::vector<gpointer> objects_;
};

// Reads every storage and stream below the root, breadth by breadth: a storage's children are
// all read before any of them is entered, so the entries they are read into stay in place.
void readTree(GsfInfile* rootDir, Entry& root, size_t budget) {
    struct Pending {
        GsfInfile* dir;
        Entry* into;
        int depth;
    };
    Holds holds;
    std::vector<Pending> pending{{rootDir, &root, 0}};
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        if (p.depth > kMaxStorageDepth)
            damaged("storages nested too deeply");
        std::vector<std::pair<GsfInfile*, size_t>> storages;
        const int n = gsf_infile_num_children(p.dir);
        for (int i = 0; i < n; ++i) {
            const char* name = gsf_infile_name_by_index(p.dir, i);
            GsfInput* child = holds.keep(gsf_infile_child_by_index(p.dir, i));
            if (!child)
                continue; // libgsf reports the broken entry through the log
            Entry e;
            e.name = name ? name : "";
            if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
                e.storage = true;
                if (GSF_IS_INFILE_MSOLE(child))
                    e.hasClassId = gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child), e.classId.data());
                storages.emplace_back(GSF_INFILE(child), p.into->children.size());
            } else {
                const gsf_off_t size = gsf_input_size(child);
                if (size < 0 || static_cast<uint64_t>(size) > budget)
                    damaged("a stream is larger than the file");
                e.data.resize(static_cast<size_t>(size));
                size_t done = 0;
                while (done < e.data.size()) {
                    const size_t chunk = std::min<size_t>(e.data.size() - done, 1 << 20);
                    if (!gsf_input_read(child, chunk, e.data.data() + done))
                        damaged("a stream cannot be read");
                    done += chunk;
                }
            }
            p.into->children.push_back(std::move(e));
        }
        for (const auto& [dir, index] : storages)
            pending.push_back({dir, &p.into->children[index], p.depth + 1});
    }
}

// Writes the tree depth first with an explicit stack; a storage is closed after its children.
void writeTree(GsfOutfile* rootDir, const Entry& root) {
    struct Open {
        GsfOutfile* dir;
        const Entry* entry;
        size_t next;
    };
    Holds holds;
    std::vector<Open> open{{rootDir, &root, 0}};
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next == top.entry->children.size()) {
            if (open.size() > 1 && !gsf_output_close(GSF_OUTPUT(top.dir)))
                damaged("cannot write entry " + top.entry->name);
            open.pop_back();
            continue;
        }
        const Entry& c = top.entry->children[top.next++];
        GsfOutput* out = holds.keep(gsf_outfile_new_child(top.dir, c.name.c_str(), c.storage));
        if (!out)
            damaged("cannot write entry " + c.name);
        if (c.storage) {
            if (c.hasClassId)
                gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out), c.classId.data());
            open.push_back({GSF_OUTFILE(out), &c, 0}); // `top` is not used after this
            continue;
        }
        if (!c.data.empty() && !gsf_output_write(out, c.data.size(), c.data.data()))
            damaged("cannot write stream " + c.name);
        if (!gsf_output_close(out))
            damaged("cannot write entry " + c.name);
    }
}

// ---------------------------------------------------------------------------------------------
// An independent reading of the container's header, allocation table and directory: libgsf
// trusts the directory's shape (it follows sibling links by recursion, and its work grows with
// the square of the entry count), so a hostile directory is refused before it gets there.

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

struct DirNode {
    size_t offset = 0; // of the 128-byte entry in the file
    uint8_t type = 0;  // 1 storage, 2 stream, 5 root
    std::string name;
    std::array<uint8_t, 16> classId{};
    std::vector<uint32_t> children; // storages and the root: the entries of their sibling tree
};

struct Directory {
    std::vector<DirNode> nodes; // by entry number; unreached entries stay type 0
};

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

// Walks the document's entries beside the directory's nodes, pairing each entry with the
// node of the same name and kind under the same storage.
template <typename E, typename Visit> // E: Entry or const Entry
void pairEntries(const Directory& dir, E& root, Visit visit) {
    std::vector<std::pair<E*, uint32_t>> todo{{&root, 0}};
    while (!todo.empty()) {
        auto [entry, id] = todo.back();
        todo.pop_back();
        std::vector<uint32_t> free = dir.nodes[id].children;
        for (E& c : entry->children) {
            for (auto it = free.begin(); it != free.end(); ++it) {
                const DirNode& n = dir.nodes[*it];
                if (n.name != c.name || (n.type == 1) != c.storage || (n.type != 1 && n.type != 2))
                    continue;
                visit(c, n);
                if (c.storage)
                    todo.emplace_back(&c, *it);
                free.erase(it);
                break;
            }
        }
    }
}

bool isZero(const std::array<uint8_t, 16>& id) {
    return std::all_of(id.begin(), id.end(), [](uint8_t b) { return b == 0; });
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

// libgsf writes no class id for a stream: put each back into the written directory.
void setStreamClassIds(const Document& doc, xls::Bytes& out) {
    bool any = false;
    std::vector<const Entry*> todo{&doc.root};
    while (!todo.empty() && !any) {
        const Entry* e = todo.back();
        todo.pop_back();
        for (const Entry& c : e->children) {
            any = any || (!c.storage && c.hasClassId);
            if (c.storage)
                todo.push_back(&c);
        }
    }
    if (!any)
        return;
    Directory dir;
    if (const std::string problem = readDirectory(out.data(), out.size(), dir); !problem.empty())
        damaged("the written directory cannot be read back: " + problem);
    size_t placed = 0, wanted = 0;
    pairEntries(dir, doc.root, [&](const Entry& e, const DirNode& n) {
        if (e.storage || !e.hasClassId)
            return;
        std::copy(e.classId.begin(), e.classId.end(), out.begin() + static_cast<std::ptrdiff_t>(n.offset + 0x50));
        ++placed;
    });
    todo = {&doc.root};
    while (!todo.empty()) {
        const Entry* e = todo.back();
        todo.pop_back();
        for (const Entry& c : e->children) {
            wanted += !c.storage && c.hasClassId;
            if (c.storage)
                todo.push_back(&c);
        }
    }
    if (placed != wanted)
        damaged("a stream's class id cannot be written");
}

} // namespace

bool hasOleSignature(const uint8_t* data, size_t size) {
    static const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return size >= 8 && std::memcmp(data, sig, 8) == 0;
}

Document read(const uint8_t* data, size_t size) {
    initOnce();
    if (!hasOleSignature(data, size))
        throw WorkbookError(WorkbookError::Code::NotOle, "not an Excel 97-2003 workbook (no OLE2 container)");
    Document doc;
    CollectWarnings collect(doc.warnings);
    Directory dir;
    if (const std::string problem = readDirectory(data, size, dir); !problem.empty())
        damaged(problem);
    GsfInput* input = gsf_input_memory_new(data, static_cast<gsf_off_t>(size), FALSE);
    if (!input)
        damaged("cannot be read");
    Unref<GsfInput> holdInput(input);
    GError* err = nullptr;
    GsfInfile* infile = gsf_infile_msole_new(input, &err);
    if (!infile) {
        std::string msg = err && err->message ? err->message : "unreadable";
        if (err)
            g_error_free(err);
        damaged(msg);
    }
    Unref<GsfInfile> holdInfile(infile);
    doc.root.storage = true;
    doc.root.hasClassId = gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(infile), doc.root.classId.data());
    // No stream can hold more than the sectors of the file (plus a margin for the mini stream).
    readTree(infile, doc.root, size * 2 + (1u << 20));
    // libgsf gives the class ids of storages only; a stream's comes from the directory.
    pairEntries(dir, doc.root, [](Entry& e, const DirNode& n) {
        if (!e.storage && !isZero(n.classId)) {
            e.hasClassId = true;
            e.classId = n.classId;
        }
    });
    const std::string overlap = allocationProblem(data, size);
    if (!overlap.empty())
        doc.warnings += "container: " + overlap + "\n";
    doc.lossy = !doc.warnings.empty();
    return doc;
}

xls::Bytes write(const Document& doc) {
    initOnce();
    std::string warnings;
    CollectWarnings collect(warnings);
    GsfOutput* sink = gsf_output_memory_new();
    Unref<GsfOutput> holdSink(sink);
    GsfOutfile* root = gsf_outfile_msole_new(sink);
    if (!root)
        damaged("cannot create the container");
    {
        Unref<GsfOutfile> holdRoot(root);
        if (doc.root.hasClassId)
            gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(root), doc.root.classId.data());
        writeTree(root, doc.root);
        if (!gsf_output_close(GSF_OUTPUT(root)))
            damaged("cannot finish the container");
    }
    if (!warnings.empty())
        damaged("libgsf: " + warnings);
    const gsf_off_t n = gsf_output_size(sink);
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink));
    if (n <= 0 || !bytes)
        damaged("the container came out empty");
    xls::Bytes out(bytes, bytes + n);
    setStreamClassIds(doc, out);
    return out;
}

} // namespace rostrel::workbook::ole
