#include "platform/qt/QuitOnSignal.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

// Logging out or closing the terminal must end the program through its normal shutdown, which
// releases the roll book and removes its lock file.
TEST(QuitOnSignal, TerminationSignalsEndTheEventLoopNormally) {
    rostrel::quitOnTerminationSignals();
    for (int sig : {SIGTERM, SIGHUP}) {
        QTimer raiser;
        raiser.setSingleShot(true);
        QObject::connect(&raiser, &QTimer::timeout, [sig] { ::raise(sig); });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        raiser.start(0);
        guard.start(5000);
        EXPECT_EQ(QCoreApplication::exec(), 0) << "signal " << sig;
    }
}
