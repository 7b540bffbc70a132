// The roll book in the window, on the in-memory engine: listing classes, loading a class,
// the workbook session and the file choice.
#include "rollbook/RollBookHarness.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace rostrel::test {
namespace {

const std::string kBook = "/fake/点名册.xls";
const QString kDamaged = QStringLiteral("请打开并检查Excel文档是否损坏。");
const QString kEmpty = QStringLiteral("检测到名单表格为空，请检查");

std::vector<FakeSheet> threeClasses() {
    return {classSheet("高一(1)班", 45, 5), classSheet("高一(2)班", 30), classSheet("高一(3)班", 1)};
}

std::vector<FakeSheet> classes(int n) {
    std::vector<FakeSheet> s;
    for (int i = 1; i <= n; ++i)
        s.push_back(classSheet(std::to_string(i) + "班", 9 + i));
    return s;
}

TEST(RollBookWindow, MenuFollowsTheSheetCountOfEachWorkbook) {
    RollBookWindow t;
    t.addRollBook("/fake/five.xls", classes(5));
    t.addRollBook("/fake/three.xls", classes(3));
    t.useRollBook("/fake/five.xls");
    t.listClasses();
    ASSERT_EQ(t.classItems().size(), 5);
    EXPECT_EQ(t.menu("MnBjMenu")->actions().size(), 5);

    t.useRollBook("/fake/three.xls");
    t.listClasses();
    EXPECT_EQ(t.classItems().size(), 3);
    EXPECT_EQ(t.menu("MnBjMenu")->actions().size(), 3);
    EXPECT_EQ(t.combo("cmbXls")->count(), 3);
    EXPECT_EQ(t.session().RosterCount, 10);
    EXPECT_TRUE(t.messages().empty());

    // The items created at run time work too.
    t.useRollBook("/fake/five.xls");
    t.listClasses();
    chooseFromMenu(&t.w(), t.classItems().at(4));
    EXPECT_EQ(t.session().RosterCount, 14);

    // With class 5 selected, the 3-sheet workbook is opened at sheet 5: the listing fails.
    t.useRollBook("/fake/three.xls");
    t.listClasses();
    EXPECT_EQ(t.messagesWith(kDamaged), 1);
    EXPECT_EQ(t.messages().back().caption, QStringLiteral("警告"));
    EXPECT_EQ(t.messages().back().icon, MessageIcon::Error);
    EXPECT_EQ(t.combo("cmbXls")->count(), 5);
}

TEST(RollBookWindow, FailedGroupingReloadsTheClassOnceAndEnds) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    t.listClasses();
    chooseItem(t.combo("cmbXls"), 2); // one student: the class is refused and forgotten
    ASSERT_EQ(t.messagesWith(kEmpty), 1);
    const int opens = t.disk.opens;

    // With no roster the grouping fails: the class is read again from the file (and refused
    // again), the second try fails too, and nothing more happens.
    enterText(t.box("txtFz", 0), QStringLiteral("1"));
    click(t.label("imgFz", 1));
    EXPECT_EQ(t.disk.opens, opens + 1);
    EXPECT_EQ(t.messagesWith(kEmpty), 2);
    EXPECT_EQ(t.list("List2")->count(), 0);
    EXPECT_FALSE(t.session().GroupTable.allocated());
    EXPECT_FALSE(t.label("lblXm")->isEnabled());
}

TEST(RollBookWindow, FailedLoadResetsTheClassOnShow) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    t.listClasses();
    t.choose(QStringLiteral("7"));
    ASSERT_FALSE(t.label("imgXie", 1)->isHidden());
    ASSERT_EQ(t.list("List2")->count(), 9);
    // Class 2's sheet cannot be read: an error value in its student-number column.
    t.disk.changeFromOutside(kBook, 2, 5, 1, workbook::CellValue::fromError(workbook::CellValue::ErrorCode::NA));
    chooseItem(t.combo("cmbXls"), 1);

    EXPECT_EQ(t.messagesWith(QStringLiteral("读取班级名单失败，请检查Excel名单及其分组。")), 1);
    EXPECT_EQ(t.session().RosterCount, 0);
    EXPECT_EQ(t.session().PoolCount, 0);
    EXPECT_EQ(t.session().PickKey, QString());
    EXPECT_EQ(t.combo("CmbXm")->count(), 0);
    EXPECT_EQ(t.list("List1")->count(), 0);
    EXPECT_EQ(t.list("List2")->count(), 0);
    EXPECT_TRUE(t.label("imgXie", 0)->isHidden());
    EXPECT_TRUE(t.label("imgXie", 1)->isHidden());
    EXPECT_FALSE(t.label("lblXm")->isEnabled());
    EXPECT_EQ(t.app->workbookCount(), 0); // the roll book was closed
    // Nothing of class 1 is written under class 2's name.
    click(t.label("imgXie", 1));
    click(t.label("imgXie", 0));
    EXPECT_EQ(t.disk.saves, 0);
}

TEST(RollBookWindow, EmptyClassLeavesNothingOfThePreviousOne) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    t.listClasses();
    chooseItem(t.combo("cmbXls"), 2); // one student: empty

    ASSERT_EQ(t.messages().size(), 1u);
    EXPECT_EQ(t.messages()[0].text, kEmpty);
    EXPECT_EQ(t.messages()[0].caption, QStringLiteral("警告"));
    EXPECT_EQ(t.messages()[0].icon, MessageIcon::Error);
    EXPECT_EQ(t.session().RosterCount, 1);
    EXPECT_EQ(t.frame("FrZr")->title(), QStringLiteral("1人分组规则"));
    EXPECT_EQ(t.app->workbookCount(), 0); // closed
    EXPECT_FALSE(t.session().RosterTable.allocated());
    EXPECT_EQ(t.session().PoolCount, 0);
    EXPECT_EQ(t.combo("CmbXm")->count(), 0);
    EXPECT_EQ(t.list("List2")->count(), 0);
    EXPECT_FALSE(t.label("lblXm")->isEnabled());

    // A score for the student picked in class 1 is not written into class 3.
    click(t.label("imgXie", 1));
    click(t.label("imgXie", 0));
    EXPECT_EQ(t.disk.saves, 0);
    EXPECT_FALSE(t.saved(kBook, 3).get(3, 7).kind != workbook::CellValue::Kind::Empty);

    // A blank A3 (only spaces) is an empty class too.
    t.saved(kBook, 2).setText(3, 1, "   ");
    chooseItem(t.combo("cmbXls"), 1);
    EXPECT_EQ(t.messagesWith(kEmpty), 2);
    EXPECT_EQ(t.session().RosterCount, 0);
}

TEST(RollBookWindow, WorkbookSession) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);

    int16_t index = 0;
    t.lesson().OpenClassSheet(index);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(t.session().ExcelSheet.index, 1);
    ASSERT_NE(t.session().ExcelBook, nullptr);

    index = 2;
    t.lesson().OpenClassSheet(index);
    EXPECT_EQ(t.session().ExcelSheet.index, 2);
    EXPECT_EQ(t.disk.opens, 1);

    // Another program saved the file: it is read again before use.
    t.disk.changeFromOutside(kBook, 2, 3, 2, workbook::CellValue::fromText("改名"));
    t.lesson().OpenClassSheet(index);
    EXPECT_EQ(t.disk.opens, 1);
    EXPECT_EQ(t.session().ExcelBook->cell(3, 2).text, "改名");
    EXPECT_EQ(t.session().ExcelSheet.index, 2);

    // After a close the file is opened again.
    t.session().ExcelBook->close();
    t.lesson().OpenClassSheet(index);
    EXPECT_EQ(t.disk.opens, 2);

    // A missing sheet is a failure for the caller.
    index = 4;
    EXPECT_THROW(t.lesson().OpenClassSheet(index), workbook::WorkbookError);

    // A roll book of the same name in another folder is another file.
    t.addRollBook("/other/点名册.xls", classes(2));
    t.useRollBook("/other/点名册.xls");
    index = 1;
    t.lesson().OpenClassSheet(index);
    EXPECT_EQ(t.disk.opens, 3);
    EXPECT_EQ(t.session().ExcelBook->sheetCount(), 2);
}

TEST(RollBookWindow, ChoosingTheFile) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    const QString before = t.session().RollBookPath;

    // Cancel twice: one reminder, the dialog shown twice, nothing changes.
    click(t.label("Image1"));
    EXPECT_EQ(t.fake.fileDialog.filters,
              QStringList(
                  2, QStringLiteral("点名册|*.xls *.xlsx *.ods|Excel 97-2003|*.xls|Excel|*.xlsx|OpenDocument|*.ods")));
    ASSERT_EQ(t.messages().size(), 1u);
    EXPECT_EQ(t.messages()[0].text, QStringLiteral("请选择文件名"));
    EXPECT_EQ(t.messages()[0].caption, QStringLiteral("Rostrel"));
    EXPECT_EQ(t.messages()[0].icon, MessageIcon::None);
    EXPECT_EQ(t.session().RollBookPath, before);
    EXPECT_EQ(t.disk.opens, 0);

    // Cancel, then a file: it is listed.
    t.addRollBook("/fake/five.xls", classes(5));
    t.fake.fileDialog.answers = {FileChoice{},
                                 FileChoice{QStringLiteral("/fake/five.xls"), QStringLiteral("five.xls")}};
    chooseFromMenu(&t.w(), t.action("MnSz", 0));
    EXPECT_EQ(t.messages().size(), 2u);
    EXPECT_EQ(t.session().RollBookPath, QStringLiteral("/fake/five.xls"));
    EXPECT_EQ(t.session().RollBookName, QStringLiteral("five.xls"));
    EXPECT_EQ(t.box("txtFn")->text(), QStringLiteral("/fake/five.xls"));
    EXPECT_EQ(t.combo("cmbXls")->count(), 5);
    EXPECT_EQ(t.session().RosterCount, 10);
}

TEST(RollBookWindow, DefaultRollBookMissingAsksForAFile) {
    RollBookWindow t;
    const QString expected = QCoreApplication::applicationDirPath() + QStringLiteral("/点名册.xls");
    ASSERT_FALSE(QFileInfo::exists(expected));
    check(t.button("OptFl", 0), true);
    EXPECT_EQ(t.fake.fileDialog.filters.size(), 2);
    EXPECT_EQ(t.session().RollBookPath, expected);
    EXPECT_EQ(t.session().RollBookName, QStringLiteral("点名册.xls"));
    EXPECT_EQ(t.messagesWith(kDamaged), 0); // giving up lists nothing
    EXPECT_EQ(t.combo("cmbXls")->count(), 0);

    t.addRollBook(kBook, threeClasses());
    t.fake.fileDialog.answers = {FileChoice{QString::fromStdString(kBook), QStringLiteral("点名册.xls")}};
    check(t.button("OptFl", 1), true); // away and back to the name list
    check(t.button("OptFl", 0), true);
    EXPECT_EQ(t.combo("cmbXls")->count(), 3);
    EXPECT_EQ(t.session().RosterCount, 45);
    EXPECT_TRUE(t.messages().size() == 1u); // the reminder of the first round only
}

TEST(RollBookWindow, ShowAndChooseByName) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    t.listClasses();

    click(t.label("Image2"));
    EXPECT_EQ(t.disk.visibleCalls, 1);

    chooseItem(t.combo("CmbXm"), 11);
    EXPECT_EQ(t.session().PickKey, QStringLiteral("12"));
    EXPECT_EQ(t.session().PickText, QStringLiteral("学生12"));
    EXPECT_EQ(t.session().PickIndex, 12);
    EXPECT_EQ(t.list("List2")->currentRow(), 2); // student 12 is member 2 of group 3
    EXPECT_FALSE(t.label("imgXie", 1)->isHidden());

    // Showing a roll book that is gone says so.
    t.disk.files.clear();
    t.session().ExcelBook->close();
    click(t.label("Image2"));
    EXPECT_EQ(t.disk.visibleCalls, 1);
    ASSERT_EQ(t.messages().size(), 1u);
    EXPECT_EQ(t.messages()[0].caption, QStringLiteral("警告"));
    EXPECT_EQ(t.messages()[0].text, QStringLiteral("无法打开Excel名单，请检查名单文件是否存在。"));
}

TEST(RollBookWindow, ChoosingByNameTakesThatStudentItselfOutOfThePool) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    t.listClasses();
    check(t.button("chkCf"), true);

    auto inPool = [&](const QString& key) {
        for (int r = 1; r <= t.session().PoolCount; ++r)
            if (defaultText(t.session().PickPool.at(r, 1)) == key)
                return true;
        return false;
    };
    chooseItem(t.combo("CmbXm"), 11);
    ASSERT_EQ(t.session().PoolCount, 44);
    // Student 20 now sits in pool row 19: choosing it removes student 20, not student 21.
    chooseItem(t.combo("CmbXm"), 19);
    EXPECT_EQ(t.session().PoolCount, 43);
    EXPECT_FALSE(inPool(QStringLiteral("20")));
    EXPECT_TRUE(inPool(QStringLiteral("21")));
    // Choosing a student already out of the pool removes nobody.
    chooseItem(t.combo("CmbXm"), 19);
    EXPECT_EQ(t.session().PoolCount, 43);
}

} // namespace
} // namespace rostrel::test
