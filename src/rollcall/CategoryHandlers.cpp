// Roll-call categories and draw rules, and their menus.
#include "platform/Log.h"
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"

#include <QSignalBlocker>

namespace rostrel {

namespace {

const QString kBreak = QStringLiteral("\r\n");

// Checks an option button from a menu without its toggled signal; the caller runs the handler.
void selectQuietly(QRadioButton* button) {
    const QSignalBlocker block(button);
    button->setChecked(true);
}

// What entering the number or the row-column category sets up: the range labels and default
// range, the mode word, the custom-value example and the presentation forms.
struct ListCategory {
    QString firstLabel;
    QString secondLabel;
    int16_t first;
    int16_t second;
    QString word;
    QString customExample;
    QStringList forms;
};

const ListCategory kListCategories[] = {
    {QStringLiteral("最小值"), QStringLiteral("最大值"), 1, 48, QStringLiteral("号码"), QStringLiteral("1,2,3,4"),
     {QStringLiteral("号码"), QStringLiteral("组号号码"), QStringLiteral("组号组员号号码")}},
    {QStringLiteral("行数"), QStringLiteral("列数"), 6, 8, QStringLiteral("行列"), QStringLiteral("1-1,1-2"),
     {QStringLiteral("座号"), QStringLiteral("组号座号"), QStringLiteral("组号组员号座号")}},
};

} // namespace

void FrmMd::OptFl_Click(int index) {
    st.PickCategory = static_cast<int16_t>(index);
    for (QAction* item : ui.MnFl)
        item->setEnabled(true);
    ui.MnFl[index]->setEnabled(false);
    ui.fraXr->show();
    ui.FraFl->show();
    ui.fraJs->show();
    ui.frXx->hide();
    ui.imgXie[0]->hide();
    ui.cmbXs->clear();

    if (index == 0) {
        ui.FrXls->show();
        ui.FrJif->show();
        ui.frSz->hide();
        ui.lblXm->setEnabled(false); // until a class is loaded or grouped
        ui.imgXie[0]->show();
        ui.MnMingdanshizhi->menuAction()->setVisible(true);
        ui.lblXm->setText(QStringLiteral("名单") + kBreak + QStringLiteral("点名"));
        ui.cmbXs->addItems({QStringLiteral("姓名"), QStringLiteral("学号姓名"), QStringLiteral("组号姓名"),
                            QStringLiteral("组号组员号姓名"), QStringLiteral("组号学号姓名"),
                            QStringLiteral("组号组员号学号姓名")});
        MnXs_Click(1);
        st.TodayLabel = platform.clock->today().toString(QStringLiteral("MM月dd"));
        st.FirstShow = 0;
        try {
            UseDefaultRollBook();
        } catch (const std::exception&) {
            logCaught("opening the default roll book");
        }
    } else {
        ui.FrXls->hide();
        ui.FrJif->hide();
        ui.frSz->show();
        ui.lblXm->setEnabled(true);
        ui.MnMingdanshizhi->menuAction()->setVisible(false);
        const ListCategory& c = kListCategories[index - 1];
        ui.LblVal1->setText(c.firstLabel);
        ui.LblVal2->setText(c.secondLabel);
        st.RangeVal1 = c.first;
        st.RangeVal2 = c.second;
        ui.txtXh[0]->setText(plainText(c.first));
        ui.txtXh[1]->setText(plainText(c.second));
        ui.lblXm->setText(c.word + kBreak + QStringLiteral("点名"));
        ui.txtShu->setText(c.customExample);
        ui.cmbXs->addItems(c.forms);
        st.FirstShow = 1; // the range step rebuilds the list although the values are the defaults
        txtXh_LostFocus(0);
        ui.txtFz[0]->setText(QStringLiteral("1"));
        ui.txtFz[1]->setText(plainText(st.RosterCount));
        imgFz_Click(1);
    }
    ui.cmbXs->setCurrentIndex(1);
}

void FrmMd::MnFl_Click(int index) {
    // The option button follows the menu.
    selectQuietly(ui.OptFl[index]);
    OptFl_Click(index);
}

void FrmMd::OptDmFs_Click(int index) {
    ui.lblXm->setText((index == 0 ? QStringLiteral("随机") : QStringLiteral("顺序")) + kBreak + QStringLiteral("点名"));
}

void FrmMd::MnFs_Click(int index) {
    if (index == 0 || index == 1) {
        selectQuietly(ui.OptDmFs[index]);
        OptDmFs_Click(index);
        ui.MnFs[index]->setEnabled(false);
        ui.MnFs[1 - index]->setEnabled(true);
        return;
    }
    ui.MnFs[2]->setChecked(!ui.MnFs[2]->isChecked());
    ui.chkGd->setChecked(ui.MnFs[2]->isChecked());
}

void FrmMd::chkGd_Click() {
    const bool on = ui.chkGd->isChecked();
    ui.MnFs[2]->setChecked(on);
    // Rolling off: the ticks stop at once, and the candidate on show is not counted as a
    // pick ("下一个" then makes its one direct pick).
    if (!on)
        ui.Timer1->stop();
}

} // namespace rostrel
