// The roll book in the window, on the in-memory engine: listing classes, loading a class,
// the workbook session and the file choice.
#include "rollbook/RollBookHarness.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace rostrel::test {
namespace {

const std::string kBook = "/fake/点名册.xls";
const QString kReadOnly = QStringLiteral("请检查Excel名单是否已经被打开，请关闭");
const QString kDamaged = QStringLiteral("请打开并检查Excel文档是否损坏。");
const QString kEmpty = QStringLiteral("检测到名单表格为空，请检查");
const QString kLoadFailed = QStringLiteral("读取班级名单失败，请检查Excel名单及其分组。");

std::vector<FakeSheet> threeClasses() {
    return {classSheet("高一(1)班", 45, 5), classSheet("高一(2)班", 30), classSheet("高一(3)班", 1)};
}

std::vector<FakeSheet> classes(int n) {
    std::vector<FakeSheet> s;
    for (int i = 1; i <= n; ++i)
        s.push_back(classSheet(std::to_string(i) + "班", 9 + i));
    return s;
}

TEST(RollBookWindow, ListsTheClassesAndLoadsTheFirst) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    t.w().ListClasses();

    auto& ui = t.ui();
    ASSERT_EQ(ui.cmbXls->count(), 3);
    ASSERT_EQ(ui.MnBj.size(), 3);
    const QStringList names{QStringLiteral("高一(1)班"), QStringLiteral("高一(2)班"), QStringLiteral("高一(3)班")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ui.cmbXls->itemText(i), names[i]);
        EXPECT_EQ(ui.MnBj[i]->text(), names[i]);
        EXPECT_EQ(ui.MnBj[i]->objectName(), arrayName("MnBj", i));
    }
    EXPECT_EQ(ui.cmbXls->currentIndex(), 0);
    EXPECT_TRUE(t.messages().empty());

    auto& st = t.st();
    EXPECT_EQ(st.ClassIndex, 1);
    EXPECT_EQ(st.RosterCount, 45);
    EXPECT_EQ(st.RowScan, 46);
    EXPECT_EQ(ui.FrZr->title(), QStringLiteral("45人分组规则"));
    EXPECT_EQ(st.GroupCount, 9);
    EXPECT_EQ(st.GroupSize, 5);
    EXPECT_EQ(ui.List2->count(), 9);
    EXPECT_EQ(ui.List2->item(8)->text(), QStringLiteral("9"));
    EXPECT_EQ(ui.txtFz[0]->text(), QStringLiteral("9"));
    EXPECT_EQ(ui.txtFz[1]->text(), QStringLiteral("5"));
    ASSERT_EQ(ui.CmbXm->count(), 45);
    EXPECT_EQ(ui.CmbXm->itemText(11), QStringLiteral("12_学生12"));
    EXPECT_EQ(cellNumber(st.GroupTable.at(3, 2, 0)), 12);
    EXPECT_EQ(st.ScoreColumn, 7);
    EXPECT_EQ(st.PoolCount, 45);
    EXPECT_EQ(cellNumber(st.PickPool.at(45, 2)), 47);
    EXPECT_TRUE(ui.lblXm->isEnabled());
    EXPECT_FALSE(ui.imgFz[0]->isEnabled());
    EXPECT_FALSE(ui.imgFz[1]->isEnabled());
    EXPECT_TRUE(ui.OptFz[0]->isChecked());
    EXPECT_FALSE(ui.Image2->isHidden());
    EXPECT_TRUE(ui.imgXie[0]->isHidden());
    EXPECT_TRUE(ui.imgXie[1]->isHidden());
    EXPECT_EQ(t.disk.opens, 1);

    // Class 2 from the menu: entry 1 of the class list, sheet 2.
    ui.MnBj[1]->trigger();
    EXPECT_EQ(ui.cmbXls->currentIndex(), 1);
    EXPECT_EQ(st.ClassIndex, 2);
    EXPECT_EQ(st.RosterCount, 30);
    EXPECT_EQ(ui.FrZr->title(), QStringLiteral("30人分组规则"));
    EXPECT_EQ(ui.CmbXm->itemText(0), QStringLiteral("1_学生1"));
    EXPECT_EQ(t.disk.opens, 1);
}

TEST(RollBookWindow, MenuFollowsTheSheetCountOfEachWorkbook) {
    RollBookWindow t;
    t.addRollBook("/fake/five.xls", classes(5));
    t.addRollBook("/fake/three.xls", classes(3));
    t.useRollBook("/fake/five.xls");
    t.w().ListClasses();
    ASSERT_EQ(t.ui().MnBj.size(), 5);
    EXPECT_EQ(t.ui().MnBjMenu->actions().size(), 5);

    t.useRollBook("/fake/three.xls");
    t.w().ListClasses();
    EXPECT_EQ(t.ui().MnBj.size(), 3);
    EXPECT_EQ(t.ui().MnBjMenu->actions().size(), 3);
    EXPECT_EQ(t.ui().cmbXls->count(), 3);
    EXPECT_EQ(t.st().RosterCount, 10);
    EXPECT_TRUE(t.messages().empty());

    // The items created at run time work too.
    t.useRollBook("/fake/five.xls");
    t.w().ListClasses();
    t.ui().MnBj[4]->trigger();
    EXPECT_EQ(t.st().RosterCount, 14);

    // With class 5 selected, the 3-sheet workbook is opened at sheet 5: the listing fails.
    t.useRollBook("/fake/three.xls");
    t.w().ListClasses();
    EXPECT_EQ(t.messagesWith(kDamaged), 1);
    EXPECT_EQ(t.messages().back().caption, QStringLiteral("警告"));
    EXPECT_EQ(t.messages().back().icon, MessageIcon::Error);
    EXPECT_EQ(t.ui().cmbXls->count(), 5);
}

TEST(RollBookWindow, EmptyClassLeavesNothingOfThePreviousOne) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    t.w().ListClasses();
    t.ui().cmbXls->setCurrentIndex(2); // one student: empty

    ASSERT_EQ(t.messages().size(), 1u);
    EXPECT_EQ(t.messages()[0].text, kEmpty);
    EXPECT_EQ(t.messages()[0].caption, QStringLiteral("警告"));
    EXPECT_EQ(t.messages()[0].icon, MessageIcon::Error);
    EXPECT_EQ(t.st().RosterCount, 1);
    EXPECT_EQ(t.ui().FrZr->title(), QStringLiteral("1人分组规则"));
    EXPECT_EQ(t.app->workbookCount(), 0); // closed
    EXPECT_FALSE(t.st().RosterTable.allocated());
    EXPECT_EQ(t.st().PoolCount, 0);
    EXPECT_EQ(t.ui().CmbXm->count(), 0);
    EXPECT_EQ(t.ui().List2->count(), 0);
    EXPECT_FALSE(t.ui().lblXm->isEnabled());

    // A score for the student picked in class 1 is not written into class 3.
    t.st().PickKey = QStringLiteral("1");
    t.ui().imgXie[1]->click();
    t.ui().imgXie[0]->click();
    EXPECT_EQ(t.disk.saves, 0);
    EXPECT_FALSE(t.saved(kBook, 3).get(3, 7).kind != workbook::CellValue::Kind::Empty);

    // A blank A3 (only spaces) is an empty class too.
    t.saved(kBook, 2).setText(3, 1, "   ");
    t.ui().cmbXls->setCurrentIndex(1);
    EXPECT_EQ(t.messagesWith(kEmpty), 2);
    EXPECT_EQ(t.st().RosterCount, 0);
}

TEST(RollBookWindow, StoredGroupingsThatDoNotFitFailTheLoad) {
    for (auto [g, m] : {std::pair{4, 5}, std::pair{10, 6}}) {
        RollBookWindow t;
        auto sheets = threeClasses();
        sheets[1] = classSheet("高一(2)班", 45, 5);
        for (int i = 1; i <= 45; ++i) // group numbers 1..4 only
            sheets[1].setNumber(i + 2, 5, std::min((i - 1) / 5 + 1, g));
        sheets[1].setNumber(3, 5, g); // one row names the largest group and member
        sheets[1].setNumber(3, 6, m);
        t.addRollBook(kBook, sheets);
        t.useRollBook(kBook);
        t.w().ListClasses();
        ASSERT_EQ(t.st().RosterCount, 45);
        t.st().PickKey = QStringLiteral("3");

        t.ui().cmbXls->setCurrentIndex(1);
        ASSERT_EQ(t.messagesWith(kLoadFailed), 1) << g << "x" << m;
        EXPECT_EQ(t.messages().back().icon, MessageIcon::Error);
        EXPECT_EQ(t.app->workbookCount(), 0);
        EXPECT_EQ(t.st().RosterCount, 0);
        EXPECT_FALSE(t.st().RosterTable.allocated());
        EXPECT_FALSE(t.st().GroupTable.allocated());
        EXPECT_EQ(t.ui().List2->count(), 0);
        EXPECT_TRUE(t.st().PickKey.isEmpty());
        t.ui().imgXie[1]->click();
        EXPECT_EQ(t.disk.saves, 0);

        // Picking the class again after the sheet was mended loads it.
        t.disk.files.at(kBook).sheets[1] = classSheet("高一(2)班", 45, 5);
        t.ui().MnBj[1]->trigger();
        EXPECT_EQ(t.st().RosterCount, 45);
        EXPECT_EQ(t.st().GroupCount, 9);
    }
}

TEST(RollBookWindow, ReadOnlyRollBookIsReportedTwiceOnAClassLoad) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses()).readOnly = true;
    t.useRollBook(kBook);
    t.w().ListClasses(); // the first open is never refused
    EXPECT_TRUE(t.messages().size() == 2u);
    EXPECT_EQ(t.messagesWith(kReadOnly), 2);
    for (const auto& m : t.messages()) {
        EXPECT_EQ(m.caption, QStringLiteral("警告"));
        EXPECT_EQ(m.icon, MessageIcon::Error);
    }
    // The sheet active before is read.
    EXPECT_EQ(t.st().RosterCount, 45);
    EXPECT_EQ(t.disk.opens, 1);

    t.fake.messages.shown.clear();
    t.ui().cmbXls->setCurrentIndex(1);
    EXPECT_EQ(t.messagesWith(kReadOnly), 2);
    EXPECT_EQ(t.st().ClassIndex, 2);
    EXPECT_EQ(t.st().RosterCount, 45); // still sheet 1
}

TEST(RollBookWindow, WorkbookSession) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);

    int16_t index = 0;
    t.w().OpenClassSheet(index);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(t.st().ExcelSheet.index, 1);
    ASSERT_NE(t.st().ExcelBook, nullptr);

    index = 2;
    t.w().OpenClassSheet(index);
    EXPECT_EQ(t.st().ExcelSheet.index, 2);
    EXPECT_EQ(t.disk.opens, 1);

    // Another program saved the file: it is read again before use.
    t.disk.changeFromOutside(kBook, 2, 3, 2, workbook::CellValue::fromText("改名"));
    t.w().OpenClassSheet(index);
    EXPECT_EQ(t.disk.opens, 1);
    EXPECT_EQ(t.st().ExcelBook->cell(3, 2).text, "改名");
    EXPECT_EQ(t.st().ExcelSheet.index, 2);

    // After a close the file is opened again.
    t.st().ExcelBook->close();
    t.w().OpenClassSheet(index);
    EXPECT_EQ(t.disk.opens, 2);

    // A missing sheet is a failure for the caller.
    index = 4;
    EXPECT_THROW(t.w().OpenClassSheet(index), workbook::WorkbookError);

    // A roll book of the same name in another folder is another file.
    t.addRollBook("/other/点名册.xls", classes(2));
    t.useRollBook("/other/点名册.xls");
    index = 1;
    t.w().OpenClassSheet(index);
    EXPECT_EQ(t.disk.opens, 3);
    EXPECT_EQ(t.st().ExcelBook->sheetCount(), 2);
}

TEST(RollBookWindow, ChoosingTheFile) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    const QString before = t.st().RollBookPath;

    // Cancel twice: one reminder, the dialog shown twice, nothing changes.
    t.ui().Image1->click();
    EXPECT_EQ(t.fake.fileDialog.filters, QStringList(2, QStringLiteral("Excel文件|*.xls")));
    ASSERT_EQ(t.messages().size(), 1u);
    EXPECT_EQ(t.messages()[0].text, QStringLiteral("请选择文件名"));
    EXPECT_EQ(t.messages()[0].caption, QStringLiteral("Rostrel"));
    EXPECT_EQ(t.messages()[0].icon, MessageIcon::None);
    EXPECT_EQ(t.st().RollBookPath, before);
    EXPECT_EQ(t.disk.opens, 0);

    // Cancel, then a file: it is listed.
    t.addRollBook("/fake/five.xls", classes(5));
    t.fake.fileDialog.answers = {FileChoice{}, FileChoice{QStringLiteral("/fake/five.xls"), QStringLiteral("five.xls")}};
    t.ui().MnSz[0]->trigger();
    EXPECT_EQ(t.messages().size(), 2u);
    EXPECT_EQ(t.st().RollBookPath, QStringLiteral("/fake/five.xls"));
    EXPECT_EQ(t.st().RollBookName, QStringLiteral("five.xls"));
    EXPECT_EQ(t.ui().txtFn->text(), QStringLiteral("/fake/five.xls"));
    EXPECT_EQ(t.ui().cmbXls->count(), 5);
    EXPECT_EQ(t.st().RosterCount, 10);
}

TEST(RollBookWindow, DefaultRollBookMissingAsksForAFile) {
    RollBookWindow t;
    const QString expected = QCoreApplication::applicationDirPath() + QStringLiteral("/点名册.xls");
    ASSERT_FALSE(QFileInfo::exists(expected));
    t.w().UseDefaultRollBook();
    EXPECT_EQ(t.fake.fileDialog.filters.size(), 2);
    EXPECT_EQ(t.st().RollBookPath, expected);
    EXPECT_EQ(t.st().RollBookName, QStringLiteral("点名册.xls"));
    EXPECT_EQ(t.messagesWith(kDamaged), 0); // giving up lists nothing
    EXPECT_EQ(t.ui().cmbXls->count(), 0);

    t.addRollBook(kBook, threeClasses());
    t.fake.fileDialog.answers = {FileChoice{QString::fromStdString(kBook), QStringLiteral("点名册.xls")}};
    t.w().UseDefaultRollBook();
    EXPECT_EQ(t.ui().cmbXls->count(), 3);
    EXPECT_EQ(t.st().RosterCount, 45);
    EXPECT_TRUE(t.messages().size() == 1u); // the reminder of the first round only
}

TEST(RollBookWindow, ShowAndChooseByName) {
    RollBookWindow t;
    t.addRollBook(kBook, threeClasses());
    t.useRollBook(kBook);
    t.w().ListClasses();

    t.ui().Image2->click();
    EXPECT_EQ(t.disk.visibleCalls, 1);

    t.ui().CmbXm->setCurrentIndex(11);
    Q_EMIT t.ui().CmbXm->activated(11);
    EXPECT_EQ(t.st().PickKey, QStringLiteral("12"));
    EXPECT_EQ(t.st().PickText, QStringLiteral("学生12"));
    EXPECT_EQ(t.st().PickIndex, 12);
    EXPECT_EQ(t.ui().List2->currentRow(), 2); // student 12 is member 2 of group 3
    EXPECT_FALSE(t.ui().imgXie[1]->isHidden());

    // Showing fails quietly when the roll book is gone.
    t.disk.files.clear();
    t.st().ExcelBook->close();
    t.ui().Image2->click();
    EXPECT_EQ(t.disk.visibleCalls, 1);
    EXPECT_TRUE(t.messages().empty());
}

} // namespace
} // namespace rostrel::test
