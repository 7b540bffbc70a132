// The lesson's score, absent-mark and grouping writes into the class sheet loaded.
#include "lesson/Lesson.h"
#include "platform/Log.h"
#include "rollbook/SheetAccess.h"
#include "scoring/ScoreMath.h"

namespace rostrel {

using namespace rollbook;

namespace {

QString noStudentRowText(const QString& key) {
    return QStringLiteral("Excel名单中找不到学号为") + key + QStringLiteral("的学生，成绩没有写入，请检查名单。");
}

scoring::CellRead sheetCells(const SessionState& st) {
    return [&st](int row, int column) { return sheetBook(st.ExcelSheet).cell(row, column); };
}

} // namespace

// After a failed write: what was written is saved, then the roll book is closed; the next
// write opens it again.
void Lesson::saveAndClose(const char* failedStep) {
    logCaught(failedStep);
    workbook::Workbook* book = st_.ExcelSheet.book ? st_.ExcelSheet.book : st_.ExcelBook;
    if (book && !book->isClosed()) {
        try {
            book->save();
        } catch (...) {
            logCaught("saving the roll book after a failed write");
        }
    }
    closeRollBook(st_);
}

std::optional<scoring::WriteRecord> Lesson::startWrite(scoring::WriteKind kind) {
    int16_t sheet = st_.ClassIndex;
    if (!OpenClassSheet(sheet, true))
        return std::nullopt; // held by another program: said so, nothing written
    const workbook::Workbook& book = sheetBook(st_.ExcelSheet);
    scoring::WriteRecord r;
    r.kind = kind;
    r.path = book.path();
    r.sheet = st_.ExcelSheet.index;
    r.sheetName = book.sheetName(st_.ExcelSheet.index);
    r.dayLabel = st_.TodayLabel;
    return r;
}

// The picked student's own row, found by its number in column A: numbers need not run
// 1, 2, 3 ... in row order (a student left, school numbers). 0: no row holds it.
int Lesson::pickedStudentRow() const {
    return scoring::studentRow(st_.PickKey, st_.RosterCount,
                               [this](int r) { return readCell(st_.ExcelSheet, r, kNumberColumn); });
}

std::optional<scoring::WriteRecord> Lesson::startStudentWrite(scoring::WriteKind kind) {
    std::optional<scoring::WriteRecord> r = startWrite(kind);
    if (!r)
        return r;
    r->studentRow = pickedStudentRow();
    if (r->studentRow == 0) {
        platform_.messages->warn(noStudentRowText(st_.PickKey));
        return std::nullopt;
    }
    return r;
}

void Lesson::WriteScore() {
    // Only the roster of the class shown is ever written (a failed load leaves none).
    if (!classRosterLoaded(st_))
        return;
    try {
        std::optional<scoring::WriteRecord> r = startStudentWrite(scoring::WriteKind::Score);
        if (!r)
            return;
        r->cells = scoring::planScore(sheetCells(st_), r->studentRow, st_.ScoreColumn, st_.TodayLabel, entryText_[0]);
        r->label = st_.PickText + QStringLiteral(" ") + scoring::pointsLabel(entryText_[0]);
        setScoreImage(false); // before the save: a pick is scored once
        ApplyWrite(std::move(*r));
        PlayWave(QStringLiteral("sound\\yes.wav"));
    } catch (...) {
        saveAndClose("writing the score");
    }
}

bool Lesson::WriteGrouping() {
    if (!classRosterLoaded(st_))
        return false;
    bool sent = false;
    try {
        std::optional<scoring::WriteRecord> r = startWrite(scoring::WriteKind::Grouping);
        if (!r)
            return false;
        r->cells = scoring::planGrouping(sheetCells(st_), st_.RosterTable, st_.RosterCount);
        r->label = QStringLiteral("分组");
        sent = true;
        ApplyWrite(std::move(*r));
        PlayWave(QStringLiteral("sound\\yes.wav"));
    } catch (...) {
        saveAndClose("writing the grouping");
    }
    return sent;
}

void Lesson::MarkAbsent() {
    if (!classRosterLoaded(st_) || st_.PickKey.isEmpty())
        return;
    try {
        std::optional<scoring::WriteRecord> r = startStudentWrite(scoring::WriteKind::Absent);
        if (!r)
            return;
        r->cells = scoring::planAbsent(sheetCells(st_), r->studentRow, st_.ScoreColumn, st_.TodayLabel);
        if (r->cells.empty())
            return; // marked already
        r->label = st_.PickText + QStringLiteral(" ") + scoring::kAbsentMark;
        ApplyWrite(std::move(*r));
        PlayWave(QStringLiteral("sound\\yes.wav"));
    } catch (...) {
        saveAndClose("marking a student absent");
    }
}

} // namespace rostrel
