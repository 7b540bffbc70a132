// The program's own data files are found where the program looks for them, and are what
// they claim to be.
#include "platform/qt/DesktopPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace rostrel;

TEST(DataFiles, TheFiveCuesAreShortWaveFiles) {
    for (const char* cue : {"start", "over", "type", "type0", "yes"}) {
        // Callers pass "sound\\x.wav"; the player turns the separator around before the lookup.
        const QString path = findDataFile(QStringLiteral("sound/") + QLatin1String(cue) + QStringLiteral(".wav"));
        ASSERT_FALSE(path.isEmpty()) << cue;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(44);
        EXPECT_TRUE(head.startsWith("RIFF") && head.mid(8, 4) == "WAVE") << cue;
        EXPECT_LT(f.size(), 200 * 1024) << cue;
    }
}

TEST(DataFiles, PicturesLoad) {
    for (const char* name : {"imgFz0", "imgFz1", "imgXie0", "imgXie1", "imgJs0", "imgJs1", "Image1", "Image2",
                             "ImgZdy0", "ImgZdy1", "ImgZdy2", "rostrel-48", "rostrel-256"}) {
        QPixmap pm;
        EXPECT_TRUE(pm.load(findDataFile(QStringLiteral("icons/") + QLatin1String(name) + QStringLiteral(".png"))))
            << name;
    }
}

TEST(DataFiles, MissingCueIsNoFailure) {
    QtSoundPlayer player;
    EXPECT_NO_THROW(player.playWave(QStringLiteral("sound\\no-such-cue.wav")));
    EXPECT_TRUE(findDataFile(QStringLiteral("sound/no-such-cue.wav")).isEmpty());
}

// The current folder wins; without the file there, the data folder beside the program answers
// (../share/rostrel from bin/ once installed; the build folder links the same place to share/).
TEST(DataFiles, CurrentFolderFirstThenTheDataFolderBesideTheProgram) {
    const QString rel = QStringLiteral("sound/yes.wav");
    const QString besideProgram =
        QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/rostrel/sound/yes.wav"))
            .canonicalFilePath();
    ASSERT_FALSE(besideProgram.isEmpty());
    EXPECT_EQ(QFileInfo(findDataFile(rel)).canonicalFilePath(), besideProgram);

    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("sound")));
    QFile own(dir.filePath(rel));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("RIFF");
    own.close();
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const QString found = findDataFile(rel);
    QDir::setCurrent(before);
    EXPECT_EQ(QFileInfo(found).canonicalFilePath(), QFileInfo(own).canonicalFilePath());
}
