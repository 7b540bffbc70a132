// Starts the program: the splash window, which opens the main window.
//
// `--version` and `--help` print and exit before any window system is touched.
// Hidden diagnostic flag: `--measure-startup` skips the splash, prints the milliseconds from
// the start of main() to the first paint of the main window on stderr, and quits.
#include "Version.h"
#include "platform/SetupStore.h"
#include "platform/qt/DesktopPlatform.h"
#include "platform/qt/QuitOnSignal.h"
#include "platform/qt/Translations.h"
#include "shell/FrmFm.h"
#include "shell/FrmMd.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Reports the time to the first paint of the watched window, then ends the program.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(const QElapsedTimer& clock) : clock_(clock) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            std::fprintf(stderr, "startup-ms %.1f\n", static_cast<double>(clock_.nsecsElapsed()) / 1e6);
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& clock_;
    bool done_ = false;
};

const char kHelp[] = "Usage: rostrel [Qt options]\n"
                     "A classroom tool: calls on students, forms groups, runs a clock and writes scores\n"
                     "into the teacher's .xls roll book. The window is in Chinese.\n"
                     "\n"
                     "  --help     show this text and exit\n"
                     "  --version  show the version and exit\n"
                     "\n"
                     "Data files (sound/, icons/, 说明文档.txt) are taken from the current folder, else\n"
                     "from the installed share/rostrel.\n";

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    bool measure = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("rostrel " ROSTREL_VERSION "\n", stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--measure-startup") == 0)
            measure = true;
    }

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Rostrel"));
    app.setApplicationVersion(QStringLiteral(ROSTREL_VERSION));
    app.setDesktopFileName(QStringLiteral("rostrel"));
    const std::unique_ptr<QTranslator> qtTexts = rostrel::loadQtTranslations(QLocale::system());
    if (qtTexts)
        QApplication::installTranslator(qtTexts.get());
    rostrel::quitOnTerminationSignals();
    std::signal(SIGXFSZ, SIG_IGN); // a file-size limit fails the save instead of ending the program
    rostrel::DesktopPlatform desktop;
    std::unique_ptr<rostrel::FrmMd> window;
    auto openMain = [&] {
        window = std::make_unique<rostrel::FrmMd>(desktop.view());
        window->show();
    };

    if (measure) {
        FirstPaint probe(sinceStart);
        openMain();
        window->installEventFilter(&probe);
        const int rc = app.exec();
        window.reset();
        return rc;
    }

    // The teacher may have chosen to go straight to the main window.
    if (desktop.setup->load().skipSplash.value_or(false)) {
        openMain();
        const int rc = app.exec();
        window.reset();
        return rc;
    }
    rostrel::FrmFm* splash = nullptr;
    splash = new rostrel::FrmFm([&] {
        if (splash->skipNextTime()) {
            rostrel::RememberedSetup skip;
            skip.skipSplash = true;
            desktop.setup->save(skip);
        }
        openMain();
    });
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();
    const int rc = app.exec();
    window.reset();
    return rc;
}
