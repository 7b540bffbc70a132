// The splash's "下次启动不显示": ticking it does not end the splash, and the choice is
// what the start reads next time.
#include "shell/FrmFm.h"

#include "support/Gui.h"
#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::test;

TEST(SplashSkip, TickingTheBoxKeepsTheSplashAndIsReported) {
    int opened = 0;
    bool skipAtOpen = false;
    FrmFm* self = nullptr;
    FrmFm splash([&] {
        ++opened;
        skipAtOpen = self->skipNextTime();
    });
    self = &splash;
    splash.show();
    ASSERT_TRUE(waitExposed(&splash));
    QCheckBox* box = splash.findChild<QCheckBox*>(QStringLiteral("chkBxs"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("下次启动不显示"));
    EXPECT_TRUE(splash.rect().contains(box->geometry()));
    EXPECT_FALSE(splash.skipNextTime());
    click(box, QPoint(6, box->height() / 2));
    EXPECT_TRUE(splash.skipNextTime());
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(splash.isVisible());
    click(&splash, QPoint(20, 20));
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(skipAtOpen);
}
