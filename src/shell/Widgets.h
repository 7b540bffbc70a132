// Small widget classes that give Qt controls the events the window's handlers answer:
// clicks on labels and images, mouse-up on a list, focus and Enter on a text box.
#pragma once

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>

namespace rostrel {

// Background of the text boxes: white while edited, light grey at rest or disabled (set for
// every colour group, so a disabled box shows it too).
inline const QColor kEditingBack(0xFF, 0xFF, 0xFF);
inline const QColor kRestingBack(0xE0, 0xE0, 0xE0);

inline void setBackColor(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, c);
    w->setPalette(p);
}

inline QColor backColor(const QWidget* w) {
    return w->palette().color(QPalette::Base);
}

// A label or picture that can be clicked. As an image it is also reachable with the
// keyboard (focusable, Enter or Space clicks it) and carries its tooltip as accessible name.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent = nullptr);
    // Focusable with Tab, activated by Enter/Space; accessible name follows the tooltip.
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

// The big name label: its text, one or more lines split at CR LF, is drawn centred in the
// label with the label's font; a text too large for the label is drawn scaled down to fit
// instead of being cut off. The font size itself stays what the program set.
class NameLabel : public ClickLabel {
    Q_OBJECT
public:
    explicit NameLabel(QWidget* parent = nullptr);
    // The scale the text was last drawn at (1 when it fits at the label's font size).
    double drawnScale() const { return drawnScale_; }
    // The scale the current text needs to fit in a rectangle of `size` pixels.
    double fitScale(QSize size) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double drawnScale_ = 1.0;
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
