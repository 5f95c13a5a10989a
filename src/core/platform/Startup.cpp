#include "platform/Startup.h"

#include "common/Paths.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
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

QString Startup::unsafeLockFolder(const QString &folder)
{
    const QString closing = QStringLiteral("\r\rDort könnte ein anderer Benutzer den Start verhindern; "
                                           "Rufwart 32 wird nicht gestartet.");
    struct stat st = {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QStringLiteral("Der Ordner für die Sperrdatei %1 fehlt oder ist kein Ordner.").arg(folder) +
               closing;
    if (st.st_uid != ::geteuid())
        return QStringLiteral("Der Ordner für die Sperrdatei %1 gehört einem anderen Benutzer.").arg(folder) +
               closing;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QStringLiteral("Der Ordner für die Sperrdatei %1 ist für andere Benutzer beschreibbar.")
                   .arg(folder) +
               closing;
    return QString();
}

std::unique_ptr<QLockFile> Startup::acquireSingleInstance(QString *refusal)
{
    // A lock in a folder another user controls could be held or replaced by that user.
    const QString unsafe = unsafeLockFolder(QFileInfo(instanceLockPath()).path());
    if (!unsafe.isEmpty()) {
        if (refusal)
            *refusal = unsafe;
        return {};
    }
    auto lock = std::make_unique<QLockFile>(instanceLockPath());
    // Held for the program's life; a lock left by a copy that died is taken over.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return {};
    return lock;
}

Startup::RunningCopy Startup::runningCopy()
{
    QLockFile lock(instanceLockPath());
    qint64 pid = 0;
    QString host, application;
    if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0)
        return RunningCopy::Unknown;
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!commandLine.open(QIODevice::ReadOnly))
        return RunningCopy::Unknown;
    const QList<QByteArray> arguments = commandLine.readAll().split('\0');
    return arguments.contains("--headless") ? RunningCopy::Headless : RunningCopy::Window;
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
