// Drawing, the rolling display, the no-repeat pool, the categories and the presentation, in
// the window with a scripted random source.
#include "support/NumberWindow.h"

#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::test;
using namespace Qt::StringLiterals;

namespace {

const QString kStart = u"sound\\type0.wav"_s;
const QString kPicked = u"sound\\type.wav"_s;

// The random number that draws pool row k of n.
float rowOf(int k, int n) {
    return (static_cast<float>(k) - 0.5f) / static_cast<float>(n);
}

QString shown(NumberWindow& t) {
    return t.list("List1")->currentItem() ? t.list("List1")->currentItem()->text() : QString();
}

} // namespace

TEST(RollCallWindow, DirectRandomPickShowsTheDrawnMember) {
    NumberWindow t;
    chooseItem(t.combo("Combo1", 1), u"10"_s);
    chooseItem(t.combo("cmbJsDw"), u"分"_s);
    click(t.label("imgJs")); // a ten-minute run
    tick(t.timer("timJs"));
    ASSERT_EQ(t.label("lblSj")->text(), u"00:00"_s);
    ASSERT_TRUE(t.timer("timJs")->isActive());
    t.played().clear();
    t.pickWith(rowOf(17, 48));
    EXPECT_EQ(t.session().PickIndex, 17);
    EXPECT_EQ(shown(t), u"17"_s);
    EXPECT_EQ(t.session().CurrentMember, 17);
    EXPECT_EQ(t.session().PickKey, u"17"_s);
    EXPECT_EQ(t.session().PickText, u"17"_s);
    EXPECT_EQ(t.label("lblXm")->text(), u"1组 \r\n17"_s);
    EXPECT_EQ(t.label("LabCz")->text(), u"第 1 组 17 号 ，17 17"_s);
    EXPECT_EQ(t.played(), QStringList{kPicked});
    EXPECT_EQ(t.fake.random.reseeds.size(), 1u);
    EXPECT_DOUBLE_EQ(t.fake.random.reseeds[0], 36000.0); // 10:00:00
    // Every click resets the clock.
    EXPECT_EQ(t.label("lblSj")->text(), u"00:00:00"_s);
    EXPECT_FALSE(t.timer("timJs")->isActive());
    // The pool keeps the pick while "重复" is not checked.
    EXPECT_EQ(t.session().PoolCount, 48);
}

TEST(RollCallWindow, PresentationFollowsTheChosenForm) {
    NumberWindow t;
    chooseItem(t.combo("cmbXs"), 0);
    t.pickWith(rowOf(5, 48));
    EXPECT_EQ(t.label("lblXm")->text(), u"\r\n5"_s);
    chooseItem(t.combo("cmbXs"), 2);
    t.pickWith(rowOf(6, 48));
    EXPECT_EQ(t.label("lblXm")->text(), u"1组 6号 \r\n6"_s);
    t.combo("cmbXs")->setCurrentIndex(-1);
    t.pickWith(rowOf(7, 48));
    EXPECT_EQ(t.label("lblXm")->text(), u"1组 6号 \r\n6"_s); // unchanged without a form
    EXPECT_EQ(t.label("LabCz")->text(), u"第 1 组 7 号 ，7 7"_s);
}

TEST(RollCallWindow, RollingDisplayStartsAndStops) {
    NumberWindow t;
    check(t.button("chkCf"), true);
    ASSERT_TRUE(t.button("chkGd")->isChecked());
    click(t.label("lblXm"));
    EXPECT_TRUE(t.timer("Timer1")->isActive());
    EXPECT_EQ(t.timer("Timer1")->interval(), 50);
    EXPECT_EQ(t.played(), QStringList{kStart});
    for (int k : {3, 40, 12}) {
        t.fake.random.scripted.push_back(rowOf(k, 48));
        tick(t.timer("Timer1"));
    }
    EXPECT_EQ(shown(t), u"12"_s);
    click(t.label("lblXm"));
    EXPECT_FALSE(t.timer("Timer1")->isActive());
    EXPECT_EQ(t.played(), (QStringList{kStart, kPicked}));
    // The candidate of the last tick is the one that left the pool.
    EXPECT_EQ(t.session().PoolCount, 47);
    EXPECT_FALSE(t.pool().contains(u"12"_s));
    EXPECT_TRUE(t.pool().contains(u"40"_s));
    EXPECT_EQ(t.label("imgJs")->toolTip(), u"计时"_s);
    EXPECT_EQ(t.label("imgJs")->toolTip(), u"计时"_s);
}

TEST(RollCallWindow, UncheckingRollingStopsTheTicksWithoutAPick) {
    NumberWindow t;
    check(t.button("chkCf"), true);
    click(t.label("lblXm"));
    ASSERT_TRUE(t.timer("Timer1")->isActive());
    check(t.button("chkGd"), false);
    EXPECT_FALSE(t.timer("Timer1")->isActive());
    EXPECT_FALSE(t.action("MnFs", 2)->isChecked());
    EXPECT_EQ(t.played(), QStringList{kStart});
    EXPECT_EQ(t.session().PoolCount, 48);
}

TEST(RollCallWindow, NextWhileRollingMakesOneDirectPick) {
    NumberWindow t;
    check(t.button("chkCf"), true);
    click(t.label("lblXm"));
    t.fake.random.scripted.push_back(rowOf(30, 48));
    tick(t.timer("Timer1"));
    t.fake.random.scripted.push_back(rowOf(9, 48));
    click(t.button("cmdNext", 1));
    EXPECT_FALSE(t.timer("Timer1")->isActive());
    EXPECT_FALSE(t.button("chkGd")->isChecked());
    EXPECT_FALSE(t.action("MnFs", 2)->isChecked());
    EXPECT_EQ(shown(t), u"9"_s);
    EXPECT_EQ(t.played(), (QStringList{kStart, kPicked}));
    EXPECT_EQ(t.session().PoolCount, 47);
    EXPECT_FALSE(t.pool().contains(u"9"_s));
    EXPECT_TRUE(t.pool().contains(u"30"_s));
    // "下一个" when rolling is already off: one more pick.
    t.fake.random.scripted.push_back(rowOf(1, 47));
    click(t.button("cmdNext", 1));
    EXPECT_EQ(shown(t), u"1"_s);
    EXPECT_FALSE(t.button("chkGd")->isChecked());
}

TEST(RollCallWindow, PoolEmptiedIsRefilled) {
    NumberWindow t;
    t.setRange(1, 2);
    t.group(0, 1);
    check(t.button("chkCf"), true);
    t.pickWith(rowOf(2, 2));
    EXPECT_EQ(t.pool(), QStringList{u"1"_s});
    t.pickWith(0.0f);
    EXPECT_EQ(shown(t), u"1"_s);
    EXPECT_EQ(t.pool(), (QStringList{u"1"_s, u"2"_s}));
    t.pickWith(0.0f); // may repeat the entry just picked
    EXPECT_EQ(shown(t), u"1"_s);
    EXPECT_EQ(t.pool(), QStringList{u"2"_s});
}

TEST(RollCallWindow, SequentialAndManualPicksTakeOutTheirOwnEntry) {
    NumberWindow t;
    t.pickWith(rowOf(17, 48)); // a random pick while "重复" is off
    ASSERT_EQ(t.session().PickIndex, 17);
    check(t.button("chkCf"), true);
    check(t.button("OptDmFs", 1), true);
    click(t.label("lblXm"));
    EXPECT_EQ(shown(t), u"18"_s);
    EXPECT_FALSE(t.pool().contains(u"18"_s));
    EXPECT_TRUE(t.pool().contains(u"17"_s));
    // Chosen by hand: selection, then the mouse button released over the list.
    moveToRow(t.list("List1"), 39);
    EXPECT_EQ(t.session().PoolCount, 47); // arrow keys or a selection alone remove nothing
    releaseOnCurrent(t.list("List1"));
    EXPECT_FALSE(t.pool().contains(u"40"_s));
    EXPECT_EQ(t.session().PoolCount, 46);
    EXPECT_TRUE(t.label("imgXie", 1)->isVisibleTo(t.frame("FrJif")));
    // Again on the same member: it is no longer in the pool, nothing else leaves.
    releaseOnCurrent(t.list("List1"));
    EXPECT_EQ(t.session().PoolCount, 46);
}

TEST(RollCallWindow, RepeatOffKeepsThePoolAndRepeatOnTakesTheDrawnRow) {
    NumberWindow t;
    t.pickWith(rowOf(48, 48));
    EXPECT_EQ(t.pool(), range(1, 48));
    check(t.button("chkCf"), true);
    t.pickWith(rowOf(48, 48));
    EXPECT_EQ(t.pool(), range(1, 47));
}

TEST(RollCallWindow, SequentialDrawWrapsAcrossGroups) {
    NumberWindow t;
    t.setRange(1, 5);
    t.group(0, 2); // 1 2 3 | 4 5
    check(t.button("OptDmFs", 1), true);
    check(t.button("chkGd"), false);
    QStringList seen;
    for (int i = 0; i < 7; ++i) {
        click(t.label("lblXm"));
        seen.append(QString::number(t.session().CurrentGroup) + u':' + shown(t));
    }
    EXPECT_EQ(seen, (QStringList{u"1:1"_s, u"1:2"_s, u"1:3"_s, u"2:4"_s, u"2:5"_s, u"1:1"_s, u"1:2"_s}));
    EXPECT_TRUE(t.fake.random.scripted.empty());

    t.setRange(1, 3);
    t.group(0, 1);
    seen.clear();
    for (int i = 0; i < 4; ++i) {
        click(t.label("lblXm"));
        seen.append(shown(t));
    }
    EXPECT_EQ(seen, (QStringList{u"1"_s, u"2"_s, u"3"_s, u"1"_s}));
}

TEST(RollCallWindow, SequentialDrawPassesEmptyGroups) {
    NumberWindow t;
    t.setRange(1, 7);
    t.group(0, 5); // 2 2 2 1 and an empty fifth group
    check(t.button("OptDmFs", 1), true);
    moveToRow(t.list("List2"), 3);
    moveToRow(t.list("List1"), 0); // 7, the last member of group 4
    check(t.button("chkGd"), false);
    click(t.label("lblXm")); // on to group 5, which has nobody
    EXPECT_EQ(t.session().CurrentGroup, 5);
    EXPECT_EQ(t.list("List1")->count(), 0);
    click(t.label("lblXm")); // wraps to group 1
    EXPECT_EQ(t.session().CurrentGroup, 1);
    EXPECT_EQ(shown(t), u"1"_s);
}

TEST(RollCallWindow, DuplicateKeysSelectTheFirstMember) {
    NumberWindow t;
    t.lesson().UseNumberList({u"5"_s, u"1"_s, u"2"_s, u"5"_s});
    t.group(0, 2); // 5 1 | 2 5
    t.pickWith(rowOf(4, 4));
    EXPECT_EQ(t.session().PickIndex, 4);
    EXPECT_EQ(t.session().CurrentGroup, 1);
    EXPECT_EQ(t.session().CurrentMember, 1);
    // With "重复" the drawn row itself leaves the pool.
    check(t.button("chkCf"), true);
    t.pickWith(rowOf(4, 4));
    EXPECT_EQ(t.pool(), (QStringList{u"5"_s, u"1"_s, u"2"_s}));
}

TEST(RollCallWindow, DrawOfAValueInNoGroupShowsItWithoutAGroup) {
    NumberWindow t;
    t.pickWith(rowOf(3, 48));
    replaceText(t.box("txtShu"), u"100"_s);
    click(t.label("ImgZdy", 0)); // in the pool, in no group
    t.pickWith(rowOf(49, 49));
    EXPECT_EQ(t.session().PickIndex, 49);
    EXPECT_EQ(t.session().PickKey, u"100"_s);
    EXPECT_EQ(t.list("List1")->currentRow(), -1); // no member of the group on show is the pick
    EXPECT_EQ(t.label("lblXm")->text(), u"\r\n100"_s);
}

TEST(RollCallWindow, NextGroupButton) {
    NumberWindow t;
    click(t.button("cmdNext", 0)); // one group: nothing
    EXPECT_EQ(t.session().CurrentGroup, 1);
    t.setRange(1, 10);
    t.group(0, 3);
    click(t.button("cmdNext", 0));
    EXPECT_EQ(t.session().CurrentGroup, 2);
    EXPECT_EQ(itemTexts(t.list("List1")), range(5, 8));
    click(t.button("cmdNext", 0));
    click(t.button("cmdNext", 0));
    EXPECT_EQ(t.session().CurrentGroup, 1);
    EXPECT_EQ(t.list("List2")->currentRow(), 0);
    EXPECT_TRUE(t.played().isEmpty());
}

TEST(RollCallWindow, GroupsFollowARegroupingForDraws) {
    NumberWindow t;
    t.pickWith(rowOf(30, 48));
    t.setRange(1, 10);
    t.group(0, 5, true); // groups formed anew: the draws find members in the new plan
    t.pickWith(rowOf(7, 10));
    EXPECT_EQ(t.session().PickKey, u"7"_s);
    EXPECT_EQ(shown(t), u"7"_s);
    EXPECT_EQ(t.session().CurrentGroup, t.session().RosterTable.at(7, 2).number);
}

TEST(RollCallWindow, RowColumnCategoryFromTheMenu) {
    NumberWindow t;
    chooseFromMenu(&t.w(), t.action("MnFl", 2));
    EXPECT_EQ(t.session().PickCategory, 2);
    EXPECT_TRUE(t.button("OptFl", 2)->isChecked());
    EXPECT_EQ(t.box("txtXh", 0)->text(), u"6"_s);
    EXPECT_EQ(t.box("txtXh", 1)->text(), u"8"_s);
    EXPECT_EQ(t.label("LblVal1")->text(), u"行数"_s);
    EXPECT_EQ(t.label("LblVal2")->text(), u"列数"_s);
    EXPECT_EQ(t.box("txtShu")->text(), u"1-1,1-2"_s);
    EXPECT_EQ(t.label("lblXm")->text(), u"行列\r\n点名"_s);
    EXPECT_FALSE(t.action("MnFl", 2)->isEnabled());
    EXPECT_TRUE(t.action("MnFl", 0)->isEnabled());
    EXPECT_TRUE(t.action("MnFl", 1)->isEnabled());
    EXPECT_EQ(comboTexts(t.combo("cmbXs")), (QStringList{u"座号"_s, u"组号座号"_s, u"组号组员号座号"_s}));
    EXPECT_EQ(t.combo("cmbXs")->currentText(), u"组号座号"_s);
    EXPECT_EQ(t.list("List1")->count(), 48);
    EXPECT_EQ(t.list("List1")->item(8)->text(), u"2-1"_s);

    t.setRange(2, 10);
    t.group(0, 1);
    moveToRow(t.list("List1"), 19);
    EXPECT_EQ(t.session().PickText, u"2行10列"_s);
    EXPECT_EQ(t.session().PickKey, u"2-10"_s);
    EXPECT_EQ(t.label("lblXm")->text(), u"1组 \r\n2行10列"_s);
    EXPECT_EQ(t.label("LabCz")->text(), u"第 1 组 20 号 ，2-10 2行10列"_s);

    // Back to numbers: the default range again, as one group.
    check(t.button("OptFl", 1), true);
    EXPECT_EQ(t.session().RosterCount, 48);
    EXPECT_EQ(t.list("List1")->item(8)->text(), u"9"_s);
    EXPECT_EQ(t.label("LblVal1")->text(), u"最小值"_s);
    EXPECT_EQ(t.box("txtShu")->text(), u"1,2,3,4"_s);
    EXPECT_TRUE(t.messages().empty());
}

TEST(RollCallWindow, DrawModeMenusAndCheckMarks) {
    NumberWindow t;
    chooseFromMenu(&t.w(), t.action("MnFs", 1));
    EXPECT_TRUE(t.button("OptDmFs", 1)->isChecked());
    EXPECT_FALSE(t.action("MnFs", 1)->isEnabled());
    EXPECT_TRUE(t.action("MnFs", 0)->isEnabled());
    EXPECT_EQ(t.label("lblXm")->text(), u"顺序\r\n点名"_s);
    // The option button itself changes the caption only.
    check(t.button("OptDmFs", 0), true);
    EXPECT_EQ(t.label("lblXm")->text(), u"随机\r\n点名"_s);
    EXPECT_FALSE(t.action("MnFs", 1)->isEnabled());

    ASSERT_TRUE(t.action("MnFs", 2)->isChecked());
    chooseFromMenu(&t.w(), t.action("MnFs", 2));
    EXPECT_FALSE(t.action("MnFs", 2)->isChecked());
    EXPECT_FALSE(t.button("chkGd")->isChecked());
    chooseFromMenu(&t.w(), t.action("MnFs", 2));
    EXPECT_TRUE(t.action("MnFs", 2)->isChecked());
    EXPECT_TRUE(t.button("chkGd")->isChecked());
    check(t.button("chkGd"), !t.button("chkGd")->isChecked()); // by hand
    EXPECT_FALSE(t.action("MnFs", 2)->isChecked());
}

TEST(RollCallWindow, NameListCategorySetsUpTheWindow) {
    NumberWindow t;
    t.fake.fileDialog.answers.push_back({u"/nonexistent/点名册.xls"_s, u"点名册.xls"_s});
    check(t.button("OptFl", 0), true);
    EXPECT_EQ(t.session().PickCategory, 0);
    EXPECT_EQ(t.lesson().session().FirstShow, 0);
    EXPECT_EQ(t.session().TodayLabel, u"03月16"_s);
    EXPECT_EQ(comboTexts(t.combo("cmbXs")), (QStringList{u"姓名"_s, u"学号姓名"_s, u"组号姓名"_s, u"组号组员号姓名"_s,
                                                         u"组号学号姓名"_s, u"组号组员号学号姓名"_s}));
    EXPECT_EQ(t.combo("cmbXs")->currentIndex(), 1);
    EXPECT_FALSE(t.action("MnFl", 0)->isEnabled());
    EXPECT_TRUE(t.menu("MnMingdanshizhi")->menuAction()->isVisible());
    EXPECT_TRUE(t.frame("FrXls")->isVisibleTo(t.widget("fraShezhi")));
    EXPECT_FALSE(t.frame("frSz")->isVisibleTo(t.widget("fraShezhi")));
    EXPECT_FALSE(t.frame("frXx")->isVisibleTo(t.widget("fraxianshi")));
}
