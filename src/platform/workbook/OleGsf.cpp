// libgsf's set-up and its log, collected per thread while a container is read or written.
#include "platform/workbook/OleGsf.h"

#include "platform/workbook/Workbook.h"

#include <gsf/gsf-utils.h>

#include <mutex>

namespace rostrel::workbook::ole::detail {

namespace {

// GLib's log handler is process-wide with fixed user data, so the collector of the read in
// progress is found through this thread-local pointer.
thread_local std::string* tlsWarnings = nullptr;

void logHandler(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    if (tlsWarnings && (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR))) {
        *tlsWarnings += domain ? domain : "";
        *tlsWarnings += ": ";
        *tlsWarnings += message ? message : "";
        *tlsWarnings += "\n";
        return;
    }
    if (tlsWarnings)
        return; // debug and info chatter of a read in progress
    g_log_default_handler(domain, level, message, nullptr);
}

} // namespace

void initOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK & ~G_LOG_LEVEL_ERROR);
        // libgsf logs some damage without a domain of its own.
        for (const char* domain : {static_cast<const char*>(nullptr), "libgsf:msole", "libgsf", "libgsf:utils",
                                   "GLib-GObject", "GLib", "GLib-GIO"})
            g_log_set_handler(domain, levels, logHandler, nullptr);
    });
}

CollectWarnings::CollectWarnings(std::string& into) : prev_(tlsWarnings) {
    tlsWarnings = &into;
}
CollectWarnings::~CollectWarnings() {
    tlsWarnings = prev_;
}

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the file's container is damaged: " + what);
}

} // namespace rostrel::workbook::ole::detail
