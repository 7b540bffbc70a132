#include "platform/Log.h"

#include <exception>

namespace rostrel {

Q_LOGGING_CATEGORY(lcApp, "rostrel.app")

void logCaught(const char* action) noexcept {
    const std::exception_ptr caught = std::current_exception();
    if (!caught)
        return;
    try {
        std::rethrow_exception(caught);
    } catch (const std::exception& e) {
        qCWarning(lcApp, "%s: %s", action, e.what());
    } catch (...) {
        qCWarning(lcApp, "%s: unknown failure", action);
    }
}

} // namespace rostrel
