// The rolling display in the fullscreen view at 3840x2160: one tick shows the next candidate
// and the view repaints, as 20 ticks a second need it (well under 50 ms, the goal 10 ms).
#include "shell/PresentationView.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

using namespace rostrel;

QStringList names() {
    const QStringList family{QStringLiteral("张"), QStringLiteral("王"),   QStringLiteral("李"),
                             QStringLiteral("赵"), QStringLiteral("欧阳"), QStringLiteral("司马"),
                             QStringLiteral("陈"), QStringLiteral("刘")};
    const QStringList given{QStringLiteral("伟"), QStringLiteral("芳芳"), QStringLiteral("娜"),  QStringLiteral("秀英"),
                            QStringLiteral("敏"), QStringLiteral("静"),   QStringLiteral("丽华")};
    QStringList out;
    int n = 0;
    for (const QString& f : family)
        for (const QString& g : given)
            out.append(QString::number(++n) + QStringLiteral(" ") + f + g);
    return out;
}

// Counts the paints, so a benchmark that painted nothing says so.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(o, e);
    }
};

struct FullscreenView {
    PresentationView view;
    PaintCounter counter;
    QStringList candidates = names();
    explicit FullscreenView(QSize size) {
        view.resize(size);
        view.setClock({QStringLiteral("04:59"), clock::ClockTone::Normal, true});
        view.show();
        QApplication::processEvents();
        view.installEventFilter(&counter);
    }
};

// One tick: the next candidate, then the repaint the event loop would make for it.
void BM_RollingTick_Fullscreen(benchmark::State& state) {
    FullscreenView f(QSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    int i = 0;
    for (auto _ : state) {
        f.view.setPick(QStringLiteral("3组 \r\n") + f.candidates[i++ % f.candidates.size()]);
        QApplication::sendPostedEvents(&f.view, QEvent::UpdateRequest);
    }
    if (f.counter.paints < state.iterations())
        state.SkipWithError("the view did not repaint at every tick");
}

// The whole view painted again (a resize, the clock's flash over a new pick).
void BM_FullRepaint_Fullscreen(benchmark::State& state) {
    FullscreenView f(QSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    int i = 0;
    for (auto _ : state) {
        f.view.setPick(f.candidates[i++ % f.candidates.size()]);
        f.view.repaint();
    }
}

} // namespace

BENCHMARK(BM_RollingTick_Fullscreen)
    ->Args({3840, 2160})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FullRepaint_Fullscreen)
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
