// Small control operations the roll-call, number and grouping handlers share.
#pragma once

#include "platform/Log.h"
#include "shell/Widgets.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <exception>

namespace rostrel {

// Runs a handler from a signal: a failure the handler does not answer itself never leaves
// the event loop (the action just ends).
template <typename F> void guarded(F&& f) noexcept {
    try {
        f();
    } catch (const std::exception&) {
        logCaught("event handler");
    }
}

// A box redrawn from the lesson: its text set without its change signal (that is the
// teacher's typing), and only when it differs, so the cursor stays where it is.
inline void showText(QLineEdit* box, const QString& text) {
    if (box->text() == text)
        return;
    const QSignalBlocker block(box);
    box->setText(text);
}

} // namespace rostrel
