// What every workbook engine promises the program, checked on the in-memory fake the window
// tests run on and on the real engine with .xls, .xlsx and .ods files: where they part, a
// window test on the fake would pass where a teacher's roll book fails.
#include "WorkbookBackends.h"

#include <gtest/gtest.h>

#include <functional>

using namespace rostrel::workbook;
using namespace rostrel::test;

namespace {

using Code = WorkbookError::Code;
using V = CellValue;

const char* codeName(Code c) {
    switch (c) {
    case Code::Io:
        return "Io";
    case Code::NotOle:
        return "NotOle";
    case Code::NoWorkbookStream:
        return "NoWorkbookStream";
    case Code::Encrypted:
        return "Encrypted";
    case Code::OldFormat:
        return "OldFormat";
    case Code::Damaged:
        return "Damaged";
    case Code::Unsupported:
        return "Unsupported";
    case Code::ReadOnly:
        return "ReadOnly";
    case Code::NoSuchSheet:
        return "NoSuchSheet";
    case Code::BadCell:
        return "BadCell";
    case Code::Closed:
        return "Closed";
    case Code::Conflict:
        return "Conflict";
    case Code::NoSuchWorkbook:
        return "NoSuchWorkbook";
    case Code::NotShown:
        return "NotShown";
    }
    return "?";
}

// The engine error `f` throws, by name; "nothing" when it returns.
std::string thrown(const std::function<void()>& f) {
    try {
        f();
    } catch (const WorkbookError& e) {
        return codeName(e.code());
    } catch (const std::exception& e) {
        return std::string("not a WorkbookError: ") + e.what();
    }
    return "nothing";
}

// Every non-empty cell of the active sheet, in the order forEachCell gives them.
std::vector<std::pair<std::pair<int, int>, V>> visited(const Workbook& book) {
    std::vector<std::pair<std::pair<int, int>, V>> out;
    book.forEachCell([&](int r, int c, const V& v) { out.push_back({{r, c}, v}); });
    return out;
}
std::vector<std::pair<std::pair<int, int>, V>> inOrder(const CellMap& cells) {
    return {cells.begin(), cells.end()};
}

} // namespace

template <typename Backend> class WorkbookContract : public ::testing::Test {
protected:
    // What another program (a fresh application) reads from the file now, on one sheet.
    CellMap onDisk(const std::string& path, int sheet) {
        auto reader = backend.otherApplication();
        Workbook& book = reader->open(path);
        book.activate(sheet);
        CellMap cells;
        book.forEachCell([&](int r, int c, const V& v) { cells[{r, c}] = v; });
        reader->quit();
        return cells;
    }

    Backend backend;
};

struct BackendName {
    template <typename B> static std::string GetName(int) { return B::kName; }
};
using Backends =
    ::testing::Types<FakeBackend, EngineBackend<XlsFormat>, EngineBackend<XlsxFormat>, EngineBackend<OdsFormat>>;
TYPED_TEST_SUITE(WorkbookContract, Backends, BackendName);

TYPED_TEST(WorkbookContract, OpenBooksAreOneCollectionThatQuitEmptiesWithoutSaving) {
    const std::string a = this->backend.make("a", {{{{3, 1}, V::fromNumber(1)}}});
    const std::string b = this->backend.make("b", {});
    Application& app = this->backend.app();
    EXPECT_EQ(app.workbookCount(), 0);
    app.setVisible(true);
    EXPECT_EQ(this->backend.shown(), 0); // nothing open, nothing to show

    Workbook& first = app.open(a);
    Workbook& second = app.open(b);
    EXPECT_EQ(&app.open(a), &first); // already open: the same workbook, not a second copy
    ASSERT_EQ(app.workbookCount(), 2);
    EXPECT_EQ(&app.workbook(1), &first);
    EXPECT_EQ(&app.workbook(2), &second);
    EXPECT_EQ(thrown([&] { app.workbook(0); }), "NoSuchWorkbook");
    EXPECT_EQ(thrown([&] { app.workbook(3); }), "NoSuchWorkbook");
    app.setVisible(true);
    EXPECT_EQ(this->backend.shown(), 1);

    // A closed book leaves the collection; opening it again gives a new workbook, last.
    first.close();
    ASSERT_EQ(app.workbookCount(), 1);
    EXPECT_EQ(&app.workbook(1), &second);
    Workbook& again = app.open(a);
    EXPECT_NE(&again, &first);
    EXPECT_TRUE(first.isClosed());
    EXPECT_FALSE(again.readOnly()); // the closed one let go of the file
    EXPECT_EQ(&app.workbook(2), &again);

    again.setCell(3, 1, V::fromNumber(99)); // never saved
    app.quit();
    EXPECT_EQ(app.workbookCount(), 0);
    EXPECT_TRUE(again.isClosed());
    EXPECT_TRUE(second.isClosed());
    EXPECT_EQ(this->onDisk(a, 1), (CellMap{{{3, 1}, V::fromNumber(1)}}));

    // A failed open adds nothing.
    EXPECT_EQ(thrown([&] { app.open(this->backend.missing("gone")); }), "Io");
    EXPECT_EQ(app.workbookCount(), 0);
}

TYPED_TEST(WorkbookContract, SheetsAreCountedNamedAndActivatedFromOne) {
    const std::string path = this->backend.make(
        "sheets", {{{{1, 1}, V::fromText("一")}}, {{{1, 1}, V::fromText("二")}}, {{{1, 1}, V::fromText("三")}}});
    Workbook& book = this->backend.app().open(path);
    ASSERT_EQ(book.sheetCount(), 3);
    for (int s = 1; s <= 3; ++s)
        EXPECT_EQ(book.sheetName(s), contractSheetNames()[static_cast<size_t>(s - 1)]);
    EXPECT_EQ(thrown([&] { book.sheetName(0); }), "NoSuchSheet");
    EXPECT_EQ(thrown([&] { book.sheetName(4); }), "NoSuchSheet");

    EXPECT_EQ(book.activeSheet(), 1);
    EXPECT_EQ(book.cell(1, 1), V::fromText("一"));
    book.activate(3);
    EXPECT_EQ(book.activeSheet(), 3);
    EXPECT_EQ(book.cell(1, 1), V::fromText("三"));
    EXPECT_EQ(thrown([&] { book.activate(0); }), "NoSuchSheet");
    EXPECT_EQ(thrown([&] { book.activate(4); }), "NoSuchSheet");
    EXPECT_EQ(book.activeSheet(), 3); // a refused activation changes nothing

    // Writes go to the active sheet only.
    book.activate(2);
    book.setCell(1, 2, V::fromNumber(2));
    book.activate(1);
    EXPECT_TRUE(book.cell(1, 2).isEmpty());
    book.activate(2);
    EXPECT_EQ(book.cell(1, 2), V::fromNumber(2));
}

TYPED_TEST(WorkbookContract, EveryKindOfValueSurvivesSaveAndReopen) {
    const std::string path = this->backend.make("kinds", {{{{3, 1}, V::fromNumber(1)},
                                                           {{3, 2}, V::fromText("张三")},
                                                           {{4, 1}, V::fromNumber(2)},
                                                           {{4, 2}, V::fromText("李四")}}});
    Workbook& book = this->backend.app().open(path);
    const CellMap written = {
        {{3, 7}, V::fromNumber(4.5)},
        {{3, 8}, V::fromNumber(-100000.25)},
        {{4, 7}, V::fromText("缺 tab\there, line\nbreak")},
        {{5, 7}, V::fromBool(true)},
        {{5, 8}, V::fromBool(false)},
        {{6, 7}, V::fromError(V::ErrorCode::Div0)},
        {{6, 8}, V::fromError(V::ErrorCode::NA)},
        {{6, 9}, V::fromError(V::ErrorCode::Value)},
        {{6, 10}, V::fromError(V::ErrorCode::Ref)},
        {{6, 11}, V::fromError(V::ErrorCode::Name)},
        {{6, 12}, V::fromError(V::ErrorCode::Num)},
        {{6, 13}, V::fromError(V::ErrorCode::Null)},
        {{6, 14}, V::fromError(V::ErrorCode::GettingData)},
        {{7, 7}, V::fromDate(46095)},    // 14 March 2026
        {{9, 20}, V::fromNumber(7)},     // beyond the cells the file had
        {{2, 7}, V::fromText("03月16")}, // before row 3: forEachCell sorts it first
    };
    for (const auto& [at, v] : written)
        book.setCell(at.first, at.second, v);
    book.setCell(4, 2, V());                 // a name cleared
    book.setCell(3, 2, V::fromText("王五")); // a text overwritten
    book.setCell(9, 20, V::fromNumber(8));   // a new cell written twice

    CellMap expected = written;
    expected[{3, 1}] = V::fromNumber(1);
    expected[{3, 2}] = V::fromText("王五");
    expected[{4, 1}] = V::fromNumber(2);
    expected[{9, 20}] = V::fromNumber(8);
    for (const auto& [at, v] : expected)
        EXPECT_EQ(book.cell(at.first, at.second), v) << at.first << "," << at.second; // before saving
    EXPECT_TRUE(book.cell(4, 2).isEmpty());
    EXPECT_EQ(visited(book), inOrder(expected)); // unsaved writes included, cleared cell left out

    book.save();
    book.close();
    Workbook& reopened = this->backend.app().open(path);
    EXPECT_EQ(visited(reopened), inOrder(expected));
    EXPECT_TRUE(reopened.cell(4, 2).isEmpty());
    reopened.activate(2);
    EXPECT_TRUE(visited(reopened).empty());
}

TYPED_TEST(WorkbookContract, CellsOutsideTheUsedRangeAreEmptyAndOutsideTheSheetRefused) {
    const int maxRow = TypeParam::kMaxRows, maxColumn = TypeParam::kMaxColumns;
    Workbook& book = this->backend.app().open(this->backend.make("range", {{{{3, 1}, V::fromNumber(1)}}}));
    EXPECT_TRUE(book.cell(1, 1).isEmpty());
    EXPECT_TRUE(book.cell(1000, 100).isEmpty());
    EXPECT_TRUE(book.cell(maxRow, maxColumn).isEmpty());
    EXPECT_TRUE(book.cell(maxRow + 1, 1).isEmpty()); // beyond the format: nothing there either
    EXPECT_EQ(thrown([&] { book.cell(0, 1); }), "BadCell");
    EXPECT_EQ(thrown([&] { book.cell(1, 0); }), "BadCell");

    book.setCell(maxRow, maxColumn, V::fromNumber(1)); // the last cell of the sheet
    EXPECT_EQ(book.cell(maxRow, maxColumn), V::fromNumber(1));
    EXPECT_EQ(thrown([&] { book.setCell(maxRow + 1, 1, V::fromNumber(1)); }), "BadCell");
    EXPECT_EQ(thrown([&] { book.setCell(1, maxColumn + 1, V::fromNumber(1)); }), "BadCell");
    EXPECT_EQ(thrown([&] { book.setCell(0, 1, V::fromNumber(1)); }), "BadCell");
    EXPECT_EQ(thrown([&] { book.setCell(1, -1, V()); }), "BadCell");
}

TYPED_TEST(WorkbookContract, ReadOnlyBooksRefuseWritesAndSaves) {
    const CellMap cells = {{{3, 1}, V::fromNumber(1)}};
    const std::string path = this->backend.make("held", {cells});
    this->backend.makeReadOnly(path);
    Workbook& book = this->backend.app().open(path);
    EXPECT_TRUE(book.readOnly());
    EXPECT_EQ(thrown([&] { book.setCell(3, 1, V::fromNumber(2)); }), "ReadOnly");
    EXPECT_EQ(book.cell(3, 1), V::fromNumber(1)); // not even in memory
    EXPECT_EQ(thrown([&] { book.save(); }), "ReadOnly");
    EXPECT_EQ(this->onDisk(path, 1), cells);

    // A book this program holds writable is read-only for a second application.
    const std::string mine = this->backend.make("mine", {cells});
    Workbook& writable = this->backend.app().open(mine);
    EXPECT_FALSE(writable.readOnly());
    auto other = this->backend.otherApplication();
    Workbook& theirs = other->open(mine);
    EXPECT_TRUE(theirs.readOnly());
    EXPECT_EQ(thrown([&] { theirs.setCell(3, 1, V::fromNumber(2)); }), "ReadOnly");
    theirs.close();
    writable.close();
    EXPECT_FALSE(other->open(mine).readOnly()); // let go: the next one may write
    other->quit();
}

TYPED_TEST(WorkbookContract, AClosedWorkbookRefusesEverythingButItsName) {
    const std::string path = this->backend.make("closed", {{{{3, 1}, V::fromNumber(1)}}});
    Workbook& book = this->backend.app().open(path);
    book.setCell(3, 1, V::fromNumber(2));
    book.close();
    EXPECT_TRUE(book.isClosed());
    EXPECT_EQ(book.path(), path);
    EXPECT_EQ(book.name(), path.substr(path.rfind('/') + 1));
    EXPECT_EQ(thrown([&] { book.readOnly(); }), "Closed");
    EXPECT_EQ(thrown([&] { book.sheetCount(); }), "Closed");
    EXPECT_EQ(thrown([&] { book.sheetName(1); }), "Closed");
    EXPECT_EQ(thrown([&] { book.activate(1); }), "Closed");
    EXPECT_EQ(thrown([&] { book.activeSheet(); }), "Closed");
    EXPECT_EQ(thrown([&] { book.cell(3, 1); }), "Closed");
    EXPECT_EQ(thrown([&] { book.forEachCell([](int, int, const V&) {}); }), "Closed");
    EXPECT_EQ(thrown([&] { book.setCell(3, 1, V::fromNumber(3)); }), "Closed");
    EXPECT_EQ(thrown([&] { book.save(); }), "Closed");
    EXPECT_EQ(thrown([&] { book.changedOnDisk(); }), "Closed");
    EXPECT_EQ(thrown([&] { book.reload(); }), "Closed");
    EXPECT_EQ(thrown([&] { book.close(); }), "nothing"); // twice is harmless
    EXPECT_TRUE(book.isClosed());
    EXPECT_EQ(this->backend.app().workbookCount(), 0);
    EXPECT_EQ(this->onDisk(path, 1), (CellMap{{{3, 1}, V::fromNumber(1)}})); // closing saves nothing
}

TYPED_TEST(WorkbookContract, AnOutsideChangeIsSeenReloadedAndNeverOverwritten) {
    const std::string path = this->backend.make("outside", {{{{3, 1}, V::fromNumber(1)}}, {}});
    Workbook& book = this->backend.app().open(path);
    book.activate(2);
    book.setCell(3, 7, V::fromNumber(5));
    book.save();
    EXPECT_FALSE(book.changedOnDisk()); // its own save is no outside change

    this->backend.changeFromOutside(path, 1, 4, 1, V::fromNumber(2));
    EXPECT_TRUE(book.changedOnDisk());
    EXPECT_TRUE(book.cell(4, 1).isEmpty());             // nothing is read behind the program's back
    EXPECT_EQ(thrown([&] { book.save(); }), "nothing"); // no edits: nothing to write, nothing refused
    book.setCell(3, 8, V::fromNumber(6));
    EXPECT_EQ(thrown([&] { book.save(); }), "Conflict");
    EXPECT_TRUE(book.changedOnDisk());
    EXPECT_EQ(this->onDisk(path, 1), (CellMap{{{3, 1}, V::fromNumber(1)}, {{4, 1}, V::fromNumber(2)}}));

    book.reload();
    EXPECT_FALSE(book.changedOnDisk());
    EXPECT_EQ(book.activeSheet(), 2);
    EXPECT_TRUE(book.cell(3, 8).isEmpty()); // the refused edit is gone with the old reading
    EXPECT_EQ(book.cell(3, 7), V::fromNumber(5));
    book.activate(1);
    EXPECT_EQ(book.cell(4, 1), V::fromNumber(2));
    book.setCell(5, 1, V::fromNumber(3));
    book.save();
    EXPECT_EQ(this->onDisk(path, 1),
              (CellMap{{{3, 1}, V::fromNumber(1)}, {{4, 1}, V::fromNumber(2)}, {{5, 1}, V::fromNumber(3)}}));

    // A file that is gone has changed too, and cannot be read again.
    this->backend.remove(path);
    EXPECT_TRUE(book.changedOnDisk());
    book.setCell(6, 1, V::fromNumber(4));
    EXPECT_EQ(thrown([&] { book.save(); }), "Conflict");
    EXPECT_EQ(thrown([&] { book.reload(); }), "Io");
}

TYPED_TEST(WorkbookContract, AFailedSaveKeepsTheFileAndTheEdits) {
    const std::string path = this->backend.make("full", {{{{3, 1}, V::fromNumber(1)}}});
    Workbook& book = this->backend.app().open(path);
    book.setCell(3, 7, V::fromNumber(5));
    this->backend.failSaves(true);
    const std::string failed = thrown([&] { book.save(); });
    this->backend.failSaves(false);
    EXPECT_EQ(failed, "Io");
    EXPECT_EQ(book.cell(3, 7), V::fromNumber(5));
    EXPECT_FALSE(book.changedOnDisk());
    EXPECT_EQ(this->onDisk(path, 1), (CellMap{{{3, 1}, V::fromNumber(1)}}));
    book.save(); // the edit was kept: the next save writes it
    EXPECT_EQ(this->onDisk(path, 1), (CellMap{{{3, 1}, V::fromNumber(1)}, {{3, 7}, V::fromNumber(5)}}));
}

TYPED_TEST(WorkbookContract, FilesThatAreNoRollBooksAreRefusedWithTheirReason) {
    Application& app = this->backend.app();
    EXPECT_EQ(thrown([&] { app.open(this->backend.missing("missing")); }), "Io");
    EXPECT_EQ(thrown([&] { app.open(this->backend.notRollBook("names")); }), "NotOle");
    EXPECT_EQ(thrown([&] { app.open(this->backend.damaged("cut")); }), "Damaged");
    EXPECT_EQ(app.workbookCount(), 0);
}
