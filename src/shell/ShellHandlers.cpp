// Start-up, first activation, closing, layout pass and display modes of the main window.
#include "platform/Log.h"
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"
#include "shell/FrmQd.h"
#include "shell/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace rostrel {

void FrmMd::wireShell() {
    for (int i = 0; i < 3; ++i)
        connect(ui.MnXs[i], &QAction::triggered, this, [this, i] { MnXs_Click(i); });
    connect(ui.MnBz[0], &QAction::triggered, this, [this] { MnBz_Click(0); });
}

void FrmMd::Form_Initialize() {
    // 1. Centre on the screen.
    if (const QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect area = scr->availableGeometry();
        move(area.left() + (area.width() - frameGeometry().width()) / 2,
             area.top() + (area.height() - frameGeometry().height()) / 2);
    }
    // 2. The display area directly below the settings area; the group panel at its top.
    // (Its width and height follow in the layout pass; until then the design's client area.)
    ui.fraxianshi->setGeometry(0, ui.fraShezhi->y() + ui.fraShezhi->height(), px(9255),
                               px(9390 - 200) - ui.fraShezhi->height());
    ui.frXx->move(ui.frXx->x(), 0);
    // 3. The class list shares the place of the number range.
    ui.FrXls->move(ui.frSz->pos());
    // 4.-6. Baseline of the layout pass, in twips.
    layout_.BaseWidth = twips(width());
    layout_.BaseHeight = twips(height());
    layout_.BaseFontSize = 72;
    QFont f = ui.lblXm->font();
    f.setPointSizeF(72);
    ui.lblXm->setFont(f);
    layout_.BaseSjHeight = twips(ui.lblSj->height());
    layout_.BaseXxHeight = twips(ui.frXx->height());
    layout_.BaseXxWidth = twips(ui.frXx->width());
    layout_.BaseLabXxHeight = twips(ui.LabXx->height());
    // 7. First entries of the clock's unit and mode lists.
    lesson_.SetClockUnit(0);
    lesson_.SetClockMode(0);
}

void FrmMd::Form_Activate() {
    if (lesson_.TakeFirstShow())
        guarded([&] { lesson_.ChooseCategory(1); });
}

namespace {

void setPointSize(QWidget* w, float size) {
    QFont f = w->font();
    f.setPointSizeF(size);
    w->setFont(f);
}

} // namespace

void FrmMd::Form_Resize() {
    // All values in twips and single precision, in the order of the design's layout pass.
    const float W = twips(width());
    const float H = twips(height());
    const float CH = twips(centralWidget()->height());
    if (!(W > 0 && H > 0) || !(layout_.BaseWidth > 0 && layout_.BaseHeight > 0))
        return;
    const float shezhiW = twips(ui.fraShezhi->width());
    const float shezhiH = twips(ui.fraShezhi->height());
    const float shezhiLeft = (W - shezhiW) / 2;
    const float xianshiH = CH - shezhiH - 200;
    const float xianshiW = W;
    const float rW = layout_.BaseWidth / W;
    const float rH = layout_.BaseHeight / H;
    const float r = rH < rW ? rW : rH;
    const float xmFont = layout_.BaseFontSize / r * 1.2f;
    const float xmW = W;
    const float xmLeft = (xianshiW - xmW) / 2;
    const float sjH = 1.9f * layout_.BaseSjHeight / r;
    const float sjW = W;
    const float sjTop = xianshiH - 1.2f * sjH;
    const float xmTop = (xianshiH - sjTop - 300) / 3;
    const float sjFont = 42 / r * 1.2f;
    const float xxW = layout_.BaseXxWidth / r;
    const float xxH = layout_.BaseXxHeight / r;
    const float xxTop = twips(ui.frXx->y());
    const float labTop = xxTop + xxH;
    const float labW = W;
    const float labH = layout_.BaseLabXxHeight / r;
    const float listFont = 16 / r;
    const float list1Left = twips(ui.List1->x());
    const float list1Top = twips(ui.List1->y());
    const float list1W = xxW - list1Left;
    const float list1H = xxH - list1Top;
    const float xxLeft = (W - xxW) / 2;
    // The name label reaches down to the clock, so that two lines of the large font fit.
    const float xmH = std::max(1350 / r, sjTop - xmTop);

    // A window too small (or minimised) for positive sizes keeps the last layout.
    for (float size : {xianshiW, xianshiH, xmW, xmH, sjH, sjW, xxW, xxH, labW, labH, list1W, list1H})
        if (!(size > 0) || px(size) <= 0)
            return;
    if (!std::isfinite(r) || !(xmFont > 0) || !(sjFont > 0) || !(listFont > 0))
        return;

    ui.fraShezhi->move(px(shezhiLeft), ui.fraShezhi->y());
    ui.fraxianshi->setGeometry(0, ui.fraxianshi->y(), px(xianshiW), px(xianshiH));
    setPointSize(ui.lblXm, xmFont);
    ui.lblSj->setGeometry(0, px(sjTop), px(sjW), px(sjH));
    ui.lblXm->setGeometry(px(xmLeft), px(xmTop), px(xmW), px(xmH));
    setPointSize(ui.lblSj, sjFont);
    ui.frXx->resize(px(xxW), px(xxH));
    // The clock and the group caption span the window from its left edge, so that their
    // centred texts are centred in the window.
    ui.LabXx->setGeometry(0, px(labTop), px(labW), px(labH));
    setPointSize(ui.List1, listFont);
    setPointSize(ui.List2, listFont);
    ui.List1->resize(px(list1W), px(list1H));
    ui.List2->resize(ui.List2->width(), px(list1H));
    ui.frXx->move(px(xxLeft), ui.frXx->y());
    // The two buttons of the panel stay at its top right corner; the position line before them.
    const int right = ui.frXx->width() - px(105);
    ui.cmdNext[1]->move(right - ui.cmdNext[1]->width(), ui.cmdNext[1]->y());
    ui.cmdNext[0]->move(ui.cmdNext[1]->x() - px(30) - ui.cmdNext[0]->width(), ui.cmdNext[0]->y());
    ui.LabCz->resize(std::max(1, ui.frXx->width() - ui.LabCz->x() - px(120)), ui.LabCz->height());
}

void FrmMd::MnXs_Click(int index) {
    switch (index) {
    case 0:
        ui.fraShezhi->hide();
        break;
    case 1:
        ui.fraShezhi->show();
        ui.frXx->hide();
        break;
    case 2:
        ui.fraShezhi->show();
        ui.frXx->show();
        break;
    default:
        break;
    }
}

void FrmMd::MnBz_Click(int index) {
    if (index != 0)
        return;
    FrmQd about(this);
    about.exec();
}

} // namespace rostrel
