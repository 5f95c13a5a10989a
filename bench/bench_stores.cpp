// Times the caller directory and the call journal on generated data: a directory of 10,000
// entries and a journal of 100,000 records, in a temporary data folder.
#include "BenchDirectory.h"
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Utils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {
double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    qputenv("XDG_DATA_HOME", (root.path() + "/data").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root.path() + "/config").toLocal8Bit());
    QRandomGenerator random(42);

    constexpr int kEntries = 10000;
    QList<CallerRecord> rows = BenchCallerRows(kEntries);
    CallerDirectory directory;
    directory.WriteCallerList(rows);

    // Numbers that match late in the file or not at all cost the most: half of each.
    constexpr int kLookups = 2000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kLookups; ++i) {
        const QString number = i % 2
                                   ? rows[kEntries - 1 - random.bounded(100)].Number.remove(QLatin1Char('*'))
                                   : QStringLiteral("0999%1").arg(random.bounded(1000000));
        directory.ResolveCaller(number);
    }
    const double resolveMean = msSince(timer) / kLookups;

    timer.restart();
    const QList<CallerRecord> list = directory.ReadCallerList(CallerSortOrder::ByName);
    const double readList = msSince(timer);
    if (list.size() != kEntries)
        return 2;

    constexpr int kRecords = 100000;
    CallJournal journal;
    QByteArray bytes;
    bytes.reserve(kRecords * JournalRecord::kSize);
    for (int i = 0; i < kRecords; ++i)
        bytes +=
            JournalRecord{45000.0 + i / 100.0, rows[i % kEntries].Number, QStringLiteral("4711")}.toBytes();
    WriteFileAtomic(journal.path(), bytes);

    timer.restart();
    const QList<JournalRecord> calls = journal.ReadCalls();
    const double readCalls = msSince(timer);
    if (calls.size() != kRecords)
        return 3;

    constexpr int kAppends = 100;
    timer.restart();
    for (int i = 0; i < kAppends; ++i)
        journal.AppendCall(rows[i].Number, QStringLiteral("4711"));
    const double appendMean = msSince(timer) / kAppends;

    std::printf("resolve_caller_mean_ms: %.3f\n", resolveMean);
    std::printf("read_caller_list_ms: %.1f\n", readList);
    std::printf("read_calls_ms: %.1f\n", readCalls);
    std::printf("append_call_mean_ms: %.3f\n", appendMean);
    return 0;
}
