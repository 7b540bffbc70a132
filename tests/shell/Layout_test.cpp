// The layout pass at the design size, doubled, twice as wide, and too small; display modes.
#include "WindowFixture.h"

#include <QAction>

using namespace rostrel;
using namespace rostrel::test;

namespace {

double points(const QWidget* w) {
    return w->font().pointSizeF();
}

} // namespace

class LayoutTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        showWindow();
        design = w->size();
        menu = w->height() - w->centralWidget()->height();
    }
    QSize design;
    int menu = 0;
};

TEST_F(LayoutTest, DesignSizeGivesRatioOne) {
    EXPECT_EQ(design.width(), 617);                 // 9255 twips
    EXPECT_EQ(w->centralWidget()->height(), 626);   // 9390 twips
    EXPECT_NEAR(points(find("lblXm")), 86.4, 1e-4); // 72 x 1.2
    EXPECT_NEAR(points(find("lblSj")), 50.4, 1e-4); // 42 x 1.2
    EXPECT_NEAR(points(find("List1")), 16.0, 1e-6);
    EXPECT_NEAR(points(find("List2")), 16.0, 1e-6);
    EXPECT_EQ(find("lblSj")->height(), 124);                            // 1.9 x 975 twips = 1852.5
    EXPECT_EQ(find("fraShezhi")->x(), 72);                              // (9255 - 7095) / 2 = 1080 twips
    EXPECT_EQ(find("fraxianshi")->geometry(), QRect(0, 221, 617, 406)); // 9390 - 3105 - 200 = 6085
    EXPECT_EQ(find("lblSj")->geometry(), QRect(0, 257, 617, 124));      // 6085 - 1.2 x 1852.5 = 3862
    EXPECT_EQ(find("lblXm")->geometry().topLeft(), QPoint(0, 43));      // (6085 - 3862 - 300) / 3 = 641
    EXPECT_EQ(find("lblXm")->width(), 617);
    EXPECT_EQ(find("frXx")->geometry(), QRect(74, 0, 469, 311)); // left (9255 - 7035) / 2 = 1110
    EXPECT_EQ(find("LabXx")->geometry(), QRect(0, 311, 617, 33));
    EXPECT_EQ(find("List1")->size(), QSize(417, 255)); // 7035 - 780, 4665 - 840
    EXPECT_EQ(find("List2")->height(), 255);
}

TEST_F(LayoutTest, DoubledWindowDoublesFontsAndTheGroupPanel) {
    resizeTo(2 * design.width(), 2 * design.height());
    EXPECT_NEAR(points(find("lblXm")), 172.8, 1e-3);
    EXPECT_NEAR(points(find("lblSj")), 100.8, 1e-3);
    EXPECT_NEAR(points(find("List1")), 32.0, 1e-4);
    EXPECT_EQ(find("frXx")->size(), QSize(938, 622));
    EXPECT_EQ(find("LabXx")->height(), 66);
    EXPECT_EQ(find("lblSj")->height(), 247); // 3705 twips
    EXPECT_EQ(find("List1")->size(), QSize(938 - 52, 622 - 56));
    // The settings area keeps its size and is centred.
    EXPECT_EQ(find("fraShezhi")->size(), QSize(473, 207));
    EXPECT_EQ(find("fraShezhi")->x(), (2 * 617 - 473) / 2 + 1);
}

TEST_F(LayoutTest, TwiceAsWideButNoTallerKeepsRatioOne) {
    resizeTo(2 * design.width(), design.height());
    EXPECT_NEAR(points(find("lblXm")), 86.4, 1e-4);
    EXPECT_NEAR(points(find("lblSj")), 50.4, 1e-4);
    EXPECT_EQ(find("frXx")->size(), QSize(469, 311));
    // Widths that follow the window, and the centring.
    EXPECT_EQ(find("lblXm")->width(), 1234);
    EXPECT_EQ(find("lblSj")->width(), 1234);
    EXPECT_EQ(find("LabXx")->width(), 1234);
    EXPECT_EQ(find("fraxianshi")->width(), 1234);
    EXPECT_NEAR(2 * find("frXx")->x() + find("frXx")->width(), 1234, 1);
    EXPECT_NEAR(2 * find("fraShezhi")->x() + 473, 1234, 1);
}

TEST_F(LayoutTest, RepeatedResizingDoesNotAccumulate) {
    const QRect xm = find("lblXm")->geometry();
    const QRect sj = find("lblSj")->geometry();
    for (double f : {1.37, 0.81, 2.2, 1.0})
        resizeTo(static_cast<int>(design.width() * f), static_cast<int>(design.height() * f));
    EXPECT_EQ(find("lblXm")->geometry(), xm);
    EXPECT_EQ(find("lblSj")->geometry(), sj);
    EXPECT_NEAR(points(find("lblXm")), 86.4, 1e-4);
}

TEST_F(LayoutTest, TooSmallAWindowKeepsTheLastLayout) {
    const QRect xianshi = find("fraxianshi")->geometry();
    const QRect sj = find("lblSj")->geometry();
    const double font = points(find("lblXm"));
    resizeTo(300, 120); // no room below the settings area
    EXPECT_EQ(find("fraxianshi")->geometry(), xianshi);
    EXPECT_EQ(find("lblSj")->geometry(), sj);
    EXPECT_DOUBLE_EQ(points(find("lblXm")), font);
    for (const char* name : {"fraxianshi", "lblXm", "lblSj", "frXx", "LabXx", "List1", "List2"}) {
        const QWidget* c = find(QString::fromLatin1(name));
        EXPECT_GT(c->width(), 0) << name;
        EXPECT_GT(c->height(), 0) << name;
    }
}

TEST_F(LayoutTest, NameAndClockDoNotOverlapAndTheNameFits) {
    for (QSize s : {design, design * 2, QSize(2 * design.width(), design.height()), QSize(400, 560)}) {
        resizeTo(s.width(), s.height());
        const QRect xm = find("lblXm")->geometry();
        const QRect sj = find("lblSj")->geometry();
        EXPECT_LE(xm.bottom(), sj.top()) << s.width() << "x" << s.height();
        EXPECT_LE(sj.bottom(), find("fraxianshi")->height() - 1);
        // Two lines at the large font are drawn whole, scaled down where needed.
        auto* name = static_cast<NameLabel*>(find<QLabel>("lblXm"));
        name->setText(QStringLiteral("号码\r\n点名"));
        const double scale = name->fitScale(name->contentsRect().size());
        EXPECT_GT(scale, 0.5);
        EXPECT_LE(scale, 1.0);
    }
}

TEST_F(LayoutTest, DisplayModes) {
    auto* shezhi = find("fraShezhi");
    auto* xx = find("frXx");
    const QSize panel = xx->size();
    const QRect xianshi = find("fraxianshi")->geometry();
    chooseFromMenu(w.get(), find<QAction>("MnXs(0)")); // 极简
    EXPECT_TRUE(shezhi->isHidden());
    EXPECT_EQ(find("fraxianshi")->geometry(), xianshi); // the display area stays in place
    chooseFromMenu(w.get(), find<QAction>("MnXs(2)"));  // 详细显示
    EXPECT_FALSE(shezhi->isHidden());
    EXPECT_FALSE(xx->isHidden());
    EXPECT_EQ(xx->size(), panel);
    chooseFromMenu(w.get(), find<QAction>("MnXs(1)")); // 显示参数
    EXPECT_FALSE(shezhi->isHidden());
    EXPECT_TRUE(xx->isHidden());
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(find<QAction>(arrayName("MnXs", i))->isChecked());
}
