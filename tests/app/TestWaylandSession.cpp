// The built program in a Wayland session: a headless Weston of the test's own, no session bus
// (so neither a notification area nor a notification service), a call from isdnsim. The
// compositor's scene graph tells what the program really shows.
#include "calls/CallJournal.h"
#include "settings/SettingsStore.h"
#include "support/DisplayServer.h"
#include "support/TestEnv.h"

#include "ControlClient.h"
#include "SimProcess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

namespace {

bool Listening(uint16_t port)
{
    return isdnsim::SomeApplicationListens(port);
}

// Waits up to a minute for `condition`.
template<typename Condition> bool Eventually(Condition condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 60000)
            return false;
        QThread::msleep(100);
    }
    return true;
}

// The titles of the top-level windows the client with `pid` has on screen.
QStringList WindowsOf(const HeadlessWeston &weston, qint64 pid)
{
    static const QRegularExpression view(
        QStringLiteral("role xdg_toplevel, PID (\\d+),.*top-level window '([^']*)'"));
    QStringList titles;
    for (auto match = view.globalMatch(weston.sceneGraph()); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        if (m.captured(1).toLongLong() == pid)
            titles << m.captured(2);
    }
    return titles;
}

} // namespace

TEST(WaylandSession, RunsShowsACallAndEnds)
{
    TestEnv env;
    HeadlessWeston weston;
    if (!weston.start()) {
        if (weston.missing())
            GTEST_SKIP() << "no Wayland compositor to run the program on: " << weston.error().toStdString();
        FAIL() << weston.error().toStdString();
    }
    isdnsim::SimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.start(ISDNSIM_EXE, {"--die-with-parent"}, &error)) << error;
    WriteSettingFlag("ISDN_Update20", true);
    WriteSettingFlag("ISDN_WriteLog", true);
    WriteSettingString("ISDN_Language", "de"); // the window titles below are German

    QProcess program;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    weston.addTo(e);
    e.insert("RUFWART_CAPI_REMOTE", QStringLiteral("127.0.0.1:%1").arg(sim.port()));
    e.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + env.root() + "/no-bus");
    e.insert("QT_LOGGING_RULES", "rufwart.session.info=true");
    program.setProcessEnvironment(e);
    program.start(QStringLiteral(RUFWART_EXE), {});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(Eventually([&] { return Listening(sim.port()); }));

    // Without a notification area the main window stands in for the icon.
    ASSERT_TRUE(Eventually([&] {
        return WindowsOf(weston, program.processId()).contains("Rufwart 32  v2.2");
    })) << weston.sceneGraph().toStdString();

    QProcess caller;
    caller.start(QStringLiteral(ISDNSIM_EXE),
                 {"call", "--server", QStringLiteral("127.0.0.1:%1").arg(sim.port()), "--from", "0301234567",
                  "--to", "4711", "--service", "telephony", "--hangup-after-ms", "500"});
    ASSERT_TRUE(caller.waitForFinished(30000));
    const QString report = QString::fromLocal8Bit(caller.readAllStandardOutput());
    EXPECT_TRUE(report.contains(": alerted")) << report.toStdString();
    // The notification window, wherever the compositor put it.
    EXPECT_TRUE(Eventually([&] { return WindowsOf(weston, program.processId()).contains("Anruf von"); }))
        << weston.sceneGraph().toStdString();

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    ASSERT_EQ(CallJournal().ReadCalls().size(), 1);

    // It ran on Wayland, and said nothing else: no warning from Qt or from the program.
    QStringList messages =
        QString::fromLocal8Bit(program.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(messages.removeAll("rufwart.session: platform: wayland") == 1)
        << messages.join('\n').toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}
