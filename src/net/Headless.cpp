#include "Headless.h"

#include "CallNetwork.h"
#include "monitor/HeadlessMonitor.h"
#include "platform/Startup.h"

#include <QCoreApplication>
#include <QLockFile>

#include <cstdio>

namespace {
void printLine(const QString &line)
{
    const QByteArray bytes = (QStringLiteral("rufwart: ") + line + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
} // namespace

int Headless::Run()
{
    QString refusal;
    const std::unique_ptr<QLockFile> instance = Startup::acquireSingleInstance(&refusal);
    if (!instance) {
        if (refusal.isEmpty())
            refusal = Startup::runningCopy() == Startup::RunningCopy::Headless
                          ? HeadlessMonitor::tr("Rufwart 32 läuft bereits ohne Fenster; dieser Start endet.")
                          : HeadlessMonitor::tr("Rufwart 32 läuft bereits mit Fenster; dieser Start endet.");
        printLine(refusal);
        return 1;
    }
    Startup::quitOnTerminationSignals();
    HeadlessMonitor monitor(printLine);
    // A headless monitor owns its line: it never only shows calls.
    CallNetwork network(monitor.Pipeline(), false);
    QObject::connect(&network, &CallNetwork::status, &network, printLine);
    QObject::connect(&network, &CallNetwork::logLine, &network, printLine);
    monitor.Start();
    network.Start();
    int status = 0;
    if (!Startup::terminationRequested())
        status = QCoreApplication::exec();
    // The calls still answered reach the files first; "offline" is said last.
    monitor.Close();
    network.Stop();
    printLine(HeadlessMonitor::tr("Beendet."));
    return status;
}
