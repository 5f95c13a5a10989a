#pragma once

#include <QString>
#include <memory>

class QLockFile;

// Steps of the program start that come before the main window.
namespace Startup {
// The per-user lock that keeps a second copy from running: its path in the runtime folder.
QString instanceLockPath();
// Takes the lock; an empty pointer when another copy of this user already holds it, or when the
// lock's folder is unsafe: then `refusal` receives the message for the user.
std::unique_ptr<QLockFile> acquireSingleInstance(QString *refusal = nullptr);
// How the copy that holds the lock runs, told from its command line: with its window, or as the
// headless monitor (rufwart --headless). Unknown when no copy holds it or it cannot be told.
enum class RunningCopy
{
    Unknown,
    Window,
    Headless,
};
RunningCopy runningCopy();
// Why a folder may not hold the lock (empty when it may): it must be a folder, not a link, owned
// by the user and writable by nobody else.
QString unsafeLockFolder(const QString &folder);
// SIGTERM, SIGINT and SIGHUP (logging off without a session manager, Ctrl+C) end the event
// loop, so the program releases its CAPI registration on the way out.
void quitOnTerminationSignals();
// True once such a signal has arrived (also when it came before the event loop ran).
bool terminationRequested();
} // namespace Startup
