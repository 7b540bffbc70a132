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

#include <cstring>
#include <mutex>

namespace rostrel::workbook::ole {

namespace {

// Collects libgsf's warnings and criticals while a container is read or written on this
// thread: libgsf can drop a broken directory entry and carry on, saying so only in its log.
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

template <typename T>
struct Unref {
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

void readChildren(GsfInfile* dir, Entry& into, size_t budget, int depth) {
    if (depth > 64)
        damaged("storages nested too deeply");
    const int n = gsf_infile_num_children(dir);
    for (int i = 0; i < n; ++i) {
        const char* name = gsf_infile_name_by_index(dir, i);
        GsfInput* child = gsf_infile_child_by_index(dir, i);
        if (!child)
            continue; // libgsf reports the broken entry through the log
        Unref<GsfInput> hold(child);
        Entry e;
        e.name = name ? name : "";
        if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
            e.storage = true;
            if (GSF_IS_INFILE_MSOLE(child))
                e.hasClassId = gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child), e.classId.data());
            readChildren(GSF_INFILE(child), e, budget, depth + 1);
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
        into.children.push_back(std::move(e));
    }
}

void writeChildren(GsfOutfile* dir, const Entry& e) {
    for (const Entry& c : e.children) {
        GsfOutput* out = gsf_outfile_new_child(dir, c.name.c_str(), c.storage);
        if (!out)
            damaged("cannot write entry " + c.name);
        Unref<GsfOutput> hold(out);
        if (c.storage) {
            if (c.hasClassId)
                gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out), c.classId.data());
            writeChildren(GSF_OUTFILE(out), c);
        } else if (!c.data.empty() && !gsf_output_write(out, c.data.size(), c.data.data())) {
            damaged("cannot write stream " + c.name);
        }
        if (!gsf_output_close(out))
            damaged("cannot write entry " + c.name);
    }
}

// An independent look at the container's sector allocation: a sector that two chains claim
// (or a chain that loops or leaves the file) means entries overlap, which libgsf reads without a
// word. Such a file may be read, but rewriting it could lose what the other chain held.
std::string allocationProblem(const uint8_t* data, size_t size) {
    if (size < 512)
        return "the header is cut short";
    const uint16_t shift = static_cast<uint16_t>(data[0x1E] | (data[0x1F] << 8));
    if (shift != 9 && shift != 12)
        return "unusual sector size";
    const size_t ssz = size_t{1} << shift;
    auto u32 = [&](size_t off) -> uint32_t {
        if (off + 4 > size)
            return 0xFFFFFFFFu;
        return static_cast<uint32_t>(data[off]) | (static_cast<uint32_t>(data[off + 1]) << 8) |
               (static_cast<uint32_t>(data[off + 2]) << 16) | (static_cast<uint32_t>(data[off + 3]) << 24);
    };
    const size_t sectors = size > ssz ? (size - ssz + ssz - 1) / ssz : 0;
    constexpr uint32_t kEnd = 0xFFFFFFFEu, kFree = 0xFFFFFFFFu;
    std::vector<uint8_t> seen(sectors, 0);
    auto claim = [&](uint32_t sec) -> bool {
        if (sec >= sectors)
            return false;
        if (seen[sec])
            return false;
        seen[sec] = 1;
        return true;
    };
    // FAT sectors, from the header's 109 entries and the DIFAT chain.
    std::vector<uint32_t> fatSectors;
    for (size_t i = 0; i < 109; ++i) {
        const uint32_t sec = u32(0x4C + 4 * i);
        if (sec < kEnd - 4)
            fatSectors.push_back(sec);
    }
    uint32_t dif = u32(0x44);
    for (size_t guard = 0; dif < kEnd - 4 && guard <= sectors; ++guard) {
        if (!claim(dif))
            return "the sector list loops or overlaps";
        const size_t base = ssz * (dif + 1);
        for (size_t i = 0; i + 1 < ssz / 4; ++i) {
            const uint32_t sec = u32(base + 4 * i);
            if (sec < kEnd - 4)
                fatSectors.push_back(sec);
        }
        dif = u32(base + ssz - 4);
    }
    std::vector<uint32_t> fat;
    fat.reserve(fatSectors.size() * (ssz / 4));
    for (uint32_t sec : fatSectors) {
        if (!claim(sec))
            return "a FAT sector is claimed twice";
        for (size_t i = 0; i < ssz / 4; ++i)
            fat.push_back(u32(ssz * (sec + 1) + 4 * i));
    }
    auto chain = [&](uint32_t start, std::vector<uint32_t>* out) -> bool {
        for (uint32_t sec = start; sec != kEnd && sec != kFree;) {
            if (!claim(sec) || sec >= fat.size())
                return false;
            if (out)
                out->push_back(sec);
            sec = fat[sec];
        }
        return true;
    };
    std::vector<uint32_t> dirSectors;
    if (!chain(u32(0x30), &dirSectors))
        return "the directory overlaps other data";
    if (!chain(u32(0x3C), nullptr))
        return "the mini FAT overlaps other data";
    const uint32_t cutoff = u32(0x38);
    for (uint32_t dsec : dirSectors) {
        for (size_t e = 0; e < ssz / 128; ++e) {
            const size_t off = ssz * (dsec + 1) + 128 * e;
            if (off + 128 > size)
                break;
            const uint8_t type = data[off + 0x42];
            const uint32_t start = u32(off + 0x74), len = u32(off + 0x78);
            const bool big = type == 5 || (type == 2 && len >= cutoff);
            if (big && len > 0 && !chain(start, nullptr))
                return "two entries share sectors";
        }
    }
    return {};
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
    readChildren(infile, doc.root, size * 2 + (1u << 20), 0);
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
        writeChildren(root, doc.root);
        if (!gsf_output_close(GSF_OUTPUT(root)))
            damaged("cannot finish the container");
    }
    if (!warnings.empty())
        damaged("libgsf: " + warnings);
    const gsf_off_t n = gsf_output_size(sink);
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink));
    if (n <= 0 || !bytes)
        damaged("the container came out empty");
    return xls::Bytes(bytes, bytes + n);
}

} // namespace rostrel::workbook::ole
