// Small helpers to drive widgets in tests: waiting for a condition while events run, mouse
// clicks and typed keys sent as real events (so event filters and handlers see them).
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QThread>
#include <QWidget>
#include <QWindow>

namespace rostrel::test {

// Processes events until `done()` holds or `timeoutMs` has passed; returns `done()`.
template <typename Pred> bool waitUntil(Pred done, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

// Processes events for `ms` milliseconds.
inline void waitMs(int ms) {
    QElapsedTimer t;
    t.start();
    waitUntil([&] { return t.elapsed() >= ms; }, ms + 1000);
}

inline bool waitExposed(QWidget* w) {
    return waitUntil([w] { return w->windowHandle() && w->windowHandle()->isExposed(); });
}

// A left click at `pos` (the centre when none is given).
inline void click(QWidget* w, QPoint pos = QPoint(-1, -1)) {
    if (pos == QPoint(-1, -1))
        pos = w->rect().center();
    const QPointF global = w->mapToGlobal(QPointF(pos));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// One key press and release, with the text it types.
inline void pressKey(QWidget* w, int key, const QString& text = QString(),
                     Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &release);
}

// Types every character of `text` as its own key.
inline void typeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        const int key = c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - u'A') : c.unicode();
        pressKey(w, key, QString(c));
    }
}

} // namespace rostrel::test
