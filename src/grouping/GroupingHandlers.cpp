// Group formation and browsing.
#include "grouping/GroupPlan.h"
#include "platform/Log.h"
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"

#include <QSignalBlocker>

namespace rostrel {

namespace {

QString countMessage(int n) {
    return QStringLiteral("请输入正确的组数，值范围为[1~") + plainText(n) + u']';
}

QString sizeMessage(int bound) {
    return QStringLiteral("请输入每组的人数，值范围为[1~") + plainText(bound) + u']';
}

} // namespace

void FrmMd::enableGroupingImages() {
    ui.imgFz[0]->setEnabled(true);
    ui.imgFz[1]->setEnabled(true);
}

// Reads the box of the selected rule into its field and derives the other one, reporting a
// value out of range. False when the value cannot be used to form groups: below 1, or beyond
// what a 16-bit field holds (then the field keeps its value).
bool FrmMd::readGroupRule() {
    const int n = st.RosterCount;
    if (ui.OptFz[0]->isChecked()) {
        int16_t count = 0;
        try {
            count = readInt16(ui.txtFz[0]->text());
        } catch (const OverflowError&) {
            platform.messages->inform(countMessage(n));
            ui.txtFz[0]->setFocus();
            return false;
        }
        st.GroupCount = count;
        if (count < 1 || count > n) {
            platform.messages->inform(countMessage(n));
            ui.txtFz[0]->setFocus();
        } else {
            enableGroupingImages();
        }
        if (count >= 1) {
            st.GroupSize = grouping::derivedValue(n, count);
            ui.txtFz[1]->setText(plainText(st.GroupSize));
        }
        return count >= 1;
    }
    int16_t size = 0;
    try {
        size = readInt16(ui.txtFz[1]->text());
    } catch (const OverflowError&) {
        platform.messages->inform(sizeMessage(st.RowScan));
        ui.txtFz[1]->setFocus();
        return false;
    }
    st.GroupSize = size;
    if (size >= 1) {
        st.GroupCount = grouping::derivedValue(n, size);
        ui.txtFz[0]->setText(plainText(st.GroupCount));
    }
    if (size < 1 || size > st.RowScan) {
        platform.messages->inform(sizeMessage(st.RowScan));
        ui.txtFz[1]->setFocus();
    } else {
        enableGroupingImages();
    }
    return size >= 1;
}

// One grouping. False when it failed; nothing of the group plan is changed then.
bool FrmMd::formGroupsOnce(int index) {
    try {
        const int n = st.RosterCount;
        if (!readGroupRule()) {
            // The value was reported; a value that cannot size a group forms one group
            // holding every entry, so the plan always matches the roster.
            st.GroupCount = 1;
            st.GroupSize = grouping::derivedValue(n, 1);
            ui.txtFz[0]->setText(plainText(st.GroupCount));
            ui.txtFz[1]->setText(plainText(st.GroupSize));
        }
        grouping::Plan plan = grouping::formGroups(st.RosterTable, n, st.GroupCount, st.GroupSize,
                                                   index == 0 ? platform.random : nullptr);
        const int m = plan.groupCount;
        grouping::commitPlan(st, std::move(plan));
        ListGroups(m);
        if (st.PickCategory == 0)
            ui.imgXie[0]->show();
        ui.lblXm->setEnabled(true);
        const Cell& count = st.GroupTable.at(st.CurrentGroup, 0, 0);
        ui.LabXx->setText(grouping::summaryText(n, st.GroupCount, st.CurrentGroup, defaultText(count)));
        return true;
    } catch (const std::exception&) {
        logCaught("forming the groups");
        return false;
    }
}

void FrmMd::wireGrouping() {
    for (int i = 0; i < 2; ++i) {
        connect(ui.OptFz[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                guarded([&] { OptFz_Click(i); });
        });
        TextBox* box = ui.txtFz[i];
        connect(box, &QLineEdit::textChanged, this, [this, i] { guarded([&] { txtFz_Change(i); }); });
        connect(box, &TextBox::enterPressed, this, [this, i] { guarded([&] { txtFz_KeyPress(i, 13); }); });
        connect(box, &TextBox::lostFocus, this, [this, i] { guarded([&] { txtFz_LostFocus(i); }); });
        connect(ui.imgFz[i], &ClickLabel::clicked, this, [this, i] { guarded([&] { imgFz_Click(i); }); });
    }
    ui.List1->setUniformItemSizes(true);
    ui.List2->setUniformItemSizes(true);
    connect(ui.List2, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) // clearing the list is no selection
            guarded([&] { List2_Click(); });
    });
    connect(ui.chkXx, &QCheckBox::toggled, this, [this] { guarded([&] { chkXx_Click(); }); });
}

void FrmMd::OptFz_Click(int index) {
    ui.txtFz[0]->setText(plainText(st.GroupCount));
    ui.txtFz[1]->setText(plainText(st.GroupSize));
    ui.txtFz[index]->setEnabled(true);
    setBackColor(ui.txtFz[index], kEditingBack);
    setBackColor(ui.txtFz[1 - index], kRestingBack);
    ui.txtFz[1 - index]->setEnabled(false);
}

void FrmMd::txtFz_Change(int) {
    enableGroupingImages();
}

void FrmMd::txtFz_KeyPress(int index, int keyAscii) {
    if (keyAscii == 13)
        txtFz_LostFocus(index);
}

void FrmMd::txtFz_LostFocus(int) {
    readGroupRule();
}

void FrmMd::imgFz_Click(int index) {
    if (formGroupsOnce(index) || reloadDepth_ > 0)
        return;
    // Reload the class and try once more; a second failure ends the action.
    ++reloadDepth_;
    try {
        LoadClassRoster();
    } catch (const std::exception&) {
        logCaught("reloading the class after a failed grouping");
    }
    formGroupsOnce(index);
    --reloadDepth_;
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

void FrmMd::chkXx_Click() {
    const bool shown = ui.chkXx->isChecked();
    ui.frXx->setVisible(shown);
    ui.LabXx->setVisible(shown);
    ui.lblSj->setVisible(!shown);
    if (shown)
        lesson_.StopRolling(); // ends a rolling display without completing its pick
}

} // namespace rostrel
