// The engine's workbook and application operations on the shared roll books: values and
// dates, writes and saves, read-only state and lock files, changes on disk, close and quit.
#include "XlsTestUtil.h"
#include "support/Fixtures.h"

#include "platform/workbook/Workbook.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <functional>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace rostrel::workbook;
using namespace rostrel::test;
using namespace rostrel::test::xlsutil;

namespace {

std::string copyOf(const QTemporaryDir& dir, const char* name) {
    return copyFixture(dir, QString::fromUtf8(name)).toStdString();
}
std::string lockOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return path.substr(0, slash + 1) + ".~lock." + path.substr(slash + 1) + "#";
}
bool exists(const std::string& p) {
    return ::access(p.c_str(), F_OK) == 0;
}
void writeText(const std::string& path, const std::string& text) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
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

} // namespace

TEST(Workbook, ReadsTheRollBooksCellKinds) {
    QTemporaryDir dir;
    auto lo = openWorkbook(copyOf(dir, "lo_rollbook.xls"));
    ASSERT_EQ(lo->sheetCount(), 3);
    EXPECT_EQ(lo->sheetName(1), "高一(1)班");
    EXPECT_EQ(lo->sheetName(3), "高一(3)班");
    EXPECT_EQ(lo->name(), "lo_rollbook.xls");
    lo->activate(1);
    EXPECT_EQ(lo->cell(2, 7), CellValue::fromText("03月14"));
    EXPECT_EQ(lo->cell(3, 2).kind, CellValue::Kind::Text);
    EXPECT_EQ(lo->cell(3, 1), CellValue::fromNumber(1));
    EXPECT_EQ(lo->cell(48, 7).kind, CellValue::Kind::Number); // SUM formula: its cached result
    EXPECT_TRUE(lo->cell(3, 4).isEmpty());
    EXPECT_TRUE(lo->cell(60000, 200).isEmpty());
    EXPECT_TRUE(lo->cell(65536, 256).isEmpty());
    EXPECT_EQ(codeOf([&] { (void)lo->cell(0, 1); }), WorkbookError::Code::BadCell);
    EXPECT_EQ(codeOf([&] { lo->activate(4); }), WorkbookError::Code::NoSuchSheet);
    EXPECT_EQ(codeOf([&] { lo->activate(0); }), WorkbookError::Code::NoSuchSheet);
    EXPECT_EQ(lo->activeSheet(), 1);

    auto xlwt = openWorkbook(copyOf(dir, "xlwt_rollbook.xls"));
    xlwt->activate(1);
    EXPECT_EQ(xlwt->cell(2, 7), CellValue::fromDate(46095)); // 14 March 2026, "MM月dd"
    EXPECT_EQ(xlwt->cell(2, 8), CellValue::fromText("03月15"));
    bool sawHalf = false, sawBig = false;
    for (int r = 3; r <= 20; ++r) {
        sawHalf = sawHalf || xlwt->cell(r, 7) == CellValue::fromNumber(4.5);
        sawBig = sawBig || xlwt->cell(r, 7) == CellValue::fromNumber(100000.25) ||
                 xlwt->cell(r, 8) == CellValue::fromNumber(100000.25);
    }
    EXPECT_TRUE(sawHalf);
    EXPECT_TRUE(sawBig);
}

TEST(Workbook, DateFormatsAreTellingDatesFromNumbers) {
    EXPECT_TRUE(xls::isDateFormatString("yyyy-mm-dd"));
    EXPECT_TRUE(xls::isDateFormatString("MM\"月\"dd"));
    EXPECT_TRUE(xls::isDateFormatString("[$-804]yyyy\"年\"m\"月\"d\"日\""));
    EXPECT_TRUE(xls::isDateFormatString("h:mm:ss AM/PM"));
    EXPECT_TRUE(xls::isDateFormatString("[h]:mm:ss"));
    EXPECT_FALSE(xls::isDateFormatString("0.00"));
    EXPECT_FALSE(xls::isDateFormatString("General"));
    EXPECT_FALSE(xls::isDateFormatString("\"days\" 0")); // letters inside quotes do not count
    EXPECT_FALSE(xls::isDateFormatString("[Red]#,##0")); // nor inside brackets
    EXPECT_FALSE(xls::isDateFormatString("0.00E+00"));
    EXPECT_FALSE(xls::isDateFormatString("#,##0\\h")); // an escaped letter is literal
    EXPECT_FALSE(xls::isDateFormatString("@"));
}

TEST(Workbook, WritesKeepTheCellFormatAndReadBackAfterReopening) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "xlwt_rollbook.xls");
    {
        auto book = openWorkbook(path);
        book->activate(1);
        book->setCell(3, 7, CellValue::fromNumber(9.75));    // over a number
        book->setCell(2, 7, CellValue::fromNumber(46096));   // into the date cell: stays a date
        book->setCell(2, 9, CellValue::fromText("03月16"));  // a new header: a new shared string
        book->setCell(2, 10, CellValue::fromText("03月15")); // an existing string, reused
        book->setCell(3, 2, CellValue());                    // clearing a name
        book->setCell(200, 1, CellValue::fromBool(true));    // a new row far below
        book->setCell(201, 1, CellValue::fromError(CellValue::ErrorCode::Div0));
        EXPECT_EQ(book->cell(3, 7), CellValue::fromNumber(9.75)); // visible before saving
        book->save();
        EXPECT_EQ(book->cell(2, 9), CellValue::fromText("03月16")); // and after
    }
    auto again = openWorkbook(path);
    again->activate(1);
    EXPECT_EQ(again->cell(3, 7), CellValue::fromNumber(9.75));
    EXPECT_EQ(again->cell(2, 7), CellValue::fromDate(46096));
    EXPECT_EQ(again->cell(2, 9), CellValue::fromText("03月16"));
    EXPECT_EQ(again->cell(2, 10), CellValue::fromText("03月15"));
    EXPECT_TRUE(again->cell(3, 2).isEmpty());
    EXPECT_EQ(again->cell(200, 1), CellValue::fromBool(true));
    EXPECT_EQ(again->cell(201, 1), CellValue::fromError(CellValue::ErrorCode::Div0));
    EXPECT_EQ(again->cell(2, 8), CellValue::fromText("03月15"));
}

// LibreOffice's .xls roll books have no date format among their cell formats: a date written
// there gets one of its own, and every reader sees a date, not a bare serial number.
TEST(Workbook, DateWrittenIntoABookWithoutDateFormatsStaysADate) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "lo_rollbook.xls");
    const QString file = QString::fromStdString(path);
    const BookDump before = xlrdAvailable() ? xlrdDump({file}).at(file) : BookDump{};
    {
        auto book = openWorkbook(path);
        book->activate(2);
        book->setCell(2, 7, CellValue::fromDate(46095));
        book->setCell(3, 7, CellValue::fromNumber(46095)); // a number beside it stays a number
        book->save();
    }
    auto again = openWorkbook(path);
    again->activate(2);
    EXPECT_EQ(again->cell(2, 7), CellValue::fromDate(46095));
    EXPECT_EQ(again->cell(3, 7), CellValue::fromNumber(46095));
    again->activate(1);
    EXPECT_EQ(again->cell(2, 7), CellValue::fromText("03月14"));
    if (!xlrdAvailable())
        GTEST_SKIP() << "python3-xlrd is not installed";
    BookDump after = xlrdDump({file}).at(file);
    ASSERT_EQ(after.error, "");
    const Cell date = after.sheets[1][{2, 7}], number = after.sheets[1][{3, 7}];
    EXPECT_EQ(date.kind, "date");
    EXPECT_EQ(date.number, 46095);
    EXPECT_EQ(number.kind, "number");
    after.sheets[1].erase({2, 7});
    after.sheets[1].erase({3, 7});
    EXPECT_TRUE(after.names == before.names && after.sheets == before.sheets); // nothing else moved
}

// Many writes of long and mixed texts make the string table run over several CONTINUE
// records, with strings split between them, as a term of scores does.
TEST(Workbook, ManyNewStringsSpillOverContinueRecords) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "lo_rollbook.xls");
    std::vector<std::string> texts;
    {
        auto book = openWorkbook(path);
        book->activate(2);
        for (int i = 0; i < 400; ++i) {
            std::string t = (i % 2 ? "第" + std::to_string(i) + "次测验 " : "Quiz " + std::to_string(i) + " ");
            t += std::string(static_cast<size_t>(i % 97), i % 3 ? 'a' : 'z');
            if (i % 5 == 0)
                t += "成绩";
            texts.push_back(t);
            book->setCell(40 + i / 10, 10 + i % 10, CellValue::fromText(t));
        }
        book->setCell(39, 10, CellValue::fromText(std::string(20000, 'x') + "尾"));
        book->save();
    }
    auto again = openWorkbook(path);
    again->activate(2);
    for (int i = 0; i < 400; ++i)
        ASSERT_EQ(again->cell(40 + i / 10, 10 + i % 10), CellValue::fromText(texts[i])) << i;
    EXPECT_EQ(again->cell(39, 10), CellValue::fromText(std::string(20000, 'x') + "尾"));
    again->activate(1);
    EXPECT_EQ(again->cell(2, 7), CellValue::fromText("03月14"));
    if (xlrdAvailable()) {
        const auto dump = xlrdDump({QString::fromStdString(path)});
        const BookDump& d = dump.begin()->second;
        ASSERT_TRUE(d.error.empty()) << d.error;
        EXPECT_EQ(d.sheets[1].at({40, 10}).text, texts[0]);
        EXPECT_EQ(d.sheets[1].at({79, 19}).text, texts[399]);
    }
}

// The cell-table records of a rebuilt sheet point where they should: INDEX at each DBCELL,
// each DBCELL back at its block's first ROW, BOUNDSHEET at each sheet's BOF.
TEST(Workbook, RebuiltSheetOffsetsPointAtTheirRecords) {
    QTemporaryDir dir;
    // Saved by Excel, with INDEX and DBCELL records.
    const QString excel = dir.filePath(QStringLiteral("excel.xls"));
    ASSERT_TRUE(QFile::copy(fixturePath(QStringLiteral("corpus/ok/SimpleMultiCell.xls")), excel));
    QFile::setPermissions(excel, QFile::ReadOwner | QFile::WriteOwner);
    const std::string path = excel.toStdString();
    {
        auto book = openWorkbook(path);
        book->activate(1);
        book->setCell(1000, 3, CellValue::fromText("一个很长的新字符串，让后面的一切都移动"));
        book->setCell(5, 7, CellValue::fromNumber(3));
        book->save();
    }
    LoadedFile f = load(QString::fromStdString(path));
    const Bytes& s = f.stream().data;
    for (const auto& sheet : f.book->allSheets()) {
        xls::Rec r;
        ASSERT_TRUE(xls::recordAt(s, sheet.bofPos, r));
        EXPECT_EQ(r.type, xls::rt::BOF);
        // Walk the sheet and check its INDEX.
        uint32_t pos = sheet.bofPos;
        std::vector<uint32_t> dbcells;
        std::vector<uint32_t> indexed;
        bool hasIndex = false;
        while (xls::recordAt(s, pos, r) && r.type != xls::rt::EOF_) {
            if (r.type == xls::rt::INDEX)
                hasIndex = true;
            if (r.type == xls::rt::INDEX)
                for (uint32_t k = 16; k + 4 <= r.len; k += 4)
                    indexed.push_back(xls::rd32(r.data + k));
            if (r.type == xls::rt::DBCELL) {
                dbcells.push_back(pos);
                xls::Rec row;
                ASSERT_TRUE(xls::recordAt(s, pos - xls::rd32(r.data), row));
                EXPECT_EQ(row.type, xls::rt::ROW);
            }
            pos += 4 + r.len;
        }
        if (hasIndex) {
            EXPECT_EQ(indexed, dbcells) << sheet.name;
        }
    }
}

TEST(Workbook, RefusesEditsOfArrayAndSharedFormulaHosts) {
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("shared.xls"));
    ASSERT_TRUE(QFile::copy(fixturePath(QStringLiteral("corpus/ok/ex47747-sharedFormula.xls")), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    const Bytes before = readBytes(copy);
    auto book = openWorkbook(copy.toStdString());
    book->activate(1);
    int refused = 0;
    for (int r = 1; r <= 30; ++r)
        for (int c = 1; c <= 10; ++c)
            try {
                book->setCell(r, c, CellValue::fromNumber(1));
            } catch (const WorkbookError& e) {
                EXPECT_EQ(e.code(), WorkbookError::Code::Unsupported);
                ++refused;
            }
    EXPECT_GT(refused, 0);
    EXPECT_EQ(readBytes(copy), before); // nothing is written before save()
    book->save();
}

TEST(Workbook, LockFileWhileOpenAndForeignLocksMakeItReadOnly) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    {
        auto book = openWorkbook(path);
        EXPECT_FALSE(book->readOnly()); // its own lock does not count
        ASSERT_TRUE(exists(lockOf(path)));
        QFile lock(QString::fromStdString(lockOf(path)));
        ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
        const QByteArray content = lock.readAll();
        // name,user,host,DD.MM.YYYY HH:MM,profile;
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^[^,]*,[^,]+,[^,]+,\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d,[^,;]+;$"))
                .match(QString::fromUtf8(content))
                .hasMatch())
            << content.toStdString();
        // A second holder in the same run sees the first one's lock.
        auto second = openWorkbook(path);
        EXPECT_TRUE(second->readOnly());
        EXPECT_EQ(codeOf([&] { second->setCell(1, 1, CellValue::fromNumber(1)); }), WorkbookError::Code::ReadOnly);
        second->close();
        EXPECT_TRUE(exists(lockOf(path))); // not the second's to remove
        book->close();
        EXPECT_FALSE(exists(lockOf(path)));
    }
    // LibreOffice holds it.
    writeText(lockOf(path), ",Teacher,otherhost,07.03.2026 10:00,file:///home/t/.config/libreoffice/4;");
    {
        auto book = openWorkbook(path);
        EXPECT_TRUE(book->readOnly());
        EXPECT_EQ(codeOf([&] { book->save(); }), WorkbookError::Code::ReadOnly);
    }
    EXPECT_TRUE(exists(lockOf(path))); // someone else's lock stays
    ::unlink(lockOf(path).c_str());
    // Excel holds it.
    const std::string owner = path.substr(0, path.rfind('/') + 1) + "~$five_classes.xls";
    writeText(owner, "x");
    EXPECT_TRUE(openWorkbook(path)->readOnly());
    ::unlink(owner.c_str());
    // A lock this program left behind when it died (same user and host, no such process).
    {
        auto probe = openWorkbook(path);
        QFile lock(QString::fromStdString(lockOf(path)));
        ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
        QByteArray content = lock.readAll();
        probe->close();
        content.replace(QByteArray("rostrel-") + QByteArray::number(::getpid()), "rostrel-999999999");
        writeText(lockOf(path), content.toStdString());
    }
    auto book = openWorkbook(path);
    EXPECT_FALSE(book->readOnly());
}

TEST(Workbook, UnwritableFileIsReadOnlyAndTakesNoLock) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes anyway";
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    ::chmod(path.c_str(), 0444);
    auto book = openWorkbook(path);
    EXPECT_TRUE(book->readOnly());
    EXPECT_FALSE(exists(lockOf(path)));
}

TEST(Workbook, SaveKeepsPermissionsAndLeavesNoTemporaryFiles) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    ::chmod(path.c_str(), 0640);
    auto book = openWorkbook(path);
    book->activate(2);
    book->setCell(5, 5, CellValue::fromNumber(5));
    book->save();
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    book->close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(Workbook, SavingThroughASymbolicLinkChangesTheRealFile) {
    QTemporaryDir dir;
    const std::string real = copyOf(dir, "five_classes.xls");
    const std::string link = dir.filePath(QStringLiteral("link.xls")).toStdString();
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    auto book = openWorkbook(link);
    book->activate(1);
    book->setCell(4, 4, CellValue::fromNumber(44));
    book->save();
    book->close();
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    auto again = openWorkbook(real);
    EXPECT_EQ(again->cell(4, 4), CellValue::fromNumber(44));
}

TEST(Workbook, FailedSaveLeavesTheFileAndTheEditsIntact) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    const Bytes before = readBytes(QString::fromStdString(path));
    auto book = openWorkbook(path);
    book->activate(1);
    book->setCell(3, 3, CellValue::fromText("保存失败"));
    ::chmod(dir.path().toLocal8Bit().constData(), 0555); // no temporary file possible
    EXPECT_EQ(codeOf([&] { book->save(); }), WorkbookError::Code::Io);
    EXPECT_EQ(readBytes(QString::fromStdString(path)), before);
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    book->save();                                    // the edit was kept: a later save writes it
    EXPECT_EQ(openWorkbook(path)->readOnly(), true); // `book` still holds it
    book->close();
    auto again = openWorkbook(path);
    EXPECT_EQ(again->cell(3, 3), CellValue::fromText("保存失败"));
}

// A disk that fills up in the middle of a save, by a file-size limit, which holds for root too.
TEST(Workbook, SaveThatFailsHalfWayLeavesTheOldRollBookAndReportsIt) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "lo_rollbook.xls");
    const Bytes before = readBytes(QString::fromStdString(path));
    auto book = openWorkbook(path);
    book->activate(1);
    book->setCell(5, 7, CellValue::fromNumber(9));

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN); // a short write instead of a signal
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const WorkbookError::Code code = codeOf([&] { book->save(); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(code, WorkbookError::Code::Io);
    EXPECT_EQ(readBytes(QString::fromStdString(path)), before);
    // Nothing half-written is left beside it but the lock file.
    QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    names.removeAll(QString::fromStdString(lockOf(path)).section(u'/', -1));
    EXPECT_EQ(names, QStringList{QStringLiteral("lo_rollbook.xls")});
    // The edit is still held: the next save, with room on the disk, writes it.
    book->save();
    book->close();
    EXPECT_EQ(openWorkbook(path)->cell(5, 7), CellValue::fromNumber(9));
}

TEST(Workbook, ChangesOnDiskAreNoticedReloadedAndNeverOverwritten) {
    QTemporaryDir dir;
    const std::string path = copyOf(dir, "five_classes.xls");
    auto book = openWorkbook(path);
    book->activate(3);
    EXPECT_FALSE(book->changedOnDisk());
    // Another program saves a different workbook under the same name.
    const std::string other = copyOf(dir, "xlwt_rollbook.xls");
    ASSERT_EQ(::rename(other.c_str(), path.c_str()), 0);
    EXPECT_TRUE(book->changedOnDisk());
    book->setCell(1, 1, CellValue::fromNumber(1));
    EXPECT_EQ(codeOf([&] { book->save(); }), WorkbookError::Code::Conflict);
    book->reload();
    EXPECT_FALSE(book->changedOnDisk());
    EXPECT_EQ(book->sheetCount(), 2);
    EXPECT_EQ(book->activeSheet(), 1); // sheet 3 no longer exists
    EXPECT_EQ(book->cell(2, 8), CellValue::fromText("03月15"));
    book->setCell(1, 1, CellValue::fromNumber(2));
    book->save();
    EXPECT_FALSE(book->changedOnDisk()); // its own save is no outside change
}

TEST(Application, CollectionCloseQuitAndVisible) {
    QTemporaryDir dir;
    std::vector<std::string> shown;
    auto app = createApplication([&](const std::string& p) {
        shown.push_back(p);
        return true;
    });
    EXPECT_EQ(app->workbookCount(), 0);
    app->setVisible(true);
    EXPECT_TRUE(shown.empty()); // nothing open, nothing to show
    const std::string a = copyOf(dir, "lo_rollbook.xls"), b = copyOf(dir, "five_classes.xls");
    Workbook& first = app->open(a);
    Workbook& second = app->open(b);
    EXPECT_EQ(&app->open(a), &first); // already open: the same workbook
    ASSERT_EQ(app->workbookCount(), 2);
    EXPECT_EQ(app->workbook(1).name(), "lo_rollbook.xls");
    EXPECT_EQ(app->workbook(2).name(), "five_classes.xls");
    EXPECT_EQ(codeOf([&] { app->workbook(3); }), WorkbookError::Code::NoSuchWorkbook);
    app->setVisible(true);
    EXPECT_EQ(shown, std::vector<std::string>{b});
    // No program to show it: a failure, not silence.
    auto headless = createApplication([](const std::string&) { return false; });
    headless->open(a);
    EXPECT_EQ(codeOf([&] { headless->setVisible(true); }), WorkbookError::Code::NotShown);
    headless->quit();

    first.close();
    EXPECT_TRUE(first.isClosed()); // the object stays valid
    EXPECT_EQ(first.name(), "lo_rollbook.xls");
    EXPECT_EQ(codeOf([&] { (void)first.cell(1, 1); }), WorkbookError::Code::Closed);
    EXPECT_EQ(app->workbookCount(), 1);
    EXPECT_EQ(&app->workbook(1), &second);
    EXPECT_FALSE(exists(lockOf(a)));
    EXPECT_TRUE(exists(lockOf(b)));

    Workbook& reopened = app->open(a);
    EXPECT_NE(&reopened, &first);
    EXPECT_FALSE(reopened.readOnly());
    reopened.activate(1);
    reopened.setCell(3, 7, CellValue::fromNumber(100)); // unsaved
    app->quit();
    EXPECT_EQ(app->workbookCount(), 0);
    EXPECT_TRUE(second.isClosed());
    EXPECT_FALSE(exists(lockOf(a)));
    EXPECT_FALSE(exists(lockOf(b)));
    EXPECT_TRUE(openWorkbook(a)->cell(3, 7).isEmpty()); // quit does not save

    EXPECT_THROW(app->open(dir.filePath(QStringLiteral("missing.xls")).toStdString()), WorkbookError);
    EXPECT_EQ(app->workbookCount(), 0);
}

TEST(Application, DestroyingTheApplicationReleasesLocks) {
    QTemporaryDir dir;
    const std::string a = copyOf(dir, "lo_rollbook.xls");
    {
        auto app = createApplication([](const std::string&) { return true; });
        app->open(a);
        EXPECT_TRUE(exists(lockOf(a)));
    }
    EXPECT_FALSE(exists(lockOf(a)));
}

TEST(Workbook, UnreadableInputsGiveTheirErrors) {
    QTemporaryDir dir;
    const std::string text = dir.filePath(QStringLiteral("names.xls")).toStdString();
    writeText(text, "张三\n李四\n");
    EXPECT_EQ(codeOf([&] { openWorkbook(text); }), WorkbookError::Code::NotOle);
    const std::string empty = dir.filePath(QStringLiteral("empty.xls")).toStdString();
    writeText(empty, "");
    EXPECT_EQ(codeOf([&] { openWorkbook(empty); }), WorkbookError::Code::NotOle);
    EXPECT_EQ(codeOf([&] { openWorkbook(dir.filePath(QStringLiteral("none.xls")).toStdString()); }),
              WorkbookError::Code::Io);
    EXPECT_EQ(codeOf([&] { openWorkbook(dir.path().toStdString()); }), WorkbookError::Code::Io);
    // A roll book cut short: damaged, never a crash.
    Bytes b = readBytes(fixturePath(QStringLiteral("lo_rollbook.xls")));
    b.resize(b.size() / 2);
    const std::string cut = dir.filePath(QStringLiteral("cut.xls")).toStdString();
    writeText(cut, std::string(b.begin(), b.end()));
    EXPECT_THROW(openWorkbook(cut), WorkbookError);
    EXPECT_FALSE(exists(lockOf(cut)));
}
