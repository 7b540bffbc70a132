// A value added after the grouping is in the pick pool but in no group. Drawn in the
// no-repeat round it is the pick, shown and taken out of the pool by its own row, and the
// round goes on through every value.
#include "support/LiveWindow.h"

#include <QCheckBox>
#include <set>

using namespace rostrel;
using namespace rostrel::test;

namespace {

TEST(UngroupedPick, NoRepeatRoundTakesEveryValueOnce) {
    LiveWindow t;
    auto* name = t.find<ClickLabel>(QStringLiteral("lblXm"));
    LiveWindow::clickOn(t.find<QCheckBox>(QStringLiteral("chkGd"))); // rolling display off
    LiveWindow::clickOn(t.find<QCheckBox>(QStringLiteral("chkCf"))); // no repeats
    ASSERT_FALSE(t.button("chkGd")->isChecked());
    ASSERT_TRUE(t.button("chkCf")->isChecked());

    LiveWindow::retype(t.find(QStringLiteral("txtShu")), QStringLiteral("49"));
    LiveWindow::key(Qt::Key_Return);
    ASSERT_EQ(t.session().PoolCount, 49);
    ASSERT_EQ(t.session().GroupCount, 1); // 1..48 as grouped at the start

    std::multiset<QString> shown;
    for (int pick = 1; pick <= 49; ++pick) {
        LiveWindow::clickOn(name);
        const QString value = name->text().split(QStringLiteral("\r\n")).last(); // the value's line
        shown.insert(value);
        EXPECT_EQ(t.session().PickKey, value) << "pick " << pick;
        // The pick left the pool and nothing else did.
        EXPECT_EQ(t.session().PoolCount, pick == 49 ? 49 : 49 - pick) << "pick " << pick;
        if (pick < 49) {
            for (int i = 1; i <= t.session().PoolCount; ++i)
                EXPECT_NE(defaultText(t.session().PickPool.at(i, 1)), value) << "pick " << pick;
        }
    }
    std::multiset<QString> all;
    for (int v = 1; v <= 49; ++v)
        all.insert(QString::number(v));
    EXPECT_EQ(shown, all);
}

} // namespace
