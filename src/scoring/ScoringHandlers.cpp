// Score entry and the write-back into the roll book: the window part.
#include "shell/FrmMd.h"

namespace rostrel {

void FrmMd::wireScoring() {
    Lesson* l = &lesson_;
    connect(ui.imgXie[1], &ClickLabel::clicked, l, &Lesson::WriteScore);
    connect(ui.imgXie[0], &ClickLabel::clicked, this, [this] {
        if (lesson_.WriteGrouping())
            ui.imgXie[0]->hide();
    });
    connect(ui.chkRq, &QCheckBox::clicked, l, &Lesson::ChooseNewColumnPerDay);
}

} // namespace rostrel
