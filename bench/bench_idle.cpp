// The program at rest: the built rufwart (offscreen, temporary folders) registered with an
// isdnsim of its own on which nothing happens, with its journal, a caller directory of 1,000
// entries and the sound on, and no notification area.
//
// idle_wakeups_per_s: how often the program's threads were scheduled in, all of them together
// (the kernel's voluntary and involuntary context switches of every task), over 10 s that begin
// once the start has settled. idle_rss_mb: its resident memory at the end. idle_threads: how many
// threads it has.
#include "BenchDirectory.h"
#include "BenchProgram.h"
#include "BenchSupport.h"
#include "calls/CallerDirectory.h"
#include "settings/SettingsStore.h"

#include "SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

// A line "name: value" of a /proc status file, as a number.
long long StatusValue(const QString &file, const char *name)
{
    QFile status(file);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(qsizetype(std::strlen(name))).trimmed().split(' ').first().toLongLong();
    return 0;
}

struct Sample
{
    long long switches = 0;
    int threads = 0;
};

// The context switches of every thread of `pid` so far.
Sample Switches(qint64 pid)
{
    Sample s;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString status = tasks + "/" + task + "/status";
        s.switches += StatusValue(status, "voluntary_ctxt_switches:") +
                      StatusValue(status, "nonvoluntary_ctxt_switches:");
        ++s.threads;
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    UseFoldersIn(root);

    isdnsim::SimProcess sim;
    std::string error;
    if (!sim.start(ISDNSIM_EXE, {"--die-with-parent"}, &error, 20000, true))
        fail(error.c_str());
    WriteSettingFlag("ISDN_Update20", true);
    WriteSettingFlag("ISDN_WriteLog", true);
    WriteSettingFlag("ISDN_Beep", true);
    CallerDirectory(CallerDirectory::defaultPath()).WriteCallerList(BenchCallerRows(1000));

    QProcess program;
    StartProgram(program, sim.port());
    // The start settles: the window goes behind its icon, the registration's last steps.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    constexpr int kSeconds = 10;
    const Sample before = Switches(program.processId());
    std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
    const Sample after = Switches(program.processId());
    const double rss =
        double(StatusValue(QStringLiteral("/proc/%1/status").arg(program.processId()), "VmRSS:"));
    StopProgram(program);

    std::printf("idle_wakeups_per_s: %.1f\n", double(after.switches - before.switches) / kSeconds);
    std::printf("idle_rss_mb: %.1f\n", rss / 1024.0);
    std::printf("idle_threads: %d\n", after.threads);
    return 0;
}
