// Writing an OLE2 container back with libgsf: every storage and stream as it was read, and
// the streams' class ids, which libgsf does not write, put into the written directory.
#include "platform/workbook/Ole.h"
#include "platform/workbook/OleDirectory.h"
#include "platform/workbook/OleGsf.h"
#include "platform/workbook/Workbook.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>

#include <algorithm>

namespace rostrel::workbook::ole {

// The container's shared helpers (OleGsf.h, OleDirectory.h).
using namespace detail;

namespace {

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
