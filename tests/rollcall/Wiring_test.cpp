// The controls reach their handlers: mouse on the member list, Enter in the boxes, clicks on
// the labels and images, the rolling timer.
#include "support/NumberWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::test;
using namespace Qt::StringLiterals;

namespace {

void clickItem(QListWidget* list, int row) {
    list->scrollToItem(list->item(row));
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
}

} // namespace

TEST(RollCallWiring, ClickingAMemberPicksItAndTakesItOut) {
    NumberWindow t;
    t.w().show();
    check(t.button("chkXx"), true);
    QApplication::processEvents();
    check(t.button("chkCf"), true);
    clickItem(t.list("List1"), 4);
    EXPECT_EQ(t.session().PickKey, u"5"_s);
    EXPECT_EQ(t.label("lblXm")->text(), u"1组 \r\n5"_s);
    EXPECT_FALSE(t.pool().contains(u"5"_s));
    EXPECT_EQ(t.session().PoolCount, 47);
}

TEST(RollCallWiring, EnterInTheBoxesRunsTheirSteps) {
    NumberWindow t;
    replaceText(t.box("txtXh", 1), u"12"_s);
    pressEnter(t.box("txtXh", 1));
    EXPECT_EQ(t.session().RosterCount, 12);
    replaceText(t.box("txtFz", 0), u"3"_s);
    pressEnter(t.box("txtFz", 0));
    EXPECT_EQ(t.box("txtFz", 1)->text(), u"4"_s);
    click(t.label("imgFz", 1));
    EXPECT_EQ(t.list("List2")->count(), 3);
    replaceText(t.box("txtShu"), u"20"_s);
    pressEnter(t.box("txtShu"));
    EXPECT_EQ(t.session().RosterCount, 13);
}

TEST(RollCallWiring, NameLabelAndTimer) {
    NumberWindow t;
    click(t.label("lblXm"));
    EXPECT_TRUE(t.timer("Timer1")->isActive());
    t.fake.random.scripted.push_back(0.0f);
    tick(t.timer("Timer1"));
    EXPECT_EQ(t.session().PickKey, u"1"_s);
    click(t.label("lblXm"));
    EXPECT_FALSE(t.timer("Timer1")->isActive());
    EXPECT_EQ(t.played(), (QStringList{u"sound\\type0.wav"_s, u"sound\\type.wav"_s}));
    click(t.button("cmdNext", 1));
    EXPECT_FALSE(t.button("chkGd")->isChecked());
    EXPECT_EQ(t.played().size(), 3);
}

TEST(RollCallWiring, EnterAndSpaceOnAFocusedImageRunItsAction) {
    NumberWindow t;
    enterText(t.box("txtFz", 0), u"4"_s);
    pressKey(t.label("imgFz", 1), Qt::Key_Return, u"\r"_s); // 顺序分组
    EXPECT_EQ(t.list("List2")->count(), 4);
    EXPECT_EQ(t.members(1), range(1, 12));
    pressKey(t.label("imgFz", 0), Qt::Key_A, u"a"_s); // no activation key: nothing happens
    EXPECT_EQ(t.members(1), range(1, 12));
    pressKey(t.label("imgFz", 0), Qt::Key_Space, u" "_s); // 随机分组
    EXPECT_NE(t.members(1), range(1, 12));

    pressKey(t.label("imgJs"), Qt::Key_Space, u" "_s);
    EXPECT_TRUE(t.timer("timJs")->isActive());
    EXPECT_EQ(t.label("imgJs")->toolTip(), u"暂停"_s);
    pressKey(t.label("imgJs"), Qt::Key_Enter, u"\r"_s);
    EXPECT_FALSE(t.timer("timJs")->isActive());

    pressKey(t.label("ImgZdy", 2), Qt::Key_Space, u" "_s); // 清空列表
    EXPECT_EQ(t.list("lstHm")->count(), 0);
    EXPECT_EQ(t.session().RosterCount, 0);
}
