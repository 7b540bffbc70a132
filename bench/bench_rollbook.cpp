// Loading a class of 3000 students through the window, and writing one score into it.
#include "shell/FrmMd.h"
#include "support/Fakes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

using namespace rostrel;

using test::FakePlatform;
struct BigClassWindow {
    QTemporaryDir dir;
    FakePlatform fake;
    std::unique_ptr<FrmMd> window;

    BigClassWindow() {
        const QString path = dir.filePath(QStringLiteral("big_class.xls"));
        QFile::copy(QDir(QStringLiteral(ROSTREL_FIXTURES_DIR)).filePath(QStringLiteral("big_class.xls")), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        window = std::make_unique<FrmMd>(fake.view());
        window->st.PickCategory = 0;
        window->st.TodayLabel = QStringLiteral("03月16");
        window->st.RollBookPath = path;
        window->st.RollBookName = QStringLiteral("big_class.xls");
        window->ListClasses();
    }
};

void BM_LoadClassRoster(benchmark::State& state) {
    BigClassWindow b;
    if (b.window->st.RosterCount != 3000)
        state.SkipWithError("big_class.xls did not load");
    for (auto _ : state)
        b.window->LoadClassRoster();
    state.counters["students"] = b.window->st.RosterCount;
}
BENCHMARK(BM_LoadClassRoster)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_WriteScore(benchmark::State& state) {
    BigClassWindow b;
    if (b.window->st.RosterCount != 3000)
        state.SkipWithError("big_class.xls did not load");
    b.window->ui.Combo1[0]->setCurrentText(QStringLiteral("1"));
    int16_t student = 1;
    for (auto _ : state) {
        b.window->st.PickKey = QString::number(student);
        b.window->imgXie_Click(1);
        student = static_cast<int16_t>(student % 3000 + 1);
    }
    if (!b.fake.messages.shown.empty())
        state.SkipWithError("a message was shown");
}
BENCHMARK(BM_WriteScore)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

} // namespace
