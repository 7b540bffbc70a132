// The class list, the class roster and group formation in the lesson on its own, without a
// window, on the in-memory spreadsheet engine.
#include "lesson/Lesson.h"
#include "support/FakeWorkbook.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace rostrel::test {
namespace {

using namespace Qt::StringLiterals;

const std::string kBook = "/fake/点名册.xls";
const QString kEmpty = u"检测到名单表格为空，请检查"_s;

struct ClassRosterModel : ::testing::Test {
    FakeDisk disk;
    FakePlatform fake;
    Lesson lesson{fake.view()};
    FakeApplication* app = nullptr;
    std::vector<unsigned> notified;
    std::vector<int> refused;

    void SetUp() override {
        disk.files[kBook].sheets = {classSheet("高一(1)班", 45, 5), classSheet("高一(2)班", 30),
                                    classSheet("高一(3)班", 1)};
        auto a = std::make_unique<FakeApplication>(disk);
        app = a.get();
        lesson.UseSpreadsheetEngine(std::move(a));
        lesson.SetPickCategory(0);
        QObject::connect(&lesson, &Lesson::changed, [this](unsigned parts) { notified.push_back(parts); });
        QObject::connect(&lesson, &Lesson::groupRuleRefused, [this](int box) { refused.push_back(box); });
    }
    const SessionState& st() const { return lesson.session(); }
    void chooseBook() {
        fake.fileDialog.answers.push_back({QString::fromStdString(kBook), u"点名册.xls"_s});
        lesson.ChooseRollBook();
    }
    bool notifiedOf(unsigned part) const {
        return std::any_of(notified.begin(), notified.end(), [part](unsigned p) { return (p & part) != 0; });
    }
    int messagesWith(const QString& text) const {
        return static_cast<int>(std::count_if(fake.messages.shown.begin(), fake.messages.shown.end(),
                                              [&](const Message& m) { return m.text == text; }));
    }
    // Students 2..count added to class 3 by another program.
    void fillThirdClass(int count) {
        for (int i = 2; i <= count; ++i)
            disk.changeFromOutside(kBook, 3, i + 2, 1, workbook::CellValue::fromNumber(i));
    }
};

TEST_F(ClassRosterModel, ListingLoadsTheFirstClassAndEveryChoiceReloads) {
    chooseBook();
    EXPECT_EQ(lesson.chosenRollBook(), QString::fromStdString(kBook));
    EXPECT_EQ(lesson.classNames(), (QStringList{u"高一(1)班"_s, u"高一(2)班"_s, u"高一(3)班"_s}));
    EXPECT_EQ(lesson.currentClass(), 0);
    EXPECT_TRUE(lesson.classesListed());
    EXPECT_TRUE(notifiedOf(Lesson::ClassListPart));
    // The stored grouping: nine groups of five, shown in the rule's boxes, images not offered.
    EXPECT_EQ(st().RosterCount, 45);
    EXPECT_EQ(st().GroupCount, 9);
    EXPECT_EQ(lesson.groupRuleText(0), u"9"_s);
    EXPECT_EQ(lesson.groupRuleText(1), u"5"_s);
    EXPECT_FALSE(lesson.groupingImagesEnabled());
    EXPECT_EQ(lesson.groupFrameTitle(), u"45人分组规则"_s);
    EXPECT_TRUE(lesson.pickReady());
    EXPECT_EQ(lesson.entries().value(11), u"12_学生12"_s);

    // No grouping stored: the class is grouped in order by the count the box shows;
    // "写分组" is not offered after a load.
    notified.clear();
    lesson.ChooseClass(1);
    EXPECT_EQ(lesson.currentClass(), 1);
    EXPECT_EQ(st().ClassIndex, 2);
    EXPECT_EQ(st().RosterCount, 30);
    EXPECT_EQ(st().GroupCount, 9);
    EXPECT_EQ(lesson.groupRuleText(1), u"4"_s);
    EXPECT_FALSE(lesson.groupingWritable());
    EXPECT_TRUE(notifiedOf(Lesson::GroupPlanPart));
    EXPECT_TRUE(notifiedOf(Lesson::ClassLoadPart));

    // Choosing the class shown reads it again.
    disk.changeFromOutside(kBook, 2, 33, 1, workbook::CellValue::fromNumber(31));
    lesson.ChooseClass(1);
    EXPECT_EQ(st().RosterCount, 31);

    // No such class: nothing happens.
    lesson.ChooseClass(3);
    EXPECT_EQ(lesson.currentClass(), 1);
    EXPECT_TRUE(fake.messages.shown.empty());
}

TEST_F(ClassRosterModel, ARefusedClassIsForgotten) {
    chooseBook();
    notified.clear();
    lesson.ChooseClass(2); // one student

    EXPECT_EQ(messagesWith(kEmpty), 1);
    EXPECT_EQ(st().RosterCount, 1);
    EXPECT_EQ(lesson.groupFrameTitle(), u"1人分组规则"_s);
    EXPECT_FALSE(st().RosterTable.allocated());
    EXPECT_FALSE(st().GroupTable.allocated());
    EXPECT_EQ(st().GroupCount, 0);
    EXPECT_EQ(st().PoolCount, 0);
    EXPECT_TRUE(lesson.entries().isEmpty());
    EXPECT_FALSE(lesson.pickReady());
    EXPECT_FALSE(lesson.groupingWritable());
    EXPECT_TRUE(notifiedOf(Lesson::GroupPlanPart));
    EXPECT_TRUE(notifiedOf(Lesson::PickReadyPart));
    EXPECT_EQ(app->workbookCount(), 0); // closed
}

TEST_F(ClassRosterModel, AFailedGroupingReadsTheClassAgainAndTriesOnce) {
    chooseBook();
    lesson.ChooseClass(2);
    const int opens = disk.opens;

    // Still one student: the reload refuses the class again and the second try fails too.
    lesson.FormGroups(1);
    EXPECT_EQ(disk.opens, opens + 1);
    EXPECT_EQ(messagesWith(kEmpty), 2);
    EXPECT_FALSE(st().GroupTable.allocated());
    EXPECT_FALSE(lesson.pickReady());

    // Meanwhile the class was filled in: the reload reads ten students and the second try
    // forms the groups the box asks for.
    fillThirdClass(10);
    lesson.SetGroupRuleText(0, u"2"_s);
    notified.clear();
    lesson.FormGroups(0);
    EXPECT_EQ(disk.opens, opens + 2);
    EXPECT_EQ(messagesWith(kEmpty), 2);
    EXPECT_TRUE(notifiedOf(Lesson::ClassLoadPart));
    EXPECT_EQ(st().RosterCount, 10);
    EXPECT_EQ(lesson.entries().size(), 10);
    EXPECT_EQ(st().GroupCount, 2);
    EXPECT_EQ(st().GroupTable.at(1, 0, 0).number, 5);
    EXPECT_TRUE(lesson.pickReady());
    EXPECT_TRUE(lesson.groupingWritable());
}

TEST_F(ClassRosterModel, RuleByCountAndBySize) {
    chooseBook(); // 45 students: sizes up to 46 are accepted
    lesson.SetGroupRule(1);
    EXPECT_EQ(lesson.groupRuleText(0), u"9"_s);
    EXPECT_EQ(lesson.groupRuleText(1), u"5"_s);
    lesson.SetGroupRuleText(1, u"46"_s);
    EXPECT_TRUE(lesson.groupingImagesEnabled()); // an edit offers the images again
    EXPECT_TRUE(lesson.ConfirmGroupRule());
    EXPECT_EQ(lesson.groupRuleText(0), u"1"_s);
    EXPECT_TRUE(fake.messages.shown.empty());

    // Out of range: reported, the box named, the count still derived.
    lesson.SetGroupRuleText(1, u"47"_s);
    EXPECT_TRUE(lesson.ConfirmGroupRule());
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_EQ(fake.messages.shown[0].text, u"请输入每组的人数，值范围为[1~46]"_s);
    EXPECT_EQ(refused, std::vector<int>{1});

    // Beyond 16 bits: refused, the size kept.
    lesson.SetGroupRuleText(1, u"99999"_s);
    EXPECT_FALSE(lesson.ConfirmGroupRule());
    EXPECT_EQ(st().GroupSize, 47);
    EXPECT_EQ(refused, (std::vector<int>{1, 1}));

    lesson.SetGroupRuleText(1, u"10"_s);
    lesson.FormGroups(1);
    EXPECT_EQ(st().GroupCount, 5);
    EXPECT_EQ(st().GroupTable.at(5, 0, 0).number, 5);

    // Loading a class without a stored grouping selects the rule by count, whose box shows
    // the count just reset (0): reported, and one group of the class all the same.
    fake.messages.shown.clear();
    lesson.ChooseClass(1);
    EXPECT_EQ(lesson.groupRule(), 0);
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_EQ(fake.messages.shown[0].text, u"请输入正确的组数，值范围为[1~30]"_s);
    EXPECT_EQ(refused.back(), 0);
    EXPECT_EQ(st().GroupCount, 1);
    EXPECT_EQ(lesson.groupRuleText(0), u"1"_s);
    EXPECT_EQ(lesson.groupRuleText(1), u"30"_s);
}

TEST_F(ClassRosterModel, ShowingTheGroupInformationEndsARollingDisplay) {
    lesson.StartRolling();
    lesson.ShowGroupInformation(true);
    EXPECT_TRUE(lesson.groupInformationShown());
    EXPECT_FALSE(lesson.rollingActive());
    EXPECT_TRUE(notifiedOf(Lesson::GroupInfoPart));
    lesson.StartRolling();
    lesson.ShowGroupInformation(false);
    EXPECT_TRUE(lesson.rollingActive());
}

TEST_F(ClassRosterModel, ANewGroupPlanShowsGroupOneWithNoMemberSelected) {
    chooseBook();
    EXPECT_EQ(lesson.currentGroup(), 1);
    lesson.ShowGroup(3);
    lesson.SelectMember(2);
    ASSERT_EQ(lesson.pickKey(), u"12"_s);
    const int revision = lesson.planRevision();

    lesson.SetGroupRuleText(0, u"4"_s);
    lesson.FormGroups(1);
    EXPECT_GT(lesson.planRevision(), revision);
    EXPECT_EQ(lesson.listedGroups(), 4);
    EXPECT_EQ(lesson.currentGroup(), 1);
    EXPECT_EQ(lesson.selectedMember(), 0);
    EXPECT_TRUE(notifiedOf(Lesson::SelectionPart));

    lesson.ChooseClass(2); // refused: no plan, no group shown
    EXPECT_EQ(lesson.listedGroups(), 0);
    EXPECT_EQ(lesson.currentGroup(), 0);
    EXPECT_TRUE(lesson.groupMembers(1).isEmpty());
}

TEST_F(ClassRosterModel, ChoosingAnEntryOfTheNameBoxPicksThatStudent) {
    chooseBook(); // groups of five: 学生12 is member 2 of group 3
    lesson.SetRemovePicked(true);
    lesson.ChooseEntry(11);
    EXPECT_EQ(lesson.pickKey(), u"12"_s);
    EXPECT_EQ(lesson.pickText(), u"学生12"_s);
    EXPECT_EQ(lesson.currentGroup(), 3);
    EXPECT_EQ(lesson.selectedMember(), 2);
    EXPECT_TRUE(lesson.scoreImageShown());
    ASSERT_EQ(st().PoolCount, 44);
    for (int r = 1; r <= st().PoolCount; ++r)
        EXPECT_NE(defaultText(st().PickPool.at(r, 1)), u"12"_s);

    // Beyond the entries: nothing changes.
    lesson.ChooseEntry(45);
    lesson.ChooseEntry(-1);
    EXPECT_EQ(lesson.pickKey(), u"12"_s);
    EXPECT_EQ(st().PoolCount, 44);
}

TEST_F(ClassRosterModel, TheNewColumnRuleReadsThePoolAgainAndKeepsItWhenThatFails) {
    // Column G is the 03月14 column with three scores.
    FakeSheet& first = disk.files[kBook].sheets[0];
    first.setText(2, 7, "03月14");
    for (int row = 3; row <= 5; ++row)
        first.setNumber(row, 7, 2);
    chooseBook();
    ASSERT_EQ(st().ScoreColumn, 7);
    EXPECT_EQ(st().PoolCount, 42);

    lesson.ChooseNewColumnPerDay(true); // today's own column, H: nobody scored yet
    EXPECT_TRUE(lesson.newColumnPerDay());
    EXPECT_EQ(st().ScoreColumn, 8);
    EXPECT_EQ(st().PoolCount, 45);
    EXPECT_TRUE(fake.messages.shown.empty());

    st().ExcelBook->close();
    disk.files.clear(); // the roll book is gone
    lesson.ChooseNewColumnPerDay(false);
    EXPECT_FALSE(lesson.newColumnPerDay());
    EXPECT_EQ(messagesWith(u"读取成绩列失败，请检查Excel名单，成绩列保持不变。"_s), 1);
    EXPECT_EQ(st().ScoreColumn, 8);
    EXPECT_EQ(st().PoolCount, 45);
}

TEST_F(ClassRosterModel, TheLoadedClassIsNamedByItsSheet) {
    EXPECT_EQ(lesson.loadedClassName(), QString());
    chooseBook();
    EXPECT_EQ(lesson.loadedClassName(), u"高一(1)班"_s);
    lesson.ChooseClass(1);
    EXPECT_EQ(lesson.loadedClassName(), u"高一(2)班"_s);
    lesson.ChooseClass(2); // refused
    EXPECT_EQ(lesson.loadedClassName(), QString());
    // Numbers and seats are no class of the roll book.
    lesson.ChooseClass(0);
    lesson.SetPickCategory(1);
    EXPECT_EQ(lesson.loadedClassName(), QString());
}

} // namespace
} // namespace rostrel::test
