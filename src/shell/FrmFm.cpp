#include "shell/FrmFm.h"

#include "platform/qt/DesktopPlatform.h"
#include "shell/Controls.h"
#include "shell/Fonts.h"
#include "shell/Twips.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>

namespace rostrel {

FrmFm::FrmFm(std::function<void()> openMain, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), openMain_(std::move(openMain)) {
    setObjectName(QStringLiteral("FrmFm"));
    setWindowTitle(QStringLiteral("Rostrel"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(px(7185), px(5400));
    setFont(designFont(kFontYahei, 10));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xF4F1E8));
    setPalette(pal);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(pxRect((7185 - 1125) / 2, 600, 1125, 1125));
    Image1->setAlignment(Qt::AlignCenter);
    QPixmap logo;
    const QString logoFile = findDataFile(QStringLiteral("icons/rostrel-256.png"));
    if (!logoFile.isEmpty() && logo.load(logoFile))
        Image1->setPixmap(logo.scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    Label1 = new QLabel(QStringLiteral("Rostrel"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(designFont(kFontYahei, 36));
    Label1->setGeometry(pxRect(0, 1950, 7185, 1050));

    const QStringList lines{QStringLiteral("课堂点名 · 分组 · 计时"), QStringLiteral("Rostrel 开发组"),
                            QStringLiteral("2026年3月")};
    for (int i = 0; i < 3; ++i) {
        Label2[i] = new QLabel(lines[i], this);
        Label2[i]->setObjectName(arrayName("Label2", i));
        Label2[i]->setAlignment(Qt::AlignCenter);
        Label2[i]->setGeometry(pxRect(0, 3300 + i * 480, 7185, 420));
    }

    chkBxs = new QCheckBox(QStringLiteral("下次启动不显示"), this);
    chkBxs->setObjectName(QStringLiteral("chkBxs"));
    chkBxs->setFocusPolicy(Qt::NoFocus);
    chkBxs->adjustSize();
    chkBxs->move(width() - chkBxs->width() - px(120), height() - chkBxs->height() - px(90));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &FrmFm::Timer1_Timer);
    Form_Load();
}

void FrmFm::Form_Load() {
    if (const QScreen* scr = QGuiApplication::primaryScreen()) {
        const QRect area = scr->availableGeometry();
        move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
    }
    ticks_ = 0;
    Timer1->start();
}

void FrmFm::Timer1_Timer() {
    if (opened_)
        return;
    ++ticks_;
    if (ticks_ >= 4)
        openMainOnce();
}

void FrmFm::Form_Click() {
    openMainOnce();
}

void FrmFm::mousePressEvent(QMouseEvent* event) {
    // The labels and the picture let clicks through: a click anywhere ends the splash.
    if (event->button() == Qt::LeftButton)
        Form_Click();
    QWidget::mousePressEvent(event);
}

void FrmFm::openMainOnce() {
    // Stopping the timer first makes sure the main window opens once.
    Timer1->stop();
    if (opened_)
        return;
    opened_ = true;
    if (openMain_)
        openMain_();
    close();
}

} // namespace rostrel
