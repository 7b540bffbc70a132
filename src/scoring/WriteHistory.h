// The lesson's roll-book writes (scores, absent marks, groupings) as undoable commands: each
// remembers every cell's exact content before and after, and saves the roll book whenever it
// is applied or taken back. The stack lives for the whole lesson, across class switches and
// a roll book closed and opened again, because a command finds its workbook by path.
#pragma once

#include "platform/CellTable.h"
#include "platform/workbook/Workbook.h"

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <functional>
#include <string>
#include <vector>

namespace rostrel::scoring {

inline const QString kAbsentMark = QStringLiteral("缺");

// One cell of a write.
struct CellChange {
    int row = 0;
    int column = 0;
    workbook::CellValue before;
    workbook::CellValue after;
    friend bool operator==(const CellChange&, const CellChange&) = default;
};

enum class WriteKind { Score, Absent, Grouping };

struct WriteRecord {
    WriteKind kind = WriteKind::Score;
    std::string path;      // the roll book
    int sheet = 0;         // 1-based index of the class sheet when written
    std::string sheetName; // found by name if the sheets moved since
    std::vector<CellChange> cells;
    QString label;      // "张三 +5", "张三 缺", "分组"
    QString dayLabel;   // the score column's day, "03月15" (scores and absent marks)
    int studentRow = 0; // sheet row of the student (scores and absent marks)
};

// Reads a cell of the class sheet being written.
using CellRead = std::function<workbook::CellValue(int row, int column)>;

// The cells of a score write: the header of `column` set to `today` when it reads another
// day, and the student's cell raised by `points` (a "缺" or other text counts as 0 and is
// replaced by the sum).
std::vector<CellChange> planScore(const CellRead& read, int row, int column, const QString& today,
                                  const QString& points);
// The cells of an absent mark: the header as for a score, the student's cell "缺". Nothing
// when the cell already holds the mark.
std::vector<CellChange> planAbsent(const CellRead& read, int row, int column, const QString& today);
// The cells of a grouping write: columns E and F of roster rows 1..count.
std::vector<CellChange> planGrouping(const CellRead& read, const CellTable2& roster, int16_t count);

// "+5", "-3", "+1.5": the points as typed, read by the number they begin with.
QString pointsLabel(const QString& points);
// "张三 +5 → 03月15", "张三 缺 → 03月15", "分组 → 高一(1)班".
QString writeNotice(const WriteRecord& record);

// Gives the open workbook of a file, opening it when needed; throws WorkbookError.
using BookSource = std::function<workbook::Workbook&(const std::string& path)>;

class WriteHistory : public QObject {
    Q_OBJECT
public:
    explicit WriteHistory(BookSource source, QObject* parent = nullptr);

    // Writes the record's `after` values and saves. On failure nothing stays changed in
    // memory, the error propagates and the history is unchanged; a record without cells
    // writes nothing and is not kept.
    void apply(WriteRecord record);
    // Take back / write again the last write. False, with the reason, when the roll book
    // cannot be written or its cells no longer hold what the write left there; the history
    // stays where it was.
    bool undo(QString* reason = nullptr);
    bool redo(QString* reason = nullptr);

    bool canUndo() const { return stack_.canUndo(); }
    bool canRedo() const { return stack_.canRedo(); }
    int count() const { return stack_.count(); }
    // "撤销：张三 +5" / "重做：张三 +5"; "撤销" / "重做" when there is nothing.
    QString undoToolTip() const;
    QString redoToolTip() const;
    // The record the next undo takes back (nullptr when none).
    const WriteRecord* lastWrite() const;
    const WriteRecord* nextRedo() const;

Q_SIGNALS:
    // After a successful apply, undo or redo: `undone` tells which way.
    void written(const rostrel::scoring::WriteRecord& record, bool undone);
    void historyChanged();

private:
    BookSource source_;
    QUndoStack stack_;
};

} // namespace rostrel::scoring
