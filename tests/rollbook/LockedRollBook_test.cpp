// A roll book that another program holds open, in each format: its lock file beside the roll
// book makes the roll book read-only (the teacher is asked to close the other program, no score
// is written, the other lock is left alone); once the other program lets go, scores are written
// again. A lock this program left behind in an earlier run does not block it, and another
// program's save made while this program holds the roll book is kept.
#include "rollbook/FormatWindow.h"

#include "platform/workbook/Workbook.h"

#include <cstdio>
#include <pwd.h>
#include <unistd.h>

namespace rostrel::test {
namespace {

const QString kClass1 = QStringLiteral("1班");

QString userName() {
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_name ? QString::fromLocal8Bit(pw->pw_name) : QStringLiteral("user");
}
QString hostName() {
    char buf[256] = {};
    return ::gethostname(buf, sizeof buf - 1) == 0 ? QString::fromLocal8Bit(buf) : QStringLiteral("localhost");
}

struct OtherProgram {
    const char* name;
    QString lockName; // beside 点名册.<ext>; %1 is the roll book's file name
    QByteArray content;
};

// The lock files of the programs a teacher opens a roll book with.
std::vector<OtherProgram> otherPrograms() {
    return {
        // Excel and WPS: an owner file holding the user's name.
        {"owner file", QStringLiteral("~$%1"), QByteArray("\x07teacher") + QByteArray(47, ' ')},
        // LibreOffice, by the same user on this computer (the usual case: the roll book open in
        // the office suite beside this program).
        {"LibreOffice, same user", QStringLiteral(".~lock.%1#"),
         (QStringLiteral("王老师,") + userName() + u',' + hostName() +
          QStringLiteral(",16.03.2026 09:58,file:///home/") + userName() + QStringLiteral("/.config/libreoffice/4;"))
             .toUtf8()},
        // LibreOffice on a colleague's computer, the roll book on a shared folder.
        {"LibreOffice, another computer", QStringLiteral(".~lock.%1#"),
         QByteArray("李老师,li,office-pc,16.03.2026 09:40,file:///home/li/.config/libreoffice/4;")},
    };
}

class LockedRollBook : public ::testing::TestWithParam<const char*> {
protected:
    QString ext() const { return QString::fromUtf8(GetParam()); }
};
INSTANTIATE_TEST_SUITE_P(RollBookFormats, LockedRollBook, kRollBookFormats, formatTestName);

QString ourLockName(const FormatWindow& t) {
    return QStringLiteral(".~lock.") + QFileInfo(t.rollBook()).fileName() + u'#';
}

TEST_P(LockedRollBook, AnotherProgramsLockMakesItReadOnlyUntilItIsGone) {
    for (const OtherProgram& other : otherPrograms()) {
        SCOPED_TRACE(other.name);
        FormatWindow t(ext());
        t.put(t.fixture(QStringLiteral("five_classes")));
        const QString book = QFileInfo(t.rollBook()).fileName();
        const QString lock = t.dir.filePath(other.lockName.arg(book));
        writeFile(lock, other.content);
        const QByteArray before = fileBytes(t.rollBook());
        const XlrdCells cellsBefore = readCells(t.rollBook());

        // The classes are listed and class 1 read, with the request to close the other program
        // from the roster's load and from the pool's.
        t.openNameList();
        t.expectOnlyWarnings(kReadOnlyText, 2);
        EXPECT_EQ(t.classList().size(), 5);
        EXPECT_EQ(t.session().RosterCount, 10);
        EXPECT_EQ(t.studentList().size(), 10);

        // A score is not written: the request once more, no sound, the file as it was.
        t.chooseStudent(QStringLiteral("3"));
        t.writeScore(QStringLiteral("5"));
        t.expectOnlyWarnings(kReadOnlyText, 3);
        EXPECT_FALSE(t.fake.sound.played.contains(QStringLiteral("sound\\yes.wav")));
        EXPECT_EQ(fileBytes(t.rollBook()), before);
        // The other program's lock is untouched and none of ours was added.
        EXPECT_EQ(fileBytes(lock), other.content);
        EXPECT_EQ(t.folderFiles(), (QStringList{QFileInfo(lock).fileName(), book}));

        // The other program is closed: the next score is written.
        ASSERT_TRUE(QFile::remove(lock));
        t.chooseStudent(QStringLiteral("3"));
        t.writeScore(QStringLiteral("5"));
        EXPECT_EQ(t.messages().size(), 3u);
        EXPECT_TRUE(t.fake.sound.played.contains(QStringLiteral("sound\\yes.wav")));
        EXPECT_EQ(changedCells(cellsBefore, readCells(t.rollBook())),
                  (XlrdCells{{{kClass1, 2, 7}, QStringLiteral("text:03月16")},
                             {{kClass1, 5, 7}, QStringLiteral("number:5.0")}}));
        // Now this program holds the roll book, with its own lock in the office suites' format.
        ASSERT_EQ(t.folderFiles(), (QStringList{ourLockName(t), book}));
        const QByteArray ours = fileBytes(t.dir.filePath(ourLockName(t)));
        EXPECT_TRUE(ours.endsWith(';')) << ours.toStdString();
        EXPECT_TRUE(ours.contains("," + userName().toUtf8() + ",")) << ours.toStdString();

        t.window->close();
        EXPECT_EQ(t.folderFiles(), QStringList{book});
    }
}

// What an earlier run of this program left when it was killed: its lock is taken over.
TEST_P(LockedRollBook, LockLeftByAKilledRunIsTakenOver) {
    struct Leftover {
        const char* name;
        QByteArray content;
        bool old;
    };
    const QByteArray me = (u',' + userName() + u',' + hostName() + QStringLiteral(",16.03.2026 08:00,")).toUtf8();
    // This process's number with another start time: the number of a process that ended.
    const QByteArray gone = me + "rostrel-" + QByteArray::number(static_cast<qint64>(::getpid())) + "-1;";
    for (const Leftover& left : {Leftover{"a process that ended", gone, false},
                                 Leftover{"killed while writing it: empty", QByteArray(), true}}) {
        SCOPED_TRACE(left.name);
        FormatWindow t(ext());
        t.put(t.fixture(QStringLiteral("five_classes")));
        const QString book = QFileInfo(t.rollBook()).fileName();
        const QString lock = t.dir.filePath(ourLockName(t));
        writeFile(lock, left.content);
        if (left.old) {
            QFile f(lock);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        }
        const XlrdCells cellsBefore = readCells(t.rollBook());

        t.openNameList();
        EXPECT_TRUE(t.messages().empty());
        const QByteArray taken = fileBytes(lock);
        EXPECT_NE(taken, left.content);
        EXPECT_TRUE(taken.startsWith(me.left(me.indexOf(",16.03.2026")))) << taken.toStdString();

        t.chooseStudent(QStringLiteral("10"));
        t.writeScore(QStringLiteral("-2"));
        EXPECT_TRUE(t.messages().empty());
        EXPECT_EQ(changedCells(cellsBefore, readCells(t.rollBook())),
                  (XlrdCells{{{kClass1, 2, 7}, QStringLiteral("text:03月16")},
                             {{kClass1, 12, 7}, QStringLiteral("number:-2.0")}}));
        EXPECT_EQ(t.folderFiles(), (QStringList{ourLockName(t), book}));

        t.window->close();
        EXPECT_EQ(t.folderFiles(), QStringList{book});
    }
}

// A roll book the teacher may read but not write (a colleague's, on a shared folder) is
// read-only in the same way.
TEST_P(LockedRollBook, FileThatCannotBeWritten) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes any file; run as another user (CI does)";
    FormatWindow t(ext());
    t.put(t.fixture(QStringLiteral("five_classes")));
    ASSERT_TRUE(QFile::setPermissions(t.rollBook(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray before = fileBytes(t.rollBook());

    t.openNameList();
    t.expectOnlyWarnings(kReadOnlyText, 2);
    EXPECT_EQ(t.session().RosterCount, 10);
    t.chooseStudent(QStringLiteral("3"));
    t.writeScore(QStringLiteral("5"));
    t.expectOnlyWarnings(kReadOnlyText, 3);
    EXPECT_EQ(fileBytes(t.rollBook()), before);
    EXPECT_EQ(t.folderFiles(), QStringList{QFileInfo(t.rollBook()).fileName()});
}

// Another program saves the roll book while a class is loaded here (an office suite opened it
// anyway, or a colleague edited the shared file): its save is read before the next score is
// added, so both are in the file.
TEST_P(LockedRollBook, AnotherProgramsSaveMeanwhileIsKept) {
    FormatWindow t(ext());
    t.put(t.fixture(QStringLiteral("five_classes")));
    const XlrdCells cellsBefore = readCells(t.rollBook());
    // The other program's version, saved as office suites save: a new file renamed over it.
    const QString theirs = t.put(t.fixture(QStringLiteral("five_classes")), QStringLiteral("另存.") + ext());
    {
        auto book = workbook::openWorkbook(theirs.toStdString());
        book->activate(1);
        book->setCell(2, 7, workbook::CellValue::fromText("03月16"));
        book->setCell(6, 7, workbook::CellValue::fromNumber(2));
        book->setCell(3, 2, workbook::CellValue::fromText("改名"));
        book->save();
    }
    t.openNameList();
    ASSERT_EQ(t.session().RosterCount, 10);

    ASSERT_EQ(std::rename(QFile::encodeName(theirs).constData(), QFile::encodeName(t.rollBook()).constData()), 0);
    t.chooseStudent(QStringLiteral("3"));
    t.writeScore(QStringLiteral("5"));
    EXPECT_TRUE(t.messages().empty());
    EXPECT_EQ(changedCells(cellsBefore, readCells(t.rollBook())),
              (XlrdCells{{{kClass1, 2, 7}, QStringLiteral("text:03月16")},
                         {{kClass1, 3, 2}, QStringLiteral("text:改名")},
                         {{kClass1, 5, 7}, QStringLiteral("number:5.0")},
                         {{kClass1, 6, 7}, QStringLiteral("number:2.0")}}));

    // Loaded again, the class shows the other program's change, and the two scored students
    // are out of today's pool.
    t.chooseClassFromMenu(0);
    EXPECT_EQ(t.studentList().first(), QStringLiteral("1_改名"));
    EXPECT_EQ(t.session().PoolCount, 8);
    EXPECT_TRUE(t.messages().empty());
}

// An office suite told to open the roll book anyway writes its own lock over ours: when this
// program lets the roll book go, that lock stays.
TEST_P(LockedRollBook, OfficeSuitesLockWrittenOverOursStays) {
    FormatWindow t(ext());
    t.put(t.fixture(QStringLiteral("five_classes")));
    t.openNameList();
    const QString lock = t.dir.filePath(ourLockName(t));
    ASSERT_TRUE(QFileInfo::exists(lock));
    const QByteArray theirs("王老师,teacher,classroom-pc,16.03.2026 10:05,file:///home/teacher/.config/libreoffice/4;");
    writeFile(lock, theirs);

    t.window->close();
    EXPECT_EQ(fileBytes(lock), theirs);
}

// Whether a roll book is held by another program is judged for the roll book in use, not for
// the first one opened in this run. Disabled: today the check looks at the first workbook
// opened, so (1) after a held roll book, another one chosen lists the held one's classes, and a
// score then lands in the new file's first class under the old roster's column and number;
// (2) a held roll book chosen after a free one gets no warning and its scores are dropped
// silently.
TEST_P(LockedRollBook, DISABLED_HeldOrNotIsJudgedForTheRollBookInUse) {
    {
        SCOPED_TRACE("the first roll book held, then another chosen");
        FormatWindow t(ext());
        t.put(t.fixture(QStringLiteral("five_classes")));
        writeFile(t.dir.filePath(QStringLiteral("~$") + QFileInfo(t.rollBook()).fileName()), "x");
        const QString other = t.put(t.fixture(QStringLiteral("lo_rollbook")), QStringLiteral("高一.") + ext());
        const XlrdCells otherBefore = readCells(other);
        const QByteArray heldBefore = fileBytes(t.rollBook());
        t.openNameList();
        t.expectOnlyWarnings(kReadOnlyText, 2);

        t.chooseFile(other);
        EXPECT_EQ(t.messages().size(), 2u);
        EXPECT_EQ(t.classList().first(), QStringLiteral("高一(1)班"));
        EXPECT_EQ(t.session().RosterCount, 45);
        t.chooseStudent(QStringLiteral("3"));
        t.writeScore(QStringLiteral("5"));
        EXPECT_EQ(changedCells(otherBefore, readCells(other)),
                  (XlrdCells{{{QStringLiteral("高一(1)班"), 2, 8}, QStringLiteral("text:03月16")},
                             {{QStringLiteral("高一(1)班"), 5, 8}, QStringLiteral("number:4.0")}}));
        EXPECT_EQ(fileBytes(t.rollBook()), heldBefore);
    }
    {
        SCOPED_TRACE("a free roll book, then a held one chosen");
        FormatWindow t(ext());
        t.put(t.fixture(QStringLiteral("five_classes")));
        const QString other = t.put(t.fixture(QStringLiteral("lo_rollbook")), QStringLiteral("高一.") + ext());
        writeFile(t.dir.filePath(QStringLiteral("~$高一.") + ext()), "x");
        t.openNameList();
        EXPECT_TRUE(t.messages().empty());

        t.chooseFile(other);
        t.expectOnlyWarnings(kReadOnlyText, 2);
        t.chooseStudent(QStringLiteral("3"));
        t.writeScore(QStringLiteral("5"));
        t.expectOnlyWarnings(kReadOnlyText, 3);
    }
}

} // namespace
} // namespace rostrel::test
