// A roll book of five classes in each format: the class box and the class menu list them, each
// class loads when it is chosen, and another roll book's classes replace them.
#include "rollbook/FormatWindow.h"

namespace rostrel::test {
namespace {

const QStringList kFiveClasses{QStringLiteral("1班"), QStringLiteral("2班"), QStringLiteral("3班"),
                               QStringLiteral("4班"), QStringLiteral("5班")};

class FiveClasses : public ::testing::TestWithParam<const char*> {
protected:
    QString ext() const { return QString::fromUtf8(GetParam()); }
};
INSTANTIATE_TEST_SUITE_P(RollBookFormats, FiveClasses, kRollBookFormats, formatTestName);

// Class `n` ("n班") holds 9 + n students "学生n-1" ... numbered from 1, no grouping, no scores:
// it is grouped in order into the number of groups the group-count box shows (1 unless another
// class set it), and every student is in today's pool.
void expectClassShown(FormatWindow& t, int n, int groups = 1) {
    SCOPED_TRACE(n);
    const int students = 9 + n;
    const int size = (students + groups - 1) / groups;
    const QString last = QString::number(students);
    EXPECT_EQ(t.session().ClassIndex, n);
    EXPECT_EQ(t.session().RosterCount, students);
    EXPECT_EQ(t.groupingTitle(), last + QStringLiteral("人分组规则"));
    const QStringList entries = t.studentList();
    ASSERT_EQ(entries.size(), students);
    EXPECT_EQ(entries.first(), QStringLiteral("1_学生%1-1").arg(n));
    EXPECT_EQ(entries.last(), QStringLiteral("%1_学生%2-%1").arg(last).arg(n));
    EXPECT_EQ(t.find<QLineEdit>(QStringLiteral("txtFz(0)"))->text(), QString::number(groups));
    EXPECT_EQ(t.find<QLineEdit>(QStringLiteral("txtFz(1)"))->text(), QString::number(size));
    EXPECT_EQ(t.find<QListWidget>(QStringLiteral("List2"))->count(), groups);
    auto* members = t.find<QListWidget>(QStringLiteral("List1")); // group 1
    ASSERT_EQ(members->count(), size);
    EXPECT_EQ(members->item(0)->text(), QStringLiteral("学生%1-1").arg(n));
    EXPECT_EQ(t.session().PoolCount, students);
    EXPECT_TRUE(t.nameLabelEnabled());
}

TEST_P(FiveClasses, ListedInTheBoxAndTheMenuAndLoadedOneByOne) {
    FormatWindow t(ext());
    t.put(t.fixture(QStringLiteral("five_classes")));
    const QByteArray before = fileBytes(t.rollBook());
    t.openNameList();

    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(t.classList(), kFiveClasses);
    EXPECT_EQ(t.classMenu(), kFiveClasses);
    EXPECT_EQ(t.find<QComboBox>(QStringLiteral("cmbXls"))->currentIndex(), 0);
    EXPECT_TRUE(t.find(QStringLiteral("Image2"))->isVisible());
    expectClassShown(t, 1);

    // Down the class box with the arrow keys: each class in turn.
    for (int n = 2; n <= 5; ++n) {
        t.chooseClass(n - 1);
        expectClassShown(t, n);
    }
    // The menu reaches every class, the items made for this roll book too.
    t.chooseClassFromMenu(0);
    expectClassShown(t, 1);
    t.chooseClassFromMenu(3);
    expectClassShown(t, 4);
    EXPECT_EQ(t.find<QComboBox>(QStringLiteral("cmbXls"))->currentText(), QStringLiteral("4班"));

    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(fileBytes(t.rollBook()), before);
}

TEST_P(FiveClasses, AnotherRollBookReplacesTheClassesAndTheMenu) {
    FormatWindow t(ext());
    t.put(t.fixture(QStringLiteral("five_classes")));
    const QString other = t.put(t.fixture(QStringLiteral("lo_rollbook")), QStringLiteral("高一.") + ext());
    const QByteArray fiveBefore = fileBytes(t.rollBook());
    const QByteArray otherBefore = fileBytes(other);
    t.openNameList();
    t.chooseClass(1);
    expectClassShown(t, 2);

    // Class 2 is chosen when the other roll book is: its listing starts at its own class 2 and
    // ends on its first class.
    t.chooseFile(other);
    const QStringList three{QStringLiteral("高一(1)班"), QStringLiteral("高一(2)班"), QStringLiteral("高一(3)班")};
    EXPECT_EQ(t.classList(), three);
    EXPECT_EQ(t.classMenu(), three);
    EXPECT_EQ(t.find<QLineEdit>(QStringLiteral("txtFn"))->text(), other);
    EXPECT_EQ(t.session().ClassIndex, 1);
    EXPECT_EQ(t.session().RosterCount, 45);
    EXPECT_EQ(t.find<QListWidget>(QStringLiteral("List2"))->count(), 9); // its stored grouping
    EXPECT_EQ(t.studentList().first(), QStringLiteral("1_罗洁"));

    // And back: the menu grows to five again, and its new last item loads class 5. The group
    // count of the other roll book's grouping (9) stays in its box and groups these classes.
    t.chooseFile(t.rollBook());
    EXPECT_EQ(t.classMenu(), kFiveClasses);
    expectClassShown(t, 1, 9);
    t.chooseClassFromMenu(4);
    expectClassShown(t, 5, 9);

    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(fileBytes(t.rollBook()), fiveBefore);
    EXPECT_EQ(fileBytes(other), otherBefore);
}

} // namespace
} // namespace rostrel::test
