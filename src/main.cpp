// Starts the program: the splash window, which opens the main window.
#include "platform/qt/DesktopPlatform.h"
#include "shell/FrmMd.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Rostrel"));
    rostrel::DesktopPlatform desktop;
    rostrel::FrmMd window(desktop.view());
    window.show();
    return app.exec();
}
