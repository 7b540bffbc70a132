// Presenter keys, desktop colours and geometry, the fullscreen view and the help overlay,
// each on its own.
#include "shell/HelpOverlay.h"
#include "shell/PresentationView.h"
#include "shell/PresenterKeys.h"
#include "shell/Theme.h"

#include "support/Gui.h"

#include <QImage>
#include <gtest/gtest.h>

namespace rostrel {
namespace {

using A = PresenterAction;

TEST(PresenterKeys, RemoteAndKeyboardKeys) {
    for (int k : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_PageDown, Qt::Key_Right, Qt::Key_Down})
        EXPECT_EQ(presenterAction(k, Qt::NoModifier, FocusKind::Other), A::Pick) << k;
    for (int k : {Qt::Key_PageUp, Qt::Key_Left, Qt::Key_Up})
        EXPECT_EQ(presenterAction(k, Qt::NoModifier, FocusKind::Other), A::Back) << k;
    EXPECT_EQ(presenterAction(Qt::Key_F5, Qt::NoModifier, FocusKind::Other), A::Fullscreen);
    EXPECT_EQ(presenterAction(Qt::Key_F11, Qt::NoModifier, FocusKind::Other), A::Fullscreen);
    EXPECT_EQ(presenterAction(Qt::Key_Escape, Qt::NoModifier, FocusKind::Other), A::Leave);
    EXPECT_EQ(presenterAction(Qt::Key_B, Qt::NoModifier, FocusKind::Other), A::Blank);
    EXPECT_EQ(presenterAction(Qt::Key_Period, Qt::NoModifier, FocusKind::Other), A::Blank);
    EXPECT_EQ(presenterAction(Qt::Key_Z, Qt::ControlModifier, FocusKind::Other), A::Undo);
    EXPECT_EQ(presenterAction(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, FocusKind::Other), A::Redo);
    EXPECT_EQ(presenterAction(Qt::Key_Y, Qt::ControlModifier, FocusKind::Other), A::Redo);
    EXPECT_EQ(presenterAction(Qt::Key_Plus, Qt::ShiftModifier, FocusKind::Other), A::PointsUp);
    EXPECT_EQ(presenterAction(Qt::Key_Plus, Qt::KeypadModifier, FocusKind::Other), A::PointsUp);
    EXPECT_EQ(presenterAction(Qt::Key_Minus, Qt::KeypadModifier, FocusKind::Other), A::PointsDown);
    EXPECT_EQ(presenterAction(Qt::Key_Return, Qt::ControlModifier, FocusKind::Other), A::WriteScore);
    EXPECT_EQ(presenterAction(Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, FocusKind::Other),
              A::WriteScore);
    EXPECT_EQ(presenterAction(Qt::Key_F1, Qt::NoModifier, FocusKind::Other), A::Help);
    // Keys with other meanings stay theirs.
    EXPECT_EQ(presenterAction(Qt::Key_B, Qt::ControlModifier, FocusKind::Other), A::None);
    EXPECT_EQ(presenterAction(Qt::Key_Space, Qt::AltModifier, FocusKind::Other), A::None);
    EXPECT_EQ(presenterAction(Qt::Key_Tab, Qt::NoModifier, FocusKind::Other), A::None);
    EXPECT_EQ(presenterAction(Qt::Key_A, Qt::NoModifier, FocusKind::Other), A::None);
}

TEST(PresenterKeys, TextBoxesKeepTheirTyping) {
    for (int k : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Right, Qt::Key_Left, Qt::Key_Minus, Qt::Key_Plus,
                  Qt::Key_Period, Qt::Key_B, Qt::Key_PageDown})
        EXPECT_EQ(presenterAction(k, Qt::NoModifier, FocusKind::TextBox), A::None) << k;
    EXPECT_EQ(presenterAction(Qt::Key_Z, Qt::ControlModifier, FocusKind::TextBox), A::None);
    EXPECT_EQ(presenterAction(Qt::Key_F5, Qt::NoModifier, FocusKind::TextBox), A::Fullscreen);
    EXPECT_EQ(presenterAction(Qt::Key_F1, Qt::NoModifier, FocusKind::TextBox), A::Help);
    EXPECT_EQ(presenterAction(Qt::Key_Escape, Qt::NoModifier, FocusKind::TextBox), A::Leave);
}

TEST(PresenterKeys, ControlsReachedWithTabKeepTheirOwnKeys) {
    // A button, check box or image activates with Space and Enter; PageDown still picks.
    EXPECT_EQ(presenterAction(Qt::Key_Space, Qt::NoModifier, FocusKind::Button), A::None);
    EXPECT_EQ(presenterAction(Qt::Key_Return, Qt::NoModifier, FocusKind::Button), A::None);
    EXPECT_EQ(presenterAction(Qt::Key_PageDown, Qt::NoModifier, FocusKind::Button), A::Pick);
    EXPECT_EQ(presenterAction(Qt::Key_Z, Qt::ControlModifier, FocusKind::Button), A::Undo);
    // A list moves its selection with the arrows and page keys; Space still picks.
    EXPECT_EQ(presenterAction(Qt::Key_Down, Qt::NoModifier, FocusKind::List), A::None);
    EXPECT_EQ(presenterAction(Qt::Key_PageUp, Qt::NoModifier, FocusKind::List), A::None);
    EXPECT_EQ(presenterAction(Qt::Key_Space, Qt::NoModifier, FocusKind::List), A::Pick);
    EXPECT_EQ(presenterAction(Qt::Key_B, Qt::NoModifier, FocusKind::List), A::Blank);
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Base, QColor(0x23, 0x23, 0x23));
    p.setColor(QPalette::Text, Qt::white);
    return p;
}

TEST(Theme, LightKeepsWhiteAndGreyDarkGetsReadableDarkBoxes) {
    QPalette light;
    light.setColor(QPalette::Window, QColor(0xEF, 0xEF, 0xEF));
    light.setColor(QPalette::WindowText, Qt::black);
    EXPECT_FALSE(theme::isDark(light));
    EXPECT_EQ(theme::editingBack(light), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(theme::restingBack(light), QColor(0xE0, 0xE0, 0xE0));

    const QPalette dark = darkPalette();
    ASSERT_TRUE(theme::isDark(dark));
    const QColor edited = theme::editingBack(dark), resting = theme::restingBack(dark);
    EXPECT_LT(edited.lightness(), 128);
    EXPECT_GT(edited.lightness(), resting.lightness()); // the box being typed in stands out
    for (const QColor& back : {edited, resting})
        EXPECT_GE(theme::contrast(dark.color(QPalette::Text), back), 7.0) << back.name().toStdString();

    for (const QColor& back : {QColor(Qt::white), QColor(0x10, 0x14, 0x1A), QColor(0x23, 0x23, 0x23)}) {
        EXPECT_GE(theme::contrast(theme::warningColour(back), back), 4.5) << back.name().toStdString();
        EXPECT_GE(theme::contrast(theme::endedColour(back), back), 4.5) << back.name().toStdString();
    }
}

TEST(Theme, IconsGetALightPlateOnADarkDesktop) {
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    EXPECT_EQ(theme::visibleIcon(icon, QPalette()).toImage().pixelColor(16, 16).alpha(), 0);
    const QImage onDark = theme::visibleIcon(icon, darkPalette()).toImage();
    EXPECT_EQ(onDark.pixelColor(16, 16).alpha(), 255);
    EXPECT_GT(onDark.pixelColor(16, 16).lightness(), 200);
}

TEST(Theme, WindowFitsTheScreenAtEveryScaling) {
    const QSize design(617, 651);
    const QSize minimum(480, 420);
    const QMargins frame(1, 30, 1, 1);
    // A 1366x768 screen at 100 %, 150 % and 200 %, less a 32-pixel panel.
    for (double scale : {1.0, 1.5, 2.0}) {
        const QRect available(0, 0, static_cast<int>(1366 / scale), static_cast<int>((768 - 32) / scale));
        const QRect g = theme::fittedGeometry(design, minimum, available, frame);
        EXPECT_TRUE(available.contains(g.marginsAdded(frame))) << scale;
        if (scale == 1.0) {
            EXPECT_EQ(g.size(), design);
        }
    }
    // A remembered size larger than today's screen shrinks; a tiny one grows to the minimum.
    const QRect screen(1920, 0, 1280, 800);
    const QRect big = theme::fittedGeometry(QSize(3000, 2000), minimum, screen, frame);
    EXPECT_TRUE(screen.contains(big.marginsAdded(frame)));
    EXPECT_EQ(theme::fittedGeometry(QSize(100, 100), minimum, screen, frame).size(), minimum);
    EXPECT_EQ(theme::fittedGeometry(design, minimum, screen, frame).center().x(), screen.center().x());
}

TEST(PresentationView, TextFillsAnyProjectorAndTheClockColourFollowsItsTone) {
    PresentationView view;
    view.setPick(QStringLiteral("2组 \r\n张三"));
    EXPECT_EQ(view.pick(), QStringLiteral("2组 \r\n张三"));
    view.setPick(QStringLiteral("\r\n李四")); // the empty first line of "姓名" takes no room
    EXPECT_EQ(view.pick(), QStringLiteral("李四"));
    int last = 0;
    for (QSize s : {QSize(1024, 768), QSize(1920, 1080), QSize(3840, 2160)}) {
        view.resize(s);
        const int px = view.pickPixelSize();
        EXPECT_GT(px, s.height() / 5) << s.width();
        EXPECT_GT(px, last);
        EXPECT_GT(view.clockPixelSize(), s.height() / 10);
        last = px;
    }
    // A long text is made smaller to fit the width.
    view.setPick(QStringLiteral("欧阳娜娜娜娜娜娜娜娜娜娜"));
    EXPECT_LT(view.pickPixelSize(), last);

    const QColor normal = view.clockColour();
    view.setClock({QStringLiteral("00:59"), clock::ClockTone::Warning, true});
    EXPECT_NE(view.clockColour(), normal);
    view.setClock({clock::kTimeUpFace, clock::ClockTone::Ended, true});
    EXPECT_EQ(view.clockFace().text, clock::kTimeUpFace);
}

TEST(PresentationView, BlankShowsBlackAndAClickIsReported) {
    PresentationView view;
    view.resize(400, 300);
    view.setPick(QStringLiteral("张三"));
    view.show();
    ASSERT_TRUE(test::waitExposed(&view));
    QImage shown = view.grab().toImage();
    EXPECT_EQ(shown.pixelColor(5, 5), PresentationView::ground());
    view.setBlank(true);
    shown = view.grab().toImage();
    for (QPoint p : {QPoint(5, 5), QPoint(200, 120), QPoint(200, 250)})
        EXPECT_EQ(shown.pixelColor(p), QColor(Qt::black));
    int clicks = 0;
    QObject::connect(&view, &PresentationView::clicked, [&] { ++clicks; });
    test::click(&view, QPoint(200, 120));
    EXPECT_EQ(clicks, 1);
}

TEST(HelpOverlay, ListsEveryKeyAndClosesOnAClick) {
    QWidget window;
    window.resize(800, 600);
    HelpOverlay help(&window);
    EXPECT_TRUE(help.isHidden());
    for (const QString& k : {QStringLiteral("F5"), QStringLiteral("Ctrl+Z"), QStringLiteral("Ctrl+Y"),
                             QStringLiteral("PageUp"), QStringLiteral("B、."), QStringLiteral("F1")})
        EXPECT_TRUE(help.text().contains(k)) << k.toStdString();
    window.show();
    help.show();
    EXPECT_EQ(help.size(), QSize(800, 600));
    window.resize(1024, 768);
    EXPECT_EQ(help.size(), QSize(1024, 768));
    test::click(&help);
    EXPECT_TRUE(help.isHidden());
}

} // namespace
} // namespace rostrel
