// The roll call's window part: the name label, the rolling display's timer, the group and
// member lists and the next buttons forward to the lesson; the lists, the name label and the
// position and summary lines are redrawn from it.
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"

#include <QSignalBlocker>

namespace rostrel {

void FrmMd::wireRollCall() {
    Lesson* l = &lesson_;
    connect(l, &Lesson::changed, this, [this](unsigned parts) {
        if (parts & Lesson::SelectionPart)
            showSelection();
        if (parts & Lesson::ScoreImagePart)
            ui.imgXie[1]->setVisible(lesson_.scoreImageShown());
    });
    connect(ui.lblXm, &ClickLabel::clicked, this, [this] { guarded([&] { lblXm_Click(); }); });
    connect(ui.Timer1, &QTimer::timeout, l, [l] { guarded([&] { l->DrawNext(); }); });
    for (int i = 0; i < 2; ++i) {
        connect(ui.cmdNext[i], &QPushButton::clicked, this, [this, i] { guarded([&] { cmdNext_Click(i); }); });
    }
    connect(l, &Lesson::categoryChosen, this, &FrmMd::showCategory);
    for (int i = 0; i < 3; ++i) {
        connect(ui.OptFl[i], &QRadioButton::toggled, l, [l, i](bool on) {
            if (on)
                guarded([&] { l->ChooseCategory(i); });
        });
        connect(ui.MnFl[i], &QAction::triggered, l, [l, i] { guarded([&] { l->ChooseCategory(i); }); });
    }
    for (int i = 0; i < 2; ++i) {
        connect(ui.OptDmFs[i], &QRadioButton::toggled, l, [l, i](bool on) {
            if (on)
                l->ChooseDrawRule(i == 0);
        });
        connect(ui.MnFs[i], &QAction::triggered, this, [this, i] { guarded([&] { MnFs_Click(i); }); });
    }
    connect(ui.MnFs[2], &QAction::triggered, l, [l] { l->SetRolling(!l->rolling()); });
    connect(ui.chkGd, &QCheckBox::toggled, l, &Lesson::SetRolling);
    connect(ui.chkCf, &QCheckBox::toggled, l, &Lesson::SetRemovePicked);
    connect(ui.cmbXs, &QComboBox::currentIndexChanged, l, &Lesson::SetPresentationForm);
    connect(ui.List1, &QListWidget::currentRowChanged, l, [l](int row) {
        if (row >= 0) // clearing the list is no selection
            guarded([&] { l->SelectMember(row + 1); });
    });
    connect(ui.List1, &ListBox::mouseUp, l, [l] { guarded([&] { l->CountSelectedPick(); }); });
    // The teacher chose a group: the redraw fills the member list.
    connect(ui.List2, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) // clearing the list is no selection
            guarded([&] { lesson_.ShowGroup(row + 1); });
    });
}

void FrmMd::showSelection() {
    const int groups = lesson_.listedGroups();
    const int group = lesson_.currentGroup();
    {
        const QSignalBlocker block(ui.List2);
        if (ui.List2->count() != groups) {
            QStringList entries;
            entries.reserve(groups);
            for (int g = 1; g <= groups; ++g)
                entries.append(QString::number(g));
            ui.List2->clear();
            ui.List2->addItems(entries);
        }
        const int row = group >= 1 && group <= groups ? group - 1 : -1;
        if (ui.List2->currentRow() != row)
            ui.List2->setCurrentRow(row);
    }
    {
        const QSignalBlocker block(ui.List1);
        // Only a group that is not on show yet fills the member list and the summary.
        const ShownMembers shown{group, lesson_.planRevision()};
        if (shown != shownMembers_) {
            ui.List1->setUpdatesEnabled(false);
            ui.List1->clear();
            ui.List1->addItems(lesson_.groupMembers(group));
            ui.List1->setUpdatesEnabled(true);
            shownMembers_ = shown;
            if (const QString summary = lesson_.groupSummary(); !summary.isEmpty())
                ui.LabXx->setText(summary);
        }
        const int row = lesson_.selectedMember() - 1;
        if (ui.List1->currentRow() != row)
            ui.List1->setCurrentRow(row);
    }
    ui.lblXm->setText(lesson_.nameCaption());
    ui.LabCz->setText(lesson_.positionLine());
}

void FrmMd::lblXm_Click() {
    // The focus leaves a text box (its leaving step runs before the draw) for the name label,
    // not for a check box that the next Space from a presenter remote would toggle.
    if (ui.lblXm->isVisible())
        ui.lblXm->setFocus();
    lesson_.Pick();
}

void FrmMd::cmdNext_Click(int index) {
    if (index == 0) {
        lesson_.NextGroup();
        return;
    }
    if (ui.lblXm->isVisible())
        ui.lblXm->setFocus();
    lesson_.PickOneMore();
}

void FrmMd::showDrawRules() {
    {
        const QSignalBlocker b0(ui.OptDmFs[0]);
        const QSignalBlocker b1(ui.OptDmFs[1]);
        ui.OptDmFs[lesson_.drawsAtRandom() ? 0 : 1]->setChecked(true);
    }
    {
        const QSignalBlocker b0(ui.chkGd);
        const QSignalBlocker b1(ui.chkCf);
        const QSignalBlocker b2(ui.chkRq);
        ui.chkGd->setChecked(lesson_.rolling());
        ui.chkCf->setChecked(lesson_.removesPicked());
        ui.chkRq->setChecked(lesson_.newColumnPerDay());
    }
    ui.MnFs[2]->setChecked(lesson_.rolling());
    {
        const QSignalBlocker block(ui.cmbXs);
        if (shownForms_ != lesson_.presentationForms()) {
            shownForms_ = lesson_.presentationForms();
            ui.cmbXs->clear();
            ui.cmbXs->addItems(lesson_.presentationForms());
        }
        ui.cmbXs->setCurrentIndex(lesson_.presentationForm());
    }
    if (lesson_.rollingActive() && !ui.Timer1->isActive())
        ui.Timer1->start();
    else if (!lesson_.rollingActive() && ui.Timer1->isActive())
        ui.Timer1->stop();
}

} // namespace rostrel
