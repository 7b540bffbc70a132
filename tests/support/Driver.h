// Drives the main window the way a teacher does: controls found by their object names, real
// mouse, key and focus events sent to them, and what they show read back.
#pragma once

#include "shell/Controls.h"
#include "shell/FrmMd.h"
#include "support/Gui.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

namespace rostrel::test {

// The control named `name` (a spec name, "OptFl(1)" for an array element); fails the test
// when there is none.
template <typename T = QWidget> T* control(QObject* root, const QString& name) {
    T* found = root->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << "no control " << name.toStdString();
    return found;
}

// The element `index` of the control array `name` ("OptFl", 1 finds "OptFl(1)").
template <typename T = QWidget> T* control(QObject* root, const char* name, int index) {
    return control<T>(root, arrayName(name, index));
}

// Every element of a control array that grows at run time ("MnBj": MnBj(0), MnBj(1) ...).
inline QList<QAction*> actionArray(QObject* root, const char* name) {
    QList<QAction*> out;
    while (auto* item = root->findChild<QAction*>(arrayName(name, static_cast<int>(out.size()))))
        out.append(item);
    return out;
}

// The controls of a window, found by object name and typed as what a test reads or drives:
// `t.label("lblXm")->text()`, `click(t.button("cmdNext", 1))`. A negative index names a
// single control, any other an element of a control array.
struct ByName {
    QObject* root = nullptr;

    template <typename T = QWidget> T* find(const QString& name) const { return control<T>(root, name); }
    template <typename T = QWidget> T* named(const char* name, int index = -1) const {
        return index < 0 ? control<T>(root, QString::fromLatin1(name)) : control<T>(root, name, index);
    }
    QWidget* widget(const char* name, int index = -1) const { return named<QWidget>(name, index); }
    QGroupBox* frame(const char* name) const { return named<QGroupBox>(name); }
    QLabel* label(const char* name, int index = -1) const { return named<QLabel>(name, index); }
    QListWidget* list(const char* name) const { return named<QListWidget>(name); }
    QComboBox* combo(const char* name, int index = -1) const { return named<QComboBox>(name, index); }
    QLineEdit* box(const char* name, int index = -1) const { return named<QLineEdit>(name, index); }
    QAbstractButton* button(const char* name, int index = -1) const { return named<QAbstractButton>(name, index); }
    QTimer* timer(const char* name) const { return named<QTimer>(name); }
    QMenu* menu(const char* name) const { return named<QMenu>(name); }
    QAction* action(const char* name, int index) const { return named<QAction>(name, index); }
    // The items of the class menu, one per worksheet.
    QList<QAction*> classItems() const { return actionArray(root, "MnBj"); }
};

// The window is activated, as the desktop does when it is shown or clicked.
inline void activate(QWidget& window) {
    QEvent e(QEvent::WindowActivate);
    QApplication::sendEvent(&window, &e);
}

// The control receives and loses the keyboard focus.
inline void focusIn(QWidget* w) {
    QFocusEvent e(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(w, &e);
}
inline void focusOut(QWidget* w) {
    QFocusEvent e(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &e);
}
// The box gets the focus, its text is replaced by typing `text`, and the focus leaves it.
inline void enterText(QLineEdit* box, const QString& text) {
    focusIn(box);
    box->selectAll();
    pressKey(box, Qt::Key_Delete);
    typeText(box, text);
    focusOut(box);
}
inline void pressEnter(QWidget* w) {
    pressKey(w, Qt::Key_Return, QStringLiteral("\r"));
}
// A double click on the list's current row.
inline void doubleClickCurrent(QAbstractItemView* list) {
    QWidget* port = list->viewport();
    const QPoint pos = list->visualRect(list->currentIndex()).center();
    const QPointF global = port->mapToGlobal(QPointF(pos));
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                      QEvent::MouseButtonRelease}) {
        const bool down = type != QEvent::MouseButtonRelease;
        QMouseEvent e(type, QPointF(pos), global, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(port, &e);
    }
}
// The mouse button released over the list's current row.
inline void releaseOnCurrent(QAbstractItemView* list) {
    QWidget* port = list->viewport();
    const QPoint pos = list->visualRect(list->currentIndex()).center();
    QMouseEvent e(QEvent::MouseButtonRelease, QPointF(pos), port->mapToGlobal(QPointF(pos)), Qt::LeftButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(port, &e);
}
// A check box or option button set with the keyboard (Space, as a click does: its click
// steps run); nothing happens when it is set so already.
inline void check(QAbstractButton* button, bool on = true) {
    if (button->isChecked() != on)
        pressKey(button, Qt::Key_Space, QStringLiteral(" "));
}
// The text of a box replaced by typing: all of it selected (Ctrl+A), deleted and `text`
// typed. The focus stays where it was.
inline void replaceText(QLineEdit* box, const QString& text) {
    pressKey(box, Qt::Key_A, QString(), Qt::ControlModifier);
    pressKey(box, Qt::Key_Backspace);
    typeText(box, text);
}
// Item `index` of a combo box chosen with the keyboard: its list opened (F4), the item
// reached with the arrow keys and taken with Enter, so that only that item is activated.
inline void chooseItem(QComboBox* combo, int index) {
    ASSERT_GE(index, 0) << "no such item in " << combo->objectName().toStdString();
    pressKey(combo, Qt::Key_F4);
    QAbstractItemView* items = combo->view();
    ASSERT_TRUE(items->isVisible()) << "the list of " << combo->objectName().toStdString() << " did not open";
    pressKey(items, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        pressKey(items, Qt::Key_Down);
    pressEnter(items);
}
// The item with this text chosen, or in a box one can type into, the text typed.
inline void chooseItem(QComboBox* combo, const QString& text) {
    if (combo->isEditable())
        replaceText(combo->lineEdit(), text);
    else
        chooseItem(combo, combo->findText(text));
}
// Row `row` of a list made current with the arrow keys, as a teacher moves through it
// (each row passed on the way is current for a moment); the mouse is not used, so nothing
// that a click does happens.
inline void moveToRow(QListWidget* list, int row) {
    if (list->currentRow() < 0 || list->currentRow() > row) {
        pressKey(list, Qt::Key_Home);
        if (list->currentRow() < 0)
            pressKey(list, Qt::Key_Down);
    }
    while (list->currentRow() < row && list->currentRow() >= 0) {
        const int before = list->currentRow();
        pressKey(list, Qt::Key_Down);
        if (list->currentRow() == before)
            break;
    }
    EXPECT_EQ(list->currentRow(), row) << list->objectName().toStdString();
}

// A menu item chosen with the mouse through the menu bar of `window`: its menu opened by a
// click on the bar, a submenu by a click on its entry, and the item clicked.
inline void chooseFromMenu(QMainWindow* window, QAction* item) {
    std::vector<QAction*> path{item}; // the item, then the entries that lead to it
    QMenuBar* bar = window->menuBar();
    for (;;) {
        QMenu* holder = nullptr;
        for (QObject* o : path.back()->associatedObjects())
            if (auto* m = qobject_cast<QMenu*>(o))
                holder = m;
        ASSERT_NE(holder, nullptr) << "no menu holds " << path.back()->text().toStdString();
        path.push_back(holder->menuAction());
        if (bar->actions().contains(holder->menuAction()))
            break;
    }
    // A window not shown has not laid out its bar: it gets the width its menus need, as on
    // the screen, instead of folding the last ones away.
    if (!window->windowHandle())
        window->createWinId(); // menus open on the screen of the window, shown or not
    if (!bar->isVisible()) {
        const QSize before = bar->size();
        bar->resize(bar->sizeHint());
        QResizeEvent resized(bar->size(), before); // a hidden widget gets it only when shown
        QApplication::sendEvent(bar, &resized);
    }
    QWidget* on = bar;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const QRect where = on == bar ? bar->actionGeometry(*it) : static_cast<QMenu*>(on)->actionGeometry(*it);
        ASSERT_TRUE(where.isValid()) << "not shown: " << (*it)->text().toStdString();
        click(on, where.center());
        if ((*it)->menu()) {
            on = (*it)->menu();
            ASSERT_TRUE(waitUntil([on] { return on->isVisible(); }, 2000))
                << "menu " << (*it)->text().toStdString() << " did not open";
        }
    }
}

// One tick of a timer, as its interval elapsing gives it.
inline void tick(QTimer* timer) {
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}
// A click on row `row` of a list, as the teacher makes it.
inline void clickRow(QAbstractItemView* list, int row) {
    list->scrollTo(list->model()->index(row, 0));
    click(list->viewport(), list->visualRect(list->model()->index(row, 0)).center());
}

} // namespace rostrel::test
