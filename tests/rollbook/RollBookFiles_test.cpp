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
    ASSERT_EQ(t.combo("cmbXls")->count(), 3);
    ASSERT_EQ(t.classItems().size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(t.combo("cmbXls")->itemText(i), names[i]);
        EXPECT_EQ(t.classItems().at(i)->text(), names[i]);
        EXPECT_EQ(t.classItems().at(i)->objectName(), arrayName("MnBj", i));
    }
    EXPECT_EQ(t.combo("cmbXls")->currentIndex(), 0);
    EXPECT_FALSE(t.label("Image2")->isHidden());
    EXPECT_TRUE(t.fake.messages.shown.empty());

    // Class 1: 45 students, stored grouping 9 x 5, headers 03月14 and 03月15.
    EXPECT_EQ(t.session().RosterCount, 45);
    EXPECT_EQ(t.frame("FrZr")->title(), QStringLiteral("45人分组规则"));
    EXPECT_EQ(t.session().GroupCount, 9);
    EXPECT_EQ(t.session().GroupSize, 5);
    EXPECT_EQ(t.list("List2")->count(), 9);
    EXPECT_EQ(t.list("List2")->currentRow(), 0);
    EXPECT_EQ(t.list("List1")->count(), 5); // group 1 shown
    EXPECT_EQ(t.list("List1")->item(0)->text(), QStringLiteral("罗洁"));
    EXPECT_EQ(t.combo("CmbXm")->itemText(0), QStringLiteral("1_罗洁"));
    EXPECT_EQ(t.combo("CmbXm")->itemText(44), QStringLiteral("45_杜华"));
    EXPECT_EQ(t.session().ScoreColumn, 8);
    int blankH = 0;
    for (int row = 3; row <= 47; ++row)
        blankH += before.count({names[0], row, 8}) ? 0 : 1;
    EXPECT_EQ(t.session().PoolCount, blankH);
    EXPECT_TRUE(t.label("lblXm")->isEnabled());
    EXPECT_TRUE(t.button("OptFz", 0)->isChecked());
    EXPECT_FALSE(t.label("imgFz", 0)->isEnabled());
    EXPECT_FALSE(t.label("imgFz", 1)->isEnabled());
    EXPECT_TRUE(t.label("imgXie", 0)->isHidden());
    EXPECT_TRUE(t.label("imgXie", 1)->isHidden());

    // Class 2 from the menu: no stored grouping, so it is grouped in order by the group
    // count shown (9): groups of 4.
    chooseFromMenu(&t.w(), t.classItems().at(1));
    EXPECT_EQ(t.session().ClassIndex, 2);
    EXPECT_EQ(t.session().RosterCount, 30);
    EXPECT_EQ(t.session().ScoreColumn, 7);
    EXPECT_EQ(t.session().PoolCount, 30);
    EXPECT_EQ(t.session().GroupCount, 9);
    EXPECT_EQ(t.box("txtFz", 0)->text(), QStringLiteral("9"));
    EXPECT_EQ(t.box("txtFz", 1)->text(), QStringLiteral("4"));

    // Class 3 holds one student: an empty class; the roll book is closed.
    chooseFromMenu(&t.w(), t.classItems().at(2));
    EXPECT_EQ(t.messagesWith(kEmpty), 1);
    EXPECT_EQ(t.session().RosterCount, 1);
    EXPECT_EQ(t.session().ExcelApp->workbookCount(), 0);
    EXPECT_EQ(t.combo("CmbXm")->count(), 0);

    // Nothing was written.
    EXPECT_TRUE(changedCells(before, readCells(t.path)).empty());
}

// A roll book written by a library rather than an office suite: merged title, date header,
// a formula without a cached value, a stored grouping of 3 x 4.
TEST(RollBookFiles, OpenpyxlRollBook) {
    RealRollBook t(QStringLiteral("openpyxl_rollbook.xlsx"), QStringLiteral("点名册.xlsx"));
    const XlrdCells before = readCells(t.path);
    t.listClasses();
    ASSERT_EQ(t.combo("cmbXls")->count(), 2);
    EXPECT_EQ(t.combo("cmbXls")->itemText(0), QStringLiteral("初二(1)班"));
    EXPECT_EQ(t.combo("cmbXls")->itemText(1), QStringLiteral("初二(2)班"));
    EXPECT_TRUE(t.fake.messages.shown.empty());
    EXPECT_EQ(t.session().RosterCount, 12);
    EXPECT_EQ(t.session().GroupCount, 3);
    EXPECT_EQ(t.session().GroupSize, 4);
    EXPECT_EQ(t.combo("CmbXm")->itemText(0), QStringLiteral("1_学生01"));

    chooseFromMenu(&t.w(), t.classItems().at(1));
    EXPECT_EQ(t.session().RosterCount, 9);
    EXPECT_TRUE(t.fake.messages.shown.empty());
    EXPECT_TRUE(changedCells(before, readCells(t.path)).empty());
}

TEST(RollBookFiles, FiveClassesThenThree) {
    RealRollBook t(QStringLiteral("five_classes.xls"));
    t.listClasses();
    ASSERT_EQ(t.classItems().size(), 5);
    EXPECT_EQ(t.classItems().at(4)->text(), QStringLiteral("5班"));

    const QString other = copyFixture(t.dir, QStringLiteral("lo_rollbook.xls"));
    t.fake.fileDialog.answers.push_back({other, QStringLiteral("lo_rollbook.xls")});
    click(t.label("Image1"));
    EXPECT_EQ(t.classItems().size(), 3);
    EXPECT_EQ(t.menu("MnBjMenu")->actions().size(), 3);
    EXPECT_EQ(t.classItems().at(2)->text(), QStringLiteral("高一(3)班"));
    EXPECT_EQ(t.session().RosterCount, 45);
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
        EXPECT_EQ(t.session().RosterCount, 0);
        EXPECT_FALSE(t.session().RosterTable.allocated());
        EXPECT_EQ(t.list("List2")->count(), 0);
        EXPECT_EQ(t.session().ExcelApp->workbookCount(), 0);
        EXPECT_TRUE(changedCells(before, readCells(t.path)).empty());

        // Class 2 still loads.
        chooseItem(t.combo("cmbXls"), 1);
        EXPECT_EQ(t.session().RosterCount, 30);
    }
    {
        // One row says group 10, member 6: group 8 would need a 46th student.
        RealRollBook t(fixture(), copyName());
        editSheet1(t.path, {{3, 5, 10}, {3, 6, 6}});
        t.listClasses();
        EXPECT_EQ(t.messagesWith(kLoadFailed), 1);
        EXPECT_EQ(t.session().ExcelApp->workbookCount(), 0);
        EXPECT_FALSE(t.session().GroupTable.allocated());
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
    EXPECT_EQ(t.session().RosterCount, 45); // class 1, read though it cannot be written

    // Every later class load asks again, and reads the class chosen (30 students), not the
    // sheet read before.
    chooseItem(t.combo("cmbXls"), 1);
    EXPECT_EQ(t.messagesWith(kReadOnly), 4);
    EXPECT_EQ(t.session().ClassIndex, 2);
    EXPECT_EQ(t.session().RosterCount, 30);
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
    EXPECT_EQ(t.combo("cmbXls")->count(), 0);
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
    check(t.button("OptFl", 0), true);

    EXPECT_EQ(
        t.fake.fileDialog.filters,
        QStringList{QStringLiteral("点名册|*.xls *.xlsx *.ods|Excel 97-2003|*.xls|Excel|*.xlsx|OpenDocument|*.ods")});
    EXPECT_EQ(t.session().TodayLabel, QStringLiteral("03月16"));
    EXPECT_EQ(t.session().RollBookPath, t.path);
    EXPECT_EQ(t.box("txtFn")->text(), t.path);
    EXPECT_EQ(t.combo("cmbXls")->count(), 3);
    EXPECT_EQ(t.session().RosterCount, 45);
    EXPECT_TRUE(t.label("lblXm")->isEnabled());
    EXPECT_TRUE(t.fake.messages.shown.empty());
}

} // namespace
} // namespace rostrel::test
