// The clock of the main window: start, pause and resume, ticks and the end of a run ("时间到")
// in both modes, with a fixed clock and the timer's ticks given one by one; the menu and the
// numeric entry boxes. Runs under an hour show mm:ss.
#include "shell/FrmMd.h"
#include "support/Driver.h"
#include "support/Fakes.h"
#include "support/Gui.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <memory>

using namespace rostrel;
using namespace rostrel::test;

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kStart = QStringLiteral("sound\\start.wav");
const QString kOver = QStringLiteral("sound\\over.wav");

} // namespace

class ClockTest : public ::testing::Test, public ByName {
protected:
    void SetUp() override {
        w = std::make_unique<FrmMd>(fake.view());
        root = w.get();
    }

    // Sets amount, unit and mode, then clicks the clock image.
    void start(const QString& amount, const QString& unit, const QString& mode) {
        replaceText(combo("Combo1", 1)->lineEdit(), amount);
        chooseItem(combo("cmbJsDw"), unit);
        chooseItem(combo("cmbJsFs"), mode);
        click(label("imgJs"));
    }
    // Advances the fake clock and takes one tick; returns the label.
    QString tickAfter(int seconds) {
        fake.clock.advanceSeconds(seconds);
        tick(timer("timJs"));
        return label("lblSj")->text();
    }
    QString state() const { return label("imgJs")->toolTip(); }
    bool running() const { return timer("timJs")->isActive(); }
    QString box(int i) const { return combo("Combo1", i)->currentText(); }

    FakePlatform fake;
    std::unique_ptr<FrmMd> w;
};

TEST_F(ClockTest, StartSetsTheRunningStateAndShowsTheRunAtOnce) {
    start("5", "秒", "正计时");
    EXPECT_TRUE(running());
    EXPECT_EQ(state(), QStringLiteral("暂停"));
    EXPECT_EQ(label("imgJs")->toolTip(), QStringLiteral("暂停"));
    EXPECT_EQ(label("imgJs")->pixmap().cacheKey(), label("Image4")->pixmap().cacheKey());
    EXPECT_EQ(label("lblSj")->text(), QStringLiteral("00:00"));
    EXPECT_EQ(fake.sound.played, QStringList{kStart});
    EXPECT_DOUBLE_EQ(w->lesson().clockDuration() * 86400, 5.0);
}

TEST_F(ClockTest, CountUpShowsElapsedSecondsAndEndsAtTheSetTime) {
    start("5", "秒", "正计时");
    EXPECT_EQ(tickAfter(1), QStringLiteral("00:01"));
    EXPECT_EQ(tickAfter(1), QStringLiteral("00:02"));
    EXPECT_EQ(tickAfter(2), QStringLiteral("00:04")); // a late tick skips a second
    EXPECT_TRUE(running());
    EXPECT_EQ(tickAfter(3), QStringLiteral("时间到")); // the end, never more than the set time
    EXPECT_FALSE(running());
    EXPECT_EQ(state(), QStringLiteral("计时"));
    EXPECT_EQ(label("imgJs")->pixmap().cacheKey(), label("Image3")->pixmap().cacheKey());
    EXPECT_EQ(fake.sound.played, (QStringList{kStart, kStart, kOver})); // over is the one heard
}

TEST_F(ClockTest, CountdownOfOneAndAHalfMinutes) {
    chooseFromMenu(w.get(), action("MnJs", 1)); // 倒计时
    EXPECT_EQ(combo("cmbJsFs")->currentIndex(), 1);
    replaceText(combo("Combo1", 1)->lineEdit(), "1.5");
    chooseItem(combo("cmbJsDw"), "分");
    click(label("imgJs"));
    EXPECT_EQ(label("lblSj")->text(), QStringLiteral("01:30")); // the set time at once
    EXPECT_EQ(tickAfter(1), QStringLiteral("01:29"));
    EXPECT_EQ(tickAfter(88), QStringLiteral("00:01"));
    EXPECT_EQ(tickAfter(1), QStringLiteral("时间到"));
    EXPECT_FALSE(running());
}

TEST_F(ClockTest, HalfSecondsRoundToEven) {
    start("2.5", "秒", "倒计时");
    EXPECT_EQ(tickAfter(1), QStringLiteral("00:01"));
    EXPECT_EQ(tickAfter(1), QStringLiteral("时间到"));
    EXPECT_FALSE(running()); // 2 seconds
    start("3.5", "秒", "倒计时");
    EXPECT_EQ(tickAfter(3), QStringLiteral("00:01"));
    EXPECT_TRUE(running()); // 4 seconds
}

TEST_F(ClockTest, EmptyOrZeroAmountEndsAtTheFirstTickInBothModes) {
    for (const char* mode : {"正计时", "倒计时"}) {
        fake.sound.played.clear();
        label("lblSj")->setText("12:34:56");
        start("", "秒", QString::fromUtf8(mode));
        EXPECT_EQ(tickAfter(1), QStringLiteral("时间到")) << mode;
        EXPECT_FALSE(running());
        EXPECT_EQ(fake.sound.played, (QStringList{kStart, kStart, kOver}));
    }
}

TEST_F(ClockTest, PauseKeepsTheLabelAndTheNextClickGoesOn) {
    start("10", "秒", "倒计时");
    EXPECT_EQ(tickAfter(3), QStringLiteral("00:07"));
    click(label("imgJs")); // pause
    EXPECT_FALSE(running());
    EXPECT_EQ(state(), QStringLiteral("继续"));
    EXPECT_EQ(label("lblSj")->text(), QStringLiteral("00:07"));
    EXPECT_EQ(fake.sound.played, (QStringList{kStart, kStart}));
    fake.clock.advanceSeconds(30);
    click(label("imgJs")); // resume
    EXPECT_EQ(tickAfter(1), QStringLiteral("00:06"));
    // A new amount set while paused starts a new run.
    click(label("imgJs"));
    start("20", "秒", "倒计时");
    EXPECT_EQ(label("lblSj")->text(), QStringLiteral("00:20"));
    EXPECT_TRUE(running());
}

TEST_F(ClockTest, ClickOnTheTimeLabelActsAsTheImage) {
    replaceText(combo("Combo1", 1)->lineEdit(), "10");
    click(label("lblSj"));
    EXPECT_TRUE(running());
    click(label("lblSj"));
    EXPECT_FALSE(running());
    EXPECT_EQ(fake.sound.played, (QStringList{kStart, kStart}));
}

TEST_F(ClockTest, ModeSwitchDuringARunShowsAtTheNextTick) {
    start("10", "秒", "正计时");
    EXPECT_EQ(tickAfter(2), QStringLiteral("00:02"));
    chooseFromMenu(w.get(), action("MnJs", 1));
    EXPECT_EQ(tickAfter(1), QStringLiteral("00:07"));
    chooseFromMenu(w.get(), action("MnJs", 2));
    EXPECT_EQ(combo("cmbJsFs")->currentIndex(), 0);
    EXPECT_EQ(tickAfter(7), QStringLiteral("时间到"));
    EXPECT_FALSE(running());
}

TEST_F(ClockTest, ChangingAmountOrUnitDuringARunDoesNotChangeIt) {
    start("3", "秒", "倒计时");
    replaceText(combo("Combo1", 1)->lineEdit(), "50");
    chooseItem(combo("cmbJsDw"), "时");
    EXPECT_EQ(tickAfter(1), QStringLiteral("00:02"));
}

TEST_F(ClockTest, RunAcrossMidnightKeepsCounting) {
    fake.clock.current = QDateTime(QDate(2026, 3, 16), QTime(23, 59, 58));
    start("5", "秒", "正计时");
    EXPECT_EQ(tickAfter(1), QStringLiteral("00:01"));
    EXPECT_EQ(tickAfter(2), QStringLiteral("00:03")); // now 00:00:01 of the next day
    EXPECT_TRUE(running());
    EXPECT_EQ(tickAfter(2), QStringLiteral("时间到"));
    EXPECT_FALSE(running());
}

TEST_F(ClockTest, AmountsOutsideADayAreHeldToIt) {
    start("-5", "分", "倒计时");
    EXPECT_DOUBLE_EQ(w->lesson().clockDuration(), 0.0);
    EXPECT_EQ(tickAfter(1), QStringLiteral("时间到"));
    EXPECT_FALSE(running());
    start("30", "时", "倒计时");
    EXPECT_EQ(tickAfter(1), QStringLiteral("23:59:58")); // 23:59:59, the longest run
    click(label("imgJs"));                               // pause
    start("24", "时", "正计时");
    EXPECT_EQ(tickAfter(86399), QStringLiteral("时间到"));
    EXPECT_FALSE(running());
}

TEST_F(ClockTest, TickWhenIdleDoesNothing) {
    tick(timer("timJs"));
    EXPECT_EQ(label("lblSj")->text(), QStringLiteral("00:00:00"));
    EXPECT_TRUE(fake.sound.played.isEmpty());
    EXPECT_EQ(state(), QStringLiteral("计时"));
}

TEST_F(ClockTest, SettingsMenuTogglesTheFrame) {
    auto* settings = action("MnJs", 0);
    chooseFromMenu(w.get(), settings); // from the menu
    EXPECT_FALSE(settings->isChecked());
    EXPECT_TRUE(frame("fraJs")->isHidden());
    chooseFromMenu(w.get(), settings);
    EXPECT_TRUE(settings->isChecked());
    EXPECT_FALSE(frame("fraJs")->isHidden());
    // A category switch shows the frame without the mark; the next click toggles the mark.
    chooseFromMenu(w.get(), settings);
    ASSERT_TRUE(frame("fraJs")->isHidden());
    check(button("OptFl", 2));
    ASSERT_FALSE(frame("fraJs")->isHidden());
    ASSERT_FALSE(settings->isChecked());
    chooseFromMenu(w.get(), settings);
    EXPECT_TRUE(settings->isChecked());
    EXPECT_FALSE(frame("fraJs")->isHidden());
}

TEST_F(ClockTest, KeyFilterLetsOnlyNumbersThrough) {
    QLineEdit* edit = combo("Combo1", 1)->lineEdit();
    replaceText(edit, QString());
    typeText(edit, QStringLiteral("1a.-x2 "));
    EXPECT_EQ(edit->text(), QStringLiteral("1.-2"));
    pressKey(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("1.-"));
    replaceText(edit, QStringLiteral("007"));
    pressKey(edit, Qt::Key_Return, QStringLiteral("\r")); // Enter: the step of leaving the box
    EXPECT_EQ(edit->text(), QStringLiteral("7"));
    EXPECT_EQ(combo("Combo1", 1)->count(), 10); // and nothing is added to the list
    QLineEdit* score = combo("Combo1", 0)->lineEdit();
    replaceText(score, QString());
    typeText(score, QStringLiteral("-3元"));
    EXPECT_EQ(score->text(), QStringLiteral("-3"));
}

TEST_F(ClockTest, LeavingABoxNormalisesItsNumber) {
    const std::pair<const char*, const char*> cases[] = {{"007", "7"}, {"1.50", "1.5"}, {"", "0"}, {"-", "0"}};
    for (const auto& [typed, shown] : cases) {
        for (int i = 0; i < 2; ++i) {
            replaceText(combo("Combo1", i)->lineEdit(), QString::fromLatin1(typed));
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(combo("Combo1", i)->lineEdit(), &out);
            EXPECT_EQ(box(i), QString::fromLatin1(shown)) << typed;
        }
    }
    // Opening the box's own list is not leaving it.
    replaceText(combo("Combo1", 1)->lineEdit(), "007");
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(combo("Combo1", 1)->lineEdit(), &popup);
    EXPECT_EQ(box(1), QStringLiteral("007"));
}

TEST_F(ClockTest, StepButtons) {
    replaceText(combo("Combo1", 1)->lineEdit(), "5");
    click(button("Command1", 2));
    EXPECT_EQ(box(1), QStringLiteral("6"));
    replaceText(combo("Combo1", 1)->lineEdit(), "2.5");
    click(button("Command1", 3));
    EXPECT_EQ(box(1), QStringLiteral("1"));
    replaceText(combo("Combo1", 0)->lineEdit(), "-5");
    click(button("Command1", 1));
    EXPECT_EQ(box(0), QStringLiteral("-6"));
    click(button("Command1", 0));
    click(button("Command1", 0));
    EXPECT_EQ(box(0), QStringLiteral("-4"));
    EXPECT_EQ(box(1), QStringLiteral("1")); // the other box is untouched
    // At the ends of the 16-bit range the text stays.
    replaceText(combo("Combo1", 0)->lineEdit(), "32767");
    click(button("Command1", 0));
    EXPECT_EQ(box(0), QStringLiteral("32767"));
    replaceText(combo("Combo1", 1)->lineEdit(), "-32768");
    click(button("Command1", 3));
    EXPECT_EQ(box(1), QStringLiteral("-32768"));
    replaceText(combo("Combo1", 1)->lineEdit(), "99999");
    click(button("Command1", 2));
    EXPECT_EQ(box(1), QStringLiteral("99999"));
    replaceText(combo("Combo1", 1)->lineEdit(), "32767.5"); // rounds to 32768
    click(button("Command1", 3));
    EXPECT_EQ(box(1), QStringLiteral("32767.5"));
}
