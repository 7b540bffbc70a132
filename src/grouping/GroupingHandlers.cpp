// The grouping controls: the rule, its boxes and the grouping images forwarded to the lesson
// and redrawn from it; browsing the groups.
#include "grouping/GroupPlan.h"
#include "platform/Log.h"
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"

#include <QSignalBlocker>

namespace rostrel {

void FrmMd::wireGrouping() {
    Lesson* l = &lesson_;
    for (int i = 0; i < 2; ++i) {
        connect(ui.OptFz[i], &QRadioButton::toggled, l, [l, i](bool on) {
            if (on)
                guarded([&] { l->SetGroupRule(i); });
        });
        TextBox* box = ui.txtFz[i];
        connect(box, &QLineEdit::textChanged, l, [l, i](const QString& text) { l->SetGroupRuleText(i, text); });
        // Enter and leaving the box read it alike.
        connect(box, &TextBox::enterPressed, l, [l] { guarded([&] { l->ConfirmGroupRule(); }); });
        connect(box, &TextBox::lostFocus, l, [l] { guarded([&] { l->ConfirmGroupRule(); }); });
        connect(ui.imgFz[i], &ClickLabel::clicked, l, [l, i] { guarded([&] { l->FormGroups(i); }); });
    }
    connect(l, &Lesson::groupRuleRefused, this, [this](int box) { ui.txtFz[box]->setFocus(); });
    ui.List1->setUniformItemSizes(true);
    ui.List2->setUniformItemSizes(true);
    connect(ui.chkXx, &QCheckBox::toggled, l, [l](bool on) { guarded([&] { l->ShowGroupInformation(on); }); });
}

void FrmMd::showGroupRule() {
    const int rule = lesson_.groupRule();
    {
        const QSignalBlocker b0(ui.OptFz[0]);
        const QSignalBlocker b1(ui.OptFz[1]);
        ui.OptFz[rule]->setChecked(true);
    }
    for (int box = 0; box < 2; ++box) {
        TextBox* t = ui.txtFz[box];
        showText(t, lesson_.groupRuleText(box));
        t->setEnabled(box == rule);
        setBackColor(t, box == rule ? kEditingBack : kRestingBack);
    }
    ui.imgFz[0]->setEnabled(lesson_.groupingImagesEnabled());
    ui.imgFz[1]->setEnabled(lesson_.groupingImagesEnabled());
    if (!lesson_.groupFrameTitle().isEmpty())
        ui.FrZr->setTitle(lesson_.groupFrameTitle());
}

void FrmMd::showGroupInformation() {
    const bool shown = lesson_.groupInformationShown();
    {
        const QSignalBlocker block(ui.chkXx);
        ui.chkXx->setChecked(shown);
    }
    ui.frXx->setVisible(shown);
    ui.LabXx->setVisible(shown);
    ui.lblSj->setVisible(!shown);
}

} // namespace rostrel
