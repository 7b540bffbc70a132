// Score entry and the write-back into the roll book.
#include "rollbook/SheetAccess.h"
#include "scoring/ScoreMath.h"
#include "scoring/WriteHistory.h"
#include "shell/FrmMd.h"

namespace rostrel {

using namespace rollbook;

namespace {

const QString kRebuildFailedText = QStringLiteral("读取成绩列失败，请检查Excel名单，成绩列保持不变。");

// After a failed write: what was written is saved, then the roll book is closed; the next
// write opens it again.
void saveAndClose(SessionState& st) {
    workbook::Workbook* book = st.ExcelSheet.book ? st.ExcelSheet.book : st.ExcelBook;
    if (book && !book->isClosed()) {
        try {
            book->save();
        } catch (...) {
        }
    }
    closeRollBook(st);
}

// The sheet row of the student picked or selected. A student number outside the roster has
// no row of this class: the write fails.
int pickedStudentRow(const SessionState& st) {
    const int16_t row = add16(toInt16(leadingNumber(st.PickKey)), 2);
    if (row < kFirstStudentRow || row > st.RosterCount + 2)
        throw std::out_of_range("student row outside the roster");
    return row;
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
        OpenClassSheet(sheet);
        if (index == 1) {
            const int row = pickedStudentRow(st);
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
        saveAndClose(st);
    }
}

void FrmMd::MarkAbsent() {
    if (!classRosterLoaded(st) || st.PickKey.isEmpty())
        return;
    try {
        int16_t sheet = static_cast<int16_t>(ui.cmbXls->currentIndex() + 1);
        OpenClassSheet(sheet);
        const int row = pickedStudentRow(st);
        scoring::WriteRecord r = writeRecord(st, scoring::WriteKind::Absent);
        r.cells = scoring::planAbsent(sheetCells(st), row, st.ScoreColumn, st.TodayLabel);
        if (r.cells.empty())
            return; // marked already
        r.label = st.PickText + QStringLiteral(" ") + scoring::kAbsentMark;
        r.studentRow = row;
        lesson_.ApplyWrite(std::move(r));
        lesson_.PlayWave(QStringLiteral("sound\\yes.wav"));
    } catch (...) {
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
        st.ScoreColumn = column;
        st.PickPool = pool;
        st.PoolCount = live;
        platform.messages->warn(kRebuildFailedText);
    }
}

} // namespace rostrel
