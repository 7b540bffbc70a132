// Collects what the program logs in its own category while it lives; other messages go on
// to the handler that was installed before.
#pragma once

#include <QStringList>
#include <QtGlobal>
#include <cstring>

namespace rostrel::test {

class LogCapture {
public:
    LogCapture() {
        current_ = this;
        previous_ = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The warnings logged, in order.
    QStringList warnings;

    bool anyContains(const QString& text) const {
        for (const QString& w : warnings)
            if (w.contains(text))
                return true;
        return false;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (current_ && context.category && std::strcmp(context.category, "rostrel.app") == 0) {
            if (type == QtWarningMsg)
                current_->warnings.append(message);
            return;
        }
        if (previous_)
            previous_(type, context, message);
    }

    static inline LogCapture* current_ = nullptr;
    static inline QtMessageHandler previous_ = nullptr;
};

} // namespace rostrel::test
