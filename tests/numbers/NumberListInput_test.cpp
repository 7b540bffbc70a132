// The number list driven with the mouse and the keyboard in the shown window: the remove
// image is there, and removes, only while an entry is selected.
#include "support/LiveWindow.h"

using namespace rostrel;
using namespace rostrel::test;

namespace {

// The focusable widget before `w` in the tab chain.
QWidget* before(QWidget* w) {
    for (QWidget* p = w->previousInFocusChain(); p && p != w; p = p->previousInFocusChain())
        if ((p->focusPolicy() & Qt::TabFocus) && p->isVisible() && p->isEnabled())
            return p;
    return nullptr;
}

TEST(NumberListInput, RemoveImageFollowsTheSelection) {
    LiveWindow t;
    auto* list = t.find<ListBox>(QStringLiteral("lstHm"));
    auto* remove = t.find<ClickLabel>(QStringLiteral("ImgZdy(1)"));
    ASSERT_EQ(list->count(), 48);
    // Clicks the remove image if it is on show: an entry that is not selected must stay.
    const auto clickRemoveIfShown = [&] {
        if (remove->isVisible())
            LiveWindow::clickOn(remove);
    };

    // Tab into the list: an entry becomes current, none is selected.
    QWidget* previous = before(list);
    ASSERT_NE(previous, nullptr);
    previous->setFocus(Qt::OtherFocusReason);
    LiveWindow::key(Qt::Key_Tab);
    ASSERT_EQ(LiveWindow::focused(), list);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_TRUE(remove->isHidden());
    clickRemoveIfShown();
    EXPECT_EQ(list->count(), 48);

    // A click selects; Ctrl+click on it unselects.
    LiveWindow::clickItem(list, 4);
    EXPECT_TRUE(remove->isVisible());
    LiveWindow::clickItem(list, 4, Qt::ControlModifier);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_TRUE(remove->isHidden());
    clickRemoveIfShown();
    EXPECT_EQ(list->count(), 48);

    // Selected with the arrow keys, the entry is removed by the image, and only it.
    LiveWindow::key(Qt::Key_Down);
    ASSERT_EQ(list->selectedItems().size(), 1);
    const QString chosen = list->selectedItems().first()->text();
    ASSERT_TRUE(remove->isVisible());
    LiveWindow::clickOn(remove);
    EXPECT_EQ(list->count(), 47);
    EXPECT_TRUE(list->findItems(chosen, Qt::MatchExactly).isEmpty());
    EXPECT_TRUE(remove->isHidden());
    EXPECT_EQ(t.session().RosterCount, 47);
    EXPECT_EQ(t.session().PoolCount, 47);
}

} // namespace
