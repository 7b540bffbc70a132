// An independent reading of the OLE2 container's header, allocation table and directory, for
// what libgsf does not check or does not give: a directory shape it cannot take safely, entries
// that share sectors, and the class ids of streams. Internal to the container's files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rostrel::workbook::ole::detail {

// Limits of the directory that libgsf is given. Its reading time grows with the square of the
// entries reached (2048 take about 0.3 s) and it follows links by recursion; a roll book has a
// handful of entries, a workbook with many embedded objects a few hundred.
constexpr size_t kMaxEntries = 2048;
constexpr uint32_t kMaxLinkDepth = 1024;
constexpr int kMaxStorageDepth = 64;

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

// Reads the directory reachable from the root; returns the problem that makes it unsafe for
// libgsf, or "".
std::string readDirectory(const uint8_t* data, size_t size, Directory& dir);
// Sectors that two chains claim, or a chain that loops or leaves the file; "" when none.
std::string allocationProblem(const uint8_t* data, size_t size);

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

} // namespace rostrel::workbook::ole::detail
