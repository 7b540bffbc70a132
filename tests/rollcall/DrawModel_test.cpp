// The lesson holds the group shown, the member selected and the pick; the window's lists and
// labels follow it, and a draw refills the member list only when it moves to another group.
#include "support/NumberWindow.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::test;
using namespace Qt::StringLiterals;

namespace {

QString shown(NumberWindow& t) {
    return t.list("List1")->currentItem() ? t.list("List1")->currentItem()->text() : QString();
}

// 1..10 in groups of 4: 1-4 | 5-8 | 9-10, drawn in order, one pick per click.
void tenInThreeGroupsInOrder(NumberWindow& t) {
    t.setRange(1, 10);
    t.group(0, 3);
    check(t.button("OptDmFs", 1), true);
    check(t.button("chkGd"), false);
}

} // namespace

TEST(DrawModel, SequentialDrawsGoOnFromWhatTheTeacherChose) {
    NumberWindow t;
    tenInThreeGroupsInOrder(t);
    clickRow(t.list("List2"), 1);
    EXPECT_EQ(t.lesson().currentGroup(), 2);
    EXPECT_EQ(t.lesson().selectedMember(), 0);
    clickRow(t.list("List1"), 2);
    EXPECT_EQ(t.lesson().selectedMember(), 3);
    EXPECT_EQ(t.lesson().pickKey(), u"7"_s);
    QStringList seen;
    for (int i = 0; i < 4; ++i) {
        click(t.label("lblXm"));
        seen.append(QString::number(t.lesson().currentGroup()) + u':' + shown(t));
    }
    EXPECT_EQ(seen, (QStringList{u"2:8"_s, u"3:9"_s, u"3:10"_s, u"1:1"_s}));
    // A group chosen in the list starts from its first member.
    clickRow(t.list("List2"), 2);
    click(t.label("lblXm"));
    EXPECT_EQ(shown(t), u"9"_s);
}

TEST(DrawModel, TheWindowShowsWhatTheLessonSelects) {
    NumberWindow t;
    tenInThreeGroupsInOrder(t);
    t.lesson().ShowGroup(3);
    EXPECT_EQ(t.list("List2")->currentRow(), 2);
    EXPECT_EQ(itemTexts(t.list("List1")), (QStringList{u"9"_s, u"10"_s}));
    EXPECT_EQ(t.list("List1")->currentRow(), -1);
    EXPECT_EQ(t.label("LabXx")->text(), u"10人分3组，第3组有2人"_s);

    t.lesson().SelectMember(2);
    EXPECT_EQ(t.list("List1")->currentRow(), 1);
    EXPECT_EQ(t.label("lblXm")->text(), u"3组 \r\n10"_s);
    EXPECT_EQ(t.label("LabCz")->text(), u"第 3 组 2 号 ，10 10"_s);
    EXPECT_EQ(t.lesson().nameCaption(), t.label("lblXm")->text());
    EXPECT_EQ(t.lesson().positionLine(), t.label("LabCz")->text());

    // "下一组" from the last group goes back to the first; the group on show keeps nothing selected.
    t.lesson().NextGroup();
    EXPECT_EQ(t.list("List2")->currentRow(), 0);
    EXPECT_EQ(itemTexts(t.list("List1")), range(1, 4));
    EXPECT_EQ(t.list("List1")->currentRow(), -1);
    // The draw rule's caption replaces the pick's.
    check(t.button("OptDmFs", 0), true);
    EXPECT_EQ(t.label("lblXm")->text(), u"随机\r\n点名"_s);
}

TEST(DrawModel, DrawsWithinTheGroupOnShowKeepTheMemberList) {
    NumberWindow t;
    t.setRange(1, 10);
    t.group(0, 2); // 1-5 | 6-10
    QSignalSpy filled(t.list("List1")->model(), &QAbstractItemModel::rowsInserted);
    t.pickWith(0.25f); // pool row 3: "3", in group 1 on show
    t.pickWith(0.05f); // "1"
    EXPECT_EQ(shown(t), u"1"_s);
    EXPECT_EQ(filled.count(), 0);
    t.pickWith(0.85f); // "9", in group 2
    EXPECT_EQ(filled.count(), 1);
    EXPECT_EQ(itemTexts(t.list("List1")), range(6, 10));
    EXPECT_EQ(shown(t), u"9"_s);
    EXPECT_EQ(t.label("LabXx")->text(), u"10人分2组，第2组有5人"_s);
    // A grouping in order anew fills it again, even with the same members.
    t.group(0, 2);
    EXPECT_EQ(filled.count(), 2);
    EXPECT_EQ(itemTexts(t.list("List1")), range(1, 5));
    EXPECT_EQ(t.list("List1")->currentRow(), -1);
}

TEST(DrawModel, ScoreImageFollowsTheLesson) {
    NumberWindow t;
    EXPECT_FALSE(t.lesson().scoreImageShown());
    t.pickWith(0.5f); // numbers: a pick alone leaves the score image hidden
    EXPECT_FALSE(t.widget("imgXie", 1)->isVisibleTo(t.widget("imgXie", 1)->parentWidget()));
    check(t.button("chkCf"), true);
    t.pickWith(0.5f); // the no-repeat step shows it in every category
    EXPECT_TRUE(t.lesson().scoreImageShown());
    EXPECT_TRUE(t.widget("imgXie", 1)->isVisibleTo(t.widget("imgXie", 1)->parentWidget()));
    EXPECT_EQ(t.session().PoolCount, 47);
}
