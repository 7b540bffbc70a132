// The splash window: four ticks or a click open the main window, exactly once.
#include "shell/FrmFm.h"

#include "support/Driver.h"
#include "support/Gui.h"
#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::test;

TEST(Splash, DesignOfTheWindow) {
    FrmFm splash([] {});
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash.size(), QSize(479, 360)); // 7185 x 5400 twips
    EXPECT_EQ(splash.Label1->text(), QStringLiteral("Rostrel"));
    EXPECT_DOUBLE_EQ(splash.Label1->font().pointSizeF(), 36.0);
    EXPECT_EQ(splash.Label1->font().family(), QStringLiteral("微软雅黑"));
    EXPECT_FALSE(splash.Image1->pixmap().isNull());
    EXPECT_EQ(splash.Image1->size(), QSize(75, 75)); // 1125 twips
    for (QLabel* l : splash.Label2)
        EXPECT_FALSE(l->text().isEmpty());
    EXPECT_TRUE(splash.Timer1->isActive());
    EXPECT_EQ(splash.Timer1->interval(), 500);
    EXPECT_EQ(splash.ticks(), 0);
}

TEST(Splash, FourthTickOpensTheMainWindowOnce) {
    int opened = 0;
    FrmFm splash([&] { ++opened; });
    splash.show();
    for (int i = 1; i <= 3; ++i) {
        tick(splash.Timer1);
        EXPECT_EQ(opened, 0) << "tick " << i;
    }
    tick(splash.Timer1);
    EXPECT_EQ(opened, 1);
    EXPECT_FALSE(splash.Timer1->isActive());
    EXPECT_FALSE(splash.isVisible());
    tick(splash.Timer1);
    click(&splash, QPoint(20, 20));
    EXPECT_EQ(opened, 1);
}

TEST(Splash, ClickDuringTheFirstSecondOpensAtOnceAndNeverAgain) {
    int opened = 0;
    FrmFm splash([&] { ++opened; });
    splash.show();
    ASSERT_TRUE(waitExposed(&splash));
    tick(splash.Timer1);
    click(&splash, QPoint(20, 20));
    EXPECT_EQ(opened, 1);
    EXPECT_FALSE(splash.Timer1->isActive());
    EXPECT_FALSE(splash.isVisible());
    waitMs(2300); // the ticks that would have come
    EXPECT_EQ(opened, 1);
}

TEST(Splash, ClickOnTheNameOpensToo) {
    int opened = 0;
    FrmFm splash([&] { ++opened; });
    splash.show();
    ASSERT_TRUE(waitExposed(&splash));
    click(splash.Label1);
    EXPECT_EQ(opened, 1);
}

TEST(Splash, WithoutAClickTheMainWindowOpensAfterAboutTwoSeconds) {
    int opened = 0;
    QElapsedTimer clock;
    FrmFm splash([&] { ++opened; });
    clock.start();
    splash.show();
    ASSERT_TRUE(waitUntil([&] { return opened == 1; }));
    EXPECT_GE(clock.elapsed(), 1800); // four ticks of 500 ms (timers may fire a little early)
    EXPECT_EQ(splash.ticks(), 4);
}
