#include "shell/FrmMd.h"

#include <QCloseEvent>
#include <QEvent>

namespace rostrel {

FrmMd::FrmMd(const Platform& p, QWidget* parent) : QMainWindow(parent), platform(p) {
    buildControls();
    wireShell();
    wireRollBook();
    wireRollCall();
    wireNumbers();
    wireGrouping();
    wireClock();
    wireScoring();
    Form_Initialize();
}

FrmMd::~FrmMd() = default;

void FrmMd::PlayWave(const QString& relativePath) {
    try {
        if (platform.sound)
            platform.sound->playWave(relativePath);
    } catch (...) {
        // Sound never reaches the user as a failure.
    }
}

bool FrmMd::event(QEvent* e) {
    const bool handled = QMainWindow::event(e);
    if (e->type() == QEvent::WindowActivate)
        Form_Activate();
    return handled;
}

void FrmMd::closeEvent(QCloseEvent* e) {
    Form_QueryUnload();
    e->accept();
}

void FrmMd::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    Form_Resize();
}

} // namespace rostrel
