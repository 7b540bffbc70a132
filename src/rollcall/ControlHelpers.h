// Small control operations the roll-call, number and grouping handlers share.
#pragma once

#include "platform/Log.h"
#include "shell/Widgets.h"

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

} // namespace rostrel
