// The built program against the virtual exchange, as a user meets it: rufwart runs (offscreen)
// with a prepared caller directory, calls are placed with `isdnsim call`, and afterwards the
// exchange's report, anruf.dat and anruf2.dat are checked.
#include "calls/CallJournal.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/MosquittoBroker.h"
#include "support/TestEnv.h"

#include "ControlClient.h"
#include "MqttSubscriber.h"
#include "SimProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace {

class RingEndToEnd : public ::testing::Test
{
protected:
    TestEnv env;
    isdnsim::SimProcess sim;
    QProcess program;

    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(sim.port()); }

    // True once the program has told the exchange which calls it wants.
    bool listening() { return isdnsim::SomeApplicationListens(sim.port()); }
    // The built program's environment on this exchange: offscreen, or with no display at all.
    QProcessEnvironment programEnvironment(bool display = true) const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("RUFWART_CAPI_REMOTE", server());
        if (display) {
            e.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            // Any attempt to open a window ends the program here.
            e.remove("DISPLAY");
            e.remove("WAYLAND_DISPLAY");
            e.insert("QT_QPA_PLATFORM", "xcb");
        }
        return e;
    }
    // Starts the built program (offscreen, on this exchange) and waits until it listens.
    void startProgram(const QStringList &arguments = {})
    {
        program.setProcessEnvironment(programEnvironment(arguments.isEmpty()));
        program.setProcessChannelMode(arguments.isEmpty() ? QProcess::ForwardedErrorChannel
                                                          : QProcess::SeparateChannels);
        program.start(QStringLiteral(RUFWART_EXE), arguments);
        ASSERT_TRUE(program.waitForStarted());
        QElapsedTimer clock;
        clock.start();
        while (!listening() && clock.elapsed() < 60000)
            QThread::msleep(50);
        ASSERT_TRUE(listening());
    }
    // `isdnsim call`: its printed report.
    QString call(const QString &from, const QString &to)
    {
        QProcess caller;
        caller.start(QStringLiteral(ISDNSIM_EXE), {"call", "--server", server(), "--from", from, "--to", to,
                                                   "--service", "telephony", "--hangup-after-ms", "500"});
        EXPECT_TRUE(caller.waitForFinished(30000));
        return QString::fromLocal8Bit(caller.readAllStandardOutput());
    }
};

} // namespace

TEST_F(RingEndToEnd, KnownUnknownBlockedAndForeignCalls)
{
    std::string error;
    ASSERT_TRUE(sim.start(ISDNSIM_EXE, {"--die-with-parent"}, &error)) << error;
    WriteSettingFlag("ISDN_Update20", true);
    WriteSettingFlag("ISDN_WriteLog", true);
    WriteSettingFlag("ISDN_CreateNull", true);
    WriteSettingString("ISDN_MSN", "4711,4712,,,,,,");
    const QString directory = Paths::dataDir() + "anruf.dat";
    ASSERT_TRUE(writeBytes(directory, "[Anrufer]\r\n0301234567=F#Meier\r\n0309*=T#Werbung\r\n"));

    startProgram();

    const QString known = call("0301234567", "4711");
    EXPECT_TRUE(known.contains(": alerted")) << known.toStdString();
    const QString unknown = call("0407654321", "4712");
    EXPECT_TRUE(unknown.contains(": alerted")) << unknown.toStdString();
    const QString blocked = call("0309111", "4711");
    EXPECT_TRUE(blocked.contains("rejected (Reject 3)")) << blocked.toStdString();
    EXPECT_TRUE(blocked.contains("result: busy")) << blocked.toStdString();
    const QString foreign = call("0407654321", "999");
    EXPECT_TRUE(foreign.contains("ignored (Reject 1)")) << foreign.toStdString();

    // Ended by a signal, the program writes what it still had queued.
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0);

    EXPECT_EQ(readBytes(directory),
              "[Anrufer]\r\n0301234567=F#Meier\r\n0309*=T#Werbung\r\n0407654321=F#0407654321\r\n");
    const QList<JournalRecord> calls = CallJournal().ReadCalls();
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0].CallerKey, "0301234567");
    EXPECT_EQ(calls[0].Msn, "4711");
    EXPECT_EQ(calls[1].CallerKey, "0407654321");
    EXPECT_EQ(calls[1].Msn, "4712");
    EXPECT_EQ(calls[2].CallerKey, "0309*");
    for (const JournalRecord &r : calls)
        EXPECT_LT(qAbs(r.callDateTime().secsTo(QDateTime::currentDateTime())), 300);
}

TEST_F(RingEndToEnd, UnknownCallerIsNamedFromTheUsersAddressBook)
{
    // A new user: the look-up switched on, a vCard in the stand-in's default folder, nothing
    // else set up by hand.
    std::string error;
    ASSERT_TRUE(sim.start(ISDNSIM_EXE, {"--die-with-parent"}, &error)) << error;
    WriteSettingFlag("ISDN_Update20", true);
    WriteSettingFlag("ISDN_RunDInfo", true);
    WriteSettingFlag("ISDN_CreateNull", true);
    ASSERT_TRUE(
        writeBytes(Paths::dataDir() + "adressbuch/kontakte.vcf",
                   "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3="
                   "BCrgen\r\nTEL;WORK:+49 (0)30 123 45-67\r\nEND:VCARD\r\n"));

    startProgram();

    // The line delivers the national number without its 0.
    const QString report = call("301234567", "4711");
    EXPECT_TRUE(report.contains(": alerted")) << report.toStdString();
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(60000));

    EXPECT_EQ(DecodeOem(readBytes(Paths::dataDir() + "anruf.dat")),
              QStringLiteral("[Anrufer]\r\n0301234567=F#Müller, Jürgen\r\n"));
    // The stand-in ended with the program.
    EXPECT_FALSE(QFileInfo::exists(Paths::runtimeDir() + "/dde-D-Info-3.0"));
}

TEST_F(RingEndToEnd, HeadlessMonitorAnswersWithoutADisplay)
{
    std::string error;
    ASSERT_TRUE(sim.start(ISDNSIM_EXE, {"--die-with-parent"}, &error)) << error;
    WriteSettingFlag("ISDN_Update20", true);
    WriteSettingFlag("ISDN_WriteLog", true);
    WriteSettingFlag("ISDN_CreateNull", true);
    WriteSettingString("ISDN_Language", "de");
    const QString directory = Paths::dataDir() + "anruf.dat";
    ASSERT_TRUE(writeBytes(directory, "[Anrufer]\r\n0301234567=F#Meier\r\n0309*=T#Werbung\r\n"));
    // Its calls go to a broker, where another copy listens.
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    WriteSettingString("ISDN_MqttHost", "127.0.0.1");
    WriteSettingString("ISDN_MqttPort", QString::number(broker.Port()));
    WriteSettingString("ISDN_MqttNode", "keller");
    MqttSubscriber viewer(LoopbackOptions(broker.Port(), "wohnzimmer"));
    QList<CallEvent> heard;
    QObject::connect(&viewer, &MqttSubscriber::callEventReceived,
                     [&](const QString &node, const CallEvent &e) {
                         if (node == "keller")
                             heard << e;
                     });
    bool viewerUp = false;
    QObject::connect(&viewer, &MqttSubscriber::connected, [&] { viewerUp = true; });
    ASSERT_TRUE(viewer.Start());
    ASSERT_TRUE(WaitFor([&] { return viewerUp; }, 30000));

    startProgram({"--headless"});

    EXPECT_TRUE(call("0301234567", "4711").contains(": alerted"));
    EXPECT_TRUE(call("0309111", "4711").contains("result: busy"));
    // Each call is one line on standard error, once it has been handled.
    QString log;
    QElapsedTimer clock;
    clock.start();
    while (!log.contains("Anrufer ist gesperrt !") && clock.elapsed() < 30000) {
        program.waitForReadyRead(100);
        log += QString::fromLocal8Bit(program.readAllStandardError());
    }
    EXPECT_TRUE(log.contains(" - Meier (0301234567) - Anruf auf 4711 !")) << log.toStdString();
    EXPECT_TRUE(log.contains("Anrufer ist gesperrt !")) << log.toStdString();
    // The other copy heard both calls: the first rang until the caller gave up, the second was
    // turned away.
    ASSERT_TRUE(WaitFor([&] { return heard.size() == 5; }, 30000)) << heard.size();
    QList<CallEvent::Kind> kinds;
    for (const CallEvent &e : heard)
        kinds << e.What;
    using K = CallEvent::Kind;
    EXPECT_EQ(kinds, (QList<K>{K::Ringing, K::Alerted, K::Missed, K::Ringing, K::Rejected}));
    EXPECT_EQ(heard[0].Name, "Meier");
    EXPECT_EQ(heard[0].Number, "0301234567");
    EXPECT_TRUE(heard[4].Blocked);

    // One copy per user: a second monitor says why it does not start.
    QProcess second;
    second.setProcessEnvironment(programEnvironment(false));
    second.start(QStringLiteral(RUFWART_EXE), {"--headless"});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(second.readAllStandardError()).contains("ohne Fenster"));

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const QList<JournalRecord> calls = CallJournal().ReadCalls();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].CallerKey, "0301234567");
    EXPECT_EQ(calls[1].CallerKey, "0309*");
}
