// The one logging category of the program's own failures: what a handler caught and went on
// without, with the reason the failing part gave, so that a teacher's report or the journal
// tells why a write or a load did not happen. Enable or silence it with QT_LOGGING_RULES
// ("rostrel.app.warning=false").
#pragma once

#include <QLoggingCategory>

namespace rostrel {

Q_DECLARE_LOGGING_CATEGORY(lcApp)

// Logs the exception being handled (call it inside a catch block): `action` and the
// exception's own text (a workbook error's reason), or "unknown failure".
void logCaught(const char* action) noexcept;

} // namespace rostrel
