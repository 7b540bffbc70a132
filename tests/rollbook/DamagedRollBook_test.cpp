// A damaged roll book in each format: the teacher is told, what the window shows does not
// pretend to be a class, and the file stays exactly as it was, with nothing left beside it.
#include "rollbook/FormatWindow.h"

namespace rostrel::test {
namespace {

class DamagedRollBook : public ::testing::TestWithParam<const char*> {
protected:
    QString ext() const { return QString::fromUtf8(GetParam()); }
};
INSTANTIATE_TEST_SUITE_P(RollBookFormats, DamagedRollBook, kRollBookFormats, formatTestName);

// Nothing was listed: no class, the design's single class menu item, no student to call on
// (the name box keeps the numbers of the category shown before).
void expectNothingListed(FormatWindow& t) {
    EXPECT_TRUE(t.classList().isEmpty());
    EXPECT_EQ(t.classMenu(), QStringList{QStringLiteral("班级1")});
    for (const QString& entry : t.studentList())
        EXPECT_FALSE(entry.contains(u'_')) << entry.toStdString();
    EXPECT_FALSE(t.find(QStringLiteral("Image2"))->isVisible());
    EXPECT_FALSE(t.nameLabelEnabled());
    EXPECT_FALSE(t.find(QStringLiteral("imgXie(1)"))->isVisible());
}

TEST_P(DamagedRollBook, FileThatIsNoRollBookIsRefusedAndAnotherCanBeChosen) {
    enum What { CutShort, Empty, Text };
    for (const What what : {CutShort, Empty, Text}) {
        SCOPED_TRACE(what == CutShort ? "the first half of the file" : what == Empty ? "an empty file" : "a text file");
        FormatWindow t(ext());
        if (what == CutShort)
            t.put(QStringLiteral("damaged/") + t.fixture(QStringLiteral("five_classes-cut")));
        else
            writeFile(t.rollBook(), what == Empty ? QByteArray() : QByteArrayLiteral("学号,姓名\r\n1,罗洁\r\n"));
        const QByteArray before = fileBytes(t.rollBook());
        const QString book = QFileInfo(t.rollBook()).fileName();

        t.openNameList();
        t.expectOnlyWarnings(kDamagedText, 1);
        expectNothingListed(t);
        EXPECT_EQ(fileBytes(t.rollBook()), before);
        EXPECT_EQ(t.folderFiles(), QStringList{book});

        // The teacher chooses a sound copy instead.
        const QString sound = t.put(t.fixture(QStringLiteral("five_classes")), QStringLiteral("备份.") + ext());
        t.chooseFile(sound);
        EXPECT_EQ(t.messages().size(), 1u);
        EXPECT_EQ(t.classList().size(), 5);
        EXPECT_EQ(t.session().RosterCount, 10);
        EXPECT_TRUE(t.nameLabelEnabled());

        t.window->close();
        EXPECT_EQ(fileBytes(t.rollBook()), before);
        EXPECT_EQ(t.folderFiles(), (QStringList{QFileInfo(sound).fileName(), book}));
    }
}

// A roll book saved in another format than its name says (renamed by hand, or saved by a
// program that kept the old name) is read and written as what it is.
TEST_P(DamagedRollBook, RollBookUnderAnotherFormatsNameIsReadByItsContent) {
    const QString real = ext() == u"xls"    ? QStringLiteral("xlsx")
                         : ext() == u"xlsx" ? QStringLiteral("ods")
                                            : QStringLiteral("xls");
    FormatWindow t(ext());
    t.put(QStringLiteral("five_classes.") + real);
    t.openNameList();
    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(t.classList().size(), 5);
    t.chooseClass(4);
    EXPECT_EQ(t.session().RosterCount, 14);
    t.chooseStudent(QStringLiteral("14"));
    t.writeScore(QStringLiteral("3"));
    EXPECT_TRUE(t.messages().empty());
    t.window->close();

    // Still a file of its own format, read by that format's reader.
    const QString asItIs = t.dir.filePath(QStringLiteral("读回.") + real);
    ASSERT_TRUE(QFile::copy(t.rollBook(), asItIs));
    const QString pristine = t.put(QStringLiteral("five_classes.") + real, QStringLiteral("原样.") + real);
    EXPECT_EQ(changedCells(readCells(pristine), readCells(asItIs)),
              (XlrdCells{{{QStringLiteral("5班"), 2, 7}, QStringLiteral("text:03月16")},
                         {{QStringLiteral("5班"), 16, 7}, QStringLiteral("number:3.0")}}));
}

// Class 3's sheet is broken, the rest of the file sound. An .xls or .xlsx sheet is read when
// its class is chosen, so only class 3 fails; an .ods keeps every sheet in one part, so the
// whole roll book is refused.
TEST_P(DamagedRollBook, BrokenClassSheet) {
    FormatWindow t(ext());
    t.put(QStringLiteral("damaged/") + t.fixture(QStringLiteral("five_classes-badsheet")));
    const QByteArray before = fileBytes(t.rollBook());
    const QString book = QFileInfo(t.rollBook()).fileName();
    t.openNameList();

    if (ext() == u"ods") {
        t.expectOnlyWarnings(kDamagedText, 1);
        expectNothingListed(t);
    } else {
        EXPECT_TRUE(t.messages().empty());
        EXPECT_EQ(t.classList().size(), 5);
        t.chooseClass(1);
        EXPECT_EQ(t.session().RosterCount, 11);
        t.chooseStudent(QStringLiteral("4"));
        EXPECT_TRUE(t.find(QStringLiteral("imgXie(1)"))->isVisible());

        // Class 3: the load fails and nothing of class 2 stays to be scored under its name.
        t.chooseClass(2);
        t.expectOnlyWarnings(kLoadFailedText, 1);
        EXPECT_EQ(t.session().RosterCount, 0);
        EXPECT_TRUE(t.studentList().isEmpty());
        EXPECT_EQ(t.find<QListWidget>(QStringLiteral("List1"))->count(), 0);
        EXPECT_EQ(t.find<QListWidget>(QStringLiteral("List2"))->count(), 0);
        EXPECT_FALSE(t.nameLabelEnabled());
        EXPECT_FALSE(t.find(QStringLiteral("imgXie(1)"))->isVisible());
        EXPECT_EQ(t.find<QComboBox>(QStringLiteral("cmbXls"))->currentText(), QStringLiteral("3班"));

        // The classes after it still load.
        t.chooseClass(3);
        EXPECT_EQ(t.messages().size(), 1u);
        EXPECT_EQ(t.session().RosterCount, 13);
        EXPECT_EQ(t.studentList().first(), QStringLiteral("1_学生4-1"));
        EXPECT_TRUE(t.nameLabelEnabled());
    }

    t.window->close();
    EXPECT_EQ(fileBytes(t.rollBook()), before);
    EXPECT_EQ(t.folderFiles(), QStringList{book});
}

} // namespace
} // namespace rostrel::test
