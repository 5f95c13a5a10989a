// A long run: the built rufwart (offscreen, temporary folders) against an isdnsim of its own
// answers 100,000 calls in one process, placed by four callers at once: known callers of a
// directory of 1,000 entries (one in seven blocked), 1,000 new callers over and over (learned on
// their first call), and calls without a number; the journal and the sound are on.
//
// longrun_calls: the calls the program answered. longrun_seconds: how long they took.
// longrun_rss_mb: the program's resident memory after the first 10,000 calls;
// longrun_rss_growth_mb: how much it grew from there to the end of the run (each taken once the
// calls had stopped for a second).
// longrun_journal_records / longrun_journal_expected: the journal's whole records after the
// program ended, and the calls; longrun_directory_entries / _expected: the directory's entries,
// and the 1,000 it held plus the 1,000 new callers and the key "0" that a call without a number
// is learned under; longrun_files_right: 1 when both agree, every
// new caller is in the directory, and the journal holds nothing but whole records.
#include "BenchDirectory.h"
#include "BenchProgram.h"
#include "BenchSupport.h"
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "settings/SettingsStore.h"

#include "ControlClient.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr int kCallers = 4;
constexpr int kEntries = 1000;
constexpr int kNewCallers = 1000;

// The resident memory of process `pid` in MB.
double ResidentMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        fail("the program's status cannot be read");
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    fail("the program's status has no VmRSS");
}

QString NewCaller(int i)
{
    return QStringLiteral("0777%1").arg(100000 + i % kNewCallers);
}

// The number call i comes from ("-": none).
std::string Caller(const QList<CallerRecord> &rows, int i)
{
    switch (i % 3) {
    case 0:
        return (QString(rows[(i / 3) % rows.size()].Number).remove(QLatin1Char('*')) + "1").toStdString();
    case 1:
        return NewCaller(i / 3).toStdString();
    default:
        return "-";
    }
}

// Calls [first, last) from kCallers callers at once; returns how many the program answered.
int PlaceCalls(uint16_t port, const QList<CallerRecord> &rows, int first, int last)
{
    std::atomic<int> next{first}, answered{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c) {
        callers.emplace_back([&] {
            isdnsim::ControlClient control;
            std::string error;
            if (!control.connect("127.0.0.1", port, &error))
                return;
            for (int i = next++; i < last; i = next++)
                answered += PlaceCall(control, Caller(rows, i)) >= 0;
        });
    }
    for (std::thread &t : callers)
        t.join();
    return answered;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A shorter run for a look: bench_longrun CALLS (a tenth of them warm up).
    const int kCalls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 100000;
    const int kWarmUp = kCalls / 10;
    QTemporaryDir root;
    if (qEnvironmentVariableIsSet("LONGRUN_KEEP"))
        root.setAutoRemove(false);
    UseFoldersIn(root);

    isdnsim::SimProcess sim;
    StartExchange(sim);

    WriteBenchSettings();
    // Each call's own notification window stays 3 s: at this rate about a thousand would be open
    // at once, and the memory they give back to the allocator (not to the system) would hide
    // any growth. The calls show in the main window instead.
    WriteSettingFlag("ISDN_ShowExtWin", false);
    const QList<CallerRecord> rows = BenchCallerRows(kEntries);
    CallerDirectory(CallerDirectory::defaultPath()).WriteCallerList(rows);

    QProcess program;
    StartProgram(program, sim.port());
    const auto start = std::chrono::steady_clock::now();
    int answered = PlaceCalls(sim.port(), rows, 0, kWarmUp);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double warm = ResidentMb(program.processId());
    answered += PlaceCalls(sim.port(), rows, kWarmUp, kCalls);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double end = ResidentMb(program.processId());
    StopProgram(program);

    const qint64 journalBytes = QFileInfo(CallJournal().path()).size();
    const qsizetype records = CallJournal().ReadCalls().size();
    const CallerDirectory directory;
    const qsizetype entries = directory.ListKeys().size();
    bool learned = true;
    for (int i = 0; i < kNewCallers; ++i)
        learned = learned && !directory.ReadValue(NewCaller(i)).isEmpty();
    const bool right = records == kCalls && journalBytes == qint64(kCalls) * JournalRecord::kSize &&
                       entries == kEntries + kNewCallers + 1 && learned;

    std::printf("longrun_calls: %d\n", answered);
    std::printf("longrun_seconds: %.1f\n", seconds);
    std::printf("longrun_rss_mb: %.1f\n", warm);
    std::printf("longrun_rss_growth_mb: %.2f\n", end - warm);
    std::printf("longrun_journal_records: %lld\n", static_cast<long long>(records));
    std::printf("longrun_journal_expected: %d\n", kCalls);
    std::printf("longrun_directory_entries: %lld\n", static_cast<long long>(entries));
    std::printf("longrun_directory_expected: %d\n", kEntries + kNewCallers + 1);
    std::printf("longrun_files_right: %d\n", right ? 1 : 0);
    return 0;
}
