// The score box and the clock amount typed into and pasted into in the shown window: only
// number characters get in, and leaving the box (Tab) or Enter leaves the number it begins
// with in its shortest form.
#include "support/LiveWindow.h"

#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

using namespace rostrel;
using namespace rostrel::test;

namespace {

struct Entry {
    const char* typed;
    const char* kept;
};

const Entry kEntries[] = {
    {"1a.5", "1.5"}, {"007", "7"}, {"1.50", "1.5"}, {"", "0"}, {"-", "0"}, {"2.5.1", "2.5"}, {"-x3", "-3"},
};

class EntryBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        // The score box shows in the name-list category (no roll book chosen here).
        LiveWindow::clickOn(t.find<QRadioButton>(QStringLiteral("OptFl(0)")));
        ASSERT_TRUE(t.combo("Combo1", 0)->isVisible());
        ASSERT_TRUE(t.combo("Combo1", 1)->isVisible());
    }
    LiveWindow t;
};

TEST_F(EntryBoxes, TypedTextFollowsTheRulesOnTabAndEnter) {
    for (int i = 0; i < 2; ++i) {
        auto* box = t.find<QComboBox>(arrayName("Combo1", i));
        for (const Entry& e : kEntries) {
            for (Qt::Key leave : {Qt::Key_Tab, Qt::Key_Return}) {
                LiveWindow::retype(box->lineEdit(), QString::fromLatin1(e.typed));
                ASSERT_EQ(LiveWindow::focused(), box);
                LiveWindow::key(leave);
                EXPECT_EQ(box->currentText(), QString::fromLatin1(e.kept))
                    << "Combo1(" << i << ") typed " << e.typed << (leave == Qt::Key_Tab ? " Tab" : " Enter");
                EXPECT_EQ(LiveWindow::focused() == box, leave == Qt::Key_Return);
            }
        }
        EXPECT_EQ(box->count(), 11 - i); // nothing typed joins the list
    }
}

TEST_F(EntryBoxes, PastedTextKeepsOnlyNumberCharacters) {
    for (int i = 0; i < 2; ++i) {
        auto* box = t.find<QComboBox>(arrayName("Combo1", i));
        LiveWindow::retype(box->lineEdit(), QString());
        QApplication::clipboard()->setText(QStringLiteral("1a.5分"));
        LiveWindow::key(Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(box->currentText(), QStringLiteral("1.5")) << i;
        QApplication::clipboard()->setText(QStringLiteral("-"));
        LiveWindow::retype(box->lineEdit(), QString());
        LiveWindow::key(Qt::Key_V, Qt::ControlModifier);
        LiveWindow::key(Qt::Key_Tab);
        EXPECT_EQ(box->currentText(), QStringLiteral("0")) << i;
    }
}

} // namespace
