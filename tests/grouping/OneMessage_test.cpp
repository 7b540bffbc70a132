// A wrong entry in a range box or a grouping box, left with Tab or Enter or followed by a
// click on a grouping image, in the shown window whose messages are real modal dialogs (they
// take the activation and the focus while they show): one message per wrong entry, and the
// focus where the program puts it.
#include "support/LiveWindow.h"
#include "support/NumberWindow.h"

#include <QRadioButton>

using namespace rostrel;
using namespace rostrel::test;

namespace {

const QString kCheckData = QStringLiteral("请检查数据的合理性");

// The widget Tab moves to from `w`.
QWidget* after(QWidget* w) {
    for (QWidget* n = w->nextInFocusChain(); n && n != w; n = n->nextInFocusChain())
        if ((n->focusPolicy() & Qt::TabFocus) && n->isVisible() && n->isEnabled())
            return n;
    return nullptr;
}

TEST(OneMessage, RangeBoxLeftWithTab) {
    LiveWindow t(true);
    TextBox* first = t.find<TextBox>(QStringLiteral("txtXh(0)"));
    LiveWindow::retype(first, QStringLiteral("100")); // above the largest, 48
    QWidget* next = after(first);
    LiveWindow::key(Qt::Key_Tab);
    expectOnlyMessage(t.messages(), kWarningCaption, kCheckData, MessageIcon::Error);
    EXPECT_EQ(LiveWindow::focused(), next); // the focus stays where Tab put it
    EXPECT_EQ(t.list("lstHm")->count(), 48);
}

TEST(OneMessage, RangeBoxWithEnter) {
    LiveWindow t(true);
    TextBox* second = t.find<TextBox>(QStringLiteral("txtXh(1)"));
    LiveWindow::retype(second, QStringLiteral("x"));
    LiveWindow::key(Qt::Key_Return);
    expectOnlyMessage(t.messages(), kWarningCaption, kCheckData, MessageIcon::Error);
    EXPECT_EQ(LiveWindow::focused(), second);
    EXPECT_EQ(backColor(second), kEditingBack);

    // Put right, Enter rebuilds the list without a message.
    LiveWindow::retype(second, QStringLiteral("30"));
    LiveWindow::key(Qt::Key_Return);
    EXPECT_EQ(t.messages().size(), 1u);
    EXPECT_EQ(t.list("lstHm")->count(), 30);
}

TEST(OneMessage, GroupCountThenGroupingImage) {
    LiveWindow t(true);
    TextBox* count = t.find<TextBox>(QStringLiteral("txtFz(0)"));
    LiveWindow::retype(count, QStringLiteral("0"));
    LiveWindow::clickOn(t.find(QStringLiteral("imgFz(1)")));
    expectOnlyMessage(t.messages(), kAppTitle, QStringLiteral("请输入正确的组数，值范围为[1~48]"), MessageIcon::None);
    EXPECT_EQ(LiveWindow::focused(), count);
    EXPECT_EQ(t.session().GroupCount, 1); // the grouping went ahead with one group

    t.messages().clear();
    LiveWindow::retype(count, QStringLiteral("99"));
    LiveWindow::key(Qt::Key_Return);
    expectOnlyMessage(t.messages(), kAppTitle, QStringLiteral("请输入正确的组数，值范围为[1~48]"), MessageIcon::None);
    EXPECT_EQ(LiveWindow::focused(), count);
}

TEST(OneMessage, GroupSizeThenGroupingImage) {
    LiveWindow t(true);
    LiveWindow::clickOn(t.find<QRadioButton>(QStringLiteral("OptFz(1)")));
    TextBox* size = t.find<TextBox>(QStringLiteral("txtFz(1)"));
    ASSERT_TRUE(size->isEnabled());
    LiveWindow::retype(size, QStringLiteral("4"));
    LiveWindow::clickOn(t.find(QStringLiteral("imgFz(0)")));
    // No class was loaded, so every size is out of range [1~0].
    expectOnlyMessage(t.messages(), kAppTitle, QStringLiteral("请输入每组的人数，值范围为[1~0]"), MessageIcon::None);
    EXPECT_EQ(LiveWindow::focused(), size);
    EXPECT_EQ(t.session().GroupCount, 12);
}

} // namespace
