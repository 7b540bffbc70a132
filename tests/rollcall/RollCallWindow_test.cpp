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
    return t.ui().List1->currentItem() ? t.ui().List1->currentItem()->text() : QString();
}

} // namespace

TEST(RollCallWindow, DirectRandomPickShowsTheDrawnMember) {
    NumberWindow t;
    t.ui().lblSj->setText(u"00:01:05"_s);
    t.ui().timJs->start();
    t.pickWith(rowOf(17, 48));
    EXPECT_EQ(t.st().PickIndex, 17);
    EXPECT_EQ(shown(t), u"17"_s);
    EXPECT_EQ(t.st().CurrentMember, 17);
    EXPECT_EQ(t.st().PickKey, u"17"_s);
    EXPECT_EQ(t.st().PickText, u"17"_s);
    EXPECT_EQ(t.ui().lblXm->text(), u"1组 \r\n17"_s);
    EXPECT_EQ(t.ui().LabCz->text(), u"第 1 组 17 号 ，17 17"_s);
    EXPECT_EQ(t.played(), QStringList{kPicked});
    EXPECT_EQ(t.fake.random.reseeds.size(), 1u);
    EXPECT_DOUBLE_EQ(t.fake.random.reseeds[0], 36000.0); // 10:00:00
    // Every click resets the clock.
    EXPECT_EQ(t.ui().lblSj->text(), u"00:00:00"_s);
    EXPECT_FALSE(t.ui().timJs->isActive());
    // The pool keeps the pick while "重复" is not checked.
    EXPECT_EQ(t.st().PoolCount, 48);
}

TEST(RollCallWindow, PresentationFollowsTheChosenForm) {
    NumberWindow t;
    t.ui().cmbXs->setCurrentIndex(0);
    t.pickWith(rowOf(5, 48));
    EXPECT_EQ(t.ui().lblXm->text(), u"\r\n5"_s);
    t.ui().cmbXs->setCurrentIndex(2);
    t.pickWith(rowOf(6, 48));
    EXPECT_EQ(t.ui().lblXm->text(), u"1组 6号 \r\n6"_s);
    t.ui().cmbXs->setCurrentIndex(-1);
    t.pickWith(rowOf(7, 48));
    EXPECT_EQ(t.ui().lblXm->text(), u"1组 6号 \r\n6"_s); // unchanged without a form
    EXPECT_EQ(t.ui().LabCz->text(), u"第 1 组 7 号 ，7 7"_s);
}

TEST(RollCallWindow, RollingDisplayStartsAndStops) {
    NumberWindow t;
    t.ui().chkCf->setChecked(true);
    ASSERT_TRUE(t.ui().chkGd->isChecked());
    click(t.ui().lblXm);
    EXPECT_TRUE(t.ui().Timer1->isActive());
    EXPECT_EQ(t.ui().Timer1->interval(), 50);
    EXPECT_EQ(t.played(), QStringList{kStart});
    for (int k : {3, 40, 12}) {
        t.fake.random.scripted.push_back(rowOf(k, 48));
        tick(t.ui().Timer1);
    }
    EXPECT_EQ(shown(t), u"12"_s);
    click(t.ui().lblXm);
    EXPECT_FALSE(t.ui().Timer1->isActive());
    EXPECT_EQ(t.played(), (QStringList{kStart, kPicked}));
    // The candidate of the last tick is the one that left the pool.
    EXPECT_EQ(t.st().PoolCount, 47);
    EXPECT_FALSE(t.pool().contains(u"12"_s));
    EXPECT_TRUE(t.pool().contains(u"40"_s));
    EXPECT_EQ(t.ui().imgJs->toolTip(), u"计时"_s);
    EXPECT_EQ(t.ui().imgJs->toolTip(), u"计时"_s);
}

TEST(RollCallWindow, UncheckingRollingStopsTheTicksWithoutAPick) {
    NumberWindow t;
    t.ui().chkCf->setChecked(true);
    click(t.ui().lblXm);
    ASSERT_TRUE(t.ui().Timer1->isActive());
    t.ui().chkGd->setChecked(false);
    EXPECT_FALSE(t.ui().Timer1->isActive());
    EXPECT_FALSE(t.ui().MnFs[2]->isChecked());
    EXPECT_EQ(t.played(), QStringList{kStart});
    EXPECT_EQ(t.st().PoolCount, 48);
}

TEST(RollCallWindow, NextWhileRollingMakesOneDirectPick) {
    NumberWindow t;
    t.ui().chkCf->setChecked(true);
    click(t.ui().lblXm);
    t.fake.random.scripted.push_back(rowOf(30, 48));
    tick(t.ui().Timer1);
    t.fake.random.scripted.push_back(rowOf(9, 48));
    click(t.ui().cmdNext[1]);
    EXPECT_FALSE(t.ui().Timer1->isActive());
    EXPECT_FALSE(t.ui().chkGd->isChecked());
    EXPECT_FALSE(t.ui().MnFs[2]->isChecked());
    EXPECT_EQ(shown(t), u"9"_s);
    EXPECT_EQ(t.played(), (QStringList{kStart, kPicked}));
    EXPECT_EQ(t.st().PoolCount, 47);
    EXPECT_FALSE(t.pool().contains(u"9"_s));
    EXPECT_TRUE(t.pool().contains(u"30"_s));
    // "下一个" when rolling is already off: one more pick.
    t.fake.random.scripted.push_back(rowOf(1, 47));
    click(t.ui().cmdNext[1]);
    EXPECT_EQ(shown(t), u"1"_s);
    EXPECT_FALSE(t.ui().chkGd->isChecked());
}

TEST(RollCallWindow, PoolEmptiedIsRefilled) {
    NumberWindow t;
    t.setRange(1, 2);
    t.group(0, 1);
    t.ui().chkCf->setChecked(true);
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
    ASSERT_EQ(t.st().PickIndex, 17);
    t.ui().chkCf->setChecked(true);
    t.ui().OptDmFs[1]->setChecked(true);
    click(t.ui().lblXm);
    EXPECT_EQ(shown(t), u"18"_s);
    EXPECT_FALSE(t.pool().contains(u"18"_s));
    EXPECT_TRUE(t.pool().contains(u"17"_s));
    // Chosen by hand: selection, then the mouse button released over the list.
    t.ui().List1->setCurrentRow(39);
    EXPECT_EQ(t.st().PoolCount, 47); // arrow keys or a selection alone remove nothing
    releaseOnCurrent(t.ui().List1);
    EXPECT_FALSE(t.pool().contains(u"40"_s));
    EXPECT_EQ(t.st().PoolCount, 46);
    EXPECT_TRUE(t.ui().imgXie[1]->isVisibleTo(t.ui().FrJif));
    // Again on the same member: it is no longer in the pool, nothing else leaves.
    releaseOnCurrent(t.ui().List1);
    EXPECT_EQ(t.st().PoolCount, 46);
}

TEST(RollCallWindow, RepeatOffKeepsThePoolAndRepeatOnTakesTheDrawnRow) {
    NumberWindow t;
    t.pickWith(rowOf(48, 48));
    EXPECT_EQ(t.pool(), range(1, 48));
    t.ui().chkCf->setChecked(true);
    t.pickWith(rowOf(48, 48));
    EXPECT_EQ(t.pool(), range(1, 47));
}

TEST(RollCallWindow, SequentialDrawWrapsAcrossGroups) {
    NumberWindow t;
    t.setRange(1, 5);
    t.group(0, 2); // 1 2 3 | 4 5
    t.ui().OptDmFs[1]->setChecked(true);
    t.ui().chkGd->setChecked(false);
    QStringList seen;
    for (int i = 0; i < 7; ++i) {
        click(t.ui().lblXm);
        seen.append(QString::number(t.st().CurrentGroup) + u':' + shown(t));
    }
    EXPECT_EQ(seen, (QStringList{u"1:1"_s, u"1:2"_s, u"1:3"_s, u"2:4"_s, u"2:5"_s, u"1:1"_s, u"1:2"_s}));
    EXPECT_TRUE(t.fake.random.scripted.empty());

    t.setRange(1, 3);
    t.group(0, 1);
    seen.clear();
    for (int i = 0; i < 4; ++i) {
        click(t.ui().lblXm);
        seen.append(shown(t));
    }
    EXPECT_EQ(seen, (QStringList{u"1"_s, u"2"_s, u"3"_s, u"1"_s}));
}

TEST(RollCallWindow, SequentialDrawPassesEmptyGroups) {
    NumberWindow t;
    t.setRange(1, 7);
    t.group(0, 5); // 2 2 2 1 and an empty fifth group
    t.ui().OptDmFs[1]->setChecked(true);
    t.ui().List2->setCurrentRow(3);
    t.ui().List1->setCurrentRow(0); // 7, the last member of group 4
    t.ui().chkGd->setChecked(false);
    click(t.ui().lblXm); // on to group 5, which has nobody
    EXPECT_EQ(t.st().CurrentGroup, 5);
    EXPECT_EQ(t.ui().List1->count(), 0);
    click(t.ui().lblXm); // wraps to group 1
    EXPECT_EQ(t.st().CurrentGroup, 1);
    EXPECT_EQ(shown(t), u"1"_s);
}

TEST(RollCallWindow, DuplicateKeysSelectTheFirstMember) {
    NumberWindow t;
    t.lesson().UseNumberList({u"5"_s, u"1"_s, u"2"_s, u"5"_s});
    t.group(0, 2); // 5 1 | 2 5
    t.pickWith(rowOf(4, 4));
    EXPECT_EQ(t.st().PickIndex, 4);
    EXPECT_EQ(t.st().CurrentGroup, 1);
    EXPECT_EQ(t.st().CurrentMember, 1);
    // With "重复" the drawn row itself leaves the pool.
    t.ui().chkCf->setChecked(true);
    t.pickWith(rowOf(4, 4));
    EXPECT_EQ(t.pool(), (QStringList{u"5"_s, u"1"_s, u"2"_s}));
}

TEST(RollCallWindow, DrawOfAValueInNoGroupShowsItWithoutAGroup) {
    NumberWindow t;
    t.pickWith(rowOf(3, 48));
    t.ui().txtShu->setText(u"100"_s);
    click(t.ui().ImgZdy[0]); // in the pool, in no group
    t.pickWith(rowOf(49, 49));
    EXPECT_EQ(t.st().PickIndex, 49);
    EXPECT_EQ(t.st().PickKey, u"100"_s);
    EXPECT_EQ(t.ui().List1->currentRow(), -1); // no member of the group on show is the pick
    EXPECT_EQ(t.ui().lblXm->text(), u"\r\n100"_s);
}

TEST(RollCallWindow, NextGroupButton) {
    NumberWindow t;
    click(t.ui().cmdNext[0]); // one group: nothing
    EXPECT_EQ(t.st().CurrentGroup, 1);
    t.setRange(1, 10);
    t.group(0, 3);
    click(t.ui().cmdNext[0]);
    EXPECT_EQ(t.st().CurrentGroup, 2);
    EXPECT_EQ(itemTexts(t.ui().List1), range(5, 8));
    click(t.ui().cmdNext[0]);
    click(t.ui().cmdNext[0]);
    EXPECT_EQ(t.st().CurrentGroup, 1);
    EXPECT_EQ(t.ui().List2->currentRow(), 0);
    EXPECT_TRUE(t.played().isEmpty());
}

TEST(RollCallWindow, GroupsFollowARegroupingForDraws) {
    NumberWindow t;
    t.pickWith(rowOf(30, 48));
    t.setRange(1, 10);
    t.group(0, 5, true); // groups formed anew: the draws find members in the new plan
    t.pickWith(rowOf(7, 10));
    EXPECT_EQ(t.st().PickKey, u"7"_s);
    EXPECT_EQ(shown(t), u"7"_s);
    EXPECT_EQ(t.st().CurrentGroup, t.st().RosterTable.at(7, 2).number);
}

TEST(RollCallWindow, RowColumnCategoryFromTheMenu) {
    NumberWindow t;
    t.ui().MnFl[2]->trigger();
    EXPECT_EQ(t.st().PickCategory, 2);
    EXPECT_TRUE(t.ui().OptFl[2]->isChecked());
    EXPECT_EQ(t.ui().txtXh[0]->text(), u"6"_s);
    EXPECT_EQ(t.ui().txtXh[1]->text(), u"8"_s);
    EXPECT_EQ(t.ui().LblVal1->text(), u"行数"_s);
    EXPECT_EQ(t.ui().LblVal2->text(), u"列数"_s);
    EXPECT_EQ(t.ui().txtShu->text(), u"1-1,1-2"_s);
    EXPECT_EQ(t.ui().lblXm->text(), u"行列\r\n点名"_s);
    EXPECT_FALSE(t.ui().MnFl[2]->isEnabled());
    EXPECT_TRUE(t.ui().MnFl[0]->isEnabled());
    EXPECT_TRUE(t.ui().MnFl[1]->isEnabled());
    EXPECT_EQ(comboTexts(t.ui().cmbXs), (QStringList{u"座号"_s, u"组号座号"_s, u"组号组员号座号"_s}));
    EXPECT_EQ(t.ui().cmbXs->currentText(), u"组号座号"_s);
    EXPECT_EQ(t.ui().List1->count(), 48);
    EXPECT_EQ(t.ui().List1->item(8)->text(), u"2-1"_s);

    t.setRange(2, 10);
    t.group(0, 1);
    t.ui().List1->setCurrentRow(19);
    EXPECT_EQ(t.st().PickText, u"2行10列"_s);
    EXPECT_EQ(t.st().PickKey, u"2-10"_s);
    EXPECT_EQ(t.ui().lblXm->text(), u"1组 \r\n2行10列"_s);
    EXPECT_EQ(t.ui().LabCz->text(), u"第 1 组 20 号 ，2-10 2行10列"_s);

    // Back to numbers: the default range again, as one group.
    t.ui().OptFl[1]->setChecked(true);
    EXPECT_EQ(t.st().RosterCount, 48);
    EXPECT_EQ(t.ui().List1->item(8)->text(), u"9"_s);
    EXPECT_EQ(t.ui().LblVal1->text(), u"最小值"_s);
    EXPECT_EQ(t.ui().txtShu->text(), u"1,2,3,4"_s);
    EXPECT_TRUE(t.messages().empty());
}

TEST(RollCallWindow, DrawModeMenusAndCheckMarks) {
    NumberWindow t;
    t.ui().MnFs[1]->trigger();
    EXPECT_TRUE(t.ui().OptDmFs[1]->isChecked());
    EXPECT_FALSE(t.ui().MnFs[1]->isEnabled());
    EXPECT_TRUE(t.ui().MnFs[0]->isEnabled());
    EXPECT_EQ(t.ui().lblXm->text(), u"顺序\r\n点名"_s);
    // The option button itself changes the caption only.
    t.ui().OptDmFs[0]->setChecked(true);
    EXPECT_EQ(t.ui().lblXm->text(), u"随机\r\n点名"_s);
    EXPECT_FALSE(t.ui().MnFs[1]->isEnabled());

    ASSERT_TRUE(t.ui().MnFs[2]->isChecked());
    t.ui().MnFs[2]->trigger();
    EXPECT_FALSE(t.ui().MnFs[2]->isChecked());
    EXPECT_FALSE(t.ui().chkGd->isChecked());
    t.ui().MnFs[2]->trigger();
    EXPECT_TRUE(t.ui().MnFs[2]->isChecked());
    EXPECT_TRUE(t.ui().chkGd->isChecked());
    t.ui().chkGd->click(); // by hand
    EXPECT_FALSE(t.ui().MnFs[2]->isChecked());
}

TEST(RollCallWindow, NameListCategorySetsUpTheWindow) {
    NumberWindow t;
    t.fake.fileDialog.answers.push_back({u"/nonexistent/点名册.xls"_s, u"点名册.xls"_s});
    t.ui().OptFl[0]->setChecked(true);
    EXPECT_EQ(t.st().PickCategory, 0);
    EXPECT_EQ(t.lesson().session().FirstShow, 0);
    EXPECT_EQ(t.st().TodayLabel, u"03月16"_s);
    EXPECT_EQ(comboTexts(t.ui().cmbXs), (QStringList{u"姓名"_s, u"学号姓名"_s, u"组号姓名"_s, u"组号组员号姓名"_s,
                                                     u"组号学号姓名"_s, u"组号组员号学号姓名"_s}));
    EXPECT_EQ(t.ui().cmbXs->currentIndex(), 1);
    EXPECT_FALSE(t.ui().MnFl[0]->isEnabled());
    EXPECT_TRUE(t.ui().MnMingdanshizhi->menuAction()->isVisible());
    EXPECT_TRUE(t.ui().FrXls->isVisibleTo(t.ui().fraShezhi));
    EXPECT_FALSE(t.ui().frSz->isVisibleTo(t.ui().fraShezhi));
    EXPECT_FALSE(t.ui().frXx->isVisibleTo(t.ui().fraxianshi));
}
