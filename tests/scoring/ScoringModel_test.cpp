// The lesson's writes go to the class loaded, whichever class the roll book listed first.
#include "rollbook/RollBookHarness.h"

#include <gtest/gtest.h>

namespace rostrel::test {
namespace {

const std::string kBook = "/fake/点名册.xls";

TEST(ScoringModel, AbsentMarkAndScoreGoToTheClassLoaded) {
    RollBookWindow t;
    t.addRollBook(kBook, {classSheet("一班", 10, 5), classSheet("二班", 6)});
    t.useRollBook(kBook);
    check(t.button("chkRq"), true); // today's own column: G, with no header yet
    t.listClasses();
    chooseItem(t.combo("cmbXls"), 1);
    t.choose(QStringLiteral("3"));

    click(t.w().findChild<QWidget*>(QStringLiteral("cmdQx")));
    EXPECT_EQ(t.saved(kBook, 2).get(5, 7).text, "缺");
    chooseItem(t.combo("Combo1", 0), QStringLiteral("4"));
    click(t.widget("imgXie", 1));
    EXPECT_EQ(t.saved(kBook, 2).get(5, 7).number, 4.0); // the mark counts as nothing
    EXPECT_FALSE(t.lesson().scoreImageShown());
    EXPECT_FALSE(t.widget("imgXie", 1)->isVisibleTo(t.widget("imgXie", 1)->parentWidget()));
    // The class listed first is left as it was.
    EXPECT_EQ(t.saved(kBook, 1).cells, classSheet("一班", 10, 5).cells);
    EXPECT_TRUE(t.messages().empty());
}

} // namespace
} // namespace rostrel::test
