#pragma once

#include <QString>
#include <memory>

class QLockFile;

// Steps of the program start that come before the main window.
namespace Startup {
// The per-user lock that keeps a second copy from running: its path in the runtime folder.
QString instanceLockPath();
// Takes the lock; an empty pointer when another copy of this user already holds it.
std::unique_ptr<QLockFile> acquireSingleInstance();
// SIGTERM, SIGINT and SIGHUP (logging off without a session manager, Ctrl+C) end the event
// loop, so the program releases its CAPI registration on the way out.
void quitOnTerminationSignals();
// True once such a signal has arrived (also when it came before the event loop ran).
bool terminationRequested();
} // namespace Startup
