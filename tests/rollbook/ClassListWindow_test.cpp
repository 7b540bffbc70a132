// The class list and the grouping rule in the window are the lesson's: what the teacher does
// with the controls reaches the lesson, and what the lesson changes is shown.
#include "rollbook/RollBookHarness.h"
#include "shell/Widgets.h"

#include <gtest/gtest.h>

namespace rostrel::test {
namespace {

using namespace Qt::StringLiterals;

const std::string kBook = "/fake/点名册.xls";

QStringList comboTexts(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

TEST(ClassListWindow, ControlsAndMenuFollowTheLesson) {
    RollBookWindow t;
    t.addRollBook(kBook, {classSheet("高一(1)班", 45, 5), classSheet("理&化", 30), classSheet("高一(3)班", 1)});
    t.useRollBook(kBook);
    ASSERT_TRUE(t.widget("Image2")->isHidden());
    ASSERT_EQ(t.classItems().size(), 1); // the design's item until a roll book is listed
    t.listClasses();

    EXPECT_EQ(comboTexts(t.combo("cmbXls")), t.lesson().classNames());
    ASSERT_EQ(t.classItems().size(), 3);
    EXPECT_EQ(t.classItems()[1]->text(), u"理&&化"_s); // a mnemonic sign shown as itself
    EXPECT_FALSE(t.widget("Image2")->isHidden());
    EXPECT_EQ(t.box("txtFn")->text(), QString::fromStdString(kBook));
    EXPECT_EQ(t.frame("FrZr")->title(), u"45人分组规则"_s);

    // The menu chooses the class: the list shows it, the lesson loads it.
    t.classItems()[1]->trigger();
    EXPECT_EQ(t.combo("cmbXls")->currentIndex(), 1);
    EXPECT_EQ(t.lesson().currentClass(), 1);
    EXPECT_EQ(t.frame("FrZr")->title(), u"30人分组规则"_s);
    EXPECT_EQ(t.box("txtFz", 0)->text(), u"9"_s); // grouped by the count shown before
    EXPECT_EQ(t.box("txtFz", 1)->text(), u"4"_s);
    EXPECT_FALSE(t.widget("imgFz", 0)->isEnabled());
    EXPECT_EQ(t.list("List2")->count(), 9);
    EXPECT_EQ(t.list("List1")->count(), 4);

    // The arrow key in the list chooses the next class; it is refused and nothing of it is offered.
    pressKey(t.combo("cmbXls"), Qt::Key_Down);
    EXPECT_EQ(t.lesson().currentClass(), 2);
    EXPECT_FALSE(t.label("lblXm")->isEnabled());
    EXPECT_EQ(t.list("List2")->count(), 0);
    EXPECT_TRUE(t.widget("imgXie", 0)->isHidden());
}

TEST(ClassListWindow, RuleBoxesAndGroupInformationReachTheLesson) {
    RollBookWindow t;
    t.addRollBook(kBook, {classSheet("高一(1)班", 45, 5)});
    t.useRollBook(kBook);
    t.listClasses();

    click(t.button("OptFz", 1));
    EXPECT_EQ(t.lesson().groupRule(), 1);
    EXPECT_TRUE(t.box("txtFz", 1)->isEnabled());
    EXPECT_EQ(backColor(t.box("txtFz", 0)), kRestingBack);
    enterText(t.box("txtFz", 1), u"10"_s);
    EXPECT_EQ(t.lesson().groupRuleText(1), u"10"_s);
    EXPECT_EQ(t.box("txtFz", 0)->text(), u"5"_s); // derived when the box is left
    EXPECT_TRUE(t.widget("imgFz", 1)->isEnabled());
    click(t.widget("imgFz", 1));
    EXPECT_EQ(t.list("List2")->count(), 5);
    EXPECT_FALSE(t.widget("imgXie", 0)->isHidden()); // a new grouping to write

    click(t.button("chkXx"));
    EXPECT_TRUE(t.lesson().groupInformationShown());
    EXPECT_FALSE(t.widget("frXx")->isHidden());
    EXPECT_TRUE(t.label("lblSj")->isHidden());
}

} // namespace
} // namespace rostrel::test
