// The roll book end to end: fixture roll books copied to a temporary folder, opened by the
// real engine through the window.
#include "rollbook/RealRollBook.h"

#include "platform/workbook/Workbook.h"

#include <QCoreApplication>
#include <QFile>
#include <cctype>
#include <string>

namespace rostrel::test {
namespace {

const QString kReadOnly = QStringLiteral("请检查Excel名单是否已经被打开，请关闭");
const QString kEmpty = QStringLiteral("检测到名单表格为空，请检查");
const QString kLoadFailed = QStringLiteral("读取班级名单失败，请检查Excel名单及其分组。");

// The same roll book saved by one office suite in each format, copied as 点名册 with the
// fixture's extension.
class RollBookFormats : public ::testing::TestWithParam<const char*> {
protected:
    QString fixture() const { return QString::fromUtf8(GetParam()); }
    QString copyName() const { return QStringLiteral("点名册.") + QFileInfo(fixture()).suffix(); }
};

INSTANTIATE_TEST_SUITE_P(LibreOfficeRollBook, RollBookFormats,
                         ::testing::Values("lo_rollbook.xls", "lo_rollbook.xlsx", "lo_rollbook.ods"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST_P(RollBookFormats, ListsTheThreeClasses) {
    RealRollBook t(fixture(), copyName());
    const XlrdCells before = readCells(t.path);
    t.listClasses();

    const QStringList names{QStringLiteral("高一(1)班"), QStringLiteral("高一(2)班"), QStringLiteral("高一(3)班")};
    ASSERT_EQ(t.ui().cmbXls->count(), 3);
    ASSERT_EQ(t.ui().MnBj.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(t.ui().cmbXls->itemText(i), names[i]);
        EXPECT_EQ(t.ui().MnBj[i]->text(), names[i]);
        EXPECT_EQ(t.ui().MnBj[i]->objectName(), arrayName("MnBj", i));
    }
    EXPECT_EQ(t.ui().cmbXls->currentIndex(), 0);
    EXPECT_FALSE(t.ui().Image2->isHidden());
    EXPECT_TRUE(t.fake.messages.shown.empty());

    // Class 1: 45 students, stored grouping 9 x 5, headers 03月14 and 03月15.
    EXPECT_EQ(t.st().RosterCount, 45);
    EXPECT_EQ(t.ui().FrZr->title(), QStringLiteral("45人分组规则"));
    EXPECT_EQ(t.st().GroupCount, 9);
    EXPECT_EQ(t.st().GroupSize, 5);
    EXPECT_EQ(t.ui().List2->count(), 9);
    EXPECT_EQ(t.ui().List2->currentRow(), 0);
    EXPECT_EQ(t.ui().List1->count(), 5); // group 1 shown
    EXPECT_EQ(t.ui().List1->item(0)->text(), QStringLiteral("罗洁"));
    EXPECT_EQ(t.ui().CmbXm->itemText(0), QStringLiteral("1_罗洁"));
    EXPECT_EQ(t.ui().CmbXm->itemText(44), QStringLiteral("45_杜华"));
    EXPECT_EQ(t.st().ScoreColumn, 8);
    int blankH = 0;
    for (int row = 3; row <= 47; ++row)
        blankH += before.count({names[0], row, 8}) ? 0 : 1;
    EXPECT_EQ(t.st().PoolCount, blankH);
    EXPECT_TRUE(t.ui().lblXm->isEnabled());
    EXPECT_TRUE(t.ui().OptFz[0]->isChecked());
    EXPECT_FALSE(t.ui().imgFz[0]->isEnabled());
    EXPECT_FALSE(t.ui().imgFz[1]->isEnabled());
    EXPECT_TRUE(t.ui().imgXie[0]->isHidden());
    EXPECT_TRUE(t.ui().imgXie[1]->isHidden());

    // Class 2 from the menu: no stored grouping, so it is grouped in order by the group
    // count shown (9): groups of 4.
    t.ui().MnBj[1]->trigger();
    EXPECT_EQ(t.st().ClassIndex, 2);
    EXPECT_EQ(t.st().RosterCount, 30);
    EXPECT_EQ(t.st().ScoreColumn, 7);
    EXPECT_EQ(t.st().PoolCount, 30);
    EXPECT_EQ(t.st().GroupCount, 9);
    EXPECT_EQ(t.ui().txtFz[0]->text(), QStringLiteral("9"));
    EXPECT_EQ(t.ui().txtFz[1]->text(), QStringLiteral("4"));

    // Class 3 holds one student: an empty class; the roll book is closed.
    t.ui().MnBj[2]->trigger();
    EXPECT_EQ(t.messagesWith(kEmpty), 1);
    EXPECT_EQ(t.st().RosterCount, 1);
    EXPECT_EQ(t.st().ExcelApp->workbookCount(), 0);
    EXPECT_EQ(t.ui().CmbXm->count(), 0);

    // Nothing was written.
    EXPECT_TRUE(changedCells(before, readCells(t.path)).empty());
}

// A roll book written by a library rather than an office suite: merged title, date header,
// a formula without a cached value, a stored grouping of 3 x 4.
TEST(RollBookFiles, OpenpyxlRollBook) {
    RealRollBook t(QStringLiteral("openpyxl_rollbook.xlsx"), QStringLiteral("点名册.xlsx"));
    const XlrdCells before = readCells(t.path);
    t.listClasses();
    ASSERT_EQ(t.ui().cmbXls->count(), 2);
    EXPECT_EQ(t.ui().cmbXls->itemText(0), QStringLiteral("初二(1)班"));
    EXPECT_EQ(t.ui().cmbXls->itemText(1), QStringLiteral("初二(2)班"));
    EXPECT_TRUE(t.fake.messages.shown.empty());
    EXPECT_EQ(t.st().RosterCount, 12);
    EXPECT_EQ(t.st().GroupCount, 3);
    EXPECT_EQ(t.st().GroupSize, 4);
    EXPECT_EQ(t.ui().CmbXm->itemText(0), QStringLiteral("1_学生01"));

    t.ui().MnBj[1]->trigger();
    EXPECT_EQ(t.st().RosterCount, 9);
    EXPECT_TRUE(t.fake.messages.shown.empty());
    EXPECT_TRUE(changedCells(before, readCells(t.path)).empty());
}

TEST(RollBookFiles, FiveClassesThenThree) {
    RealRollBook t(QStringLiteral("five_classes.xls"));
    t.listClasses();
    ASSERT_EQ(t.ui().MnBj.size(), 5);
    EXPECT_EQ(t.ui().MnBj[4]->text(), QStringLiteral("5班"));

    const QString other = copyFixture(t.dir, QStringLiteral("lo_rollbook.xls"));
    t.fake.fileDialog.answers.push_back({other, QStringLiteral("lo_rollbook.xls")});
    t.ui().Image1->click();
    EXPECT_EQ(t.ui().MnBj.size(), 3);
    EXPECT_EQ(t.ui().MnBjMenu->actions().size(), 3);
    EXPECT_EQ(t.ui().MnBj[2]->text(), QStringLiteral("高一(3)班"));
    EXPECT_EQ(t.st().RosterCount, 45);
    EXPECT_TRUE(t.fake.messages.shown.empty());
}

// Sets cells of sheet 1 of a roll book and saves it, as another program would.
void editSheet1(const QString& path, const std::vector<std::tuple<int, int, double>>& cells) {
    auto book = workbook::openWorkbook(path.toStdString());
    book->activate(1);
    for (auto [r, c, v] : cells)
        book->setCell(r, c, workbook::CellValue::fromNumber(v));
    book->save();
    book->close();
}

TEST_P(RollBookFormats, StoredGroupingsThatDoNotFit) {
    {
        // Group numbers up to 4, member numbers up to 5: 20 places for 45 students.
        RealRollBook t(fixture(), copyName());
        std::vector<std::tuple<int, int, double>> cells;
        for (int row = 23; row <= 47; ++row)
            cells.emplace_back(row, 5, 4);
        editSheet1(t.path, cells);
        const XlrdCells before = readCells(t.path);
        t.listClasses();
        EXPECT_EQ(t.messagesWith(kLoadFailed), 1);
        EXPECT_EQ(t.st().RosterCount, 0);
        EXPECT_FALSE(t.st().RosterTable.allocated());
        EXPECT_EQ(t.ui().List2->count(), 0);
        EXPECT_EQ(t.st().ExcelApp->workbookCount(), 0);
        EXPECT_TRUE(changedCells(before, readCells(t.path)).empty());

        // Class 2 still loads.
        t.ui().cmbXls->setCurrentIndex(1);
        EXPECT_EQ(t.st().RosterCount, 30);
    }
    {
        // One row says group 10, member 6: group 8 would need a 46th student.
        RealRollBook t(fixture(), copyName());
        editSheet1(t.path, {{3, 5, 10}, {3, 6, 6}});
        t.listClasses();
        EXPECT_EQ(t.messagesWith(kLoadFailed), 1);
        EXPECT_EQ(t.st().ExcelApp->workbookCount(), 0);
        EXPECT_FALSE(t.st().GroupTable.allocated());
    }
}

TEST(RollBookFiles, OpenInAnotherProgram) {
    RealRollBook t(QStringLiteral("lo_rollbook.xls"));
    // An office suite holds the roll book.
    QFile owner(t.dir.filePath(QStringLiteral("~$点名册.xls")));
    ASSERT_TRUE(owner.open(QIODevice::WriteOnly));
    owner.write("teacher");
    owner.close();

    t.listClasses();
    EXPECT_EQ(t.messagesWith(kReadOnly), 2);
    EXPECT_EQ(t.fake.messages.shown.size(), 2u);
    for (const auto& m : t.fake.messages.shown) {
        EXPECT_EQ(m.caption, QStringLiteral("警告"));
        EXPECT_EQ(m.icon, MessageIcon::Error);
    }
    EXPECT_EQ(t.st().RosterCount, 45); // class 1, read though it cannot be written

    // Every later class load asks again, and reads the class chosen (30 students), not the
    // sheet read before.
    t.ui().cmbXls->setCurrentIndex(1);
    EXPECT_EQ(t.messagesWith(kReadOnly), 4);
    EXPECT_EQ(t.st().ClassIndex, 2);
    EXPECT_EQ(t.st().RosterCount, 30);
}

TEST(RollBookFiles, DamagedFileIsReported) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("坏.xls"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a workbook");
    f.close();
    RealRollBook t(QStringLiteral("lo_rollbook.xls"));
    t.use(path);
    t.listClasses();
    ASSERT_EQ(t.fake.messages.shown.size(), 1u);
    EXPECT_EQ(t.fake.messages.shown[0].text, QStringLiteral("请打开并检查Excel文档是否损坏。"));
    EXPECT_EQ(t.ui().cmbXls->count(), 0);
}

} // namespace
} // namespace rostrel::test

namespace rostrel::test {
namespace {

TEST(RollBookFiles, NameListCategoryAsksForTheRollBookWhenNoneIsBesideTheProgram) {
    ASSERT_FALSE(QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/点名册.xls")));
    RealRollBook t(QStringLiteral("lo_rollbook.xls"), QStringLiteral("我的点名册.xls"));
    t.lesson().SetPickCategory(1);
    t.fake.fileDialog.answers.push_back({t.path, QStringLiteral("我的点名册.xls")});
    t.ui().OptFl[0]->setChecked(true);

    EXPECT_EQ(
        t.fake.fileDialog.filters,
        QStringList{QStringLiteral("点名册|*.xls *.xlsx *.ods|Excel 97-2003|*.xls|Excel|*.xlsx|OpenDocument|*.ods")});
    EXPECT_EQ(t.st().TodayLabel, QStringLiteral("03月16"));
    EXPECT_EQ(t.st().RollBookPath, t.path);
    EXPECT_EQ(t.ui().txtFn->text(), t.path);
    EXPECT_EQ(t.ui().cmbXls->count(), 3);
    EXPECT_EQ(t.st().RosterCount, 45);
    EXPECT_TRUE(t.ui().lblXm->isEnabled());
    EXPECT_TRUE(t.fake.messages.shown.empty());
}

} // namespace
} // namespace rostrel::test
