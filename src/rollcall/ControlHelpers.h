// Small control operations the roll-call, number and grouping handlers share.
#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>
#include <exception>

namespace rostrel {

// Edited text boxes are white, resting or disabled ones light grey.
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

// Runs a handler from a signal: a failure the handler does not answer itself never leaves
// the event loop (the action just ends).
template <typename F>
void guarded(F&& f) noexcept {
    try {
        f();
    } catch (const std::exception&) {
    }
}

} // namespace rostrel
