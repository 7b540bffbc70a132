// In front of the class: presenter keys, the fullscreen view, the blank screen, the help,
// undo and redo of roll-book writes, absent marks and the remembered setup, driven with real
// key and mouse events on the shown window; roll books checked with xlrd after each step.
#include "platform/qt/SetupStore.h"
#include "rollbook/RealRollBook.h"
#include "shell/Classroom.h"
#include "shell/HelpOverlay.h"
#include "shell/PresentationView.h"
#include "shell/Theme.h"
#include "support/Driver.h"

#include <QMenuBar>
#include <QToolButton>

namespace rostrel::test {
namespace {

const QString kClass1 = QStringLiteral("高一(1)班");
const QString kClass2 = QStringLiteral("高一(2)班");

// The real window and engine, remembering its setup in a temporary XDG config folder.
struct Lesson {
    QTemporaryDir dir;
    FakePlatform fake;
    SettingsSetupStore store{dir.filePath(QStringLiteral("config/rostrel/rostrel.conf"))};
    std::unique_ptr<FrmMd> window;
    QString book;

    Lesson() { book = copyFixture(dir, QStringLiteral("lo_rollbook.xls"), QStringLiteral("点名册.xls")); }
    ~Lesson() { close(); }

    Platform platform() {
        Platform p = fake.view();
        p.setup = &store;
        return p;
    }
    FrmMd& open() {
        window = std::make_unique<FrmMd>(platform());
        window->show();
        EXPECT_TRUE(waitExposed(window.get()));
        window->activateWindow();
        if (!waitUntil([this] { return QApplication::activeWindow() == window.get(); }, 2000)) {
            QEvent activate(QEvent::WindowActivate);
            QApplication::sendEvent(window.get(), &activate);
        }
        QCoreApplication::processEvents();
        return *window;
    }
    void close() {
        if (window) {
            window->close();
            window.reset();
        }
    }
    template <typename T = QWidget> T* ctl(const QString& name) { return control<T>(window.get(), name); }
    // A key as the teacher presses it, to whatever has the focus.
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = QString()) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        pressKey(target, k, text, mods);
    }
    QString shown() { return ctl<QLabel>(QStringLiteral("lblXm"))->text(); }
};

RememberedSetup classTwoInOrder(const QString& book) {
    RememberedSetup s;
    s.rollBook = book;
    s.category = 0;
    s.className = kClass2;
    s.drawRule = 1; // in order: the picks are students 1, 2, 3 ...
    s.rolling = false;
    s.newColumn = true;
    return s;
}

TEST(Classroom, ScoresAbsentMarksUndoAndRedoWithKeysAcrossAClassSwitchAndARestart) {
    Lesson t;
    t.store.save(classTwoInOrder(t.book));
    const XlrdCells original = readWithXlrd(t.book);
    FrmMd& w = t.open();
    ASSERT_TRUE(waitUntil([&] { return t.ctl<QComboBox>(QStringLiteral("cmbXls"))->currentText() == kClass2; }));
    const int pool = w.lesson().session().PoolCount;
    ASSERT_EQ(pool, 30);

    // Space picks student 1; "+" raises the points to 6; Ctrl+Enter writes them.
    t.key(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    const QString name1 = w.lesson().session().PickText;
    ASSERT_FALSE(name1.isEmpty()) << t.shown().toStdString() << " focus "
                                  << (QApplication::focusWidget()
                                          ? QApplication::focusWidget()->objectName().toStdString()
                                          : "none")
                                  << " enabled " << t.ctl(QStringLiteral("lblXm"))->isEnabled();
    EXPECT_TRUE(t.shown().contains(name1));
    t.key(Qt::Key_Plus, Qt::ShiftModifier, QStringLiteral("+"));
    EXPECT_EQ(t.ctl<QComboBox>(arrayName("Combo1", 0))->currentText(), QStringLiteral("6"));
    t.key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(w.classroom().notice(), name1 + QStringLiteral(" +6 → 03月16"));
    auto* undo = t.ctl<QToolButton>(QStringLiteral("cmdCx"));
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->toolTip(), QStringLiteral("撤销：") + name1 + QStringLiteral(" +6"));
    EXPECT_EQ(changedCells(original, readWithXlrd(t.book)),
              (XlrdCells{{{kClass2, 2, 7}, QStringLiteral("1:'03月16'")}, {{kClass2, 3, 7}, QStringLiteral("2:6.0")}}));

    // Student 2 is absent: "缺" goes into today's column and the student leaves the pool.
    t.key(Qt::Key_PageDown);
    const QString name2 = w.lesson().session().PickText;
    ASSERT_NE(name2, name1);
    click(t.ctl(QStringLiteral("cmdQx")));
    EXPECT_EQ(readWithXlrd(t.book).at({kClass2, 4, 7}), QStringLiteral("1:'缺'"));
    EXPECT_EQ(w.lesson().session().PoolCount, pool - 1);
    EXPECT_EQ(undo->toolTip(), QStringLiteral("撤销：") + name2 + QStringLiteral(" 缺"));

    // Class 1 is loaded in between; the writes on class 2 are still taken back in order.
    chooseItem(t.ctl<QComboBox>(QStringLiteral("cmbXls")), 0);
    ASSERT_EQ(w.lesson().session().RosterCount, 45);
    t.key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(changedCells(original, readWithXlrd(t.book)),
              (XlrdCells{{{kClass2, 2, 7}, QStringLiteral("1:'03月16'")}, {{kClass2, 3, 7}, QStringLiteral("2:6.0")}}));
    click(undo);
    EXPECT_EQ(changedCells(original, readWithXlrd(t.book)), XlrdCells{});
    EXPECT_FALSE(undo->isEnabled());
    t.key(Qt::Key_Y, Qt::ControlModifier);
    t.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(readWithXlrd(t.book).at({kClass2, 4, 7}), QStringLiteral("1:'缺'"));

    // Back in class 2, an undone absent mark puts the student back into today's pool.
    chooseItem(t.ctl<QComboBox>(QStringLiteral("cmbXls")), 1);
    const int afterReload = w.lesson().session().PoolCount;
    EXPECT_EQ(afterReload, pool - 2); // both students have a cell today
    t.key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w.lesson().session().PoolCount, afterReload + 1);
    EXPECT_TRUE(t.fake.messages.shown.empty());

    // The next start opens the class it left, with the same draw rules.
    t.close();
    EXPECT_EQ(t.store.load().className, kClass2);
    FrmMd& again = t.open();
    ASSERT_TRUE(waitUntil([&] { return t.ctl<QComboBox>(QStringLiteral("cmbXls"))->currentText() == kClass2; }));
    EXPECT_TRUE(t.ctl<QRadioButton>(arrayName("OptDmFs", 1))->isChecked());
    EXPECT_FALSE(t.ctl<QCheckBox>(QStringLiteral("chkGd"))->isChecked());
    EXPECT_TRUE(t.ctl<QCheckBox>(QStringLiteral("chkRq"))->isChecked());
    EXPECT_FALSE(again.lesson().writeHistory().canUndo()); // a new lesson
}

TEST(Classroom, ARememberedRollBookThatIsGoneFallsBackWithoutAWord) {
    Lesson t;
    RememberedSetup s = classTwoInOrder(t.dir.filePath(QStringLiteral("gone.xls")));
    t.store.save(s);
    t.fake.fileDialog.answers.push_back({t.book, QStringLiteral("点名册.xls")});
    t.open();
    // No default roll book in the folders searched: the teacher is asked, nothing else.
    ASSERT_TRUE(waitUntil([&] { return t.ctl<QComboBox>(QStringLiteral("cmbXls"))->count() == 3; }));
    EXPECT_EQ(t.fake.fileDialog.filters.size(), 1);
    EXPECT_TRUE(t.fake.messages.shown.empty());
    EXPECT_EQ(t.ctl<QComboBox>(QStringLiteral("cmbXls"))->currentText(), kClass2);
}

TEST(Classroom, TheRollBookBoxNamesTheRememberedRollBook) {
    Lesson t;
    const QString other = copyFixture(t.dir, QStringLiteral("lo_rollbook.xlsx"), QStringLiteral("高一点名册.xlsx"));
    t.store.save(classTwoInOrder(other));
    t.open();
    ASSERT_TRUE(waitUntil([&] { return t.ctl<QComboBox>(QStringLiteral("cmbXls"))->currentText() == kClass2; }));
    EXPECT_EQ(t.ctl<QLineEdit>(QStringLiteral("txtFn"))->text(), QStringLiteral("高一点名册.xlsx"));
    EXPECT_EQ(t.window->lesson().rollBookPath(), other);
}

TEST(Classroom, ALessonEndedOnNumbersKeepsTheRememberedRollBookClassAndSplashChoice) {
    Lesson t;
    RememberedSetup s = classTwoInOrder(t.book);
    s.skipSplash = true;
    t.store.save(s);
    t.open();
    ASSERT_TRUE(waitUntil([&] { return t.ctl<QComboBox>(QStringLiteral("cmbXls"))->currentText() == kClass2; }));
    click(t.ctl(arrayName("OptFl", 1))); // numbers
    ASSERT_EQ(t.window->lesson().session().PickCategory, 1);
    t.close();

    const RememberedSetup kept = t.store.load();
    EXPECT_EQ(kept.category, 1);
    EXPECT_EQ(kept.rollBook, QFileInfo(t.book).absoluteFilePath());
    EXPECT_EQ(kept.className, kClass2);
    EXPECT_EQ(kept.skipSplash, true);
}

TEST(Classroom, PresenterKeysWhateverHasTheFocus) {
    Lesson t;
    FrmMd& w = t.open();
    auto* rolling = t.ctl<QCheckBox>(QStringLiteral("chkGd"));
    // After a mouse click on "滚动" the next Space picks, it does not untick it.
    click(rolling);
    EXPECT_FALSE(rolling->isChecked());
    const QString before = t.shown();
    t.key(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_FALSE(rolling->isChecked());
    EXPECT_NE(t.shown(), before);
    EXPECT_FALSE(QApplication::focusWidget() && qobject_cast<QAbstractButton*>(QApplication::focusWidget()));
    // Rolling on: Enter starts the 50 ms ticks, Right stops them with a pick.
    click(rolling);
    t.key(Qt::Key_Return);
    EXPECT_TRUE(t.ctl<QTimer>(QStringLiteral("Timer1"))->isActive());
    waitMs(120);
    t.key(Qt::Key_Right);
    EXPECT_FALSE(t.ctl<QTimer>(QStringLiteral("Timer1"))->isActive());
    EXPECT_EQ(t.fake.sound.played.last(), QStringLiteral("sound\\type.wav"));

    // In order, PageUp is "下一个": one further pick, and rolling is off.
    click(t.ctl(arrayName("OptDmFs", 1)));
    t.key(Qt::Key_PageUp);
    const QString first = w.lesson().session().PickKey;
    t.key(Qt::Key_Up);
    EXPECT_EQ(w.lesson().session().PickKey.toInt(), first.toInt() + 1);
    EXPECT_FALSE(rolling->isChecked());

    // "+" and "-" step the points; text boxes keep their typing.
    t.key(Qt::Key_Minus, Qt::NoModifier, QStringLiteral("-"));
    EXPECT_EQ(t.ctl<QComboBox>(arrayName("Combo1", 0))->currentText(), QStringLiteral("4"));
    auto* custom = t.ctl<QLineEdit>(QStringLiteral("txtShu"));
    custom->setFocus();
    ASSERT_TRUE(custom->hasFocus());
    replaceText(custom, QString());
    typeText(custom, QStringLiteral("7.-"));
    pressKey(custom, Qt::Key_B, QStringLiteral("b"));
    pressKey(custom, Qt::Key_Space, QStringLiteral(" "));
    EXPECT_TRUE(custom->text().startsWith(QStringLiteral("7.-"))) << custom->text().toStdString();
    EXPECT_FALSE(t.ctl<PresentationView>(QStringLiteral("fraQp"))->isVisible());             // no blank screen
    EXPECT_EQ(t.ctl<QComboBox>(arrayName("Combo1", 0))->currentText(), QStringLiteral("4")); // no points
    t.ctl(QStringLiteral("lblXm"))->setFocus();

    // F5 presents fullscreen, B blanks and brings back, Esc leaves.
    auto* view = t.ctl<PresentationView>(QStringLiteral("fraQp"));
    t.key(Qt::Key_F5);
    EXPECT_TRUE(w.classroom().presenting());
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(w.isFullScreen());
    EXPECT_FALSE(w.menuBar()->isVisible());
    EXPECT_EQ(view->pick(), t.shown().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).join(QStringLiteral("\r\n")));
    t.key(Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    EXPECT_TRUE(view->blank());
    t.key(Qt::Key_Period, Qt::NoModifier, QStringLiteral("."));
    EXPECT_FALSE(view->blank());
    // A pick while presenting shows on the view.
    t.key(Qt::Key_PageDown);
    EXPECT_EQ(view->pick(), t.shown().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).join(QStringLiteral("\r\n")));
    t.key(Qt::Key_F1);
    auto* help = t.ctl<HelpOverlay>(QStringLiteral("fraAj"));
    EXPECT_TRUE(help->isVisible());
    t.key(Qt::Key_Escape); // the help first
    EXPECT_FALSE(help->isVisible());
    EXPECT_TRUE(w.classroom().presenting());
    t.key(Qt::Key_Escape);
    EXPECT_FALSE(w.classroom().presenting());
    EXPECT_FALSE(view->isVisible());
    EXPECT_TRUE(w.menuBar()->isVisible());
    // Outside the view, B blanks the window.
    t.key(Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    EXPECT_TRUE(view->isVisible() && view->blank());
    t.key(Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    EXPECT_FALSE(view->isVisible());
}

TEST(Classroom, ClockPresetsWarningAndTimeUp) {
    Lesson t;
    FrmMd& w = t.open();
    auto* display = t.ctl<QLabel>(QStringLiteral("lblSj"));
    const QColor normal = display->palette().color(QPalette::WindowText);
    click(t.ctl(arrayName("cmdYs", 1)));                 // 3 minutes
    EXPECT_EQ(display->text(), QStringLiteral("03:00")); // at once, not a second later
    EXPECT_EQ(t.ctl<QComboBox>(QStringLiteral("cmbJsFs"))->currentText(), QStringLiteral("倒计时"));
    EXPECT_EQ(t.fake.sound.played.last(), QStringLiteral("sound\\start.wav"));

    t.fake.clock.advanceSeconds(121);
    ASSERT_TRUE(waitUntil([&] { return display->text() == QStringLiteral("00:59"); }, 3000));
    EXPECT_EQ(display->palette().color(QPalette::WindowText),
              theme::warningColour(display->parentWidget()->palette().color(QPalette::Window)));
    EXPECT_NE(display->palette().color(QPalette::WindowText), normal);

    // Pause holds the time, the next click goes on.
    click(t.ctl(QStringLiteral("imgJs")));
    EXPECT_EQ(t.ctl(QStringLiteral("imgJs"))->toolTip(), QStringLiteral("继续"));
    t.fake.clock.advanceSeconds(300);
    waitMs(1100);
    EXPECT_EQ(display->text(), QStringLiteral("00:59"));
    click(t.ctl(QStringLiteral("imgJs")));
    EXPECT_EQ(t.ctl(QStringLiteral("imgJs"))->toolTip(), QStringLiteral("暂停"));

    t.fake.clock.advanceSeconds(60);
    ASSERT_TRUE(waitUntil([&] { return display->text() == clock::kTimeUpFace; }, 3000));
    EXPECT_EQ(t.fake.sound.played.mid(t.fake.sound.played.size() - 2),
              (QStringList{QStringLiteral("sound\\start.wav"), QStringLiteral("sound\\over.wav")}));
    EXPECT_TRUE(w.lesson().clockFlashing());
    // The flash: the text disappears into the background half of the time.
    t.fake.clock.advanceMs(500);
    ASSERT_TRUE(waitUntil([&] { return !w.lesson().clockFace().lit; }, 2000));
    EXPECT_EQ(display->palette().color(QPalette::WindowText),
              display->parentWidget()->palette().color(QPalette::Window));
}

TEST(Classroom, DarkDesktopGetsReadableBoxesAndTheWindowFitsTheScreen) {
    const QPalette light = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Text, Qt::white);
    QApplication::setPalette(dark);
    {
        Lesson t;
        FrmMd& w = t.open();
        auto* low = t.ctl<QLineEdit>(arrayName("txtXh", 0));
        EXPECT_EQ(backColor(low), theme::restingBack(dark));
        focusIn(low);
        EXPECT_EQ(backColor(low), theme::editingBack(dark));
        EXPECT_GE(theme::contrast(low->palette().color(QPalette::Text), backColor(low)), 7.0);
        focusOut(low);
        const QRect screen = w.screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(w.geometry()));
    }
    QApplication::setPalette(light);
}

TEST(Classroom, KeypadEnterDownLeftAndF11) {
    Lesson t;
    FrmMd& w = t.open();
    click(t.ctl<QCheckBox>(QStringLiteral("chkGd"))); // rolling off: each key picks at once
    const auto picks = [&] { return t.fake.sound.played.count(QStringLiteral("sound\\type.wav")); };
    const qsizetype before = picks();
    t.key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(picks(), before + 1);
    t.key(Qt::Key_Down);
    EXPECT_EQ(picks(), before + 2);

    // In order, Left is "下一个".
    click(t.ctl(arrayName("OptDmFs", 1)));
    t.key(Qt::Key_Down);
    const int first = w.lesson().session().PickKey.toInt();
    t.key(Qt::Key_Left);
    EXPECT_EQ(w.lesson().session().PickKey.toInt(), first + 1);

    t.key(Qt::Key_F11);
    EXPECT_TRUE(w.classroom().presenting());
    EXPECT_TRUE(t.ctl<PresentationView>(QStringLiteral("fraQp"))->isVisible());
    t.key(Qt::Key_F11);
    EXPECT_FALSE(w.classroom().presenting());
    EXPECT_FALSE(t.ctl<PresentationView>(QStringLiteral("fraQp"))->isVisible());
}

} // namespace
} // namespace rostrel::test
