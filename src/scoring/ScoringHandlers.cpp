// Score entry and the write-back into the roll book.
#include "platform/Log.h"
#include "rollbook/SheetAccess.h"
#include "scoring/ScoreMath.h"
#include "shell/FrmMd.h"

namespace rostrel {

using namespace rollbook;

namespace {

const QString kRebuildFailedText = QStringLiteral("读取成绩列失败，请检查Excel名单，成绩列保持不变。");

QString noStudentRowText(const QString& key) {
    return QStringLiteral("Excel名单中找不到学号为") + key + QStringLiteral("的学生，成绩没有写入，请检查名单。");
}

// After a failed write: what was written is saved, then the roll book is closed; the next
// write opens it again.
void saveAndClose(SessionState& st) {
    workbook::Workbook* book = st.ExcelSheet.book ? st.ExcelSheet.book : st.ExcelBook;
    if (book && !book->isClosed()) {
        try {
            book->save();
        } catch (...) {
            logCaught("saving the roll book after a failed write");
        }
    }
    closeRollBook(st);
}

} // namespace

void FrmMd::wireScoring() {
    for (int i = 0; i < 2; ++i)
        connect(ui.imgXie[i], &ClickLabel::clicked, this, [this, i] { imgXie_Click(i); });
    connect(ui.chkRq, &QCheckBox::toggled, &lesson_, &Lesson::SetNewColumnPerDay);
    connect(ui.chkRq, &QCheckBox::clicked, this, [this] { chkRq_Click(); });
}

void FrmMd::imgXie_Click(int index) {
    // Only the roster of the class shown is ever written (a failed load leaves none).
    if (!classRosterLoaded(st))
        return;
    try {
        int16_t sheet = static_cast<int16_t>(ui.cmbXls->currentIndex() + 1);
        lesson_.OpenClassSheet(sheet);
        if (index == 1) {
            // The picked student's own row, found by its number in column A: numbers need not
            // run 1, 2, 3 ... in row order (a student left, school numbers).
            const int row = scoring::studentRow(st.PickKey, st.RosterCount,
                                                [this](int r) { return readCell(st.ExcelSheet, r, kNumberColumn); });
            if (row == 0) {
                platform.messages->warn(noStudentRowText(st.PickKey));
                return;
            }
            const Cell header = readCell(st.ExcelSheet, kHeaderRow, st.ScoreColumn);
            if (scoring::headerDayLabel(header) != st.TodayLabel)
                writeCell(st.ExcelSheet, kHeaderRow, st.ScoreColumn, Cell::fromText(st.TodayLabel));
            const float sum = scoring::addPoints(readCell(st.ExcelSheet, row, st.ScoreColumn), lesson_.entryText(0));
            writeCell(st.ExcelSheet, row, st.ScoreColumn, Cell::fromNumber(scoring::storedScore(sum)));
            ui.imgXie[1]->hide();
        } else {
            scoring::writeGrouping(st.RosterTable, st.RosterCount, [this](int row, int column, const Cell& value) {
                writeCell(st.ExcelSheet, row, column, value);
            });
            ui.imgXie[0]->hide();
        }
        sheetBook(st.ExcelSheet).save();
        lesson_.PlayWave(QStringLiteral("sound\\yes.wav"));
    } catch (...) {
        logCaught(index == 1 ? "writing the score" : "writing the grouping");
        saveAndClose(st);
    }
}

void FrmMd::chkRq_Click() {
    if (!classRosterLoaded(st))
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
