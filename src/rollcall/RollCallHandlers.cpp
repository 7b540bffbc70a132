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

const QString kCacheName = QStringLiteral("rollCallCache");

// Per-window state of the engine that is no part of the session: where each member key
// first occurs in the group plan. Every plan, whoever builds it, is listed anew in List2, so
// a change of List2's rows marks the index stale.
struct RollCallCache : QObject {
    explicit RollCallCache(QObject* parent) : QObject(parent) { setObjectName(kCacheName); }
    rollcall::GroupKeyIndex index;
};

rollcall::GroupKeyIndex& keyIndex(FrmMd& w) {
    auto* cache = static_cast<RollCallCache*>(w.findChild<QObject*>(kCacheName, Qt::FindDirectChildrenOnly));
    return cache->index;
}

// Selects a row in code; the click handler runs even when the row was selected already, so
// a draw always shows its pick.
void selectMember(FrmMd& w, int row) {
    if (w.ui.List1->currentRow() == row)
        w.List1_Click();
    else
        w.ui.List1->setCurrentRow(row);
}

template <typename F> void skipOnFailure(const char* step, F&& f) {
    try {
        f();
    } catch (const std::exception&) {
        logCaught(step);
    }
}

// With "重复" checked, the completed pick leaves the pool: the pool row of the member on
// show (the row of the random draw that showed it, or else its first live row), not the row
// of an earlier draw. A pick no longer in the pool removes nothing.
void takePickOutOfPool(FrmMd& w) {
    const int16_t row = rollcall::pickedPoolRow(w.st.PickPool, w.st.PoolCount, w.st.PickIndex, w.st.PickKey);
    if (row == 0) {
        w.ui.imgXie[1]->show();
        return;
    }
    w.st.PickIndex = row;
    w.RemovePicked();
}

// A pool entry in no group (a value added after the last grouping) is the pick all the same:
// it is shown without a group position, and its own pool row is the one a no-repeat pick
// removes.
void showUngroupedPick(FrmMd& w, int16_t poolRow, const QString& key) {
    SessionState& st = w.st;
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
        const QSignalBlocker block(w.ui.List1);
        w.ui.List1->setCurrentRow(-1);
    }
    w.ui.LabCz->setText(key + u' ' + text);
    w.ui.lblXm->setText(QStringLiteral("\r\n") + text);
}

void completePick(FrmMd& w) {
    if (w.ui.chkCf->isChecked())
        skipOnFailure("taking the pick out of the pool", [&] { takePickOutOfPool(w); });
    w.PlayWave(QStringLiteral("sound\\type.wav"));
    w.SetClockIdle();
    if (w.st.PickCategory == 0)
        w.ui.imgXie[1]->show();
}

} // namespace

void FrmMd::wireRollCall() {
    auto* cache = new RollCallCache(this);
    const auto stale = [cache] { cache->index.invalidate(); };
    QAbstractItemModel* groups = ui.List2->model();
    connect(groups, &QAbstractItemModel::rowsInserted, cache, stale);
    connect(groups, &QAbstractItemModel::rowsRemoved, cache, stale);
    connect(groups, &QAbstractItemModel::modelReset, cache, stale);
    connect(groups, &QAbstractItemModel::dataChanged, cache, stale);
    connect(groups, &QAbstractItemModel::layoutChanged, cache, stale);

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
    connect(ui.MnFs[2], &QAction::triggered, this, [this] {
        // The menu has already moved the check mark; the handler moves it itself.
        ui.MnFs[2]->setChecked(!ui.MnFs[2]->isChecked());
        guarded([&] { MnFs_Click(2); });
    });
    connect(ui.chkGd, &QCheckBox::toggled, this, [this] { guarded([&] { chkGd_Click(); }); });
    connect(ui.List1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) // clearing the list is no selection
            guarded([&] { List1_Click(); });
    });
    connect(ui.List1, &ListBox::mouseUp, this, [this] { guarded([&] { List1_MouseUp(); }); });
}

void FrmMd::DrawNext() {
    platform.random->reseed(platform.clock->timeOfDay().msecsSinceStartOfDay() / 1000.0);
    const bool atRandom = ui.OptDmFs[0]->isChecked();
    if (ui.List2->count() == 0)
        return;
    if (atRandom) {
        if (st.PoolCount < 1)
            return;
        const int16_t k = rollcall::drawRow(platform.random->next(), st.PoolCount);
        st.PickIndex = k;
        const QString key = defaultText(st.PickPool.at(k, 1));
        if (!ShowMember(key))
            showUngroupedPick(*this, k, key);
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
            selectMember(*this, 0);
    } else {
        selectMember(*this, ui.List1->currentRow() + 1);
    }
}

bool FrmMd::ShowMember(const QString& key) {
    const auto at = keyIndex(*this).find(st.GroupTable, st.GroupCount, key);
    if (at.group == 0 || at.group > ui.List2->count())
        return false;
    ui.List2->setCurrentRow(at.group - 1); // shows the group unless it is on show already
    if (at.slot <= ui.List1->count())
        selectMember(*this, at.slot - 1);
    return true;
}

void FrmMd::RemovePicked() {
    skipOnFailure("removing a pool row", [&] {
        rollcall::removePoolRow(st.PickPool, st.PoolCount, st.PickIndex, st.RosterTable, st.RosterCount);
    });
    ui.imgXie[1]->show();
}

void FrmMd::lblXm_Click() {
    if (ui.chkGd->isVisible())
        ui.chkGd->setFocus();
    const bool rolling = ui.chkGd->isChecked();
    ui.lblSj->setText(QStringLiteral("00:00:00"));
    ui.timJs->stop();
    if (!rolling) {
        skipOnFailure("drawing", [&] { DrawNext(); });
        completePick(*this);
        return;
    }
    if (!ui.Timer1->isActive()) {
        ui.Timer1->start();
        PlayWave(QStringLiteral("sound\\type0.wav"));
        return;
    }
    ui.Timer1->stop();
    completePick(*this); // the candidate of the last tick is the pick
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
    ui.chkGd->setChecked(false);
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
    const auto caption = rollcall::pickCaption(st.PickCategory, ui.cmbXs->currentIndex(), st.CurrentGroup,
                                               st.CurrentMember, st.PickKey, st.PickText);
    if (caption)
        ui.lblXm->setText(*caption);
}

void FrmMd::List1_MouseUp() {
    if (ui.List1->currentRow() < 0)
        return;
    if (ui.chkCf->isChecked())
        takePickOutOfPool(*this);
    ui.imgXie[1]->show();
}

} // namespace rostrel
