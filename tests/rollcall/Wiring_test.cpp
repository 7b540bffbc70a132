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
    t.ui().chkXx->setChecked(true);
    QApplication::processEvents();
    t.ui().chkCf->setChecked(true);
    clickItem(t.ui().List1, 4);
    EXPECT_EQ(t.st().PickKey, u"5"_s);
    EXPECT_EQ(t.ui().lblXm->text(), u"1组 \r\n5"_s);
    EXPECT_FALSE(t.pool().contains(u"5"_s));
    EXPECT_EQ(t.st().PoolCount, 47);
}

TEST(RollCallWiring, EnterInTheBoxesRunsTheirSteps) {
    NumberWindow t;
    t.ui().txtXh[1]->setText(u"12"_s);
    pressEnter(t.ui().txtXh[1]);
    EXPECT_EQ(t.st().RosterCount, 12);
    t.ui().txtFz[0]->setText(u"3"_s);
    pressEnter(t.ui().txtFz[0]);
    EXPECT_EQ(t.ui().txtFz[1]->text(), u"4"_s);
    t.ui().imgFz[1]->click();
    EXPECT_EQ(t.ui().List2->count(), 3);
    t.ui().txtShu->setText(u"20"_s);
    pressEnter(t.ui().txtShu);
    EXPECT_EQ(t.st().RosterCount, 13);
}

TEST(RollCallWiring, NameLabelAndTimer) {
    NumberWindow t;
    t.ui().lblXm->click();
    EXPECT_TRUE(t.ui().Timer1->isActive());
    t.fake.random.scripted.push_back(0.0f);
    QMetaObject::invokeMethod(t.ui().Timer1, "timeout", Qt::DirectConnection);
    EXPECT_EQ(t.st().PickKey, u"1"_s);
    t.ui().lblXm->click();
    EXPECT_FALSE(t.ui().Timer1->isActive());
    EXPECT_EQ(t.played(), (QStringList{u"sound\\type0.wav"_s, u"sound\\type.wav"_s}));
    t.ui().cmdNext[1]->click();
    EXPECT_FALSE(t.ui().chkGd->isChecked());
    EXPECT_EQ(t.played().size(), 3);
}

TEST(RollCallWiring, EnterAndSpaceOnAFocusedImageRunItsAction) {
    NumberWindow t;
    enterText(t.ui().txtFz[0], u"4"_s);
    pressKey(t.ui().imgFz[1], Qt::Key_Return, u"\r"_s); // 顺序分组
    EXPECT_EQ(t.ui().List2->count(), 4);
    EXPECT_EQ(t.members(1), range(1, 12));
    pressKey(t.ui().imgFz[0], Qt::Key_A, u"a"_s); // no activation key: nothing happens
    EXPECT_EQ(t.members(1), range(1, 12));
    pressKey(t.ui().imgFz[0], Qt::Key_Space, u" "_s); // 随机分组
    EXPECT_NE(t.members(1), range(1, 12));

    pressKey(t.ui().imgJs, Qt::Key_Space, u" "_s);
    EXPECT_TRUE(t.ui().timJs->isActive());
    EXPECT_EQ(t.ui().imgJs->toolTip(), u"暂停"_s);
    pressKey(t.ui().imgJs, Qt::Key_Enter, u"\r"_s);
    EXPECT_FALSE(t.ui().timJs->isActive());

    pressKey(t.ui().ImgZdy[2], Qt::Key_Space, u" "_s); // 清空列表
    EXPECT_EQ(t.ui().lstHm->count(), 0);
    EXPECT_EQ(t.st().RosterCount, 0);
}
