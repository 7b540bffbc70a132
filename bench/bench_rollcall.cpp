// The pick engine and the grouping at the largest sizes 16 bits allow: one draw among 32767
// candidates, random grouping of 32767 entries, and listing a group of 32767 members.
#include "grouping/GroupPlan.h"
#include "rollcall/PickEngine.h"
#include "shell/FrmMd.h"
#include "support/Fakes.h"
#include "support/Gui.h"

#include <QComboBox>
#include <QListWidget>
#include <QRadioButton>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <random>

namespace {

using namespace rostrel;

using test::FakePlatform;
using test::SeededRandom;
// The window in the number category with 1..32767 grouped into `groups` groups.
struct BigListWindow {
    FakePlatform fake;
    std::unique_ptr<FrmMd> window;

    explicit BigListWindow(int groups) {
        window = std::make_unique<FrmMd>(fake.view());
        FrmMd& w = *window;
        QEvent activation(QEvent::WindowActivate);
        QApplication::sendEvent(&w, &activation);
        w.lesson().BeginRangeEdit();
        w.lesson().SetRangeText(1, QStringLiteral("32767"));
        w.lesson().ConfirmRange(1);
        find<QRadioButton>("OptFz(0)")->setChecked(true);
        find<QLineEdit>("txtFz(0)")->setText(QString::number(groups));
        test::click(find("imgFz(0)"));
        timer = find<QTimer>("Timer1");
    }
    template <typename T = QWidget> T* find(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    // One tick of the rolling display: one draw.
    void draw() const { QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection); }
    bool ready(int groups) const {
        const SessionState& st = window->lesson().session();
        return st.PoolCount == 32767 && st.GroupCount == groups && fake.messages.shown.empty();
    }
    QTimer* timer = nullptr;
};

void drawNext(benchmark::State& state, int groups) {
    BigListWindow b(groups);
    if (!b.ready(groups)) {
        state.SkipWithError("window not set up");
        return;
    }
    b.find<QRadioButton>("OptDmFs(0)")->setChecked(true);
    b.draw(); // the first draw after a grouping indexes the plan
    for (auto _ : state)
        b.draw();
    benchmark::DoNotOptimize(b.window->lesson().session().PickKey);
}

void BM_DrawNext_32767InOneGroup(benchmark::State& state) {
    drawNext(state, 1);
}
void BM_DrawNext_32767In1000Groups(benchmark::State& state) {
    drawNext(state, 1000);
}

// The first draw after a grouping, which builds the key index.
void BM_FirstDrawAfterGrouping_32767(benchmark::State& state) {
    BigListWindow b(1000);
    for (auto _ : state) {
        state.PauseTiming();
        test::click(b.find("imgFz(1)")); // a new plan
        state.ResumeTiming();
        b.draw();
    }
}

void BM_KeyIndexBuild_32767(benchmark::State& state) {
    const int n = 32767;
    CellTable2 roster(n, 3);
    for (int i = 1; i <= n; ++i)
        roster.at(i, 0) = Cell::fromText(QString::number(i));
    SeededRandom random;
    const grouping::Plan plan = grouping::formGroups(roster, n, 1000, 33, &random);
    rollcall::GroupKeyIndex index;
    for (auto _ : state) {
        index.invalidate();
        benchmark::DoNotOptimize(index.find(plan.table, 1000, QStringLiteral("17")));
    }
}

void BM_RandomGrouping_Core_32767(benchmark::State& state) {
    const int n = 32767;
    CellTable2 roster(n, 3);
    for (int i = 1; i <= n; ++i)
        roster.at(i, 0) = Cell::fromText(QString::number(i));
    SeededRandom random;
    const int m = static_cast<int>(state.range(0));
    const int s = grouping::derivedValue(n, m);
    for (auto _ : state) {
        grouping::Plan plan = grouping::formGroups(roster, n, m, s, &random);
        benchmark::DoNotOptimize(plan.placed.data());
    }
}

// The whole handler: derivation, placement, the group list and group 1's member list.
void BM_RandomGrouping_Window_32767(benchmark::State& state) {
    BigListWindow b(1);
    b.find<QLineEdit>("txtFz(0)")->setText(QString::number(state.range(0)));
    QWidget* image = b.find("imgFz(0)");
    for (auto _ : state)
        test::click(image);
}

// Two groups of 16384 and 16383 members, shown in turn.
void BM_FillMemberList_16384(benchmark::State& state) {
    BigListWindow b(2);
    auto* groups = b.find<QListWidget>("List2");
    int row = 0;
    for (auto _ : state) {
        row = 1 - row;
        groups->setCurrentRow(row);
    }
    if (b.find<QListWidget>("List1")->count() < 16383)
        state.SkipWithError("member list not filled");
}

// The range step for 1..32767: list, roster, pool and name box.
void BM_RangeStep_32767(benchmark::State& state) {
    BigListWindow b(1);
    for (auto _ : state) {
        b.window->lesson().PrepareNumberList(1); // the defaults, and the next step rebuilds
        b.window->lesson().SetRangeText(1, QStringLiteral("32767"));
        b.window->lesson().ConfirmRange(1);
    }
}

} // namespace

BENCHMARK(BM_DrawNext_32767InOneGroup)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_DrawNext_32767In1000Groups)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_FirstDrawAfterGrouping_32767)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_KeyIndexBuild_32767)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RandomGrouping_Core_32767)
    ->Arg(1)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RandomGrouping_Window_32767)
    ->Arg(1)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FillMemberList_16384)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RangeStep_32767)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
