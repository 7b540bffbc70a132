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
    connect(ui.List2, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) // clearing the list is no selection
            guarded([&] { List2_Click(); });
    });
    connect(ui.chkXx, &QCheckBox::toggled, l, [l](bool on) { guarded([&] { l->ShowGroupInformation(on); }); });
}

void FrmMd::imgFz_Click(int index) {
    lesson_.FormGroups(index);
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

void FrmMd::ListGroups(int groupCount) {
    lesson_.PlanChanged();
    QStringList groups;
    groups.reserve(std::max(groupCount, 0));
    for (int g = 1; g <= groupCount; ++g)
        groups.append(plainText(g));
    {
        const QSignalBlocker blockGroups(ui.List2);
        const QSignalBlocker blockMembers(ui.List1);
        ui.List2->setUpdatesEnabled(false);
        ui.List2->clear();
        ui.List1->clear();
        ui.List2->addItems(groups);
        ui.List2->setCurrentRow(-1); // so that selecting group 1 below always shows it
        ui.List2->setUpdatesEnabled(true);
    }
    if (ui.List2->count() > 0)
        ui.List2->setCurrentRow(0);
}

void FrmMd::List2_Click() {
    const int row = ui.List2->currentRow();
    if (row < 0)
        return;
    st.CurrentGroup = readInt16(ui.List2->item(row)->text());
    const int field = st.PickCategory == 0 ? 1 : 0;
    QStringList members;
    QString countText;
    bool complete = false;
    try {
        const Cell& countCell = st.GroupTable.at(st.CurrentGroup, 0, 0);
        countText = defaultText(countCell);
        const int count = toInt16(cellNumber(countCell));
        members.reserve(std::max(count, 0));
        for (int j = 1; j <= count; ++j)
            members.append(defaultText(st.GroupTable.at(st.CurrentGroup, j, field)));
        complete = true;
    } catch (const std::exception&) {
        // A plan that does not hold the group lists what it has.
        logCaught("listing the members of a group");
    }
    ui.List1->setUpdatesEnabled(false);
    ui.List1->clear();
    ui.List1->addItems(members);
    ui.List1->setUpdatesEnabled(true);
    if (complete)
        ui.LabXx->setText(grouping::summaryText(st.RosterCount, st.GroupCount, st.CurrentGroup, countText));
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
