// Small widget classes that give Qt controls the events the window's handlers answer:
// clicks on labels and images, mouse-up on a list, focus and Enter on a text box.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace rostrel {

// A label or picture that can be clicked. As an image it is also reachable with the
// keyboard (focusable, Enter or Space clicks it) and carries its tooltip as accessible name.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent = nullptr);
    // Focusable, activated by Enter/Space; accessible name follows the tooltip.
    void makeKeyboardButton();
    void setToolTipAndName(const QString& tip);
    // Runs the click as if the user clicked (for menu items and handlers that "perform" it).
    void click() { Q_EMIT clicked(); }

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// A list box that also reports the mouse button being released over it.
class ListBox : public QListWidget {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent = nullptr);

Q_SIGNALS:
    void mouseUp();
    void doubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// A text box with focus and Enter events. `enterPressed` comes before the key reaches the box.
class TextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);

Q_SIGNALS:
    void gotFocus();
    void lostFocus();
    void enterPressed();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace rostrel
