// The lesson's roll-book writes through the undo history, and today's pool following them:
// a student whose score or absent mark is taken back is a candidate again.
#include "lesson/Lesson.h"

#include "rollbook/ClassSheet.h"
#include "rollcall/PickEngine.h"

#include <QFileInfo>

namespace rostrel {

namespace {

bool samePath(const std::string& a, const QString& b) {
    const QFileInfo fa(QString::fromStdString(a)), fb(b);
    return fa.absoluteFilePath() == fb.absoluteFilePath() ||
           (!fa.canonicalFilePath().isEmpty() && fa.canonicalFilePath() == fb.canonicalFilePath());
}

// The pool row of roster entry `index`, 0 when it is not in the pool.
int poolRowOf(const CellTable2& pool, int poolCount, int index) {
    for (int r = 1; r <= poolCount; ++r)
        if (pool.at(r, 0).kind == Cell::Kind::Number && static_cast<int>(pool.at(r, 0).number) == index)
            return r;
    return 0;
}

} // namespace

workbook::Workbook& Lesson::BookForPath(const std::string& path) {
    if (!st_.ExcelApp) {
        Launcher* launcher = platform_.launcher;
        st_.ExcelApp = workbook::createApplication(
            [launcher](const std::string& p) { return launcher && launcher->openFile(QString::fromStdString(p)); });
    }
    workbook::Application& app = *st_.ExcelApp;
    for (int i = 1; i <= app.workbookCount(); ++i) {
        workbook::Workbook& book = app.workbook(i);
        if (!book.isClosed() && samePath(book.path(), QString::fromStdString(path))) {
            if (book.changedOnDisk())
                book.reload();
            return book;
        }
    }
    return app.open(path);
}

void Lesson::ApplyWrite(scoring::WriteRecord record) {
    writes_->apply(std::move(record));
}

bool Lesson::IsCurrentClass(const scoring::WriteRecord& r) const {
    const SheetRef& sheet = st_.ExcelSheet;
    if (!sheet.valid() || sheet.book->isClosed() || !samePath(r.path, st_.RollBookPath))
        return false;
    try {
        return sheet.book->sheetName(sheet.index) == r.sheetName;
    } catch (...) {
        return false;
    }
}

void Lesson::FollowWrite(const scoring::WriteRecord& r, bool undone) {
    if (r.kind == scoring::WriteKind::Grouping || r.studentRow < rollbook::kFirstStudentRow || !IsCurrentClass(r))
        return;
    const int index = r.studentRow - rollbook::kFirstStudentRow + 1;
    if (index > st_.RosterCount || st_.PickPool.lastRow() < st_.RosterCount)
        return;
    const int row = poolRowOf(st_.PickPool, st_.PoolCount, index);
    const bool markedAbsent = r.kind == scoring::WriteKind::Absent && !undone;
    if (markedAbsent && row > 0) {
        rollcall::removePoolRow(st_.PickPool, st_.PoolCount, row, st_.RosterTable, st_.RosterCount);
    } else if (undone && row == 0 && st_.PoolCount < st_.RosterCount) {
        // Back in the pool only when its cell is blank again (today's column, taken back).
        for (const scoring::CellChange& c : r.cells)
            if (c.row == r.studentRow && !c.before.isEmpty())
                return;
        const int16_t at = ++st_.PoolCount;
        st_.PickPool.at(at, 0) = Cell::fromNumber(index);
        st_.PickPool.at(at, 1) = st_.RosterTable.at(index, 0);
        st_.PickPool.at(at, 2) = Cell::fromNumber(r.studentRow);
    }
}

} // namespace rostrel
