#pragma once

// The CAPI component's message thread ("rufwart-capi") as the kernel counts it: how often it
// gave up the processor, which is once for every wake-up from a wait or a sleep.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// The voluntary context switches of the component's message thread; -1 when there is no such
// thread.
inline long MessageThreadWakeUps()
{
    for (const QString &task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "rufwart-capi")
            continue;
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(task));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                return line.mid(24).trimmed().toLong();
    }
    return -1;
}
