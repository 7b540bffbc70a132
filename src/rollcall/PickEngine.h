// The pick pool and the search of the group plan that every draw makes.
#pragma once

#include "platform/CellTable.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace rostrel::rollcall {

// Row of a random draw: Int(r × count + 1), computed exactly so it lies in 1..count.
int16_t drawRow(float r, int count);

// The no-repeat step on the pool: removes live row `row` (1..poolCount), moving the rows
// below it up, and refills the pool with the whole roster (index, key, index + 2) when it
// becomes empty. A row outside 1..poolCount removes nothing: false, nothing touched.
bool removePoolRow(CellTable2& pool, int16_t& poolCount, int row, const CellTable2& roster, int rosterCount);

// The pool row of the entry picked with key `key`: `pickIndex` when that live row holds the
// key (the row a random draw took), otherwise the first live row holding it; 0 when the
// entry is not in the pool any more.
int16_t pickedPoolRow(const CellTable2& pool, int poolCount, int pickIndex, const QString& key);

// Where a member key first occurs in the group plan, in group order then slot order, without
// searching the plan on every draw. The index is built on first use after invalidate().
class GroupKeyIndex {
public:
    struct Position {
        int group = 0; // 0: no member has the key
        int slot = 0;
    };

    void invalidate() { valid_ = false; }
    bool valid() const { return valid_; }

    // The first member of groups 1..groupCount with this key; slots 1..member count of each
    // group are searched, as far as the table holds them.
    Position find(const CellTable3& table, int groupCount, const QString& key);

private:
    void rebuild(const CellTable3& table);

    bool valid_ = false;
    // Open addressing over the first occurrence of each key: slots_ holds 1 + an index into
    // keys_/positions_, 0 for a free slot.
    std::vector<QString> keys_;
    std::vector<Position> positions_;
    std::vector<size_t> hashes_;
    std::vector<uint32_t> slots_;
};

} // namespace rostrel::rollcall
