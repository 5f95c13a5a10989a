// The program at rest: the built rufwart (offscreen, temporary folders) registered with an
// isdnsim of its own on which nothing happens, with its journal, a caller directory of 1,000
// entries and the sound on, and no notification area (no session bus).
//
// idle_wakeups_per_s: how often the program's threads were scheduled in, all of them together
// (the kernel's voluntary and involuntary context switches of every task), over 10 s that begin
// once the start has settled. idle_rss_mb: its resident memory at the end. idle_threads: how many
// threads it has. `bench_idle SECONDS` measures over that many seconds instead.
// idle_rss_mb_wayland and idle_rss_mb_x11: the resident memory of the program at rest on a
// headless Weston and on an Xvfb the benchmark starts itself (the main window shows, as on a
// desktop without a notification area). Without the server the line goes to stderr with the
// reason.
#include "BenchDirectory.h"
#include "BenchProgram.h"
#include "BenchSupport.h"
#include "calls/CallerDirectory.h"
#include "settings/SettingsStore.h"

#include "SimProcess.h"
#include "support/DisplayServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
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

// The context switches of each thread of `pid` so far, by thread id.
std::map<QString, long long> Switches(qint64 pid)
{
    std::map<QString, long long> threads;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString status = tasks + "/" + task + "/status";
        threads[task] = StatusValue(status, "voluntary_ctxt_switches:") +
                        StatusValue(status, "nonvoluntary_ctxt_switches:");
    }
    return threads;
}

// The program's resident memory in kB.
double ResidentKb(qint64 pid)
{
    return double(StatusValue(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS:"));
}

// The program's resident memory at rest on `display`, or the reason there is none.
void ReportOn(DisplayServer &display, bool started, const char *name, uint16_t port,
              const QProcessEnvironment &common)
{
    if (!started) {
        std::fprintf(stderr, "%s: not measured (%s)\n", name, qPrintable(display.error()));
        return;
    }
    QProcessEnvironment env = common;
    display.addTo(env);
    QProcess program;
    StartProgram(program, port, env);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double rss = ResidentKb(program.processId());
    StopProgram(program);
    std::printf("%s: %.1f\n", name, rss / 1024.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    UseFoldersIn(root);

    isdnsim::SimProcess sim;
    StartExchange(sim);
    WriteBenchSettings();
    CallerDirectory(CallerDirectory::defaultPath()).WriteCallerList(BenchCallerRows(1000));

    // No session bus: no notification area and no notification service, whatever desktop the
    // benchmark runs in.
    QProcessEnvironment common;
    common.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root.path() + "/no-bus");

    QProcess program;
    StartProgram(program, sim.port(), common);
    // The start settles: the window goes behind its icon, the registration's last steps.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    // bench_idle SECONDS measures longer, to catch what wakes less often.
    const int kSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    // Looked at every 100 ms (reading /proc does not wake the program): a thread that ends
    // within the time takes its count with it, so each thread's last count seen is used; a thread
    // that begins within it counts from 0.
    const std::map<QString, long long> first = Switches(program.processId());
    std::map<QString, long long> last = first;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kSeconds);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (const auto &[thread, count] : Switches(program.processId()))
            last[thread] = count;
    }
    long long switches = 0;
    for (const auto &[thread, count] : last)
        switches += count - (first.count(thread) ? first.at(thread) : 0);
    const int threads = int(Switches(program.processId()).size());
    const double rss = ResidentKb(program.processId());
    StopProgram(program);

    std::printf("idle_wakeups_per_s: %.2f\n", double(switches) / kSeconds);
    std::printf("idle_rss_mb: %.1f\n", rss / 1024.0);
    std::printf("idle_threads: %d\n", threads);
    std::fflush(stdout);

    HeadlessWeston weston;
    const bool westonUp = weston.start();
    ReportOn(weston, westonUp, "idle_rss_mb_wayland", sim.port(), common);
    VirtualX x11;
    const bool xUp = x11.start();
    ReportOn(x11, xUp, "idle_rss_mb_x11", sim.port(), common);
    return 0;
}
