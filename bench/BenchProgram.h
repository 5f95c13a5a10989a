#pragma once

#include "BenchSupport.h"

#include "ControlClient.h"
#include "SimProcess.h"
#include "settings/SettingsStore.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <string>
#include <sys/prctl.h>

// The built program against an exchange, as the benchmarks run it: offscreen, on the exchange
// at `port`, in the folders the benchmark set up.

// True once an application on the exchange has told it which calls it wants.
inline bool ProgramListens(uint16_t port)
{
    return isdnsim::SomeApplicationListens(port);
}

// Waits up to `limitMs` for ProgramListens.
inline bool WaitUntilListening(uint16_t port, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!ProgramListens(port)) {
        if (clock.elapsed() > limitMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

// A child that ends with the benchmark, however the benchmark ends.
inline void EndsWithBenchmark(QProcess &child)
{
    child.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// Starts the program without waiting for it to listen. `overrides` replace or add variables of
// its environment (another platform than offscreen, for example).
inline void LaunchProgram(QProcess &program, uint16_t port, const QProcessEnvironment &overrides = {})
{
    EndsWithBenchmark(program);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("RUFWART_CAPI_REMOTE", QStringLiteral("127.0.0.1:%1").arg(port));
    env.insert(overrides);
    program.setProcessEnvironment(env);
    // BENCH_PROGRAM_STDERR=FILE keeps the program's messages in FILE.
    const QString messages = qEnvironmentVariable("BENCH_PROGRAM_STDERR");
    program.setStandardErrorFile(messages.isEmpty() ? QProcess::nullDevice() : messages);
    program.start(QStringLiteral(RUFWART_EXE), {});
    if (!program.waitForStarted())
        fail("rufwart did not start");
}

// Starts the program and waits until it listens.
inline void StartProgram(QProcess &program, uint16_t port, const QProcessEnvironment &overrides = {})
{
    LaunchProgram(program, port, overrides);
    if (!WaitUntilListening(port, 30000))
        fail("rufwart does not listen");
}

// Ends the program as the desktop would (it writes what it still has queued).
inline void StopProgram(QProcess &program)
{
    program.terminate();
    if (!program.waitForFinished(120000))
        fail("rufwart did not end");
}

// Places one call on `control` and waits for its end; the caller hangs up once the program has
// answered. Returns the exchange's time to the answer, or -1 when the program did not answer.
inline double PlaceCall(isdnsim::ControlClient &control, const std::string &from)
{
    if (!control.sendLine("CALL from=" + from + " to=4711 cip=16 hangup_after_ms=20000"))
        return -1;
    double ms = -1;
    std::string line;
    while (control.readLine(&line, 30000)) {
        const std::string word = line.substr(0, line.find(' '));
        if (ms < 0 && (word == "ALERTED" || word == "REJECTED" || word == "ACCEPTED" || word == "IGNORED")) {
            ms = std::stod(isdnsim::lineValue(line, "after_ms"));
            if (word != "REJECTED" && word != "IGNORED")
                control.sendLine("HANGUP");
        }
        if (word == "END") {
            return ms;
        }
    }
    fail("a call did not end");
}

// An exchange of the benchmark's own, ending with it.
inline void StartExchange(isdnsim::SimProcess &sim)
{
    std::string error;
    if (!sim.start(ISDNSIM_EXE, {"--die-with-parent"}, &error, 20000, true))
        fail(error.c_str());
}

// The options the benchmarks run the program with: the journal (in its 40-byte form), the call
// sound, and "Null erzeugen".
inline void WriteBenchSettings()
{
    WriteSettingFlag("ISDN_Update20", true);
    WriteSettingFlag("ISDN_WriteLog", true);
    WriteSettingFlag("ISDN_Beep", true);
    WriteSettingFlag("ISDN_CreateNull", true);
}
