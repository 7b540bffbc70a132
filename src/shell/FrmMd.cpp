#include "shell/FrmMd.h"

#include "platform/Log.h"
#include "shell/Classroom.h"

#include <QCloseEvent>
#include <QEvent>

namespace rostrel {

FrmMd::FrmMd(const Platform& p, QWidget* parent) : QMainWindow(parent), lesson_(p) {
    buildControls();
    connect(&lesson_, &Lesson::changed, this, &FrmMd::showLesson);
    wireShell();
    wireRollBook();
    wireRollCall();
    wireNumbers();
    wireGrouping();
    wireClock();
    wireScoring();
    Form_Initialize();
    classroom_ = new Classroom(*this);
}

FrmMd::~FrmMd() = default;

void FrmMd::showLesson(unsigned parts) {
    if (parts & Lesson::ClockPart)
        showClock();
    if (parts & Lesson::ScoreEntryPart)
        showScoreEntry();
    if (parts & Lesson::NumbersPart)
        showNumbers();
    if (parts & Lesson::EntriesPart)
        showEntries();
    if (parts & Lesson::DrawRulesPart)
        showDrawRules();
}

bool FrmMd::event(QEvent* e) {
    const bool handled = QMainWindow::event(e);
    if (e->type() == QEvent::WindowActivate)
        Form_Activate();
    // Showing the window counts as its first activation too: a desktop without a window
    // manager, or one that keeps the focus elsewhere, never activates it.
    if (e->type() == QEvent::Show && lesson_.firstShowPending())
        QMetaObject::invokeMethod(
            this, [this] { Form_Activate(); }, Qt::QueuedConnection);
    return handled;
}

void FrmMd::closeEvent(QCloseEvent* e) {
    lesson_.EndSession(); // releases the roll books
    e->accept();
}

void FrmMd::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    Form_Resize();
}

} // namespace rostrel
