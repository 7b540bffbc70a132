// Presenter keys and the fullscreen view of the classroom window, and the window events the
// classroom additions follow (first activation, closing, resizing). A key goes to the control
// with the focus unless it is a presenter's key there, which runs its action.
#include "shell/Classroom.h"
#include "shell/FrmMd.h"
#include "shell/HelpOverlay.h"
#include "shell/PresentationView.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolButton>

namespace rostrel {

namespace {

template <typename T = QWidget> T* named(const QObject& root, const QString& name) {
    return root.findChild<T*>(name);
}
template <typename T = QWidget> T* named(const QObject& root, const char* name, int index) {
    return root.findChild<T*>(arrayName(name, index));
}

void clickIfEnabled(QWidget* w) {
    if (!w || !w->isEnabled())
        return;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->click();
    else if (auto* l = qobject_cast<ClickLabel*>(w))
        l->click();
}

} // namespace

FocusKind Classroom::focusKind(QWidget* f) const {
    if (!f)
        return FocusKind::Other;
    if (qobject_cast<QLineEdit*>(f) || qobject_cast<QAbstractSpinBox*>(f) || qobject_cast<QTextEdit*>(f) ||
        qobject_cast<QPlainTextEdit*>(f))
        return FocusKind::TextBox;
    if (auto* combo = qobject_cast<QComboBox*>(f))
        return combo->isEditable() ? FocusKind::TextBox : FocusKind::List;
    if (qobject_cast<QAbstractItemView*>(f))
        return FocusKind::List;
    // A button keeps Space and Enter only when the teacher went there with Tab, not when the
    // focus fell on it (its neighbour was disabled or hidden).
    const bool tabbed = focusReason_ == Qt::TabFocusReason || focusReason_ == Qt::BacktabFocusReason;
    if (tabbed && (qobject_cast<QAbstractButton*>(f) || (qobject_cast<ClickLabel*>(f) && f->objectName() != u"lblXm")))
        return FocusKind::Button;
    return FocusKind::Other;
}

bool Classroom::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* target = qobject_cast<QWidget*>(watched);
        if (!target || target->window() != &w_ || QApplication::activePopupWidget() ||
            QApplication::activeModalWidget())
            break;
        // Only the key's first delivery, to the widget with the focus. A key a text box took and
        // left unaccepted (Enter after a message it showed) travels on to its parents, by then
        // perhaps with no widget focused at all; and the window's own filter sees each delivery
        // to it a second time.
        const bool seen = event == keyInFlight_ && keyTarget_ && target->isAncestorOf(keyTarget_);
        keyInFlight_ = event;
        keyTarget_ = target;
        if (seen)
            break;
        if (QWidget* f = QApplication::focusWidget(); f ? target != f : target != &w_)
            break;
        auto* key = static_cast<QKeyEvent*>(event);
        const PresenterAction a = presenterAction(key->key(), key->modifiers(), focusKind(target));
        if (a == PresenterAction::None)
            break;
        // Holding a key down repeats only the points.
        if (!key->isAutoRepeat() || a == PresenterAction::PointsUp || a == PresenterAction::PointsDown)
            act(a);
        return true;
    }
    case QEvent::KeyRelease:
        keyInFlight_ = nullptr; // the next press is a new key, wherever it is delivered first
        break;
    case QEvent::FocusIn:
        if (auto* target = qobject_cast<QWidget*>(watched); target && target->window() == &w_)
            focusReason_ = static_cast<QFocusEvent*>(event)->reason();
        break;
    case QEvent::WindowActivate:
        if (watched == &w_ && !restored_) {
            restored_ = true;
            // After the window's own first activation (the number category).
            QMetaObject::invokeMethod(this, &Classroom::restoreSetup, Qt::QueuedConnection);
        }
        break;
    case QEvent::Close:
        if (watched == &w_)
            saveSetup();
        break;
    case QEvent::Resize:
        if (watched == &w_ && view_->isVisible())
            view_->setGeometry(w_.rect());
        else if (undo_ && watched == undo_->parent())
            showHistory();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void Classroom::act(PresenterAction a) {
    if (help_->isVisible() && a != PresenterAction::Help) {
        help_->hide();
        if (a == PresenterAction::Leave)
            return;
    }
    switch (a) {
    case PresenterAction::Pick:
        clickIfEnabled(named(w_, QStringLiteral("lblXm")));
        syncView();
        break;
    case PresenterAction::Back: {
        clickIfEnabled(named(w_, "cmdNext", w_.lesson().drawsAtRandom() ? 0 : 1));
        syncView();
        break;
    }
    case PresenterAction::Fullscreen:
        setPresenting(!presenting_);
        break;
    case PresenterAction::Leave:
        if (view_->blank() && !presenting_) {
            act(PresenterAction::Blank);
        } else if (presenting_) {
            setPresenting(false);
        }
        break;
    case PresenterAction::Blank:
        if (presenting_) {
            view_->setBlank(!view_->blank());
        } else {
            blankWindow_ = !blankWindow_;
            view_->setBlank(blankWindow_);
            view_->setGeometry(w_.rect());
            view_->setVisible(blankWindow_);
            view_->raise();
        }
        break;
    case PresenterAction::Undo:
        undoOrRedo(true);
        break;
    case PresenterAction::Redo:
        undoOrRedo(false);
        break;
    case PresenterAction::PointsUp:
        clickIfEnabled(named(w_, "Command1", 0));
        break;
    case PresenterAction::PointsDown:
        clickIfEnabled(named(w_, "Command1", 1));
        break;
    case PresenterAction::WriteScore:
        if (auto* write = named(w_, "imgXie", 1); write && write->isVisibleTo(&w_))
            clickIfEnabled(write);
        break;
    case PresenterAction::Help:
        help_->setVisible(!help_->isVisible());
        if (help_->isVisible())
            help_->raise();
        break;
    case PresenterAction::None:
        break;
    }
}

void Classroom::setPresenting(bool on) {
    if (on == presenting_)
        return;
    presenting_ = on;
    blankWindow_ = false;
    view_->setBlank(false);
    if (on) {
        wasMaximized_ = w_.isMaximized();
        w_.menuBar()->hide();
        view_->setGeometry(w_.rect());
        view_->show();
        syncView();
        view_->raise();
        if (help_->isVisible())
            help_->raise();
        w_.showFullScreen();
        view_->setGeometry(w_.rect());
    } else {
        view_->hide();
        w_.menuBar()->show();
        if (wasMaximized_)
            w_.showMaximized();
        else
            w_.showNormal();
    }
    if (fullscreenItem_)
        fullscreenItem_->setText(on ? QStringLiteral("退出全屏\tEsc") : QStringLiteral("全屏显示\tF5"));
}

void Classroom::focusNameLabel() {
    // The name label takes the focus from a button the focus fell on (the first Space picks),
    // never from a box the teacher is typing in. The window's own focus widget, not the
    // application's: while a message shows, the box it came from gets the focus back after it.
    QWidget* f = w_.focusWidget();
    if (f && focusKind(f) == FocusKind::TextBox)
        return;
    if (auto* name = named(w_, QStringLiteral("lblXm")))
        name->setFocus(Qt::OtherFocusReason);
}

} // namespace rostrel
