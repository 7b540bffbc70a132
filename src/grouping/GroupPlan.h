// Group formation: the derivation of group count and size, the placement of the roster
// entries into groups (in order, or at random), and the grouping summary.
#pragma once

#include "lesson/SessionState.h"
#include "platform/CellTable.h"
#include "platform/Platform.h"

#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

namespace rostrel::grouping {

// The other value of the rule: (n − 1) div given + 1, the division truncating towards zero.
// For n ≥ 1 this is n / given rounded up. `given` must be at least 1.
int16_t derivedValue(int n, int given);

// Members of group a (1-based) when groups hold `size` each and n entries are placed in
// group order: size while entries last, the rest in the first group that cannot be filled,
// 0 in every group after it.
int memberCount(int a, int size, int n);

// A grouping ready to be committed to the session.
struct Plan {
    int16_t groupCount = 0;
    int16_t groupSize = 0;
    CellTable3 table;                                // 0..M x 0..S x 0..2
    std::vector<std::pair<int16_t, int16_t>> placed; // entry e -> (group, slot); index 0 unused
    std::vector<int16_t> drawList;                   // the working list as the grouping left it
};

// Places roster entries 1..n into m groups of at most s.
// Sequential: group a receives entries (a − 1)·s + 1 onwards. Random: every slot, in group and
// slot order, takes k = 1 + Int(r·R) with r from `random` and R the number of entries not yet
// placed, and receives the k-th of those in roster order (then removed from them) — the
// working list shifted down, found here in O(log n) with a Fenwick tree.
// Throws (std::invalid_argument, std::out_of_range) when the values or the roster cannot
// form groups; nothing is changed then.
Plan formGroups(const CellTable2& roster, int n, int m, int s, Random* random);

// Writes a plan into the session: GroupTable, GroupCount, GroupSize, GroupDrawList and the
// group and member numbers in RosterTable columns 2 and 3.
void commitPlan(SessionState& st, Plan&& plan);

// "45人分8组，第1组有6人".
QString summaryText(int n, int groupCount, int currentGroup, const QString& memberCount);

} // namespace rostrel::grouping
