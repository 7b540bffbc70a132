// The roll book as a file: writers that must not both win, saves that must not overwrite a
// change, links, stale and hostile lock files, leftovers of killed saves, long names, and the
// file's access rights kept.
#include "XlsTestUtil.h"
#include "support/Fixtures.h"

#include "platform/workbook/LockFile.h"
#include "platform/workbook/Workbook.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using namespace rostrel::workbook;
using namespace rostrel::test;
using namespace rostrel::test::xlsutil;

namespace {

std::string copyOf(const QTemporaryDir& dir, const char* name, const char* as = nullptr) {
    return copyFixture(dir, QString::fromUtf8(name), as ? QString::fromUtf8(as) : QString()).toStdString();
}
std::string folderOf(const std::string& p) {
    return p.substr(0, p.rfind('/'));
}
std::string lockOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return path.substr(0, slash + 1) + ".~lock." + path.substr(slash + 1) + "#";
}
bool exists(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}
std::string readText(const std::string& path) {
    const Bytes b = readBytes(QString::fromStdString(path));
    return std::string(b.begin(), b.end());
}
void writeText(const std::string& path, const std::string& text) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
}
void age(const std::string& path, int seconds) {
    const timespec t[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW), 0);
}
} // namespace
QT_BEGIN_NAMESPACE
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << list.join(u' ').toStdString();
}
QT_END_NAMESPACE
namespace {
QStringList entries(const std::string& folder) {
    return QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}
WorkbookError::Code codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const WorkbookError& e) {
        return e.code();
    }
    ADD_FAILURE() << "no WorkbookError";
    return WorkbookError::Code::Io;
}
// The lock file this process writes, as another live holder of the file would leave it.
std::string liveLockContent(const std::string& path) {
    auto probe = openWorkbook(path);
    const std::string content = readText(lockOf(path));
    probe->close();
    return content;
}
// Another writer of this program in the middle of a step: it holds the roll book's OS lock.
struct OtherWriter {
    explicit OtherWriter(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_EQ(::flock(fd, LOCK_EX), 0);
    }
    ~OtherWriter() { ::close(fd); }
    int fd;
};
// Rewrites the file in place with the same bytes and puts its modification time back, as
// `cp -p` or `rsync -t --inplace` of a same-sized version would: only the change time moves.
void rewriteKeepingSizeAndTime(const std::string& path) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // past the clock's granularity
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const std::string bytes = readText(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
}

} // namespace

// A stale lock is judged and replaced under the OS lock: a writer that waits for it sees the
// fresh lock another writer put there meanwhile, and does not take the file too.
TEST(FileSession, StaleLockTakeoverIsOneWriterAtATime) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    const std::string live = liveLockContent(path);
    std::string stale = live;
    stale.replace(stale.find("rostrel-"), std::string::npos, "rostrel-999999999-1;");
    writeText(lockOf(path), stale);

    std::unique_ptr<Workbook> second;
    {
        OtherWriter first(path);
        std::thread t([&] { second = openWorkbook(path); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        // The first writer, deciding while holding the OS lock, replaces the stale lock.
        ::unlink(lockOf(path).c_str());
        writeText(lockOf(path), live);
        ::flock(first.fd, LOCK_UN);
        t.join();
    }
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->readOnly());
    EXPECT_EQ(readText(lockOf(path)), live);
}

// Another program's write that lands while a save waits or runs is never overwritten, even
// when it keeps the size and the modification time.
TEST(FileSession, ChangeDuringTheSaveOrKeepingSizeAndTimeIsNotOverwritten) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    {
        auto book = openWorkbook(path);
        book->activate(1);
        book->setCell(3, 7, CellValue::fromNumber(5));
        WorkbookError::Code code = WorkbookError::Code::Io;
        {
            OtherWriter other(path);
            std::thread t([&] { code = codeOf([&] { book->save(); }); });
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            rewriteKeepingSizeAndTime(path);
            ::flock(other.fd, LOCK_UN);
            t.join();
        }
        EXPECT_EQ(code, WorkbookError::Code::Conflict);
        EXPECT_TRUE(openWorkbook(path, Access::ReadOnly)->cell(3, 7).isEmpty());
    }
    auto book = openWorkbook(path);
    book->activate(1);
    EXPECT_FALSE(book->changedOnDisk());
    rewriteKeepingSizeAndTime(path);
    EXPECT_TRUE(book->changedOnDisk());
    book->setCell(3, 7, CellValue::fromNumber(5));
    EXPECT_EQ(codeOf([&] { book->save(); }), WorkbookError::Code::Conflict);
    book->reload();
    book->setCell(3, 7, CellValue::fromNumber(5));
    book->save();
    EXPECT_EQ(openWorkbook(path, Access::ReadOnly)->cell(3, 7), CellValue::fromNumber(5));
}

// Opened through a link in another folder: the locks are those beside the real file, and a
// link pointed elsewhere before the save does not redirect it.
TEST(FileSession, SymbolicLinksAreResolvedOnceAtOpen) {
    QTemporaryDir realDir, linkDir;
    const std::string real = copyOf(realDir, "five_classes.xls");
    const std::string other = copyOf(realDir, "xlwt_rollbook.xls");
    const std::string link = linkDir.filePath(QStringLiteral("roll.xls")).toStdString();
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);

    writeText(lockOf(real), ",Teacher,otherhost,07.03.2026 10:00,file:///home/t/.config/libreoffice/4;");
    EXPECT_TRUE(openWorkbook(link)->readOnly());
    ::unlink(lockOf(real).c_str());

    const Bytes otherBefore = readBytes(QString::fromStdString(other));
    auto book = openWorkbook(link);
    EXPECT_FALSE(book->readOnly());
    EXPECT_TRUE(exists(lockOf(real)));
    EXPECT_FALSE(exists(lockOf(link)));
    book->activate(1);
    book->setCell(3, 3, CellValue::fromNumber(77));
    ASSERT_EQ(::unlink(link.c_str()), 0);
    ASSERT_EQ(::symlink(other.c_str(), link.c_str()), 0);
    EXPECT_FALSE(book->changedOnDisk());
    book->save();
    book->close();
    EXPECT_EQ(readBytes(QString::fromStdString(other)), otherBefore);
    auto again = openWorkbook(real, Access::ReadOnly);
    again->activate(1);
    EXPECT_EQ(again->cell(3, 3), CellValue::fromNumber(77));
    EXPECT_EQ(entries(folderOf(real)),
              QStringList({QStringLiteral("five_classes.xls"), QStringLiteral("xlwt_rollbook.xls")}));
}

// A rename would split a hard-linked roll book in two: the save is refused, nothing written.
TEST(FileSession, HardLinkedRollBookIsRefusedNotSplit) {
    QTemporaryDir dir, elsewhere;
    const std::string path = copyOf(dir, "five_classes.xls");
    const std::string second = elsewhere.filePath(QStringLiteral("copy.xls")).toStdString();
    ASSERT_EQ(::link(path.c_str(), second.c_str()), 0);
    const Bytes before = readBytes(QString::fromStdString(path));
    auto book = openWorkbook(second);
    book->activate(1);
    book->setCell(3, 3, CellValue::fromNumber(1));
    try {
        book->save();
        ADD_FAILURE() << "saved a hard-linked file";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.code(), WorkbookError::Code::Io);
        EXPECT_NE(std::string(e.what()).find("hard links"), std::string::npos) << e.what();
    }
    struct stat a {
    }, b{};
    ASSERT_EQ(::stat(path.c_str(), &a), 0);
    ASSERT_EQ(::stat(second.c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(readBytes(QString::fromStdString(path)), before);
    book->close();
    EXPECT_EQ(entries(elsewhere.path().toStdString()), QStringList{QStringLiteral("copy.xls")}); // no temp left
}

// Locks that block nobody: empty or garbled ones of this user that nobody is filling, and
// those of this program whose process is gone or whose number another process now has.
// Others' locks, fresh ones and those of other computers still hold.
TEST(FileSession, StaleEmptyAndReusedProcessLocksAreTakenOver) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    const std::string live = liveLockContent(path);
    const std::string head = live.substr(0, live.find("rostrel-"));
    auto takenOver = [&](const std::string& content, int ageSeconds) {
        ::unlink(lockOf(path).c_str());
        writeText(lockOf(path), content);
        age(lockOf(path), ageSeconds);
        auto book = openWorkbook(path);
        const bool mine = !book->readOnly();
        if (mine) {
            EXPECT_EQ(readText(lockOf(path)).substr(0, head.size()), head);
        }
        book->close();
        return mine;
    };
    EXPECT_TRUE(takenOver("", 60));
    EXPECT_FALSE(takenOver("", 0)); // its owner may be filling it
    EXPECT_TRUE(takenOver("garbled", 60));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("rostrel-(\\d+)-(\\d+);$")).match(QString::fromStdString(live));
    ASSERT_TRUE(m.hasMatch()) << live;
    EXPECT_EQ(m.captured(1).toLong(), static_cast<long>(::getpid()));
    // This process's number with another start time: a process of an earlier boot.
    EXPECT_TRUE(takenOver(head + "rostrel-" + std::to_string(::getpid()) + "-" +
                              std::to_string(m.captured(2).toULongLong() + 1) + ";",
                          60));
    // An older lock without the start time that names a live process of another program.
    EXPECT_TRUE(takenOver(head + "rostrel-1;", 60));
    EXPECT_FALSE(takenOver(live, 60)); // a live holder
    EXPECT_FALSE(takenOver(",Teacher,otherhost,07.03.2026 10:00,rostrel-999999999-1;", 60));
    EXPECT_FALSE(takenOver(",Teacher,host,07.03.2026 10:00,file:///home/t/.config/libreoffice/4;", 60));
    // Taking a lock leaves nothing else beside the roll book.
    ::unlink(lockOf(path).c_str());
    auto book = openWorkbook(path);
    EXPECT_EQ(entries(dir.path().toStdString()),
              QStringList({QStringLiteral(".~lock.five_classes.xls#"), QStringLiteral("five_classes.xls")}));
}

TEST(FileSession, TemporaryCopiesOfKilledSavesAreRemovedAtOpen) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    const std::string folder = dir.path().toStdString() + "/";
    writeText(folder + tempPrefix("five_classes.xls") + "k1ll3d00", "half a roll book");
    writeText(folder + tempPrefix("five_classes.xls") + "k1ll3d01.lock", "");
    writeText(folder + ".five_classes.xls.rostrel-Ab12Cd", "from an older version");
    const std::string others = tempPrefix("other.xls") + "s4v1ng00";
    writeText(folder + others, "another roll book's save");
    openWorkbook(path, Access::ReadOnly); // reading alone removes nothing
    EXPECT_EQ(entries(folder).size(), 5);
    auto book = openWorkbook(path);
    EXPECT_EQ(entries(folder), QStringList({QStringLiteral(".~lock.five_classes.xls#"), QString::fromStdString(others),
                                            QStringLiteral("five_classes.xls")}));
}

// A FIFO where the lock or the roll book should be: the open neither hangs nor reads it.
TEST(FileSession, FifosDoNotHangTheOpen) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    const std::string pipe = dir.filePath(QStringLiteral("pipe.xls")).toStdString();
    ASSERT_EQ(::mkfifo(lockOf(path).c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    auto within = [](const std::string& fifo, const std::function<void()>& f) {
        auto done = std::async(std::launch::async, f);
        if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
            return true;
        const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); // lets a blocked reader go
        ::close(w);
        done.wait();
        return false;
    };
    bool readOnly = false;
    EXPECT_TRUE(within(lockOf(path), [&] { readOnly = openWorkbook(path)->readOnly(); }));
    EXPECT_TRUE(readOnly); // not ours to judge or remove
    EXPECT_TRUE(exists(lockOf(path)));
    WorkbookError::Code code = WorkbookError::Code::NotOle;
    EXPECT_TRUE(within(pipe, [&] { code = codeOf([&] { openWorkbook(pipe); }); }));
    EXPECT_EQ(code, WorkbookError::Code::Io);
}

// A name near the 255-byte limit leaves no room for a longer temporary name.
TEST(FileSession, LongFileNameIsSaved) {
    QTemporaryDir dir;
    const std::string name = std::string(246, 'n') + ".xls";
    const std::string path = copyOf(dir, "five_classes.xls", name.c_str());
    ASSERT_FALSE(path.empty());
    {
        auto book = openWorkbook(path);
        ASSERT_FALSE(book->readOnly());
        book->activate(2);
        book->setCell(4, 7, CellValue::fromText("长名"));
        book->save();
    }
    auto again = openWorkbook(path, Access::ReadOnly);
    again->activate(2);
    EXPECT_EQ(again->cell(4, 7), CellValue::fromText("长名"));
    EXPECT_EQ(entries(dir.path().toStdString()), QStringList{QString::fromStdString(name)});
}

// Extended attributes and the access control list come along; a group the saving user cannot
// give the file to gets no access to it.
TEST(FileSession, SaveKeepsAttributesAndNeverWidensGroupAccess) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    if (::setxattr(path.c_str(), "user.rostrel-test", "keep", 4, 0) != 0)
        GTEST_SKIP() << "no extended attributes here";
    // owner rw, user 12345 r, group r, mask r, others none
    const uint32_t undefined = 0xFFFFFFFF;
    struct Entry {
        uint16_t tag, perm;
        uint32_t id;
    };
    const Entry acl[] = {
        {0x01, 6, undefined}, {0x02, 4, 12345}, {0x04, 4, undefined}, {0x10, 4, undefined}, {0x20, 0, undefined}};
    std::string blob(4, '\0');
    blob[0] = 2; // version
    for (const Entry& e : acl)
        blob.append(reinterpret_cast<const char*>(&e), sizeof e);
    const bool hasAcl = ::setxattr(path.c_str(), "system.posix_acl_access", blob.data(), blob.size(), 0) == 0;
    auto readAttr = [&](const char* name) {
        char buf[256];
        const ssize_t n = ::getxattr(path.c_str(), name, buf, sizeof buf);
        return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
    };
    const std::string aclBefore = readAttr("system.posix_acl_access");
    {
        auto book = openWorkbook(path);
        book->activate(1);
        book->setCell(3, 3, CellValue::fromNumber(3));
        book->save();
    }
    EXPECT_EQ(readAttr("user.rostrel-test"), "keep");
    if (hasAcl) {
        EXPECT_EQ(readAttr("system.posix_acl_access"), aclBefore);
    }

    if (::geteuid() != 0)
        return; // the group case needs a file of a group its writer is not in
    ::removexattr(path.c_str(), "system.posix_acl_access");
    const uid_t nobody = 65534;
    ASSERT_EQ(::chown(dir.path().toLocal8Bit().constData(), nobody, 0), 0);
    ASSERT_EQ(::chown(path.c_str(), nobody, 0), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const gid_t none[1] = {nobody};
        if (::setgroups(1, none) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(3);
        try {
            auto book = openWorkbook(path);
            book->activate(1);
            book->setCell(3, 3, CellValue::fromNumber(4));
            book->save();
            book->close();
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_gid, nobody); // a group of its own
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
