// The number list in the window: start state, the range boxes and the custom values.
#include "rollcall/ControlHelpers.h"
#include "support/NumberWindow.h"

#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::test;
using namespace Qt::StringLiterals;

namespace {

const QString kCheckData = u"请检查数据的合理性"_s;

void expectWarning(NumberWindow& t, const QString& text) {
    expectOnlyMessage(t.messages(), u"警告"_s, text, MessageIcon::Error);
}

} // namespace

TEST(NumbersWindow, StartsWithOneToFortyEightInOneGroup) {
    NumberWindow t;
    EXPECT_EQ(t.session().PickCategory, 1);
    EXPECT_EQ(t.lesson().session().FirstShow, 0);
    EXPECT_EQ(itemTexts(t.list("lstHm")), range(1, 48));
    EXPECT_EQ(t.session().RosterCount, 48);
    EXPECT_EQ(t.session().PoolCount, 48);
    EXPECT_EQ(t.pool(), range(1, 48));
    EXPECT_EQ(comboTexts(t.combo("CmbXm")), range(1, 48));
    EXPECT_EQ(t.label("lblXm")->text(), u"号码\r\n点名"_s);
    EXPECT_EQ(comboTexts(t.combo("cmbXs")), (QStringList{u"号码"_s, u"组号号码"_s, u"组号组员号号码"_s}));
    EXPECT_EQ(t.combo("cmbXs")->currentIndex(), 1);
    EXPECT_EQ(itemTexts(t.list("List2")), QStringList{u"1"_s});
    EXPECT_EQ(itemTexts(t.list("List1")), range(1, 48));
    EXPECT_EQ(t.list("List1")->currentRow(), -1);
    EXPECT_EQ(t.session().CurrentGroup, 1);
    EXPECT_EQ(t.label("LabXx")->text(), u"48人分1组，第1组有48人"_s);
    EXPECT_EQ(t.box("txtFz", 0)->text(), u"1"_s);
    EXPECT_EQ(t.box("txtFz", 1)->text(), u"48"_s);
    EXPECT_EQ(defaultText(t.session().RosterTable.at(17, 2)), u"1"_s);
    EXPECT_EQ(defaultText(t.session().RosterTable.at(17, 3)), u"17"_s);
    EXPECT_TRUE(t.label("lblXm")->isEnabled());
    EXPECT_FALSE(t.action("MnFl", 1)->isEnabled());
    EXPECT_TRUE(t.action("MnFl", 0)->isEnabled());
    EXPECT_FALSE(t.menu("MnMingdanshizhi")->menuAction()->isVisible());
    EXPECT_TRUE(t.messages().empty());
    // A second activation changes nothing.
    t.setRange(1, 5);
    activate(t.w());
    EXPECT_EQ(t.session().RosterCount, 5);
}

TEST(NumbersWindow, RangeStepRebuildsOnlyWhenTheValuesChanged) {
    NumberWindow t;
    focusIn(t.box("txtXh", 1));
    EXPECT_EQ(backColor(t.box("txtXh", 1)), kEditingBack);
    replaceText(t.box("txtXh", 1), u"10"_s);
    pressEnter(t.box("txtXh", 1)); // Enter
    EXPECT_EQ(itemTexts(t.list("lstHm")), range(1, 10));
    EXPECT_EQ(backColor(t.box("txtXh", 1)), kRestingBack);
    // Something added after the Enter survives leaving the box: no second rebuild.
    replaceText(t.box("txtShu"), u"99"_s);
    click(t.label("ImgZdy", 0));
    focusOut(t.box("txtXh", 1));
    EXPECT_EQ(t.list("lstHm")->count(), 11);
    EXPECT_EQ(t.lesson().session().RangeVal1, 1);
    EXPECT_EQ(t.lesson().session().RangeVal2, 10);
    // The groups are not rebuilt by a change of the list.
    EXPECT_EQ(t.members(1), range(1, 48));
    EXPECT_TRUE(t.messages().empty());
}

TEST(NumbersWindow, RangeEdges) {
    NumberWindow t;
    t.setRange(u"1.4"_s, u"1.6"_s);
    EXPECT_EQ(itemTexts(t.list("lstHm")), (QStringList{u"1"_s, u"2"_s}));
    t.setRange(-3, 3);
    EXPECT_EQ(itemTexts(t.list("lstHm")), range(-3, 3));
    EXPECT_EQ(t.session().PoolCount, 7);
    EXPECT_TRUE(t.messages().empty());
}

TEST(NumbersWindow, InvalidRangeIsRefusedWithNothingChanged) {
    NumberWindow t;
    t.setRange(5, 5);
    expectWarning(t, kCheckData);
    EXPECT_EQ(backColor(t.box("txtXh", 0)), kEditingBack);
    EXPECT_EQ(t.session().RosterCount, 48);
    EXPECT_EQ(t.list("lstHm")->count(), 48);
}

TEST(NumbersWindow, RangesBeyondSixteenBitsAreRefused) {
    for (const auto& [a, b] :
         {std::pair{u"1"_s, u"40000"_s}, std::pair{u"-40000"_s, u"1"_s}, std::pair{u"0"_s, u"32767"_s}}) {
        NumberWindow t;
        t.setRange(a, b);
        expectWarning(t, kCheckData);
        EXPECT_EQ(t.session().RosterCount, 48) << a.toStdString() << ".." << b.toStdString();
        EXPECT_EQ(t.lesson().session().RangeVal2, 48);
    }
}

TEST(NumbersWindow, LargestRangeWorks) {
    NumberWindow t;
    t.setRange(1, 32767);
    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(t.session().RosterCount, 32767);
    EXPECT_EQ(t.session().PoolCount, 32767);
    EXPECT_EQ(t.combo("CmbXm")->count(), 32767);
    t.group(0, 1);
    EXPECT_EQ(t.list("List1")->count(), 32767);
    EXPECT_EQ(t.label("LabXx")->text(), u"32767人分1组，第1组有32767人"_s);
}

TEST(NumbersWindow, CustomValuesAreAddedToTheList) {
    NumberWindow t;
    t.setRange(1, 3);
    focusIn(t.box("txtShu"));
    EXPECT_TRUE(t.label("ImgZdy", 0)->isVisibleTo(t.frame("frSz")));
    EXPECT_EQ(backColor(t.box("txtShu")), kEditingBack);
    replaceText(t.box("txtShu"), QStringLiteral("3，5, 5,abc,0,-2,2.5"));
    pressEnter(t.box("txtShu"));
    EXPECT_EQ(itemTexts(t.list("lstHm")), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"5"_s, u"2.5"_s}));
    EXPECT_FALSE(t.label("ImgZdy", 0)->isVisibleTo(t.frame("frSz")));
    EXPECT_EQ(backColor(t.box("txtShu")), kRestingBack);
    EXPECT_EQ(t.session().RosterCount, 5);
    EXPECT_EQ(t.pool().back(), u"2.5"_s);
    EXPECT_EQ(comboTexts(t.combo("CmbXm")).back(), u"2.5"_s);
    EXPECT_EQ(t.combo("CmbXm")->currentIndex(), -1);
    EXPECT_TRUE(t.messages().empty());
}

TEST(NumbersWindow, CustomSeatsInTheRowColumnCategory) {
    NumberWindow t;
    check(t.button("OptFl", 2), true);
    EXPECT_EQ(t.box("txtShu")->text(), u"1-1,1-2"_s);
    click(t.label("ImgZdy", 0)); // the example text: seats already listed
    EXPECT_EQ(t.list("lstHm")->count(), 48);
    replaceText(t.box("txtShu"), u"7-1,3-5,09-9,7-1,5"_s);
    click(t.label("ImgZdy", 0));
    EXPECT_EQ(t.list("lstHm")->count(), 50);
    EXPECT_EQ(t.list("lstHm")->item(48)->text(), u"7-1"_s);
    EXPECT_EQ(t.list("lstHm")->item(49)->text(), u"9-9"_s);
    EXPECT_EQ(t.session().RosterCount, 50);
}

TEST(NumbersWindow, TooManyCustomValuesAreRefused) {
    NumberWindow t;
    t.setRange(1, 32766);
    replaceText(t.box("txtShu"), u"40000,40001"_s);
    click(t.label("ImgZdy", 0));
    expectWarning(t, kCheckData);
    EXPECT_EQ(t.session().RosterCount, 32766);
}

TEST(NumbersWindow, RemoveAndClear) {
    NumberWindow t;
    t.setRange(1, 5);
    moveToRow(t.list("lstHm"), 1);
    EXPECT_TRUE(t.label("ImgZdy", 1)->isVisibleTo(t.frame("frSz")));
    click(t.label("ImgZdy", 1));
    EXPECT_EQ(itemTexts(t.list("lstHm")), (QStringList{u"1"_s, u"3"_s, u"4"_s, u"5"_s}));
    EXPECT_FALSE(t.label("ImgZdy", 1)->isVisibleTo(t.frame("frSz")));
    EXPECT_EQ(t.pool(), (QStringList{u"1"_s, u"3"_s, u"4"_s, u"5"_s}));
    click(t.label("ImgZdy", 1)); // nothing selected any more
    EXPECT_EQ(t.list("lstHm")->count(), 4);
    moveToRow(t.list("lstHm"), 3);
    doubleClickCurrent(t.list("lstHm"));
    EXPECT_EQ(itemTexts(t.list("lstHm")), (QStringList{u"1"_s, u"3"_s, u"4"_s}));
    click(t.label("ImgZdy", 2));
    EXPECT_EQ(t.list("lstHm")->count(), 0);
    EXPECT_EQ(t.session().RosterCount, 0);
    EXPECT_EQ(t.session().PoolCount, 0);
    EXPECT_EQ(t.combo("CmbXm")->count(), 0);
    // Drawing from the emptied pool selects nothing and does not fail.
    t.pickWith(0.5f);
    EXPECT_EQ(t.list("List1")->currentRow(), -1);
}
