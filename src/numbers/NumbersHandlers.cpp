// The number list's controls: range boxes, custom values and the list, forwarded to the
// lesson and redrawn from it.
#include "rollcall/ControlHelpers.h"
#include "shell/FrmMd.h"

#include <QSignalBlocker>

namespace rostrel {

void FrmMd::wireNumbers() {
    Lesson* l = &lesson_;
    for (int i = 0; i < 2; ++i) {
        TextBox* box = ui.txtXh[i];
        connect(box, &QLineEdit::textChanged, l, [l, i](const QString& text) { l->SetRangeText(i, text); });
        connect(box, &TextBox::gotFocus, this, [this, box] {
            lesson_.BeginRangeEdit();
            setBackColor(box, kEditingBack);
        });
        const auto confirm = [l, i] { guarded([&] { l->ConfirmRange(i); }); };
        connect(box, &TextBox::lostFocus, this, confirm);
        connect(box, &TextBox::enterPressed, this, confirm);
    }
    connect(l, &Lesson::rangeAccepted, this, [this](int box) { setBackColor(ui.txtXh[box], kRestingBack); });
    connect(ui.txtShu, &QLineEdit::textChanged, l, &Lesson::SetCustomText);
    connect(ui.txtShu, &TextBox::gotFocus, this, [this] {
        lesson_.BeginCustomEdit();
        setBackColor(ui.txtShu, kEditingBack);
    });
    connect(ui.txtShu, &TextBox::lostFocus, this, [this] { setBackColor(ui.txtShu, kRestingBack); });
    const auto add = [this] {
        guarded([&] {
            if (lesson_.AddCustomValues())
                setBackColor(ui.txtShu, kRestingBack);
        });
    };
    connect(ui.txtShu, &TextBox::enterPressed, this, add);
    connect(ui.ImgZdy[0], &ClickLabel::clicked, this, add);
    const auto remove = [l] { guarded([&] { l->RemoveSelectedNumber(); }); };
    connect(ui.ImgZdy[1], &ClickLabel::clicked, l, remove);
    connect(ui.ImgZdy[2], &ClickLabel::clicked, l, [l] { guarded([&] { l->ClearNumberList(); }); });
    ui.lstHm->setUniformItemSizes(true);
    // The remove image follows the selection, not the current entry: Tab makes an entry
    // current without selecting it, and Ctrl+click unselects one.
    connect(ui.lstHm, &QListWidget::itemSelectionChanged, l, [this] {
        const QList<QListWidgetItem*> selected = ui.lstHm->selectedItems();
        lesson_.SelectNumber(selected.isEmpty() ? -1 : ui.lstHm->row(selected.first()));
    });
    connect(ui.lstHm, &ListBox::doubleClicked, l, remove);
}

void FrmMd::showNumbers() {
    ui.LblVal1->setText(lesson_.rangeLabel(0));
    ui.LblVal2->setText(lesson_.rangeLabel(1));
    showText(ui.txtXh[0], lesson_.rangeText(0));
    showText(ui.txtXh[1], lesson_.rangeText(1));
    showText(ui.txtShu, lesson_.customText());
    ui.ImgZdy[0]->setVisible(lesson_.addImageShown());
    ui.ImgZdy[1]->setVisible(lesson_.removeImageShown());
    const QSignalBlocker block(ui.lstHm);
    if (shownNumberRevision_ != lesson_.numberListRevision()) {
        shownNumberRevision_ = lesson_.numberListRevision();
        ui.lstHm->setUpdatesEnabled(false);
        ui.lstHm->clear();
        ui.lstHm->addItems(lesson_.numberList());
        ui.lstHm->setUpdatesEnabled(true);
    }
    if (lesson_.selectedNumber() < 0) {
        ui.lstHm->clearSelection();
        ui.lstHm->setCurrentRow(-1);
    } else if (ui.lstHm->currentRow() != lesson_.selectedNumber()) {
        ui.lstHm->setCurrentRow(lesson_.selectedNumber());
    }
}

void FrmMd::showEntries() {
    const QSignalBlocker block(ui.CmbXm);
    ui.CmbXm->clear();
    ui.CmbXm->addItems(lesson_.entries());
    ui.CmbXm->setCurrentIndex(-1);
}

} // namespace rostrel
