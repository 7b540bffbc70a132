// Roll-call categories and draw rules, and their menus: the frames each category shows.
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"

#include <QSignalBlocker>

namespace rostrel {

void FrmMd::showCategory(int index) {
    {
        // The option button follows the menu.
        const QSignalBlocker block(ui.OptFl[index]);
        ui.OptFl[index]->setChecked(true);
    }
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
    if (names)
        MnXs_Click(1);
}

void FrmMd::MnFs_Click(int index) {
    lesson_.ChooseDrawRule(index == 0); // the option button follows the lesson
    ui.MnFs[index]->setEnabled(false);
    ui.MnFs[1 - index]->setEnabled(true);
}

} // namespace rostrel
