// Ends the event loop cleanly on SIGTERM, SIGINT and SIGHUP (logout, a terminal closed, kill),
// so that the open roll book is released and its lock file removed as on a normal close.
#pragma once

namespace rostrel {

// Installs the handlers; the signals then make QCoreApplication::quit() run in the event loop.
void quitOnTerminationSignals();

} // namespace rostrel
