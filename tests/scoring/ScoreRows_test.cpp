// Scores land in the picked student's own row when the student numbers do not run 1, 2, 3 ...
// in row order: a roll book with a gap (a student left) and one with school numbers. The
// student is picked and scored with the mouse and the keyboard in the shown window; xlrd
// reads what was written.
#include "platform/workbook/Workbook.h"
#include "rollbook/RealRollBook.h"
#include "support/LiveWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <functional>

using namespace rostrel;
using namespace rostrel::test;

namespace {

const QString kClass1 = QStringLiteral("高一(1)班");

// The first class (45 students in rows 3..47, groups of 5 in roster order) renumbered: row
// 2 + i gets number(i).
QString rollBookNumbered(const QTemporaryDir& dir, const std::function<double(int)>& number) {
    const QString path = copyFixture(dir, QStringLiteral("lo_rollbook.xls"), QStringLiteral("点名册.xls"));
    auto book = workbook::openWorkbook(path.toStdString());
    book->activate(1);
    for (int i = 1; i <= 45; ++i)
        book->setCell(i + 2, 1, workbook::CellValue::fromNumber(number(i)));
    book->save();
    return path;
}

// Opens the roll book in the name-list category, picks member `member` (0-based) of group 1
// in the member list and writes `points` for it.
void pickAndScore(LiveWindow& t, const QString& path, int member, const QString& points) {
    if (t.session().PickCategory != 0) {
        t.fake.fileDialog.answers.push_back({path, QStringLiteral("点名册.xls")});
        LiveWindow::clickOn(t.find<QRadioButton>(QStringLiteral("OptFl(0)")));
        ASSERT_EQ(t.session().RosterCount, 45);
        LiveWindow::clickOn(t.find<QCheckBox>(QStringLiteral("chkXx"))); // the member list
    }
    LiveWindow::clickItem(t.list("List1"), member);
    ASSERT_TRUE(t.label("imgXie", 1)->isVisible());
    LiveWindow::retype(t.find<QComboBox>(QStringLiteral("Combo1(0)"))->lineEdit(), points);
    LiveWindow::clickOn(t.label("imgXie", 1));
}

TEST(ScoreRows, NumbersWithAGap) {
    QTemporaryDir dir;
    // Student 5 left: the rows hold 1, 2, 3, 4, 6, 7 ... 46.
    const QString path = rollBookNumbered(dir, [](int i) { return i <= 4 ? i : i + 1; });
    const XlrdCells before = readWithXlrd(path);
    ASSERT_EQ(before.at({kClass1, 7, 1}), QStringLiteral("2:6.0"));
    LiveWindow t;
    pickAndScore(t, path, 4, QStringLiteral("3")); // 邹娜, number 6, row 7
    ASSERT_EQ(t.session().PickKey, QStringLiteral("6"));
    pickAndScore(t, path, 0, QStringLiteral("2")); // 罗洁, number 1, row 3
    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(changedCells(before, readWithXlrd(path)), (XlrdCells{{{kClass1, 2, 8}, QStringLiteral("1:'03月16'")},
                                                                   {{kClass1, 3, 8}, QStringLiteral("2:2.0")},
                                                                   {{kClass1, 7, 8}, QStringLiteral("2:3.0")}}));
}

TEST(ScoreRows, SchoolNumbers) {
    QTemporaryDir dir;
    const QString path = rollBookNumbered(dir, [](int i) { return 2023000 + i; });
    const XlrdCells before = readWithXlrd(path);
    LiveWindow t;
    pickAndScore(t, path, 2, QStringLiteral("3")); // 徐平, 2023003, row 5, H5 -1
    ASSERT_EQ(t.session().PickKey, QStringLiteral("2023003"));
    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(t.fake.sound.played.count(QStringLiteral("sound\\yes.wav")), 1);
    EXPECT_EQ(changedCells(before, readWithXlrd(path)),
              (XlrdCells{{{kClass1, 2, 8}, QStringLiteral("1:'03月16'")}, {{kClass1, 5, 8}, QStringLiteral("2:2.0")}}));
}

} // namespace
