// Roll-call categories and draw rules, and their menus: the frames each category shows, and
// the steps of other subsystems that a switch runs.
#include "platform/Log.h"
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"

#include <QSignalBlocker>

namespace rostrel {

void FrmMd::OptFl_Click(int index) {
    for (QAction* item : ui.MnFl)
        item->setEnabled(true);
    ui.MnFl[index]->setEnabled(false);
    ui.fraXr->show();
    ui.FraFl->show();
    ui.fraJs->show();
    ui.frXx->hide();
    ui.imgXie[0]->hide();
    const bool names = index == 0;
    ui.FrXls->setVisible(names);
    ui.FrJif->setVisible(names);
    ui.frSz->setVisible(!names);
    ui.imgXie[0]->setVisible(names);
    ui.MnMingdanshizhi->menuAction()->setVisible(names);
    ui.lblXm->setEnabled(!names); // the name list: until a class is loaded or grouped
    lesson_.SwitchCategory(index);
    if (names) {
        MnXs_Click(1);
        try {
            UseDefaultRollBook();
        } catch (const std::exception&) {
            logCaught("opening the default roll book");
        }
    } else {
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
    {
        const QSignalBlocker block(ui.OptFl[index]);
        ui.OptFl[index]->setChecked(true);
    }
    OptFl_Click(index);
}

void FrmMd::MnFs_Click(int index) {
    if (index == 0 || index == 1) {
        lesson_.ChooseDrawRule(index == 0); // the option button follows the lesson
        ui.MnFs[index]->setEnabled(false);
        ui.MnFs[1 - index]->setEnabled(true);
        return;
    }
    lesson_.SetRolling(!lesson_.rolling());
}

} // namespace rostrel
