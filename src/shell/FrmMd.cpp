#include "shell/FrmMd.h"

#include "platform/Log.h"

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
        logCaught("playing a sound");
    }
}

bool FrmMd::event(QEvent* e) {
    const bool handled = QMainWindow::event(e);
    if (e->type() == QEvent::WindowActivate)
        Form_Activate();
    // Showing the window counts as its first activation too: a desktop without a window
    // manager, or one that keeps the focus elsewhere, never activates it.
    if (e->type() == QEvent::Show && st.FirstShow == 1)
        QMetaObject::invokeMethod(
            this, [this] { Form_Activate(); }, Qt::QueuedConnection);
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
