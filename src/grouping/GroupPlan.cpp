#include "grouping/GroupPlan.h"

#include "platform/Values.h"

#include <stdexcept>

namespace rostrel::grouping {

int16_t derivedValue(int n, int given) {
    if (given < 1)
        throw std::invalid_argument("derivation needs a value of at least 1");
    return toInt16(static_cast<double>((n - 1) / given + 1));
}

int memberCount(int a, int size, int n) {
    const long long full = static_cast<long long>(a) * size;
    if (full <= n)
        return size;
    const long long rest = n - static_cast<long long>(a - 1) * size;
    return rest > 0 ? static_cast<int>(rest) : 0;
}

namespace {

// Positions 1..n still in the working list, in order; k-th present position in O(log n).
class OrderStatistics {
public:
    explicit OrderStatistics(int n) : n_(n), tree_(static_cast<size_t>(n) + 1) {
        for (int i = 1; i <= n; ++i)
            tree_[i] = i & -i; // every position present
        step_ = 1;
        while (step_ * 2 <= n)
            step_ *= 2;
    }
    int kth(int k) const {
        int pos = 0;
        for (int step = step_; step > 0; step >>= 1) {
            if (pos + step <= n_ && tree_[pos + step] < k) {
                pos += step;
                k -= tree_[pos];
            }
        }
        return pos + 1;
    }
    void remove(int position) {
        for (int i = position; i <= n_; i += i & -i)
            --tree_[i];
    }

private:
    int n_;
    int step_ = 0;
    std::vector<int> tree_;
};

} // namespace

Plan formGroups(const CellTable2& roster, int n, int m, int s, Random* random) {
    if (m < 1 || s < 0 || n < 0)
        throw std::invalid_argument("group count below 1");
    if (n > 0 && (!roster.allocated() || roster.lastRow() < n || roster.lastCol() < 3))
        throw std::out_of_range("roster smaller than its count");
    // Every slot of the table is a cell; a plan cannot ask for more than the entries allow
    // plus one slot per group, but keep the table bounded whatever the caller passes.
    const long long cells = (static_cast<long long>(m) + 1) * (static_cast<long long>(s) + 1) * 3;
    if (cells > 16LL * 1024 * 1024)
        throw std::length_error("group table too large");
    const bool atRandom = random != nullptr;

    Plan plan;
    plan.groupCount = static_cast<int16_t>(m);
    plan.groupSize = static_cast<int16_t>(s);
    plan.table.allocate(m, s, 2);
    plan.placed.assign(static_cast<size_t>(n) + 1, {0, 0});

    OrderStatistics left(atRandom ? n : 0);
    int remaining = n;
    for (int a = 1; a <= m; ++a) {
        const int c = memberCount(a, s, n);
        plan.table.at(a, 0, 0) = Cell::fromNumber(c);
        for (int j = 1; j <= c; ++j) {
            const long long p = static_cast<long long>(a - 1) * s + j;
            if (p > n)
                break;
            int e = static_cast<int>(p);
            if (atRandom) {
                const double r = static_cast<double>(random->next());
                // Computed exactly, so k stays within 1..R.
                long long k = 1 + static_cast<long long>(r * remaining);
                if (k < 1)
                    k = 1;
                if (k > remaining)
                    k = remaining;
                e = left.kth(static_cast<int>(k));
                left.remove(e);
                --remaining;
            }
            plan.table.at(a, j, 0) = roster.at(e, 0);
            plan.table.at(a, j, 1) = roster.at(e, 1);
            plan.placed[static_cast<size_t>(e)] = {static_cast<int16_t>(a), static_cast<int16_t>(j)};
        }
    }

    plan.drawList.assign(static_cast<size_t>(n) + 1, 0);
    if (atRandom) {
        // The entries never drawn stay at the front of the working list, in order.
        int pos = 0;
        for (int e = 1; e <= n && pos < remaining; ++e)
            if (plan.placed[static_cast<size_t>(e)].first == 0)
                plan.drawList[static_cast<size_t>(++pos)] = static_cast<int16_t>(e);
    } else {
        for (int i = 1; i <= n; ++i)
            plan.drawList[static_cast<size_t>(i)] = static_cast<int16_t>(i);
    }
    return plan;
}

void commitPlan(SessionState& st, Plan&& plan) {
    const int n = static_cast<int>(plan.placed.size()) - 1;
    for (int e = 1; e <= n; ++e) {
        const auto [g, j] = plan.placed[static_cast<size_t>(e)];
        if (g == 0)
            continue;
        st.RosterTable.at(e, 2) = Cell::fromNumber(g);
        st.RosterTable.at(e, 3) = Cell::fromNumber(j);
    }
    st.GroupCount = plan.groupCount;
    st.GroupSize = plan.groupSize;
    st.GroupTable = std::move(plan.table);
    st.GroupDrawList = std::move(plan.drawList);
}

QString summaryText(int n, int groupCount, int currentGroup, const QString& memberCount) {
    return plainText(n) + QStringLiteral("人分") + plainText(groupCount) + QStringLiteral("组，第") +
           plainText(currentGroup) + QStringLiteral("组有") + memberCount + QStringLiteral("人");
}

} // namespace rostrel::grouping
