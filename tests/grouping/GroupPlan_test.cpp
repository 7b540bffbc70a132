#include "grouping/GroupPlan.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

#include <random>

using namespace rostrel;
using namespace rostrel::grouping;
using namespace Qt::StringLiterals;

namespace {

CellTable2 rosterOf(int n) {
    CellTable2 roster(n, 3);
    for (int i = 1; i <= n; ++i) {
        roster.at(i, 0) = Cell::fromNumber(i);
        roster.at(i, 1) = Cell::fromText(u"学生"_s + QString::number(i));
    }
    return roster;
}

std::vector<int> counts(const Plan& p) {
    std::vector<int> out;
    for (int g = 1; g <= p.groupCount; ++g)
        out.push_back(static_cast<int>(p.table.at(g, 0, 0).number));
    return out;
}

// Random numbers replayed from a recording, so two groupings see the same sequence.
class Replay : public Random {
public:
    explicit Replay(std::vector<float> v) : values_(std::move(v)) {}
    void reseed(double) override {}
    float next() override { return values_.at(pos_++); }
    size_t used() const { return pos_; }

private:
    std::vector<float> values_;
    size_t pos_ = 0;
};

// The grouping as the working list describes it: draw k = 1 + Int(r × R), take position k,
// move the positions after it down by one.
std::vector<std::pair<int, int>> shiftDownReference(int n, int m, int s, Random& random) {
    std::vector<int> list(static_cast<size_t>(n) + 1);
    for (int i = 1; i <= n; ++i)
        list[i] = i;
    int left = n;
    std::vector<std::pair<int, int>> placed(static_cast<size_t>(n) + 1, {0, 0});
    for (int a = 1; a <= m; ++a) {
        const int c = a * s <= n ? s : std::max(n - (a - 1) * s, 0);
        for (int j = 1; j <= c; ++j) {
            if ((a - 1) * s + j > n)
                break;
            const int k = 1 + static_cast<int>(static_cast<double>(random.next()) * left);
            const int e = list[k];
            for (int i = k; i < left; ++i)
                list[i] = list[i + 1];
            list[left] = 0;
            --left;
            placed[e] = {a, j};
        }
    }
    return placed;
}

} // namespace

TEST(GroupPlan, DerivationRoundsUp) {
    EXPECT_EQ(derivedValue(10, 4), 3);
    EXPECT_EQ(derivedValue(45, 8), 6);
    EXPECT_EQ(derivedValue(10, 12), 1);
    EXPECT_EQ(derivedValue(45, 46), 1);
    EXPECT_EQ(derivedValue(0, 1), 0); // an empty list: one group of size 0
    EXPECT_EQ(derivedValue(32767, 1), 32767);
    EXPECT_THROW(derivedValue(10, 0), std::invalid_argument);
    EXPECT_THROW(derivedValue(10, -3), std::invalid_argument);
}

TEST(GroupPlan, MemberCountsOfTypicalGroupings) {
    const auto plan = [](int n, int m) { return counts(formGroups(rosterOf(n), n, m, derivedValue(n, m), nullptr)); };
    EXPECT_EQ(counts(formGroups(rosterOf(10), 10, derivedValue(10, 4), 4, nullptr)), (std::vector{4, 4, 2}));
    EXPECT_EQ(plan(10, 4), (std::vector{3, 3, 3, 1}));
    EXPECT_EQ(plan(10, 6), (std::vector{2, 2, 2, 2, 2, 0}));
    EXPECT_EQ(plan(7, 5), (std::vector{2, 2, 2, 1, 0}));
    EXPECT_EQ(plan(12, 5), (std::vector{3, 3, 3, 3, 0}));
    EXPECT_EQ(plan(10, 12), (std::vector{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0}));
    EXPECT_EQ(plan(45, 8), (std::vector{6, 6, 6, 6, 6, 6, 6, 3}));
}

TEST(GroupPlan, LargeGroupsNeedNoProductBeyondSixteenBits) {
    // Group 2 of 20000 starts past 32767 slots counted from the first; nothing may overflow.
    const Plan p = formGroups(rosterOf(32767), 32767, 2, 20000, nullptr);
    EXPECT_EQ(counts(p), (std::vector{20000, 12767}));
    EXPECT_EQ(p.placed[32767], (std::pair<int16_t, int16_t>{2, 12767}));
}

TEST(GroupPlan, SequentialGroupingKeepsRosterOrder) {
    Plan p = formGroups(rosterOf(10), 10, 3, 4, nullptr);
    EXPECT_EQ(p.placed[6], (std::pair<int16_t, int16_t>{2, 2}));
    EXPECT_EQ(defaultText(p.table.at(3, 2, 0)), u"10"_s);
    EXPECT_EQ(defaultText(p.table.at(3, 2, 1)), u"学生10"_s);
    EXPECT_TRUE(p.table.at(3, 3, 0).isEmpty());
    EXPECT_EQ(p.table.last2(), 2);

    SessionState st;
    st.RosterTable = rosterOf(10);
    st.RosterCount = 10;
    commitPlan(st, std::move(p));
    EXPECT_EQ(st.GroupCount, 3);
    EXPECT_EQ(st.GroupSize, 4);
    EXPECT_EQ(defaultText(st.RosterTable.at(6, 2)), u"2"_s);
    EXPECT_EQ(defaultText(st.RosterTable.at(6, 3)), u"2"_s);
    EXPECT_EQ(st.GroupDrawList.size(), 11u);
}

TEST(GroupPlan, RandomPlacementsEqualTheShiftedWorkingList) {
    std::mt19937 engine(2024);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const std::vector<std::tuple<int, int, int>> shapes{
        {1, 1, 1},     {2, 1, 2},     {10, 3, 4},      {10, 6, 2},        {7, 5, 2},        {45, 8, 6},
        {100, 100, 1}, {257, 16, 17}, {1000, 1, 1000}, {32767, 1000, 33}, {32767, 1, 32767}};
    for (const auto& [n, m, s] : shapes) {
        std::vector<float> draws(static_cast<size_t>(n));
        for (float& r : draws)
            r = unit(engine);
        // The extremes of [0, 1) too.
        draws.front() = 0.99999994f;
        if (n > 2)
            draws[1] = 0.0f;
        Replay a(draws), b(draws);
        const Plan p = formGroups(rosterOf(n), n, m, s, &a);
        const auto expected = shiftDownReference(n, m, s, b);
        EXPECT_EQ(a.used(), static_cast<size_t>(n));
        for (int e = 1; e <= n; ++e) {
            ASSERT_EQ(p.placed[e].first, expected[e].first) << "n=" << n << " entry " << e;
            ASSERT_EQ(p.placed[e].second, expected[e].second) << "n=" << n << " entry " << e;
            EXPECT_EQ(p.table.at(p.placed[e].first, p.placed[e].second, 0).number, e);
        }
    }
}

TEST(GroupPlan, RandomGroupingIsUniform) {
    // Where each of 8 entries lands (8 slots: 3 groups of 3, 3, 2) over many groupings with
    // a fixed seed: a chi-square test of the 64 entry × slot counts against 1/8 each.
    constexpr int n = 8;
    constexpr int runs = 16000;
    test::SeededRandom random(777);
    const CellTable2 roster = rosterOf(n);
    std::vector<std::vector<int>> seen(n + 1, std::vector<int>(n, 0));
    for (int run = 0; run < runs; ++run) {
        const Plan p = formGroups(roster, n, 3, 3, &random);
        for (int e = 1; e <= n; ++e) {
            const auto [g, j] = p.placed[e];
            ASSERT_GT(g, 0);
            ++seen[e][(g - 1) * 3 + (j - 1)];
        }
    }
    const double expected = static_cast<double>(runs) / n;
    double chi2 = 0;
    for (int e = 1; e <= n; ++e)
        for (int slot = 0; slot < n; ++slot)
            chi2 += (seen[e][slot] - expected) * (seen[e][slot] - expected) / expected;
    // 49 degrees of freedom; 85.4 is the 0.1% point.
    EXPECT_LT(chi2, 85.4);
    // A placement that ignored the random numbers would be far off.
    EXPECT_GT(chi2, 10.0);
}

TEST(GroupPlan, ValuesThatCannotFormGroupsChangeNothing) {
    const CellTable2 roster = rosterOf(10);
    EXPECT_THROW(formGroups(roster, 10, 0, 3, nullptr), std::invalid_argument);
    EXPECT_THROW(formGroups(roster, 10, -1, 3, nullptr), std::invalid_argument);
    EXPECT_THROW(formGroups(roster, 11, 3, 4, nullptr), std::out_of_range);
    EXPECT_THROW(formGroups(CellTable2(), 1, 1, 1, nullptr), std::out_of_range);
    EXPECT_EQ(counts(formGroups(CellTable2(), 0, 1, 0, nullptr)), std::vector{0});
}

TEST(GroupPlan, SummaryText) {
    EXPECT_EQ(summaryText(45, 8, 1, u"6"_s), u"45人分8组，第1组有6人"_s);
    EXPECT_EQ(summaryText(10, 3, 3, u"2"_s), u"10人分3组，第3组有2人"_s);
}
