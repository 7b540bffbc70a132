// Score entry and the write-back into the roll book: the window part.
#include "platform/Log.h"
#include "rollbook/SheetAccess.h"
#include "shell/FrmMd.h"

namespace rostrel {

namespace {

const QString kRebuildFailedText = QStringLiteral("读取成绩列失败，请检查Excel名单，成绩列保持不变。");

} // namespace

void FrmMd::wireScoring() {
    for (int i = 0; i < 2; ++i)
        connect(ui.imgXie[i], &ClickLabel::clicked, this, [this, i] { imgXie_Click(i); });
    connect(ui.chkRq, &QCheckBox::toggled, &lesson_, &Lesson::SetNewColumnPerDay);
    connect(ui.chkRq, &QCheckBox::clicked, this, [this] { chkRq_Click(); });
}

void FrmMd::imgXie_Click(int index) {
    if (index == 1)
        lesson_.WriteScore();
    else if (lesson_.WriteGrouping())
        ui.imgXie[0]->hide();
}

void FrmMd::chkRq_Click() {
    if (!rollbook::classRosterLoaded(st))
        return;
    const int16_t column = st.ScoreColumn;
    const CellTable2 pool = st.PickPool;
    const int16_t live = st.PoolCount;
    try {
        BuildPickPool();
    } catch (...) {
        logCaught("choosing the score column");
        st.ScoreColumn = column;
        st.PickPool = pool;
        st.PoolCount = live;
        platform.messages->warn(kRebuildFailedText);
    }
}

} // namespace rostrel
