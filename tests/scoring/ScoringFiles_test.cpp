// Scores and groupings written into copies of fixture roll books by the real engine, read
// back by the format's independent reader: exactly the expected cells change. The same roll
// book saved by one office suite as .xls, .xlsx and .ods gives the same results.
#include "rollbook/RealRollBook.h"

#include <cctype>
#include <string>

namespace rostrel::test {
namespace {

const QString kClass1 = QStringLiteral("高一(1)班");
const QString kClass2 = QStringLiteral("高一(2)班");

// The same roll book in each format, copied as 点名册 with the fixture's extension.
class ScoringFiles : public ::testing::TestWithParam<const char*> {
protected:
    QString fixture() const { return QString::fromUtf8(GetParam()); }
    QString copyName() const { return QStringLiteral("点名册.") + QFileInfo(fixture()).suffix(); }
};

std::string fixtureTestName(const ::testing::TestParamInfo<const char*>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(LibreOfficeRollBook, ScoringFiles,
                         ::testing::Values("lo_rollbook.xls", "lo_rollbook.xlsx", "lo_rollbook.ods"), fixtureTestName);

void score(RealRollBook& t, const QString& key, const QString& points) {
    t.choose(key);
    chooseItem(t.combo("Combo1", 0), points);
    click(t.label("imgXie", 1));
}

TEST_P(ScoringFiles, NewDayColumnAndAddingUp) {
    RealRollBook t(fixture(), copyName());
    const XlrdCells before = readCells(t.path);
    check(t.button("chkRq"), true);
    t.listClasses();
    ASSERT_EQ(t.session().RosterCount, 45);
    EXPECT_EQ(t.session().ScoreColumn, 9); // I: G2 03月14, H2 03月15, today 03月16
    EXPECT_EQ(t.session().PoolCount, 45);

    score(t, QStringLiteral("4"), QStringLiteral("5"));
    score(t, QStringLiteral("4"), QStringLiteral("3"));
    EXPECT_TRUE(t.fake.messages.shown.empty());
    EXPECT_EQ(t.fake.sound.played, QStringList(2, QStringLiteral("sound\\yes.wav")));
    EXPECT_EQ(changedCells(before, readCells(t.path)), (XlrdCells{{{kClass1, 2, 9}, QStringLiteral("text:03月16")},
                                                                  {{kClass1, 6, 9}, QStringLiteral("number:8.0")}}));

    // 2.5 + 0.1 is stored as 2.6.
    score(t, QStringLiteral("5"), QStringLiteral("2.5"));
    score(t, QStringLiteral("5"), QStringLiteral("0.1"));
    EXPECT_EQ(readCells(t.path).at({kClass1, 7, 9}), QStringLiteral("number:2.6"));

    // Loaded again, the two scored students are out of the pool.
    t.reloadClass();
    EXPECT_EQ(t.session().ScoreColumn, 9);
    EXPECT_EQ(t.session().PoolCount, 43);
}

TEST_P(ScoringFiles, WithoutNewColumnsTheLastColumnTakesToday) {
    RealRollBook t(fixture(), copyName());
    const XlrdCells before = readCells(t.path);
    t.listClasses();
    ASSERT_EQ(t.session().ScoreColumn, 8);
    ASSERT_EQ(before.at({kClass1, 5, 8}), QStringLiteral("number:-1.0"));

    score(t, QStringLiteral("3"), QStringLiteral("5"));
    EXPECT_EQ(changedCells(before, readCells(t.path)), (XlrdCells{{{kClass1, 2, 8}, QStringLiteral("text:03月16")},
                                                                  {{kClass1, 5, 8}, QStringLiteral("number:4.0")}}));
}

TEST_P(ScoringFiles, ClassWithoutScoreHeadersScoresIntoColumnG) {
    for (bool newColumn : {false, true}) {
        RealRollBook t(fixture(), copyName());
        const XlrdCells before = readCells(t.path);
        check(t.button("chkRq"), newColumn);
        t.listClasses();
        chooseItem(t.combo("cmbXls"), 1);
        ASSERT_EQ(t.session().RosterCount, 30);
        EXPECT_EQ(t.session().ScoreColumn, 7);
        score(t, QStringLiteral("30"), QStringLiteral("-2"));
        EXPECT_EQ(changedCells(before, readCells(t.path)),
                  (XlrdCells{{{kClass2, 2, 7}, QStringLiteral("text:03月16")},
                             {{kClass2, 32, 7}, QStringLiteral("number:-2.0")}}));
    }
}

// G2 is a date cell (14 March), H2 the text 03月15; 12 students in groups of 4.
class ScoringDateHeader : public ScoringFiles {};
INSTANTIATE_TEST_SUITE_P(WrittenByLibraries, ScoringDateHeader,
                         ::testing::Values("xlwt_rollbook.xls", "openpyxl_rollbook.xlsx"), fixtureTestName);

TEST_P(ScoringDateHeader, TodayGoesBesideADateHeader) {
    RealRollBook t(fixture(), copyName());
    const XlrdCells before = readCells(t.path);
    check(t.button("chkRq"), true);
    t.listClasses();
    ASSERT_EQ(t.session().RosterCount, 12);
    EXPECT_EQ(t.session().GroupCount, 3);
    EXPECT_EQ(t.session().GroupSize, 4);
    EXPECT_EQ(t.session().ScoreColumn, 9);
    check(t.button("chkRq"), !t.button("chkRq")->isChecked()); // off: the last column, H
    EXPECT_EQ(t.session().ScoreColumn, 8);
    score(t, QStringLiteral("1"), QStringLiteral("1"));
    EXPECT_TRUE(t.fake.messages.shown.empty());
    const XlrdCells diff = changedCells(before, readCells(t.path));
    ASSERT_EQ(diff.size(), 2u);
    EXPECT_EQ(diff.begin()->second, QStringLiteral("text:03月16"));
}

TEST_P(ScoringFiles, GroupingWrittenBackComesBackAsWritten) {
    RealRollBook t(fixture(), copyName());
    const XlrdCells before = readCells(t.path);
    t.listClasses();
    chooseItem(t.combo("cmbXls"), 1); // 30 students, no grouping
    ASSERT_EQ(t.session().RosterCount, 30);

    // A random grouping into 4 groups: 8, 8, 8 and 6.
    replaceText(t.box("txtFz", 0), QStringLiteral("4"));
    click(t.label("imgFz", 0));
    const int16_t groups = t.session().GroupCount;
    const int16_t size = t.session().GroupSize;
    ASSERT_EQ(groups, 4);
    ASSERT_EQ(size, 8);
    std::vector<std::pair<double, double>> seats;
    for (int i = 1; i <= 30; ++i)
        seats.emplace_back(cellNumber(t.session().RosterTable.at(i, 2)), cellNumber(t.session().RosterTable.at(i, 3)));
    const CellTable3 plan = t.session().GroupTable;

    click(t.label("imgXie", 0));
    EXPECT_TRUE(t.label("imgXie", 0)->isHidden());
    EXPECT_TRUE(t.fake.messages.shown.empty());

    const XlrdCells diff = changedCells(before, readCells(t.path));
    XlrdCells expected;
    for (int i = 1; i <= 30; ++i) {
        expected[{kClass2, i + 2, 5}] = QStringLiteral("number:%1.0").arg(seats[static_cast<size_t>(i - 1)].first);
        expected[{kClass2, i + 2, 6}] = QStringLiteral("number:%1.0").arg(seats[static_cast<size_t>(i - 1)].second);
    }
    EXPECT_EQ(diff, expected);

    // Loaded again, every student sits where the grouping put it.
    t.reloadClass();
    EXPECT_TRUE(t.fake.messages.shown.empty());
    ASSERT_EQ(t.session().GroupCount, groups);
    ASSERT_EQ(t.session().GroupSize, size);
    for (int g = 1; g <= groups; ++g) {
        const int n = static_cast<int>(cellNumber(plan.at(g, 0, 0)));
        EXPECT_EQ(cellNumber(t.session().GroupTable.at(g, 0, 0)), n);
        for (int m = 1; m <= n; ++m)
            EXPECT_EQ(defaultText(t.session().GroupTable.at(g, m, 0)), defaultText(plan.at(g, m, 0))) << g << "/" << m;
    }
}

} // namespace
} // namespace rostrel::test
