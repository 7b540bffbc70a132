// Reading an OLE2 container into memory with libgsf: every storage and stream, with the class
// ids libgsf leaves out taken from the directory, after the directory's shape was checked.
#include "platform/workbook/Ole.h"
#include "platform/workbook/OleDirectory.h"
#include "platform/workbook/OleGsf.h"
#include "platform/workbook/Workbook.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace rostrel::workbook::ole {

// The container's shared helpers (OleGsf.h, OleDirectory.h).
using namespace detail;

namespace {

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

bool isZero(const std::array<uint8_t, 16>& id) {
    return std::all_of(id.begin(), id.end(), [](uint8_t b) { return b == 0; });
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

} // namespace rostrel::workbook::ole
