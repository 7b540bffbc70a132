#include "shell/Classroom.h"

#include "platform/SetupStore.h"
#include "scoring/WriteHistory.h"
#include "shell/FrmMd.h"
#include "shell/HelpOverlay.h"
#include "shell/PresentationView.h"
#include "shell/Theme.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QToolButton>

namespace rostrel {

namespace {

constexpr int kNoticeMs = 4000;

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

Classroom::Classroom(FrmMd& window) : QObject(&window), w_(window) {
    buildControls();
    followDesktop();
    fitWindow();
    qApp->installEventFilter(this);
    w_.installEventFilter(this);

    Lesson& lesson = w_.lesson();
    // The view follows every change of the pick and the clock.
    connect(&lesson, &Lesson::changed, this, [this](unsigned parts) {
        if (parts & Lesson::ClockPart) {
            if (w_.lesson().clockFlashing() && !flashTimer_->isActive())
                flashTimer_->start();
        }
        syncView();
    });
    connect(&lesson.writeHistory(), &scoring::WriteHistory::historyChanged, this, &Classroom::showHistory);
    connect(&lesson.writeHistory(), &scoring::WriteHistory::written, this,
            [this](const scoring::WriteRecord& r, bool undone) {
                if (!undone && !w_.lesson().writeHistory().canRedo() && w_.lesson().writeHistory().lastWrite() == &r)
                    showNotice(scoring::writeNotice(r));
            });
    showHistory();
}

Classroom::~Classroom() {
    qApp->removeEventFilter(this);
}

void Classroom::buildControls() {
    view_ = new PresentationView(&w_);
    view_->hide();
    if (auto* name = named<QLabel>(w_, QStringLiteral("lblXm"))) {
        auto* clockLabel = named<QLabel>(w_, QStringLiteral("lblSj"));
        view_->setFonts(name->font(), clockLabel ? clockLabel->font() : name->font());
        // A click takes the focus from a text box (its leaving step runs first) and keeps it
        // away from the check boxes, so the next Space picks again.
        name->setFocusPolicy(Qt::ClickFocus);
    }
    connect(view_, &PresentationView::clicked, this, [this] { act(PresenterAction::Pick); });
    help_ = new HelpOverlay(&w_);

    // Undo, redo and the notice at the top of the display area.
    if (auto* display = named(w_, QStringLiteral("fraxianshi"))) {
        undo_ = new QToolButton(display);
        undo_->setObjectName(QStringLiteral("cmdCx"));
        undo_->setText(QStringLiteral("撤销"));
        redo_ = new QToolButton(display);
        redo_->setObjectName(QStringLiteral("cmdCz"));
        redo_->setText(QStringLiteral("重做"));
        for (QToolButton* b : {undo_, redo_}) {
            b->setAutoRaise(true);
            b->setFocusPolicy(Qt::TabFocus);
            b->adjustSize();
        }
        connect(undo_, &QToolButton::clicked, this, [this] { undoOrRedo(true); });
        connect(redo_, &QToolButton::clicked, this, [this] { undoOrRedo(false); });
        notice_ = new QLabel(display);
        notice_->setObjectName(QStringLiteral("lblTs"));
        notice_->hide();
        display->installEventFilter(this);
    }
    noticeTimer_ = new QTimer(this);
    noticeTimer_->setSingleShot(true);
    noticeTimer_->setInterval(kNoticeMs);
    connect(noticeTimer_, &QTimer::timeout, this, [this] {
        if (notice_)
            notice_->hide();
        syncView();
    });
    flashTimer_ = new QTimer(this);
    flashTimer_->setInterval(clock::ClassroomClock::kFlashHalfPeriodMs / 2);
    connect(flashTimer_, &QTimer::timeout, this, [this] {
        w_.lesson().RefreshClockFace();
        if (!w_.lesson().clockFlashing())
            flashTimer_->stop();
    });

    // The absent mark beside "Excel新列写入".
    if (auto* scoreFrame = named(w_, QStringLiteral("FrJif"))) {
        if (auto* newColumn = named(w_, QStringLiteral("chkRq")))
            newColumn->resize(96, newColumn->height());
        absent_ = new QPushButton(QStringLiteral("缺"), scoreFrame);
        absent_->setObjectName(QStringLiteral("cmdQx"));
        absent_->setToolTip(QStringLiteral("记为缺席"));
        absent_->setAccessibleName(QStringLiteral("记为缺席"));
        absent_->setGeometry(100, 1, 28, 20);
        connect(absent_, &QPushButton::clicked, this, [this] { w_.lesson().MarkAbsent(); });
    }
    // One-click countdowns under the clock settings.
    if (auto* clockFrame = named(w_, QStringLiteral("fraJs"))) {
        for (int i = 0; i < 4; ++i) {
            const int minutes = clock::kPresetMinutes[static_cast<size_t>(i)];
            auto* b = new QPushButton(QString::number(minutes), clockFrame);
            b->setObjectName(arrayName("cmdYs", i));
            b->setToolTip(QStringLiteral("倒计时") + QString::number(minutes) + QStringLiteral("分钟"));
            b->setAccessibleName(b->toolTip());
            b->setGeometry(4 + i * 25, 83, 24, 22);
            connect(b, &QPushButton::clicked, this, [this, minutes] { startPreset(minutes); });
            presets_[static_cast<size_t>(i)] = b;
        }
    }
    // Menu items: fullscreen under the display modes, the key help and the splash under help.
    if (auto* display = named<QMenu>(w_, QStringLiteral("MnXianshi"))) {
        fullscreenItem_ = display->addAction(QStringLiteral("全屏显示\tF5"));
        fullscreenItem_->setObjectName(arrayName("MnXs", 3));
        connect(fullscreenItem_, &QAction::triggered, this, [this] { setPresenting(!presenting_); });
    }
    if (auto* helpMenu = named<QMenu>(w_, QStringLiteral("MnGuanYu"))) {
        helpItem_ = helpMenu->addAction(QStringLiteral("按键帮助\tF1"));
        helpItem_->setObjectName(arrayName("MnBz", 1));
        connect(helpItem_, &QAction::triggered, this, [this] { act(PresenterAction::Help); });
        splashItem_ = helpMenu->addAction(QStringLiteral("启动时显示封面"));
        splashItem_->setObjectName(arrayName("MnBz", 2));
        splashItem_->setCheckable(true);
        SetupStore* store = w_.lesson().platform().setup;
        splashItem_->setChecked(!(store && store->load().skipSplash.value_or(false)));
        connect(splashItem_, &QAction::toggled, this, [this](bool show) {
            if (SetupStore* s = w_.lesson().platform().setup) {
                RememberedSetup r;
                r.skipSplash = !show;
                s->save(r);
            }
        });
    }
}

void Classroom::followDesktop() {
    const QPalette p = w_.palette();
    if (!theme::isDark(p))
        return;
    // Icons keep a light plate, the clock and text colours come from the palette.
    for (ClickLabel* image : w_.findChildren<ClickLabel*>())
        if (!image->pixmap().isNull())
            image->setPixmap(theme::visibleIcon(image->pixmap(), p));
    for (const char* holder : {"Image3", "Image4"})
        if (auto* l = named<QLabel>(w_, QString::fromLatin1(holder)); l && !l->pixmap().isNull())
            l->setPixmap(theme::visibleIcon(l->pixmap(), p));
}

void Classroom::fitWindow() {
    const QScreen* screen = w_.screen() ? w_.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QSize wanted = w_.size();
    if (SetupStore* store = w_.lesson().platform().setup)
        wanted = store->load().windowSize.value_or(wanted);
    const QRect area = screen->availableGeometry();
    // The frame is not known before the window is shown: a title bar and thin borders.
    const QRect g = theme::fittedGeometry(wanted, QSize(320, 240), area, QMargins(4, 32, 4, 4));
    if (g.size() != w_.size())
        w_.resize(g.size());
    w_.move(g.topLeft() - QPoint(4, 32));
}

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

void Classroom::syncView() {
    if (!view_->isVisible())
        return;
    const Lesson& lesson = w_.lesson();
    view_->setPick(lesson.nameCaption());
    const bool noticeShown = notice_ && !notice_->isHidden();
    view_->setCaption(noticeShown ? notice_->text() : lesson.positionLine());
    view_->setClock(w_.lesson().clockFace());
}

QString Classroom::notice() const {
    return notice_ && !notice_->isHidden() ? notice_->text() : QString();
}

void Classroom::showNotice(const QString& text) {
    if (!notice_)
        return;
    notice_->setText(text);
    notice_->adjustSize();
    notice_->move(8, 4);
    notice_->show();
    notice_->raise();
    noticeTimer_->start();
    syncView();
}

void Classroom::undoOrRedo(bool undo) {
    scoring::WriteHistory& history = w_.lesson().writeHistory();
    const scoring::WriteRecord* r = undo ? history.lastWrite() : history.nextRedo();
    if (!r)
        return;
    const QString label = r->label;
    QString reason;
    if (undo ? history.undo(&reason) : history.redo(&reason)) {
        showNotice((undo ? QStringLiteral("已撤销：") : QStringLiteral("已重做：")) + label);
        w_.lesson().PlayWave(QStringLiteral("sound\\yes.wav"));
    } else if (!reason.isEmpty() && w_.lesson().platform().messages) {
        w_.lesson().platform().messages->warn(reason);
    }
}

void Classroom::showHistory() {
    if (!undo_)
        return;
    const scoring::WriteHistory& history = w_.lesson().writeHistory();
    undo_->setEnabled(history.canUndo());
    redo_->setEnabled(history.canRedo());
    undo_->setToolTip(history.undoToolTip());
    undo_->setAccessibleName(history.undoToolTip());
    redo_->setToolTip(history.redoToolTip());
    redo_->setAccessibleName(history.redoToolTip());
    QWidget* display = undo_->parentWidget();
    redo_->move(display->width() - redo_->width() - 4, 4);
    undo_->move(redo_->x() - undo_->width() - 2, 4);
    undo_->raise();
    redo_->raise();
}

void Classroom::startPreset(int minutes) {
    Lesson& lesson = w_.lesson();
    lesson.SetEntryText(1, QString::number(minutes));
    lesson.SetClockUnit(1);
    lesson.SetClockMode(1);
    lesson.StartClockRun();
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
