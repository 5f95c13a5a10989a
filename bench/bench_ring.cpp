// The running program answering calls: the built rufwart (offscreen, temporary folders) against
// an isdnsim of its own, over the real libcapi20, with a caller directory of 10,000 entries, the
// journal and the sound on.
//
// ring_answer_p50_ms / _p99_ms: 1,000 calls one after the other, 25 ms apart (known, blocked and
// unknown callers), from the exchange putting out the CONNECT_IND to its receipt of the program's answer
// (ALERT_REQ or CONNECT_RESP), as the control interface reports it.
// storm_*: 1,000 calls from 1,000 new numbers offered one every 5 ms: how many the program
// answered, and after it has ended, how many of them are in the journal and in the directory.
// ring_answer_p50_ms_plain_tcp / _p99_ms_plain_tcp: the 1,000 calls once more, against an exchange
// that delays its acknowledgements as an ordinary TCP stack does (isdnsim --no-quickack).
// ring_answer_p50_ms_100k / _p99_ms_100k: the 1,000 calls once more, with a caller directory of
// 100,000 entries.
//
// With --dinfo the automatic D-Info look-up is on: the stand-in answers from an address book of
// 10,000 contacts that names every new caller of the one-after-the-other calls (the storm's
// callers are in no address book), and every look-up shows its progress window.
#include "BenchContacts.h"
#include "BenchDirectory.h"
#include "BenchProgram.h"
#include "BenchSupport.h"
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "settings/SettingsStore.h"

#include "ControlClient.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// One call after the other: late directory entries (some blocked) and new numbers in turn.
// Prints the percentiles of the answer times with `suffix` behind their names.
void ringSeries(uint16_t port, const QList<CallerRecord> &rows, const char *suffix)
{
    constexpr int kCallGapMs = 25;
    const qsizetype entries = rows.size();
    isdnsim::ControlClient control;
    std::string error;
    if (!control.connect("127.0.0.1", port, &error))
        fail(error.c_str());
    std::vector<double> ms;
    for (int i = 0; i < 1000; ++i) {
        const QString number =
            i % 2 ? QString(rows[entries - 1 - (i % 200)].Number).remove(QLatin1Char('*')) + "1"
                  : QStringLiteral("0777%1").arg(100000 + i); // contact i of BenchContacts
        const double answered = PlaceCall(control, number.toStdString());
        if (answered < 0)
            fail("a call was not answered");
        ms.push_back(answered);
        // Calls a moment apart, so that each is shown (notification window, journal,
        // learning) while the next one may already ring.
        std::this_thread::sleep_for(std::chrono::milliseconds(kCallGapMs));
    }
    std::printf("ring_answer_p50_ms%s: %.3f\n", suffix, percentile(ms, 0.50));
    std::printf("ring_answer_p99_ms%s: %.3f\n", suffix, percentile(ms, 0.99));
    std::fflush(stdout);
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
    const bool dinfo = QCoreApplication::arguments().contains(QStringLiteral("--dinfo"));
    if (dinfo) {
        // The default D-Info folder, which the program provisions with the stand-in, and the
        // stand-in's default address book folder.
        WriteSettingFlag("ISDN_RunDInfo", true);
        QDir().mkpath(Paths::dataDir() + "adressbuch");
        WriteFileAtomic(Paths::dataDir() + "adressbuch/kontakte.vcf", BenchContactsVCard(10000));
    }

    constexpr int kEntries = 10000;
    QList<CallerRecord> rows = BenchCallerRows(kEntries);
    CallerDirectory(CallerDirectory::defaultPath()).WriteCallerList(rows);

    QProcess program;
    StartProgram(program, sim.port());
    ringSeries(sim.port(), rows, "");

    // The storm: call i is placed 5 ms after call i - 1, each on a connection of its own worker.
    constexpr int kStorm = 1000;
    constexpr int kWorkers = 200;
    QSet<QString> stormNumbers;
    for (int i = 0; i < kStorm; ++i)
        stormNumbers.insert(QStringLiteral("0888%1").arg(200000 + i));
    std::atomic<int> answered{0};
    const auto t0 = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            isdnsim::ControlClient control;
            std::string err;
            if (!control.connect("127.0.0.1", sim.port(), &err))
                return;
            for (int i = w; i < kStorm; i += kWorkers) {
                std::this_thread::sleep_until(t0 + std::chrono::milliseconds(5 * i));
                if (PlaceCall(control, "0888" + std::to_string(200000 + i)) >= 0)
                    ++answered;
            }
        });
    }
    for (std::thread &t : workers)
        t.join();

    // Ending the program writes what it still has queued.
    StopProgram(program);
    int records = 0;
    for (const JournalRecord &r : CallJournal().ReadCalls())
        records += stormNumbers.contains(r.CallerKey);
    int entries = 0;
    for (const QString &key : CallerDirectory().ListKeys())
        entries += stormNumbers.contains(key);
    std::printf("storm_answered: %d\n", answered.load());
    std::printf("storm_journal_records: %d\n", records);
    std::printf("storm_new_entries: %d\n", entries);
    if (dinfo) {
        // The new callers of the one-after-the-other calls, learned with their names.
        int named = 0;
        const CallerDirectory learned;
        for (int i = 0; i < 1000; i += 2)
            named += learned.ReadValue(QStringLiteral("0777%1").arg(100000 + i)).startsWith("F#Kontakt");
        std::printf("dinfo_named_callers: %d\n", named);
    }
    std::fflush(stdout);

    isdnsim::SimProcess plain;
    std::string error;
    if (!plain.start(ISDNSIM_EXE, {"--die-with-parent", "--no-quickack"}, &error, 20000, true))
        fail(error.c_str());
    QProcess plainProgram;
    StartProgram(plainProgram, plain.port());
    ringSeries(plain.port(), rows, "_plain_tcp");
    StopProgram(plainProgram);

    rows = BenchCallerRows(100000);
    CallerDirectory(CallerDirectory::defaultPath()).WriteCallerList(rows);
    QProcess largeProgram;
    StartProgram(largeProgram, sim.port());
    ringSeries(sim.port(), rows, "_100k");
    StopProgram(largeProgram);
    return 0;
}
