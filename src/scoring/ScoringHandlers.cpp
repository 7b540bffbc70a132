// Score entry and the write-back into the roll book.
#include "platform/Log.h"
#include "rollbook/SheetAccess.h"
#include "scoring/ScoreMath.h"
#include "scoring/WriteHistory.h"
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

// The picked student's own row, found by its number in column A: numbers need not run
// 1, 2, 3 ... in row order (a student left, school numbers). 0: no row holds it.
int pickedStudentRow(const SessionState& st) {
    return scoring::studentRow(st.PickKey, st.RosterCount,
                               [&st](int r) { return readCell(st.ExcelSheet, r, kNumberColumn); });
}

// A write on the class sheet activated last, without its cells yet.
scoring::WriteRecord writeRecord(const SessionState& st, scoring::WriteKind kind) {
    const workbook::Workbook& book = sheetBook(st.ExcelSheet);
    scoring::WriteRecord r;
    r.kind = kind;
    r.path = book.path();
    r.sheet = st.ExcelSheet.index;
    r.sheetName = book.sheetName(st.ExcelSheet.index);
    r.dayLabel = st.TodayLabel;
    return r;
}

scoring::CellRead sheetCells(const SessionState& st) {
    return [&st](int row, int column) { return sheetBook(st.ExcelSheet).cell(row, column); };
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
        if (!lesson_.OpenClassSheet(sheet, true))
            return; // held by another program: said so, nothing written
        if (index == 1) {
            const int row = pickedStudentRow(st);
            if (row == 0) {
                platform.messages->warn(noStudentRowText(st.PickKey));
                return;
            }
            scoring::WriteRecord r = writeRecord(st, scoring::WriteKind::Score);
            r.cells = scoring::planScore(sheetCells(st), row, st.ScoreColumn, st.TodayLabel, lesson_.entryText(0));
            r.label = st.PickText + QStringLiteral(" ") + scoring::pointsLabel(lesson_.entryText(0));
            r.studentRow = row;
            ui.imgXie[1]->hide(); // before the save: a pick is scored once
            lesson_.ApplyWrite(std::move(r));
        } else {
            scoring::WriteRecord r = writeRecord(st, scoring::WriteKind::Grouping);
            r.cells = scoring::planGrouping(sheetCells(st), st.RosterTable, st.RosterCount);
            r.label = QStringLiteral("分组");
            ui.imgXie[0]->hide();
            lesson_.ApplyWrite(std::move(r));
        }
        lesson_.PlayWave(QStringLiteral("sound\\yes.wav"));
    } catch (...) {
        logCaught(index == 1 ? "writing the score" : "writing the grouping");
        saveAndClose(st);
    }
}

void FrmMd::MarkAbsent() {
    if (!classRosterLoaded(st) || st.PickKey.isEmpty())
        return;
    try {
        int16_t sheet = static_cast<int16_t>(ui.cmbXls->currentIndex() + 1);
        if (!lesson_.OpenClassSheet(sheet, true))
            return; // held by another program: said so, nothing written
        const int row = pickedStudentRow(st);
        if (row == 0) {
            platform.messages->warn(noStudentRowText(st.PickKey));
            return;
        }
        scoring::WriteRecord r = writeRecord(st, scoring::WriteKind::Absent);
        r.cells = scoring::planAbsent(sheetCells(st), row, st.ScoreColumn, st.TodayLabel);
        if (r.cells.empty())
            return; // marked already
        r.label = st.PickText + QStringLiteral(" ") + scoring::kAbsentMark;
        r.studentRow = row;
        lesson_.ApplyWrite(std::move(r));
        lesson_.PlayWave(QStringLiteral("sound\\yes.wav"));
    } catch (...) {
        logCaught("marking a student absent");
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
