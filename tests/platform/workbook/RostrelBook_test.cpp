// The command-line companion: its commands, output format and refusals (tools/rostrel-book/check.sh
// on the built program, which lies beside the tests in the build tree).
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

TEST(RostrelBook, CommandsOutputAndRefusals) {
    const QString tool =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../tools/rostrel-book/rostrel-book"));
    if (!QFileInfo::exists(tool))
        GTEST_SKIP() << "rostrel-book is not built beside the tests";
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("bash"), {QStringLiteral(ROSTREL_SOURCE_DIR "/tools/rostrel-book/check.sh"), tool,
                                     QStringLiteral(ROSTREL_TEST_DATA_DIR "/fixtures")});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
}
