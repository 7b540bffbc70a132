// The program's own data files are found where the program looks for them, and are what
// they claim to be.
#include "platform/qt/DesktopPlatform.h"

#include <QFile>
#include <QPixmap>
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
