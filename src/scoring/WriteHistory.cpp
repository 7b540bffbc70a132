#include "scoring/WriteHistory.h"

#include "rollbook/ClassSheet.h"
#include "scoring/ScoreMath.h"

#include <QUndoCommand>

namespace rostrel::scoring {

using workbook::CellValue;
using workbook::Workbook;
using workbook::WorkbookError;

namespace {

void addChange(std::vector<CellChange>& out, const CellRead& read, int row, int column, const CellValue& after) {
    out.push_back({row, column, read(row, column), after});
}

void planHeader(std::vector<CellChange>& out, const CellRead& read, int column, const QString& today) {
    const CellValue header = read(rollbook::kHeaderRow, column);
    if (headerDayLabel(rollbook::toCell(header)) != today)
        out.push_back({rollbook::kHeaderRow, column, header, CellValue::fromText(today.toStdString())});
}

// Activates the record's sheet: by index when its name still matches, else by name.
void activateSheet(Workbook& book, const WriteRecord& r) {
    if (r.sheet >= 1 && r.sheet <= book.sheetCount() && book.sheetName(r.sheet) == r.sheetName) {
        book.activate(r.sheet);
        return;
    }
    for (int i = 1; i <= book.sheetCount(); ++i)
        if (book.sheetName(i) == r.sheetName) {
            book.activate(i);
            return;
        }
    throw WorkbookError(WorkbookError::Code::NoSuchSheet, "the class sheet is gone: " + r.sheetName);
}

class StaleCells : public std::runtime_error {
public:
    StaleCells() : std::runtime_error("the cells were changed since") {}
};

// Writes `after` (forward) or `before` (back) into the record's cells and saves. Each cell
// must still hold the other side of the change. On failure the cells written are put back
// in memory and the exception propagates.
void transfer(Workbook& book, const WriteRecord& r, bool forward) {
    const int active = book.activeSheet();
    activateSheet(book, r);
    std::vector<const CellChange*> done;
    try {
        for (const CellChange& c : r.cells)
            if (book.cell(c.row, c.column) != (forward ? c.before : c.after))
                throw StaleCells();
        for (const CellChange& c : r.cells) {
            book.setCell(c.row, c.column, forward ? c.after : c.before);
            done.push_back(&c);
        }
        book.save();
    } catch (...) {
        for (const CellChange* c : done) {
            try {
                book.setCell(c->row, c->column, forward ? c->before : c->after);
            } catch (...) {
            }
        }
        try {
            book.activate(active);
        } catch (...) {
        }
        throw;
    }
    book.activate(active);
}

QString reasonOf(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const StaleCells&) {
        return QStringLiteral("名单中的这些单元格已被改动，无法撤销或重做。");
    } catch (const WorkbookError& w) {
        if (w.code() == WorkbookError::Code::ReadOnly)
            return QStringLiteral("请检查Excel名单是否已经被打开，请关闭");
        return QStringLiteral("无法写入Excel名单：") + QString::fromStdString(w.what());
    } catch (const std::exception& x) {
        return QStringLiteral("无法写入Excel名单：") + QString::fromStdString(x.what());
    } catch (...) {
    }
    return QStringLiteral("无法写入Excel名单。");
}

// One write on the undo stack. QUndoStack runs redo() when a command is pushed and has no
// notion of a command that fails, so the first redo is skipped (the write was made before
// the push) and a failed step is left in place by a silent step the other way.
class WriteCommand : public QUndoCommand {
public:
    WriteCommand(WriteRecord record, const BookSource& source)
        : QUndoCommand(record.label), record_(std::move(record)), source_(source) {}

    void undo() override { step(false); }
    void redo() override { step(true); }

    const WriteRecord& record() const { return record_; }
    std::exception_ptr failure;
    bool skip = true; // the push's redo: already written

private:
    void step(bool forward) {
        failure = nullptr;
        if (skip) {
            skip = false;
            return;
        }
        try {
            transfer(source_(record_.path), record_, forward);
        } catch (...) {
            failure = std::current_exception();
        }
    }

    WriteRecord record_;
    const BookSource& source_;
};

const WriteCommand* commandAt(const QUndoStack& stack, int index) {
    return index >= 0 && index < stack.count() ? static_cast<const WriteCommand*>(stack.command(index)) : nullptr;
}

} // namespace

std::vector<CellChange> planScore(const CellRead& read, int row, int column, const QString& today,
                                  const QString& points) {
    std::vector<CellChange> out;
    planHeader(out, read, column, today);
    const float sum = addPoints(rollbook::toCell(read(row, column)), points);
    addChange(out, read, row, column, CellValue::fromNumber(storedScore(sum)));
    return out;
}

std::vector<CellChange> planAbsent(const CellRead& read, int row, int column, const QString& today) {
    const CellValue mark = CellValue::fromText(kAbsentMark.toStdString());
    if (read(row, column) == mark)
        return {};
    std::vector<CellChange> out;
    planHeader(out, read, column, today);
    addChange(out, read, row, column, mark);
    return out;
}

std::vector<CellChange> planGrouping(const CellRead& read, const CellTable2& roster, int16_t count) {
    std::vector<CellChange> out;
    writeGrouping(roster, count, [&](int row, int column, const Cell& value) {
        addChange(out, read, row, column, rollbook::toCellValue(value));
    });
    return out;
}

QString pointsLabel(const QString& points) {
    const double v = leadingNumber(points);
    return (v < 0 ? QString() : QStringLiteral("+")) + numberText(v);
}

QString writeNotice(const WriteRecord& r) {
    const QString where = r.kind == WriteKind::Grouping ? QString::fromStdString(r.sheetName) : r.dayLabel;
    return r.label + QStringLiteral(" → ") + where;
}

WriteHistory::WriteHistory(BookSource source, QObject* parent) : QObject(parent), source_(std::move(source)) {
    stack_.setUndoLimit(0); // the whole lesson
}

void WriteHistory::apply(WriteRecord record) {
    if (record.cells.empty())
        return;
    transfer(source_(record.path), record, true);
    auto* command = new WriteCommand(std::move(record), source_);
    stack_.push(command);
    Q_EMIT written(command->record(), false);
    Q_EMIT historyChanged();
}

bool WriteHistory::undo(QString* reason) {
    if (!stack_.canUndo())
        return false;
    auto* command = const_cast<WriteCommand*>(commandAt(stack_, stack_.index() - 1));
    stack_.undo();
    if (command->failure) {
        if (reason)
            *reason = reasonOf(command->failure);
        command->skip = true;
        stack_.redo();
        return false;
    }
    Q_EMIT written(command->record(), true);
    Q_EMIT historyChanged();
    return true;
}

bool WriteHistory::redo(QString* reason) {
    if (!stack_.canRedo())
        return false;
    auto* command = const_cast<WriteCommand*>(commandAt(stack_, stack_.index()));
    stack_.redo();
    if (command->failure) {
        if (reason)
            *reason = reasonOf(command->failure);
        command->skip = true;
        stack_.undo();
        return false;
    }
    Q_EMIT written(command->record(), false);
    Q_EMIT historyChanged();
    return true;
}

const WriteRecord* WriteHistory::lastWrite() const {
    const WriteCommand* c = commandAt(stack_, stack_.index() - 1);
    return c ? &c->record() : nullptr;
}

const WriteRecord* WriteHistory::nextRedo() const {
    const WriteCommand* c = commandAt(stack_, stack_.index());
    return c ? &c->record() : nullptr;
}

QString WriteHistory::undoToolTip() const {
    const WriteRecord* r = lastWrite();
    return r ? QStringLiteral("撤销：") + r->label : QStringLiteral("撤销");
}

QString WriteHistory::redoToolTip() const {
    const WriteRecord* r = nextRedo();
    return r ? QStringLiteral("重做：") + r->label : QStringLiteral("重做");
}

} // namespace rostrel::scoring
