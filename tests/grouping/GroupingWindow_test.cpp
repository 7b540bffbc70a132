// Forming groups in the window and browsing them.
#include "rollbook/RollBookHarness.h"
#include "rollcall/ControlHelpers.h"
#include "support/NumberWindow.h"

#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::test;
using namespace Qt::StringLiterals;

namespace {

void expectInformed(NumberWindow& t, const QString& text) {
    expectOnlyMessage(t.messages(), u"Rostrel"_s, text, MessageIcon::None);
}

} // namespace

TEST(GroupingWindow, TenByCountAndBySize) {
    NumberWindow t;
    t.setRange(1, 10);
    t.group(0, 4);
    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(t.box("txtFz", 1)->text(), u"3"_s);
    EXPECT_EQ(t.memberCounts(), (QStringList{u"3"_s, u"3"_s, u"3"_s, u"1"_s}));
    EXPECT_EQ(itemTexts(t.list("List2")), range(1, 4));
    EXPECT_EQ(t.label("LabXx")->text(), u"10人分4组，第1组有3人"_s);

    // "每组人数" before any class was loaded: the bound is 0, reported, and the groups are still formed.
    t.group(1, 4);
    expectInformed(t, u"请输入每组的人数，值范围为[1~0]"_s);
    EXPECT_EQ(t.box("txtFz", 0)->text(), u"3"_s);
    EXPECT_EQ(t.memberCounts(), (QStringList{u"4"_s, u"4"_s, u"2"_s}));
    EXPECT_EQ(t.members(2), range(5, 8));
    EXPECT_EQ(defaultText(t.session().RosterTable.at(6, 2)), u"2"_s);
    EXPECT_EQ(defaultText(t.session().RosterTable.at(6, 3)), u"2"_s);
    moveToRow(t.list("List2"), 2);
    EXPECT_EQ(t.session().CurrentGroup, 3);
    EXPECT_EQ(itemTexts(t.list("List1")), (QStringList{u"9"_s, u"10"_s}));
    EXPECT_EQ(t.label("LabXx")->text(), u"10人分3组，第3组有2人"_s);
}

TEST(GroupingWindow, EmptyTrailingGroupsAreListed) {
    NumberWindow t;
    t.setRange(1, 10);
    t.group(0, 6);
    EXPECT_EQ(t.memberCounts(), (QStringList{u"2"_s, u"2"_s, u"2"_s, u"2"_s, u"2"_s, u"0"_s}));
    moveToRow(t.list("List2"), 5);
    EXPECT_EQ(t.list("List1")->count(), 0);
    EXPECT_EQ(t.label("LabXx")->text(), u"10人分6组，第6组有0人"_s);

    t.setRange(1, 7);
    t.group(0, 5);
    EXPECT_EQ(t.memberCounts(), (QStringList{u"2"_s, u"2"_s, u"2"_s, u"1"_s, u"0"_s}));
    EXPECT_EQ(itemTexts(t.list("List2")), range(1, 5));
    EXPECT_TRUE(t.messages().empty());
}

TEST(GroupingWindow, CountAboveTheListGoesAheadAfterTheMessage) {
    NumberWindow t;
    t.setRange(1, 10);
    t.group(0, 12);
    expectInformed(t, u"请输入正确的组数，值范围为[1~10]"_s);
    EXPECT_EQ(t.session().GroupSize, 1);
    EXPECT_EQ(itemTexts(t.list("List2")), range(1, 12));
    EXPECT_EQ(t.members(10), QStringList{u"10"_s});
    EXPECT_TRUE(t.members(12).isEmpty());
}

TEST(GroupingWindow, ValuesBelowOneOrBeyondSixteenBitsFormOneGroup) {
    for (const QString& value : {u"0"_s, u"-2"_s, u"abc"_s, u"99999"_s}) {
        NumberWindow t;
        t.setRange(1, 10);
        t.group(0, 3);
        t.group(0, value, true);
        expectInformed(t, u"请输入正确的组数，值范围为[1~10]"_s);
        EXPECT_EQ(t.session().GroupCount, 1) << value.toStdString();
        EXPECT_EQ(t.session().GroupSize, 10);
        EXPECT_EQ(t.box("txtFz", 0)->text(), u"1"_s);
        EXPECT_EQ(t.box("txtFz", 1)->text(), u"10"_s);
        EXPECT_EQ(itemTexts(t.list("List2")), QStringList{u"1"_s});
        EXPECT_EQ(t.list("List1")->count(), 10);
    }
    NumberWindow t;
    t.setRange(1, 10);
    t.group(1, u"0"_s);
    expectInformed(t, u"请输入每组的人数，值范围为[1~0]"_s);
    EXPECT_EQ(t.memberCounts(), QStringList{u"10"_s});
}

TEST(GroupingWindow, LeavingABoxDerivesWithoutGrouping) {
    NumberWindow t;
    t.setRange(1, 45);
    replaceText(t.box("txtFz", 0), u"0"_s);
    focusOut(t.box("txtFz", 0));
    expectInformed(t, u"请输入正确的组数，值范围为[1~45]"_s);
    EXPECT_EQ(t.box("txtFz", 1)->text(), u"48"_s); // not derived from 0
    t.messages().clear();
    replaceText(t.box("txtFz", 0), u"8"_s);
    pressEnter(t.box("txtFz", 0));
    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(t.box("txtFz", 1)->text(), u"6"_s);
    EXPECT_EQ(t.list("List2")->count(), 1); // no grouping yet
    click(t.label("imgFz", 1));
    EXPECT_EQ(t.label("LabXx")->text(), u"45人分8组，第1组有6人"_s);
    moveToRow(t.list("List2"), 7);
    EXPECT_EQ(t.label("LabXx")->text(), u"45人分8组，第8组有3人"_s);
}

TEST(GroupingWindow, RuleChoiceSwapsTheEditableBox) {
    NumberWindow t;
    t.setRange(1, 10);
    t.group(0, 4);
    check(t.button("OptFz", 1), true);
    EXPECT_EQ(t.box("txtFz", 0)->text(), u"4"_s);
    EXPECT_EQ(t.box("txtFz", 1)->text(), u"3"_s);
    EXPECT_TRUE(t.box("txtFz", 1)->isEnabled());
    EXPECT_FALSE(t.box("txtFz", 0)->isEnabled());
    EXPECT_EQ(backColor(t.box("txtFz", 1)), kEditingBack);
    EXPECT_EQ(backColor(t.box("txtFz", 0)), kRestingBack);
    // A class just loaded has both images disabled until a rule value is typed.
    RollBookWindow c;
    c.addRollBook("/fake/点名册.xls", {classSheet("一班", 10, 5)});
    c.useRollBook("/fake/点名册.xls");
    c.listClasses();
    ASSERT_FALSE(c.label("imgFz", 0)->isEnabled());
    ASSERT_FALSE(c.label("imgFz", 1)->isEnabled());
    ASSERT_TRUE(c.box("txtFz", 0)->isEnabled());
    replaceText(c.box("txtFz", 0), u"5"_s);
    EXPECT_TRUE(c.label("imgFz", 0)->isEnabled());
    EXPECT_TRUE(c.label("imgFz", 1)->isEnabled());
}

TEST(GroupingWindow, RandomGroupingPlacesEveryEntryOnce) {
    NumberWindow t;
    t.setRange(1, 45);
    t.group(0, 8, true);
    EXPECT_EQ(t.memberCounts(), (QStringList{u"6"_s, u"6"_s, u"6"_s, u"6"_s, u"6"_s, u"6"_s, u"6"_s, u"3"_s}));
    QStringList all;
    for (int g = 1; g <= 8; ++g)
        for (const QString& key : t.members(g)) {
            all.append(key);
            const int e = key.toInt();
            EXPECT_EQ(t.session().RosterTable.at(e, 2).number, g);
            EXPECT_EQ(
                defaultText(t.session().GroupTable.at(g, static_cast<int>(t.session().RosterTable.at(e, 3).number), 0)),
                key);
        }
    std::sort(all.begin(), all.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    EXPECT_EQ(all, range(1, 45));
    EXPECT_NE(t.members(1), range(1, 6));
    EXPECT_TRUE(t.fake.random.reseeds.empty()); // grouping never reseeds
    // The pool is no business of the grouping.
    EXPECT_EQ(t.pool(), range(1, 45));
}

TEST(GroupingWindow, GroupInformationPanel) {
    NumberWindow t;
    click(t.label("lblXm")); // the rolling display runs
    ASSERT_TRUE(t.timer("Timer1")->isActive());
    check(t.button("chkXx"), true);
    EXPECT_TRUE(t.frame("frXx")->isVisibleTo(t.widget("fraxianshi")));
    EXPECT_TRUE(t.label("LabXx")->isVisibleTo(t.widget("fraxianshi")));
    EXPECT_FALSE(t.label("lblSj")->isVisibleTo(t.widget("fraxianshi")));
    EXPECT_FALSE(t.timer("Timer1")->isActive());
    check(t.button("chkXx"), false);
    EXPECT_FALSE(t.frame("frXx")->isVisibleTo(t.widget("fraxianshi")));
    EXPECT_FALSE(t.label("LabXx")->isVisibleTo(t.widget("fraxianshi")));
    EXPECT_TRUE(t.label("lblSj")->isVisibleTo(t.widget("fraxianshi")));
    EXPECT_FALSE(t.timer("Timer1")->isActive());
}
