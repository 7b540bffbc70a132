// Roll-book writes taken back and made again: every cell gets back its exact content, the
// file is saved at each step (read back by xlrd), and a step that cannot be made leaves the
// history where it was.
#include "rollbook/RealRollBook.h"
#include "scoring/WriteHistory.h"
#include "support/FakeWorkbook.h"

namespace rostrel::test {
namespace {

using scoring::CellChange;
using scoring::WriteHistory;
using scoring::WriteKind;
using scoring::WriteRecord;
using workbook::CellValue;

const QString kClass1 = QStringLiteral("高一(1)班");

// The real engine, opening a roll book again whenever the one held was closed.
struct EngineSource {
    std::unique_ptr<workbook::Workbook> book;
    int opens = 0;
    workbook::Workbook& operator()(const std::string& path) {
        if (!book || book->isClosed()) {
            book = workbook::openWorkbook(path);
            ++opens;
        }
        return *book;
    }
};

WriteRecord score(workbook::Workbook& book, const std::string& sheetName, int row, int column, const QString& name,
                  const QString& points, const QString& today = QStringLiteral("03月16")) {
    WriteRecord r;
    r.kind = WriteKind::Score;
    r.path = book.path();
    r.sheet = book.activeSheet();
    r.sheetName = sheetName;
    r.cells = scoring::planScore([&](int rr, int cc) { return book.cell(rr, cc); }, row, column, today, points);
    r.label = name + QStringLiteral(" ") + scoring::pointsLabel(points);
    r.dayLabel = today;
    r.studentRow = row;
    return r;
}

TEST(WriteHistory, ScoresTakenBackInOrderAcrossAReopenedRollBook) {
    QTemporaryDir dir;
    const QString path = copyFixture(dir, QStringLiteral("lo_rollbook.xls"));
    const XlrdCells original = readWithXlrd(path);
    EngineSource source;
    WriteHistory history([&](const std::string& p) -> workbook::Workbook& { return source(p); });
    std::vector<bool> written; // the direction of each step
    QObject::connect(&history, &WriteHistory::written,
                     [&](const WriteRecord&, bool undone) { written.push_back(undone); });
    workbook::Workbook& book = source(path.toStdString());

    // Column I is new today: the first score sets its header, the second adds to the cell.
    history.apply(score(book, kClass1.toStdString(), 6, 9, QStringLiteral("张三"), QStringLiteral("5")));
    history.apply(score(book, kClass1.toStdString(), 6, 9, QStringLiteral("张三"), QStringLiteral("-3")));
    EXPECT_EQ(history.undoToolTip(), QStringLiteral("撤销：张三 -3"));
    EXPECT_EQ(scoring::writeNotice(*history.lastWrite()), QStringLiteral("张三 -3 → 03月16"));
    EXPECT_EQ(changedCells(original, readWithXlrd(path)),
              (XlrdCells{{{kClass1, 2, 9}, QStringLiteral("1:'03月16'")}, {{kClass1, 6, 9}, QStringLiteral("2:2.0")}}));

    // The lesson goes on with the class loaded again: the roll book is reopened for the undo.
    book.close();
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(source.opens, 2);
    EXPECT_EQ(readWithXlrd(path).at({kClass1, 6, 9}), QStringLiteral("2:5.0"));
    EXPECT_EQ(history.undoToolTip(), QStringLiteral("撤销：张三 +5"));
    EXPECT_EQ(history.redoToolTip(), QStringLiteral("重做：张三 -3"));
    ASSERT_TRUE(history.undo());
    // Empty stays empty, and the header the first write set is gone again.
    EXPECT_EQ(changedCells(original, readWithXlrd(path)), XlrdCells{});
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(history.undoToolTip(), QStringLiteral("撤销"));

    ASSERT_TRUE(history.redo());
    ASSERT_TRUE(history.redo());
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(readWithXlrd(path).at({kClass1, 6, 9}), QStringLiteral("2:2.0"));
    EXPECT_EQ(written, (std::vector<bool>{false, false, true, true, false, false}));
}

TEST(WriteHistory, TextStaysTextAndAHeaderOfAnotherDayComesBack) {
    QTemporaryDir dir;
    const QString path = copyFixture(dir, QStringLiteral("lo_rollbook.xls"));
    EngineSource source;
    WriteHistory history([&](const std::string& p) -> workbook::Workbook& { return source(p); });
    workbook::Workbook& book = source(path.toStdString());
    book.setCell(7, 8, CellValue::fromText("迟到"));
    book.save();
    const XlrdCells before = readWithXlrd(path);
    ASSERT_EQ(before.at({kClass1, 2, 8}), QStringLiteral("1:'03月15'"));

    // H2 reads 03月15; a write on the 16th re-dates it and replaces the text by the points.
    history.apply(score(book, kClass1.toStdString(), 7, 8, QStringLiteral("李四"), QStringLiteral("2")));
    EXPECT_EQ(changedCells(before, readWithXlrd(path)),
              (XlrdCells{{{kClass1, 2, 8}, QStringLiteral("1:'03月16'")}, {{kClass1, 7, 8}, QStringLiteral("2:2.0")}}));
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(changedCells(before, readWithXlrd(path)), XlrdCells{});
}

TEST(WriteHistory, AbsentMarkAndAScoreThatReplacesIt) {
    FakeDisk disk;
    disk.files["/r.xls"].sheets = {classSheet("一班", 5)};
    FakeWorkbook book(disk, "/r.xls");
    WriteHistory history([&](const std::string&) -> workbook::Workbook& { return book; });
    auto read = [&](int r, int c) { return book.cell(r, c); };

    WriteRecord absent;
    absent.kind = WriteKind::Absent;
    absent.path = "/r.xls";
    absent.sheet = 1;
    absent.sheetName = "一班";
    absent.cells = scoring::planAbsent(read, 4, 7, QStringLiteral("03月15"));
    absent.label = QStringLiteral("王五 缺");
    absent.dayLabel = QStringLiteral("03月15");
    ASSERT_EQ(absent.cells.size(), 2u);
    history.apply(absent);
    EXPECT_EQ(disk.files["/r.xls"].sheets[0].get(4, 7), CellValue::fromText("缺"));
    EXPECT_EQ(disk.files["/r.xls"].sheets[0].get(2, 7), CellValue::fromText("03月15"));
    EXPECT_EQ(scoring::writeNotice(*history.lastWrite()), QStringLiteral("王五 缺 → 03月15"));
    EXPECT_TRUE(scoring::planAbsent(read, 4, 7, QStringLiteral("03月15")).empty()); // marked once

    // Points on an absent student replace the mark; the header is already today's.
    const auto cells = scoring::planScore(read, 4, 7, QStringLiteral("03月15"), QStringLiteral("3"));
    EXPECT_EQ(cells, (std::vector<CellChange>{{4, 7, CellValue::fromText("缺"), CellValue::fromNumber(3)}}));
}

TEST(WriteHistory, AStepThatCannotBeMadeLeavesEverythingWhereItWas) {
    FakeDisk disk;
    disk.files["/r.xls"].sheets = {classSheet("一班", 5), classSheet("二班", 5)};
    FakeWorkbook book(disk, "/r.xls");
    book.activate(2);
    WriteHistory history([&](const std::string&) -> workbook::Workbook& { return book; });
    auto read = [&](int r, int c) { return book.cell(r, c); };
    WriteRecord r;
    r.path = "/r.xls";
    r.sheet = 2;
    r.sheetName = "二班";
    r.label = QStringLiteral("学生1 +5");
    r.cells = scoring::planScore(read, 3, 7, QStringLiteral("03月15"), QStringLiteral("5"));

    // A save that fails on the first write: nothing is kept, in memory or in the history.
    disk.failSave = true;
    EXPECT_THROW(history.apply(r), workbook::WorkbookError);
    EXPECT_TRUE(book.cell(3, 7).isEmpty());
    EXPECT_FALSE(history.canUndo());
    disk.failSave = false;
    book.activate(1); // the window has moved on to another class
    history.apply(r);
    EXPECT_EQ(book.activeSheet(), 1);
    EXPECT_EQ(disk.files["/r.xls"].sheets[1].get(3, 7), CellValue::fromNumber(5));

    disk.failSave = true;
    QString reason;
    EXPECT_FALSE(history.undo(&reason));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_TRUE(history.canUndo());
    EXPECT_FALSE(history.canRedo());
    book.activate(2);
    EXPECT_EQ(book.cell(3, 7), CellValue::fromNumber(5)); // not taken back in memory either
    disk.failSave = false;

    // Someone changed the cell since: the undo is refused rather than overwriting it.
    book.setCell(3, 7, CellValue::fromNumber(9));
    EXPECT_FALSE(history.undo(&reason));
    EXPECT_EQ(reason, QStringLiteral("名单中的这些单元格已被改动，无法撤销或重做。"));
    book.setCell(3, 7, CellValue::fromNumber(5));
    ASSERT_TRUE(history.undo());
    EXPECT_TRUE(disk.files["/r.xls"].sheets[1].get(3, 7).isEmpty());
    EXPECT_TRUE(disk.files["/r.xls"].sheets[1].get(2, 7).isEmpty());
}

TEST(WriteHistory, PointsLabels) {
    EXPECT_EQ(scoring::pointsLabel(QStringLiteral("5")), QStringLiteral("+5"));
    EXPECT_EQ(scoring::pointsLabel(QStringLiteral("-3")), QStringLiteral("-3"));
    EXPECT_EQ(scoring::pointsLabel(QStringLiteral("1.50")), QStringLiteral("+1.5"));
    EXPECT_EQ(scoring::pointsLabel(QStringLiteral("")), QStringLiteral("+0"));
}

} // namespace
} // namespace rostrel::test
