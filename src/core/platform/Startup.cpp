#include "platform/Startup.h"

#include "common/Paths.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QLockFile>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};
bool g_terminationRequested = false;

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}
} // namespace

bool Startup::terminationRequested()
{
    return g_terminationRequested;
}

QString Startup::instanceLockPath()
{
    return Paths::runtimeDir() + QStringLiteral("/rufwart.lock");
}

std::unique_ptr<QLockFile> Startup::acquireSingleInstance()
{
    auto lock = std::make_unique<QLockFile>(instanceLockPath());
    // Held for the program's life; a lock left by a copy that died is taken over.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return {};
    return lock;
}

void Startup::quitOnTerminationSignals()
{
    if (g_signalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto *notifier =
        new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte;
        [[maybe_unused]] const auto got = ::read(g_signalPipe[0], &byte, 1);
        g_terminationRequested = true;
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}
