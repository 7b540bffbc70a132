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

// The mode word and the presentation forms of the number and the row-column category.
struct ListCategory {
    QString word;
    QStringList forms;
};

const ListCategory kListCategories[] = {
    {QStringLiteral("号码"), {QStringLiteral("号码"), QStringLiteral("组号号码"), QStringLiteral("组号组员号号码")}},
    {QStringLiteral("行列"), {QStringLiteral("座号"), QStringLiteral("组号座号"), QStringLiteral("组号组员号座号")}},
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
    lesson_.SetPresentationForms({}, -1);

    if (index == 0) {
        ui.FrXls->show();
        ui.FrJif->show();
        ui.frSz->hide();
        ui.lblXm->setEnabled(false); // until a class is loaded or grouped
        ui.imgXie[0]->show();
        ui.MnMingdanshizhi->menuAction()->setVisible(true);
        ui.lblXm->setText(QStringLiteral("名单") + kBreak + QStringLiteral("点名"));
        lesson_.SetPresentationForms({QStringLiteral("姓名"), QStringLiteral("学号姓名"), QStringLiteral("组号姓名"),
                                      QStringLiteral("组号组员号姓名"), QStringLiteral("组号学号姓名"),
                                      QStringLiteral("组号组员号学号姓名")},
                                     0);
        MnXs_Click(1);
        lesson_.SetPickCategory(0);
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
        ui.lblXm->setText(c.word + kBreak + QStringLiteral("点名"));
        lesson_.SetPresentationForms(c.forms, 0);
        lesson_.PrepareNumberList(index);
        if (lesson_.ConfirmRange(0))
            setBackColor(ui.txtXh[0], kRestingBack);
        ui.txtFz[0]->setText(QStringLiteral("1"));
        ui.txtFz[1]->setText(plainText(st.RosterCount));
        imgFz_Click(1);
    }
    lesson_.SetPresentationForm(1);
}

void FrmMd::MnFl_Click(int index) {
    // The option button follows the menu.
    selectQuietly(ui.OptFl[index]);
    OptFl_Click(index);
}

void FrmMd::OptDmFs_Click(int index) {
    lesson_.SetDrawRule(index == 0);
    ui.lblXm->setText((index == 0 ? QStringLiteral("随机") : QStringLiteral("顺序")) + kBreak + QStringLiteral("点名"));
}

void FrmMd::MnFs_Click(int index) {
    if (index == 0 || index == 1) {
        OptDmFs_Click(index); // the option button follows the lesson
        ui.MnFs[index]->setEnabled(false);
        ui.MnFs[1 - index]->setEnabled(true);
        return;
    }
    lesson_.SetRolling(!lesson_.rolling());
}

} // namespace rostrel
