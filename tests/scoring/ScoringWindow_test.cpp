// Scores and the grouping written back from the window, on the in-memory engine.
#include "rollbook/RollBookHarness.h"
#include "support/LogCapture.h"
#include "support/NumberWindow.h"

#include <gtest/gtest.h>

namespace rostrel::test {
namespace {

const std::string kBook = "/fake/点名册.xls";
using V = workbook::CellValue;

// Class 1: 10 students in groups of 5, headers 03月14 and 03月15 in G2/H2, students 1 and 2
// scored on the 15th. Class 2: 6 students, no headers.
std::vector<FakeSheet> scoredClasses() {
    FakeSheet a = classSheet("一班", 10, 5);
    a.setText(2, 7, "03月14");
    a.setText(2, 8, "03月15");
    for (int i = 1; i <= 10; ++i)
        a.setNumber(i + 2, 7, 2);
    a.setNumber(3, 8, 4);
    a.setNumber(4, 8, 2.5);
    return {a, classSheet("二班", 6)};
}

struct ScoringWindow : RollBookWindow {
    ScoringWindow() {
        addRollBook(kBook, scoredClasses());
        useRollBook(kBook);
    }
    void load(bool newColumnPerDay, int classIndex = 0) {
        check(button("chkRq"), newColumnPerDay);
        listClasses();
        if (classIndex != 0)
            chooseItem(combo("cmbXls"), classIndex);
    }
    void score(const QString& key, const QString& points) {
        if (!key.isEmpty())
            choose(key);
        chooseItem(combo("Combo1", 0), points);
        click(label("imgXie", 1));
    }
    // Every cell of the saved sheet except the given ones is as it was.
    void expectOnlyChanged(int sheet, const std::vector<std::pair<int, int>>& changed) {
        FakeSheet before = scoredClasses().at(static_cast<size_t>(sheet - 1));
        FakeSheet after = saved(kBook, sheet);
        for (auto rc : changed) {
            before.cells.erase(rc);
            after.cells.erase(rc);
        }
        EXPECT_EQ(before.cells, after.cells);
    }
};

TEST(ScoringWindow, FailedWriteSavesClosesAndStaysQuiet) {
    ScoringWindow t;
    t.load(true);
    t.disk.failSave = true;
    t.score(QStringLiteral("3"), QStringLiteral("5"));
    EXPECT_TRUE(t.messages().empty());
    EXPECT_TRUE(t.fake.sound.played.isEmpty());
    EXPECT_EQ(t.app->workbookCount(), 0);
    EXPECT_TRUE(t.label("imgXie", 1)->isHidden()); // its hide step ran before the save
    EXPECT_EQ(t.saved(kBook, 1).get(5, 9), V());

    // The next write opens the roll book again.
    t.disk.failSave = false;
    t.score(QStringLiteral("3"), QStringLiteral("5"));
    EXPECT_EQ(t.disk.opens, 2);
    EXPECT_EQ(t.saved(kBook, 1).get(5, 9), V::fromNumber(5));

    EXPECT_TRUE(t.fake.sound.played.size() == 1);
    EXPECT_EQ(t.saved(kBook, 1).get(2, 9), V::fromText("03月16"));
    t.expectOnlyChanged(1, {{2, 9}, {5, 9}});
}

TEST(ScoringWindow, FailedWriteIsLoggedWithTheEngineReason) {
    ScoringWindow t;
    t.load(true);
    t.disk.failSave = true;
    LogCapture log;
    t.score(QStringLiteral("3"), QStringLiteral("5"));
    EXPECT_EQ(log.warnings, (QStringList{QStringLiteral("writing the score: disk full"),
                                         QStringLiteral("saving the roll book after a failed write: disk full")}));
}

TEST(ScoringWindow, StudentMissingFromTheSheetIsNotScored) {
    ScoringWindow t;
    t.load(false);
    // Another program renumbered student 3 since the class was loaded.
    t.disk.changeFromOutside(kBook, 1, 5, 1, V::fromNumber(33));
    t.score(QStringLiteral("3"), QStringLiteral("5"));
    expectOnlyMessage(t.messages(), QStringLiteral("警告"),
                      QStringLiteral("Excel名单中找不到学号为3的学生，成绩没有写入，请检查名单。"), MessageIcon::Error);
    EXPECT_TRUE(t.fake.sound.played.isEmpty());
    EXPECT_FALSE(t.label("imgXie", 1)->isHidden()); // the pick can still be scored
    t.expectOnlyChanged(1, {{5, 1}});
}

TEST(ScoringWindow, NewColumnSwitchReportsAFailedRebuild) {
    ScoringWindow t;
    t.load(false);
    const int16_t column = t.session().ScoreColumn;
    const int16_t pool = t.session().PoolCount;
    t.session().ExcelBook->close();
    t.disk.files.clear(); // the roll book is gone

    check(t.button("chkRq"), !t.button("chkRq")->isChecked());
    ASSERT_EQ(t.messages().size(), 1u);
    EXPECT_EQ(t.messages()[0].caption, QStringLiteral("警告"));
    EXPECT_EQ(t.messages()[0].icon, MessageIcon::Error);
    EXPECT_EQ(t.messages()[0].text, QStringLiteral("读取成绩列失败，请检查Excel名单，成绩列保持不变。"));
    EXPECT_EQ(t.session().ScoreColumn, column);
    EXPECT_EQ(t.session().PoolCount, pool);
}

} // namespace
} // namespace rostrel::test
