// The remembered setup: kept in the XDG config folder, read back field by field, nonsense
// ignored, off by option or variable; and where the roll book is found at start.
#include "platform/qt/SetupStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace rostrel {
namespace {

TEST(SetupStore, KeptInTheConfigFolderAndReadBack) {
    QTemporaryDir config;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QString file = SettingsSetupStore::defaultFile();
    qputenv("XDG_CONFIG_HOME", old);
    EXPECT_EQ(file, config.filePath(QStringLiteral("rostrel/rostrel.conf")));

    SettingsSetupStore store(file);
    EXPECT_EQ(store.load(), RememberedSetup{});
    RememberedSetup s;
    s.rollBook = QStringLiteral("/home/t/文档/点名册.xls");
    s.className = QStringLiteral("高一(1)班");
    s.category = 0;
    s.drawRule = 1;
    s.rolling = false;
    s.repeat = true;
    s.newColumn = true;
    s.presentation = 5;
    s.clockAmount = QStringLiteral("1.5");
    s.clockUnit = 1;
    s.clockMode = 1;
    s.windowSize = QSize(800, 700);
    s.skipSplash = true;
    store.save(s);
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(SettingsSetupStore(file).load(), s);

    // A later save of some fields keeps the others.
    RememberedSetup part;
    part.className = QStringLiteral("高一(2)班");
    store.save(part);
    RememberedSetup expected = s;
    expected.className = part.className;
    EXPECT_EQ(store.load(), expected);
}

TEST(SetupStore, NonsenseInTheFileIsIgnored) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("rostrel.conf"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[rollCall]\ncategory=7\ndrawRule=x\nrolling=maybe\npresentation=-1\n"
            "[clock]\nunit=2\nmode=1\n[window]\nsize=@Size(0 500)\n");
    f.close();
    const RememberedSetup r = SettingsSetupStore(file).load();
    EXPECT_FALSE(r.category);
    EXPECT_FALSE(r.drawRule);
    EXPECT_FALSE(r.rolling);
    EXPECT_FALSE(r.presentation);
    EXPECT_FALSE(r.windowSize);
    EXPECT_EQ(r.clockUnit, 2);
    EXPECT_EQ(r.clockMode, 1);
}

TEST(SetupStore, TurnedOffByOptionOrVariable) {
    EXPECT_TRUE(rememberingWanted({QStringLiteral("rostrel")}, QByteArray()));
    EXPECT_TRUE(rememberingWanted({QStringLiteral("rostrel")}, "0"));
    EXPECT_FALSE(rememberingWanted({QStringLiteral("rostrel")}, "1"));
    EXPECT_FALSE(rememberingWanted({QStringLiteral("rostrel"), QStringLiteral("--no-remember")}, QByteArray()));
    NoSetupStore none;
    RememberedSetup s;
    s.category = 2;
    none.save(s);
    EXPECT_EQ(none.load(), RememberedSetup{});
}

TEST(SetupStore, StartRollBookRememberedThenSearchedInOrder) {
    QTemporaryDir here, documents, program;
    const QStringList folders{here.path(), documents.path(), program.path()};
    auto touch = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly);
    };
    EXPECT_EQ(startRollBook(std::nullopt, QStringList{kDefaultRollBookName}, folders), QString());
    ASSERT_TRUE(touch(program.filePath(kDefaultRollBookName)));
    EXPECT_EQ(startRollBook(std::nullopt, QStringList{kDefaultRollBookName}, folders),
              program.filePath(kDefaultRollBookName));
    ASSERT_TRUE(touch(documents.filePath(kDefaultRollBookName)));
    EXPECT_EQ(startRollBook(std::nullopt, QStringList{kDefaultRollBookName}, folders),
              documents.filePath(kDefaultRollBookName));
    ASSERT_TRUE(touch(here.filePath(kDefaultRollBookName)));
    EXPECT_EQ(startRollBook(std::nullopt, QStringList{kDefaultRollBookName}, folders),
              here.filePath(kDefaultRollBookName));

    const QString other = documents.filePath(QStringLiteral("三班.xls"));
    ASSERT_TRUE(touch(other));
    EXPECT_EQ(startRollBook(other, QStringList{kDefaultRollBookName}, folders), other);
    // Gone since: the search, without a word.
    QFile::remove(other);
    EXPECT_EQ(startRollBook(other, QStringList{kDefaultRollBookName}, folders), here.filePath(kDefaultRollBookName));
    // A folder of that name is no roll book.
    QDir(documents.path()).mkdir(QStringLiteral("x.xls"));
    EXPECT_EQ(startRollBook(documents.filePath(QStringLiteral("x.xls")), QStringList{kDefaultRollBookName}, folders),
              here.filePath(kDefaultRollBookName));
}

TEST(SetupStore, FoldersSearchedStartWithTheCurrentOne) {
    const QStringList folders = rollBookFolders();
    ASSERT_FALSE(folders.isEmpty());
    EXPECT_EQ(folders.first(), QDir::currentPath());
    EXPECT_TRUE(folders.contains(QCoreApplication::applicationDirPath()));
    QStringList once = folders;
    once.removeDuplicates();
    EXPECT_EQ(once, folders); // each folder searched once
}

} // namespace
} // namespace rostrel
