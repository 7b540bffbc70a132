// Pick engine: draws, the rolling display, the no-repeat pool, and the presentation of the
// selected member.
#include "platform/Log.h"
#include "platform/Values.h"
#include "rollcall/ControlHelpers.h"
#include "rollcall/PickEngine.h"
#include "rollcall/Presentation.h"
#include "shell/FrmMd.h"

#include <QSignalBlocker>

namespace rostrel {

namespace {

template <typename F> void skipOnFailure(const char* step, F&& f) {
    try {
        f();
    } catch (const std::exception&) {
        logCaught(step);
    }
}

} // namespace

// Selects a row in code; the click handler runs even when the row was selected already, so
// a draw always shows its pick.
void FrmMd::selectMember(int row) {
    if (ui.List1->currentRow() == row)
        List1_Click();
    else
        ui.List1->setCurrentRow(row);
}

// With "重复" checked, the completed pick leaves the pool: the pool row of the member on
// show (the row of the random draw that showed it, or else its first live row), not the row
// of an earlier draw. A pick no longer in the pool removes nothing.
void FrmMd::takePickOutOfPool() {
    const int16_t row = rollcall::pickedPoolRow(st.PickPool, st.PoolCount, st.PickIndex, st.PickKey);
    if (row == 0) {
        ui.imgXie[1]->show();
        return;
    }
    st.PickIndex = row;
    RemovePicked();
}

// A pool entry in no group (a value added after the last grouping) is the pick all the same:
// it is shown without a group position, and its own pool row is the one a no-repeat pick
// removes.
void FrmMd::showUngroupedPick(int16_t poolRow, const QString& key) {
    QString text = key;
    if (st.PickCategory == 0) {
        const double index = cellNumber(st.PickPool.at(poolRow, 0));
        if (index >= 1 && index <= st.RosterCount)
            text = defaultText(st.RosterTable.at(static_cast<int>(index), 1));
    } else if (st.PickCategory == 2) {
        text = rollcall::seatWording(text);
    }
    st.PickKey = key;
    st.PickText = text;
    st.CurrentMember = 0;
    {
        const QSignalBlocker block(ui.List1);
        ui.List1->setCurrentRow(-1);
    }
    ui.LabCz->setText(key + u' ' + text);
    ui.lblXm->setText(QStringLiteral("\r\n") + text);
}

void FrmMd::completePick() {
    if (lesson_.removesPicked())
        skipOnFailure("taking the pick out of the pool", [&] { takePickOutOfPool(); });
    lesson_.PlayWave(QStringLiteral("sound\\type.wav"));
    lesson_.SetClockIdle();
    if (st.PickCategory == 0)
        ui.imgXie[1]->show();
}

void FrmMd::wireRollCall() {
    Lesson* l = &lesson_;
    connect(ui.lblXm, &ClickLabel::clicked, this, [this] { guarded([&] { lblXm_Click(); }); });
    connect(ui.Timer1, &QTimer::timeout, this, [this] { guarded([&] { Timer1_Timer(); }); });
    for (int i = 0; i < 2; ++i) {
        connect(ui.cmdNext[i], &QPushButton::clicked, this, [this, i] { guarded([&] { cmdNext_Click(i); }); });
    }
    for (int i = 0; i < 3; ++i) {
        connect(ui.OptFl[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                guarded([&] { OptFl_Click(i); });
        });
        connect(ui.MnFl[i], &QAction::triggered, this, [this, i] { guarded([&] { MnFl_Click(i); }); });
    }
    for (int i = 0; i < 2; ++i) {
        connect(ui.OptDmFs[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                guarded([&] { OptDmFs_Click(i); });
        });
        connect(ui.MnFs[i], &QAction::triggered, this, [this, i] { guarded([&] { MnFs_Click(i); }); });
    }
    connect(ui.MnFs[2], &QAction::triggered, l, [l] { l->SetRolling(!l->rolling()); });
    connect(ui.chkGd, &QCheckBox::toggled, l, &Lesson::SetRolling);
    connect(ui.chkCf, &QCheckBox::toggled, l, &Lesson::SetRemovePicked);
    connect(ui.cmbXs, &QComboBox::currentIndexChanged, l, &Lesson::SetPresentationForm);
    connect(ui.List1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) // clearing the list is no selection
            guarded([&] { List1_Click(); });
    });
    connect(ui.List1, &ListBox::mouseUp, this, [this] { guarded([&] { List1_MouseUp(); }); });
}

void FrmMd::DrawNext() {
    platform.random->reseed(platform.clock->timeOfDay().msecsSinceStartOfDay() / 1000.0);
    const bool atRandom = lesson_.drawsAtRandom();
    if (ui.List2->count() == 0)
        return;
    if (atRandom) {
        if (st.PoolCount < 1)
            return;
        const int16_t k = rollcall::drawRow(platform.random->next(), st.PoolCount);
        st.PickIndex = k;
        const QString key = defaultText(st.PickPool.at(k, 1));
        if (!ShowMember(key))
            showUngroupedPick(k, key);
        return;
    }
    const int members = ui.List1->count();
    if (ui.List1->currentRow() == members - 1) { // the last member (an empty list is at its end)
        const int groups = ui.List2->count();
        if (groups > 1) {
            const int current = ui.List2->currentRow();
            ui.List2->setCurrentRow(current + 1 >= groups ? 0 : current + 1);
        }
        if (ui.List1->count() > 0)
            selectMember(0);
    } else {
        selectMember(ui.List1->currentRow() + 1);
    }
}

bool FrmMd::ShowMember(const QString& key) {
    const auto at = lesson_.keyIndex().find(st.GroupTable, st.GroupCount, key);
    if (at.group == 0 || at.group > ui.List2->count())
        return false;
    ui.List2->setCurrentRow(at.group - 1); // shows the group unless it is on show already
    if (at.slot <= ui.List1->count())
        selectMember(at.slot - 1);
    return true;
}

void FrmMd::RemovePicked() {
    skipOnFailure("removing a pool row", [&] {
        rollcall::removePoolRow(st.PickPool, st.PoolCount, st.PickIndex, st.RosterTable, st.RosterCount);
    });
    ui.imgXie[1]->show();
}

void FrmMd::lblXm_Click() {
    // The focus leaves a text box (its leaving step runs before the draw) for the name label,
    // not for a check box that the next Space from a presenter remote would toggle.
    if (ui.lblXm->isVisible())
        ui.lblXm->setFocus();
    lesson_.ResetClockDisplay();
    if (!lesson_.rolling()) {
        skipOnFailure("drawing", [&] { DrawNext(); });
        completePick();
        return;
    }
    if (!lesson_.rollingActive()) {
        lesson_.StartRolling();
        lesson_.PlayWave(QStringLiteral("sound\\type0.wav"));
        return;
    }
    lesson_.StopRolling();
    completePick(); // the candidate of the last tick is the pick
}

void FrmMd::Timer1_Timer() {
    DrawNext();
}

void FrmMd::cmdNext_Click(int index) {
    if (index == 0) {
        if (st.GroupCount <= 1)
            return;
        int next = st.CurrentGroup >= st.GroupCount ? 1 : st.CurrentGroup + 1;
        if (next > ui.List2->count()) // more groups typed than formed: back to the first
            next = 1;
        st.CurrentGroup = static_cast<int16_t>(next);
        ui.List2->setCurrentRow(next - 1);
        return;
    }
    lesson_.SetRolling(false);
    lblXm_Click();
}

void FrmMd::List1_Click() {
    const int row = ui.List1->currentRow();
    if (row < 0)
        return;
    QString text = ui.List1->item(row)->text();
    if (st.PickCategory == 2)
        text = rollcall::seatWording(text);
    st.PickText = text;
    st.CurrentMember = toInt16(row + 1.0);
    st.PickKey = defaultText(st.GroupTable.at(st.CurrentGroup, st.CurrentMember, 0));
    ui.LabCz->setText(rollcall::positionLine(st.CurrentGroup, st.CurrentMember, st.PickKey, st.PickText));
    const auto caption = rollcall::pickCaption(st.PickCategory, lesson_.presentationForm(), st.CurrentGroup,
                                               st.CurrentMember, st.PickKey, st.PickText);
    if (caption)
        ui.lblXm->setText(*caption);
}

void FrmMd::List1_MouseUp() {
    if (ui.List1->currentRow() < 0)
        return;
    if (lesson_.removesPicked())
        takePickOutOfPool();
    ui.imgXie[1]->show();
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
