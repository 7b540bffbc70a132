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
