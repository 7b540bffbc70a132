// The main window shown and active on the offscreen platform, driven the way a user drives it:
// QTest clicks arrive as window-system input (a click gives the focus as a real one does) and
// keys go to whichever widget has the focus.
#pragma once

#include "shell/FrmMd.h"
#include "support/Driver.h"
#include "support/Fakes.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <utility>

namespace rostrel::test {

// Message boxes that are real modal dialogs, as on the desktop: each takes the activation
// (and so the focus) from the main window until its OK button is clicked, which happens as
// soon as it is active. What was shown is recorded.
class ModalMessageBoxes : public MessageBoxes {
public:
    void show(const QString& caption, const QString& text, MessageIcon icon) override {
        shown.push_back({caption, text, icon});
        QWidget* parent = QApplication::activeWindow();
        QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon, caption, text,
                        QMessageBox::Ok, parent);
        QTimer::singleShot(0, &box, [&box] {
            (void)QTest::qWaitForWindowActive(&box, 2000);
            QTest::mouseClick(box.button(QMessageBox::Ok), Qt::LeftButton);
        });
        box.exec();
        // The window manager gives the activation back before the user's next action (the
        // offscreen platform has none to do it).
        if (parent) {
            parent->activateWindow();
            (void)QTest::qWaitForWindowActive(parent, 2000);
        }
    }
    std::vector<Message> shown;
};

struct LiveWindow : ByName {
    FakePlatform fake;
    ModalMessageBoxes modal;
    std::unique_ptr<FrmMd> window;

    // With `modalMessages` the window's messages are real modal dialogs.
    explicit LiveWindow(bool modalMessages = false) : modal_(modalMessages) {
        Platform p = fake.view();
        if (modalMessages)
            p.messages = &modal;
        window = std::make_unique<FrmMd>(p);
        root = window.get();
        window->resize(1000, 700);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    ~LiveWindow() { window->close(); }

    FrmMd& w() { return *window; }
    // The lesson's roll-book session, roster, group plan and pick pool, read only.
    const SessionState& session() const { return std::as_const(*window).lesson().session(); }
    std::vector<Message>& messages() { return modal_ ? modal.shown : fake.messages.shown; }

    static QWidget* focused() { return QApplication::focusWidget(); }

    // A left click (with modifiers) in the middle of a widget, or at `pos`.
    static void clickOn(QWidget* w, Qt::KeyboardModifiers mods = Qt::NoModifier, QPoint pos = QPoint()) {
        QTest::mouseClick(w, Qt::LeftButton, mods, pos);
        QApplication::processEvents();
    }
    // A click on a list entry.
    static void clickItem(QListWidget* list, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        list->scrollToItem(list->item(row));
        clickOn(list->viewport(), mods, list->visualItemRect(list->item(row)).center());
    }
    // Keys typed into the widget that has the focus.
    static void type(const QString& text) {
        QTest::keyClicks(focused(), text);
        QApplication::processEvents();
    }
    static void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(focused(), k, mods);
        QApplication::processEvents();
    }
    // Clicks into a text box and replaces its whole text by typing.
    static void retype(QWidget* box, const QString& text) {
        clickOn(box);
        key(Qt::Key_A, Qt::ControlModifier);
        key(Qt::Key_Backspace);
        type(text);
    }

private:
    bool modal_;
};

} // namespace rostrel::test
