// Loading a class of 3000 students through the window, and writing one score into it.
#include "shell/FrmMd.h"
#include "support/Fakes.h"
#include "support/Gui.h"

#include <QAction>
#include <QComboBox>

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
        window->lesson().SetPickCategory(0); // today is 03月16
        fake.fileDialog.answers.push_back({path, QStringLiteral("big_class.xls")});
        test::click(window->findChild<QWidget*>(QStringLiteral("Image1")));
    }
    int16_t students() const { return window->lesson().session().RosterCount; }
};

void BM_LoadClassRoster(benchmark::State& state) {
    BigClassWindow b;
    if (b.students() != 3000)
        state.SkipWithError("big_class.xls did not load");
    QAction* reload = b.window->findChild<QAction*>(QStringLiteral("MnBj(0)")); // the class shown
    for (auto _ : state)
        reload->trigger();
    state.counters["students"] = b.students();
}
BENCHMARK(BM_LoadClassRoster)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_WriteScore(benchmark::State& state) {
    BigClassWindow b;
    if (b.students() != 3000)
        state.SkipWithError("big_class.xls did not load");
    b.window->findChild<QComboBox*>(QStringLiteral("Combo1(0)"))->setCurrentText(QStringLiteral("1"));
    auto* names = b.window->findChild<QComboBox*>(QStringLiteral("CmbXm"));
    QWidget* write = b.window->findChild<QWidget*>(QStringLiteral("imgXie(1)"));
    for (auto _ : state) {
        state.PauseTiming();
        // The next student chosen in the name box (the first after the last).
        if (names->currentIndex() == names->count() - 1)
            names->setCurrentIndex(-1);
        test::pressKey(names, Qt::Key_Down);
        state.ResumeTiming();
        test::click(write);
    }
    if (!b.fake.messages.shown.empty())
        state.SkipWithError("a message was shown");
}
BENCHMARK(BM_WriteScore)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

} // namespace
