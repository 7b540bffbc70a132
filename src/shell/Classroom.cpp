// The classroom additions' controls, undo and redo with their notices, and the clock presets.
#include "shell/Classroom.h"

#include "platform/SetupStore.h"
#include "scoring/WriteHistory.h"
#include "shell/FrmMd.h"
#include "shell/HelpOverlay.h"
#include "shell/PresentationView.h"
#include "shell/Theme.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
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

} // namespace rostrel
