// The lesson model on its own, without a window: the clock, the number list, the draw rules
// and the numeric entries, with the fakes of the platform seams.
#include "lesson/Lesson.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

using namespace rostrel;
using namespace rostrel::test;
using namespace Qt::StringLiterals;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

struct LessonTest : ::testing::Test {
    FakePlatform fake;
    Lesson lesson{fake.view()};
    std::vector<unsigned> notified;

    void SetUp() override {
        QObject::connect(&lesson, &Lesson::changed, [this](unsigned parts) { notified.push_back(parts); });
    }
    bool notifiedOf(unsigned part) const {
        for (unsigned p : notified)
            if (p & part)
                return true;
        return false;
    }
    // The number category with its default range listed.
    void numberCategory(int category = 1) {
        lesson.SetPickCategory(category);
        lesson.PrepareNumberList(category);
        ASSERT_TRUE(lesson.ConfirmRange(0));
    }
};

TEST_F(LessonTest, CountdownRunsFromAmountAndUnitAndEndsWithItsCues) {
    lesson.SetEntryText(1, u"1.5"_s);
    lesson.SetClockUnit(1); // minutes
    lesson.SetClockMode(1); // countdown
    notified.clear();
    lesson.StartOrStopClock();
    EXPECT_TRUE(notifiedOf(Lesson::ClockPart));
    EXPECT_TRUE(lesson.clockRunning());
    EXPECT_TRUE(lesson.clockTicking());
    EXPECT_DOUBLE_EQ(lesson.clockDuration() * 86400, 90.0);
    fake.clock.advanceSeconds(30);
    lesson.ClockTick();
    EXPECT_EQ(lesson.clockDisplay(), u"01:00"_s);
    fake.clock.advanceSeconds(61);
    lesson.ClockTick();
    EXPECT_EQ(lesson.clockDisplay(), u"时间到"_s);
    EXPECT_FALSE(lesson.clockRunning());
    EXPECT_FALSE(lesson.clockTicking());
    EXPECT_EQ(fake.sound.played, (QStringList{u"sound\\start.wav"_s, u"sound\\start.wav"_s, u"sound\\over.wav"_s}));
    // A tick already due when the clock stopped changes nothing.
    fake.clock.advanceSeconds(5);
    lesson.ClockTick();
    EXPECT_EQ(lesson.clockDisplay(), u"时间到"_s);
    EXPECT_EQ(fake.sound.played.size(), 3);
}

TEST_F(LessonTest, AResetStopsTheTicksButKeepsTheStartImageState) {
    lesson.StartOrStopClock();
    lesson.ResetClockDisplay();
    EXPECT_TRUE(lesson.clockRunning());
    EXPECT_FALSE(lesson.clockTicking());
    EXPECT_EQ(lesson.clockDisplay(), u"00:00:00"_s);
    lesson.SetClockIdle();
    EXPECT_FALSE(lesson.clockRunning());
    EXPECT_EQ(fake.sound.played.size(), 1); // idle without a cue
}

TEST_F(LessonTest, EntriesAreNormalisedAndSteppedWithinSixteenBits) {
    lesson.SetEntryText(1, u"007"_s);
    lesson.NormaliseEntry(1);
    EXPECT_EQ(lesson.entryText(1), u"7"_s);
    lesson.StepEntry(2);
    EXPECT_EQ(lesson.entryText(1), u"8"_s);
    lesson.SetEntryText(0, u"32767"_s);
    notified.clear();
    lesson.StepEntry(0);
    EXPECT_EQ(lesson.entryText(0), u"32767"_s);
    EXPECT_TRUE(notified.empty()); // nothing changed, nothing to redraw
    lesson.StepEntry(1);
    EXPECT_EQ(lesson.entryText(0), u"32766"_s);
    EXPECT_TRUE(notifiedOf(Lesson::ScoreEntryPart));
    EXPECT_EQ(lesson.entryText(1), u"8"_s);
}

TEST_F(LessonTest, RowColumnCategoryListsSeatsAndTheNameBoxFollows) {
    numberCategory(2);
    ASSERT_EQ(lesson.numberList().size(), 48);
    EXPECT_EQ(lesson.numberList().front(), u"1-1"_s);
    EXPECT_EQ(lesson.numberList().back(), u"6-8"_s);
    EXPECT_EQ(lesson.rangeLabel(0), u"行数"_s);
    EXPECT_EQ(lesson.entries(), lesson.numberList());
    EXPECT_EQ(lesson.session().RosterCount, 48);
    EXPECT_EQ(lesson.session().PoolCount, 48);

    lesson.BeginCustomEdit();
    EXPECT_TRUE(lesson.addImageShown());
    lesson.SetCustomText(u"7-1，3-5,09-9"_s);
    ASSERT_TRUE(lesson.AddCustomValues());
    EXPECT_FALSE(lesson.addImageShown());
    EXPECT_EQ(lesson.numberList().size(), 50);
    EXPECT_EQ(lesson.numberList().back(), u"9-9"_s);
    EXPECT_EQ(lesson.entries().size(), 50);
}

TEST_F(LessonTest, RemovingTakesOnlyTheSelectedEntryOnce) {
    numberCategory();
    const int revision = lesson.numberListRevision();
    lesson.RemoveSelectedNumber(); // nothing selected
    EXPECT_EQ(lesson.numberList().size(), 48);
    lesson.SelectNumber(2);
    EXPECT_TRUE(lesson.removeImageShown());
    lesson.RemoveSelectedNumber();
    EXPECT_EQ(lesson.numberList().size(), 47);
    EXPECT_FALSE(lesson.numberList().contains(u"3"_s));
    EXPECT_EQ(lesson.selectedNumber(), -1);
    EXPECT_FALSE(lesson.removeImageShown());
    EXPECT_GT(lesson.numberListRevision(), revision);
    EXPECT_EQ(lesson.session().PoolCount, 47);
    lesson.SelectNumber(99); // no such row
    EXPECT_EQ(lesson.selectedNumber(), -1);
    lesson.ClearNumberList();
    EXPECT_TRUE(lesson.entries().isEmpty());
    EXPECT_EQ(lesson.session().RosterCount, 0);
}

TEST_F(LessonTest, ARefusedRangeIsReportedAndChangesNothing) {
    numberCategory();
    lesson.SetRangeText(1, u"abc"_s);
    EXPECT_FALSE(lesson.ConfirmRange(1));
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_EQ(fake.messages.shown[0].text, u"请检查数据的合理性"_s);
    EXPECT_EQ(lesson.numberList().size(), 48);
    // The same range again rebuilds nothing; a new one does.
    lesson.SetRangeText(1, u"48"_s);
    const int revision = lesson.numberListRevision();
    EXPECT_TRUE(lesson.ConfirmRange(1));
    EXPECT_EQ(lesson.numberListRevision(), revision);
    lesson.SetRangeText(1, u"10"_s);
    EXPECT_TRUE(lesson.ConfirmRange(1));
    EXPECT_EQ(lesson.numberList().size(), 10);
    EXPECT_EQ(lesson.session().RangeVal2, 10);
}

TEST_F(LessonTest, RollingOffEndsARollingDisplay) {
    EXPECT_TRUE(lesson.rolling());
    lesson.StartRolling();
    EXPECT_TRUE(lesson.rollingActive());
    lesson.SetRolling(false);
    EXPECT_FALSE(lesson.rollingActive());
    lesson.StartRolling();
    lesson.StopRolling();
    EXPECT_FALSE(lesson.rollingActive());
    lesson.SetPresentationForms({u"a"_s, u"b"_s}, 1);
    EXPECT_EQ(lesson.presentationForm(), 1);
    lesson.SetPresentationForm(5); // no such form
    EXPECT_EQ(lesson.presentationForm(), -1);
    EXPECT_TRUE(notifiedOf(Lesson::DrawRulesPart));
}

TEST_F(LessonTest, FirstShowIsTakenOnce) {
    EXPECT_TRUE(lesson.TakeFirstShow());
    EXPECT_FALSE(lesson.TakeFirstShow());
}

} // namespace

TEST_F(LessonTest, ChoosingNumbersShowsTheFramesFirstThenListsTheRangeAsOneGroup) {
    std::vector<int> chosen;
    std::vector<int> categoryThen;
    std::vector<int> accepted;
    QObject::connect(&lesson, &Lesson::categoryChosen, [&](int c) {
        chosen.push_back(c);
        categoryThen.push_back(lesson.pickCategory());
    });
    QObject::connect(&lesson, &Lesson::rangeAccepted, [&](int box) { accepted.push_back(box); });
    lesson.ChooseCategory(1);
    EXPECT_EQ(chosen, std::vector<int>{1});
    EXPECT_EQ(categoryThen, std::vector<int>{0}); // before anything of the switch
    EXPECT_EQ(accepted, std::vector<int>{0});
    EXPECT_EQ(lesson.pickCategory(), 1);
    EXPECT_EQ(lesson.listedGroups(), 1);
    EXPECT_EQ(lesson.groupMembers(1).size(), 48);
    EXPECT_EQ(lesson.presentationForms().value(lesson.presentationForm()), u"组号号码"_s);
    EXPECT_FALSE(lesson.firstShowPending());

    lesson.ChooseCategory(3); // no such category
    EXPECT_EQ(chosen, std::vector<int>{1});
    EXPECT_EQ(lesson.pickCategory(), 1);
}
