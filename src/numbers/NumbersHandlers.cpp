// Range boxes, custom values and the number list.
#include "numbers/NumberList.h"
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"

#include <QSignalBlocker>

namespace rostrel {

namespace {

const QString kCheckData = QStringLiteral("请检查数据的合理性");

QStringList listTexts(const QListWidget* list) {
    QStringList out;
    out.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

void appendItems(QListWidget* list, const QStringList& texts) {
    list->setUpdatesEnabled(false);
    list->addItems(texts);
    list->setUpdatesEnabled(true);
}

bool isNumberList(int category) {
    return category == numbers::kNumberCategory || category == numbers::kSeatCategory;
}

} // namespace

void FrmMd::wireNumbers() {
    for (int i = 0; i < 2; ++i) {
        TextBox* box = ui.txtXh[i];
        connect(box, &TextBox::gotFocus, this, [this, i] { guarded([&] { txtXh_GotFocus(i); }); });
        connect(box, &TextBox::lostFocus, this, [this, i] { guarded([&] { txtXh_LostFocus(i); }); });
        connect(box, &TextBox::enterPressed, this, [this, i] { guarded([&] { txtXh_KeyPress(i, 13); }); });
    }
    connect(ui.txtShu, &TextBox::gotFocus, this, [this] { guarded([&] { txtShu_GotFocus(); }); });
    connect(ui.txtShu, &TextBox::lostFocus, this, [this] { guarded([&] { txtShu_LostFocus(); }); });
    connect(ui.txtShu, &TextBox::enterPressed, this, [this] { guarded([&] { txtShu_KeyPress(13); }); });
    for (int i = 0; i < 3; ++i)
        connect(ui.ImgZdy[i], &ClickLabel::clicked, this, [this, i] { guarded([&] { ImgZdy_Click(i); }); });
    ui.lstHm->setUniformItemSizes(true);
    // The remove image follows the selection, not the current entry: Tab makes an entry
    // current without selecting it, and Ctrl+click unselects one.
    connect(ui.lstHm, &QListWidget::itemSelectionChanged, this, [this] { guarded([&] { lstHm_Click(); }); });
    connect(ui.lstHm, &ListBox::doubleClicked, this, [this] { guarded([&] { lstHm_DblClick(); }); });
}

void FrmMd::txtXh_GotFocus(int index) {
    // A snapshot of both boxes, to tell later whether anything changed.
    try {
        const int16_t a = readInt16(ui.txtXh[0]->text());
        const int16_t b = readInt16(ui.txtXh[1]->text());
        st.RangeVal1 = a;
        st.RangeVal2 = b;
    } catch (const OverflowError&) {
        // A value beyond 16 bits is refused when the box is left.
    }
    setBackColor(ui.txtXh[index], kEditingBack);
}

void FrmMd::txtXh_KeyPress(int index, int keyAscii) {
    if (keyAscii == 13)
        txtXh_LostFocus(index);
}

void FrmMd::txtXh_LostFocus(int index) {
    const auto range = numbers::readRange(st.PickCategory, ui.txtXh[0]->text(), ui.txtXh[1]->text(), index);
    if (!range) {
        platform.messages->warn(kCheckData);
        return;
    }
    setBackColor(ui.txtXh[index], kRestingBack);
    if (range->first == st.RangeVal1 && range->second == st.RangeVal2 && st.FirstShow == 0)
        return;
    if (!isNumberList(st.PickCategory))
        return; // the boxes belong to the number and row-column categories only
    st.RangeVal1 = range->first;
    st.RangeVal2 = range->second;
    if (st.FirstShow == 1)
        st.FirstShow = 0;
    ui.lstHm->clear();
    appendItems(ui.lstHm, numbers::rangeEntries(st.PickCategory, *range));
    LoadNumberList();
}

void FrmMd::txtShu_GotFocus() {
    ui.ImgZdy[0]->show();
    setBackColor(ui.txtShu, kEditingBack);
}

void FrmMd::txtShu_LostFocus() {
    setBackColor(ui.txtShu, kRestingBack);
}

void FrmMd::txtShu_KeyPress(int keyAscii) {
    if (keyAscii == 13)
        ImgZdy_Click(0);
}

void FrmMd::ImgZdy_Click(int index) {
    switch (index) {
    case 0: {
        const auto added = numbers::customAdditions(st.PickCategory, listTexts(ui.lstHm), ui.txtShu->text());
        if (!added) {
            platform.messages->warn(kCheckData);
            return;
        }
        appendItems(ui.lstHm, *added);
        ui.ImgZdy[0]->hide();
        setBackColor(ui.txtShu, kRestingBack);
        break;
    }
    case 1: {
        const QList<QListWidgetItem*> selected = ui.lstHm->selectedItems();
        if (!selected.isEmpty()) {
            delete ui.lstHm->takeItem(ui.lstHm->row(selected.first()));
            // Nothing is selected after a removal, so a second click removes nothing.
            ui.lstHm->clearSelection();
            ui.lstHm->setCurrentRow(-1);
        }
        ui.ImgZdy[1]->hide();
        break;
    }
    case 2:
        ui.lstHm->clear();
        break;
    default:
        return;
    }
    LoadNumberList();
}

void FrmMd::lstHm_Click() {
    ui.ImgZdy[1]->setVisible(!ui.lstHm->selectedItems().isEmpty());
}

void FrmMd::lstHm_DblClick() {
    ImgZdy_Click(1);
}

void FrmMd::LoadNumberList() {
    const QStringList entries = listTexts(ui.lstHm);
    numbers::loadNumberTables(st, entries);
    // The name box lists the values; filling it is no choice of the teacher's.
    const QSignalBlocker block(ui.CmbXm);
    ui.CmbXm->clear();
    ui.CmbXm->addItems(entries);
    ui.CmbXm->setCurrentIndex(-1);
}

} // namespace rostrel
