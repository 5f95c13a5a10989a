// Incoming calls through the whole path: the virtual exchange offers each call to the main
// window's CAPI component over the real libcapi20, the window decides, and the exchange reports
// what the program answered. Then the call list, status line, notification window, journal
// and directory are checked. One exchange per executable (libcapi20 keeps one remote selection
// per process).
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "calls/MsnList.h"
#include "capi/Capi20.h"
#include "common/Clock.h"
#include "common/Paths.h"
#include "mainwindow/MainWindow.h"
#include "settings/SettingsStore.h"
#include "sound/CallSound.h"
#include "support/ExchangeCall.h"
#include "support/ProgramExchange.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "support/WriteFailure.h"
#include "widgets/MessageDialog.h"
#include "windows/CallNotification.h"
#include "windows/DInfoDialog.h"
#include "windows/DInfoProgress.h"

#include "ControlClient.h"
#include "SimProcess.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <thread>

class TestMainRing : public QObject
{
    Q_OBJECT
    isdnsim::SimProcess sim;
    std::unique_ptr<TestEnv> env;
    QStringList messages;
    QStringList played;
    QPointer<TfmMain> window; // the one start() gave

    // Places a call and waits for its end while the window keeps running: the caller hangs up
    // once the program has reacted.
    ExchangeOffer call(const QString &from, const QString &to,
                       const QString &service = QStringLiteral("telephony"))
    {
        const ExchangeOffer offer = PlaceExchangeCall(sim.port(), from, to, service);
        // What follows the answer runs on this thread, the showing once the rings have settled
        // (later on a busy machine): let it.
        QTest::qWait(50);
        if (window && !QTest::qWaitFor([&] { return !window || !window->RingsSettling(); }, 20000))
            QTest::qFail("the answered call was never shown", __FILE__, __LINE__);
        return offer;
    }

    static QString dataFile(const char *name) { return Paths::dataDir() + QString::fromLatin1(name); }
    static QByteArray fileBytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeDirectory(const QByteArray &lines)
    {
        QFile f(dataFile("anruf.dat"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write anruf.dat");
        f.write("[Anrufer]\r\n" + lines);
    }
    static QString lastEntry(TfmMain &w)
    {
        auto *list = child<QListWidget>(&w, "CallList");
        return list->count() ? list->item(list->count() - 1)->text() : QString();
    }
    static QString status(TfmMain &w) { return child<QLabel>(&w, "ISDNBar")->text(); }
    // The list entry without its time ("hh:mm:ss - ").
    static QString entryText(TfmMain &w) { return lastEntry(w).mid(11); }

    // A started window; "Externes Fenster" and the journal as given.
    std::unique_ptr<TfmMain> start(bool extWin = false, bool createNull = true)
    {
        WriteSettingFlag(QStringLiteral("ISDN_ShowExtWin"), extWin);
        WriteSettingFlag(QStringLiteral("ISDN_WriteLog"), true);
        WriteSettingFlag(QStringLiteral("ISDN_CreateNull"), createNull);
        auto w = std::make_unique<TfmMain>();
        window = w.get();
        w->FormShow();
        waitListening(*w);
        return w;
    }
    // The window registers beside itself (at start, and anew when the mode changes); calls are
    // placed once it listens.
    static void waitListening(TfmMain &w)
    {
        if (!QTest::qWaitFor(
                [&] { return status(w).startsWith(QStringLiteral("Autom. Anruferkennung aktiviert")); },
                20000))
            qFatal("not listening: %s", qPrintable(status(w)));
    }
    // Ends the program in order: every queued record reaches its file.
    static void end(std::unique_ptr<TfmMain> &w)
    {
        w->mnuCloseClick();
        w.reset();
    }
    static QList<JournalRecord> journal() { return CallJournal().ReadCalls(); }

private slots:
    void initTestCase()
    {
        std::string error;
        QVERIFY2(StartProgramExchange(sim, &messages, &error), error.c_str());
        CallSound::setPlayer([this](const QString &file) { played << (file.isEmpty() ? "signal" : file); });
    }
    void init()
    {
        env = std::make_unique<TestEnv>();
        messages.clear();
        played.clear();
    }
    void cleanup()
    {
        // Notification windows of this test would close in the next one.
        for (QWidget *window : QApplication::topLevelWidgets())
            if (qobject_cast<TfmCallMsg *>(window))
                delete window;
        DInfoClient::SetTimeoutsForTests(0, 0);
        env.reset();
    }

    void msnFilter()
    {
        // Eight characters are a list: only its MSNs (as substrings) pass.
        WriteSettingString(QStringLiteral("ISDN_MSN"), QStringLiteral("4711,,,,"));
        auto w = start();
        QCOMPARE(call(QStringLiteral("0301234567"), QStringLiteral("999")).reaction,
                 QStringLiteral("ignored"));
        QCOMPARE(call(QStringLiteral("0301234567"), QString()).reaction, QStringLiteral("ignored"));
        QCOMPARE(child<QListWidget>(w.get(), "CallList")->count(), 0);
        QVERIFY(status(*w).startsWith(QStringLiteral("Autom. Anruferkennung aktiviert ...")));
        QCOMPARE(call(QStringLiteral("0301234567"), QStringLiteral("471")).reaction,
                 QStringLiteral("alerted"));
        QCOMPARE(status(*w), QStringLiteral("Anruf auf 471 !"));
        end(w);
        // The ignored calls left no trace: one record, one learned caller.
        QCOMPARE(journal().size(), 1);
        QCOMPARE(CallerDirectory().ListKeys(), QStringList{QStringLiteral("0301234567")});

        // Seven characters filter nothing.
        WriteSettingString(QStringLiteral("ISDN_MSN"), QStringLiteral("4711,,,"));
        w = start();
        QCOMPARE(call(QStringLiteral("0301234567"), QStringLiteral("999")).reaction,
                 QStringLiteral("alerted"));
        end(w);
        QCOMPARE(journal().size(), 2);
        QVERIFY(played.isEmpty()); // "Beep / Sound  bei Anruf" is off
    }

    void knownBlockedAndGroupKeys()
    {
        writeDirectory("12=F#Zw\x94lf\r\n0301*=T#Sperre\r\n0401=T#\r\n");
        // A subscriber number arrives as dialled; "Null erzeugen" would make it 01234.
        auto w = start(false, /*createNull=*/false);

        // A key of two digits matches every number that begins with it.
        const ExchangeOffer zwoelf = call(QStringLiteral("1234"), QStringLiteral("4711"));
        QCOMPARE(zwoelf.reaction, QStringLiteral("alerted"));
        QCOMPARE(entryText(*w), QString::fromUtf8("Zwölf"));
        QCOMPARE(child<QLabel>(w.get(), "Anrufer")->text(), QString::fromUtf8("Zwölf"));
        QCOMPARE(child<QStackedWidget>(w.get(), "nb_Call")->currentIndex(), int(TfmMain::CallPageCaller));
        QVERIFY(w->Timer.isActive());
        QCOMPARE(w->Timer.interval(), 3000);

        // National numbers arrive without their "0": "Null erzeugen" puts it back.
        child<QCheckBox>(w.get(), "ISDNCreateNull")->setChecked(true);

        // A group key with T#: busy, whatever the number goes on with.
        const ExchangeOffer blocked = call(QStringLiteral("03019876"), QStringLiteral("4711"));
        QCOMPARE(blocked.reaction, QStringLiteral("rejected"));
        QCOMPARE(blocked.reject, QStringLiteral("3"));
        QCOMPARE(blocked.result, QStringLiteral("busy"));
        QCOMPARE(entryText(*w), QStringLiteral("Sperre --> gesperrt"));
        QCOMPARE(status(*w), QStringLiteral("Anrufer ist gesperrt !"));
        QCOMPARE(w->FCallerKey, QStringLiteral("0301*"));

        // A blocked entry without a name shows the number and is still turned away.
        const ExchangeOffer nameless = call(QStringLiteral("04015555"), QStringLiteral("4711"));
        QCOMPARE(nameless.reaction, QStringLiteral("rejected"));
        QCOMPARE(entryText(*w), QStringLiteral("04015555 --> gesperrt"));

        // "Anrufe ignorieren" turns away every call; for a blocked caller its text stands.
        child<QCheckBox>(w.get(), "IsdnIgnore")->setChecked(true);
        const ExchangeOffer ignored = call(QStringLiteral("0301777"), QStringLiteral("4711"));
        QCOMPARE(ignored.reaction, QStringLiteral("rejected"));
        QCOMPARE(ignored.reject, QStringLiteral("3"));
        QCOMPARE(status(*w), QStringLiteral("Anruf wird ignoriert !"));
        QCOMPARE(entryText(*w), QStringLiteral("Sperre --> gesperrt"));
        end(w);

        // Every call that passed the filter is journalled under the key it matched; nothing known
        // was learned again.
        QStringList keys;
        for (const JournalRecord &r : journal()) {
            keys << r.CallerKey;
            QCOMPARE(r.Msn, QStringLiteral("4711"));
        }
        QCOMPARE(keys, (QStringList{"12", "0301*", "0401", "0301*"}));
        QCOMPARE(CallerDirectory().ListKeys(), (QStringList{"12", "0301*", "0401"}));
        QCOMPARE(messages, QStringList());
    }

    void unknownCallersAreLearned()
    {
        auto w = start(/*extWin=*/true, /*createNull=*/true);
        QCOMPARE(call(QStringLiteral("0401234"), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QCOMPARE(entryText(*w), QStringLiteral("0401234"));
        // The notification window instead of the main window's caller page.
        QCOMPARE(child<QStackedWidget>(w.get(), "nb_Call")->currentIndex(), int(TfmMain::CallPageList));
        QVERIFY(fmCallMsg);
        QCOMPARE(fmCallMsg->lbName->text(), QStringLiteral("0401234"));
        QVERIFY(fmCallMsg->lbMSN->text().endsWith(QStringLiteral("4711 !")));
        QVERIFY(fmCallMsg->lbHinweis->text().endsWith(QStringLiteral("Digital")));

        // The second call of the number finds it: the entry written for the first.
        QCOMPARE(call(QStringLiteral("0401234"), QStringLiteral("4711"), "analog").reaction,
                 QStringLiteral("alerted"));
        QVERIFY(fmCallMsg->lbHinweis->text().endsWith(QStringLiteral("Analog")));

        // Without a number: "Analog", learned as "0" ("Null erzeugen" gives the name "0").
        QCOMPARE(call(QString(), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QCOMPARE(entryText(*w), QStringLiteral("Analog"));
        QCOMPARE(fmCallMsg->lbName->text(), QStringLiteral("Analog"));
        end(w);
        QByteArray file = fileBytes(dataFile("anruf.dat"));
        QVERIFY2(file.contains("0401234=F#0401234\r\n"), file.constData());
        QCOMPARE(file.count("0401234="), 1);
        QVERIFY2(file.contains("0=F#0\r\n"), file.constData());
        QCOMPARE(journal().size(), 3);
        QCOMPARE(journal().at(2).CallerKey, QStringLiteral("0"));

        // Without "Null erzeugen" a call without number is learned nameless.
        QFile::remove(dataFile("anruf.dat"));
        w = start(false, /*createNull=*/false);
        QCOMPARE(call(QString(), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QCOMPARE(entryText(*w), QStringLiteral("Analog"));
        end(w);
        file = fileBytes(dataFile("anruf.dat"));
        QVERIFY2(file.contains("0=F#\r\n"), file.constData());

        // Keys that never match are learned only once: the names the user gave them stay.
        writeDirectory("0=F#Ohne Nummer\r\n7=F#Pforte\r\n");
        w = start(false, /*createNull=*/false);
        QCOMPARE(call(QString(), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QCOMPARE(call(QStringLiteral("7"), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        end(w);
        QCOMPARE(fileBytes(dataFile("anruf.dat")), "[Anrufer]\r\n0=F#Ohne Nummer\r\n7=F#Pforte\r\n");
    }

    void serverModeAcceptsDataCallsOfBlockedCallers()
    {
        writeDirectory("0301*=T#Sperre\r\n");
        auto w = start();
        w->SetServerMode(true);
        waitListening(*w);
        const ExchangeOffer data = call(QStringLiteral("03011111"), QStringLiteral("4711"), "data64");
        QCOMPARE(data.reaction, QStringLiteral("accepted"));
        QCOMPARE(entryText(*w), QStringLiteral("Sperre"));
        // A telephone call of the same caller is still turned away.
        QCOMPARE(call(QStringLiteral("03011111"), QStringLiteral("4711")).reaction,
                 QStringLiteral("rejected"));
        w->SetServerMode(false);
        end(w);
        QCOMPARE(journal().size(), 2);
    }

    void eighthMsnPlaysEighthSound()
    {
        QStringList msns, files;
        for (int i = 1; i <= 8; ++i) {
            msns << QString::number(470 + i);
            files << env->root() + QStringLiteral("/ring%1.wav").arg(i);
            QFile f(files.last());
            QVERIFY(f.open(QIODevice::WriteOnly));
            Settings::Write(Settings::Sound{i}, files.last());
        }
        WriteSettingString(QStringLiteral("ISDN_MSN"), msns.join(QLatin1Char(',')));
        WriteSettingFlag(QStringLiteral("ISDN_Beep"), true);
        auto w = start();
        QCOMPARE(call(QStringLiteral("0301234567"), QStringLiteral("478")).reaction,
                 QStringLiteral("alerted"));
        QCOMPARE(call(QStringLiteral("0301234567"), QStringLiteral("471")).reaction,
                 QStringLiteral("alerted"));
        // 47 is in the list as a substring (so the call passes) but no field: the signal.
        QCOMPARE(call(QStringLiteral("0301234567"), QStringLiteral("47")).reaction,
                 QStringLiteral("alerted"));
        QCOMPARE(played, (QStringList{files[7], files[0], "signal"}));
        end(w);
    }

    void quickRingsAreAnsweredAtOnceAndShownInOrder()
    {
        // Two rings of one unknown number come before either is shown: each gets its answer
        // from the handler, the journal has both stamped with their ring times, the caller is
        // learned once.
        auto w = start();
        const QDateTime first(QDate(2024, 5, 1), QTime(10, 0, 1));
        const QDateTime second(QDate(2024, 5, 1), QTime(10, 0, 2));
        TCallDaten daten;
        daten.Service = 3;
        daten.CallingPartyNumber = TCallNumber::FromString(QStringLiteral("\x21\x81") + "40999");
        daten.CalledPartyNumber = TCallNumber::FromString(QStringLiteral("\x81") + "4711");
        Clock::setSource([&] { return first; });
        QCOMPARE(w->Capi2Ring(w->Capi2.get(), daten), RingResult::AlertOnly);
        Clock::setSource([&] { return second; });
        QCOMPARE(w->Capi2Ring(w->Capi2.get(), daten), RingResult::AlertOnly);
        Clock::setSource([] { return QDateTime(QDate(2030, 1, 1), QTime(0, 0)); });
        // Nothing shown yet: that comes after the answer.
        QCOMPARE(child<QListWidget>(w.get(), "CallList")->count(), 0);
        QTRY_COMPARE(child<QListWidget>(w.get(), "CallList")->count(), 2);
        QCOMPARE(child<QListWidget>(w.get(), "CallList")->item(0)->text(),
                 QStringLiteral("10:00:01 - 040999"));
        QCOMPARE(child<QListWidget>(w.get(), "CallList")->item(1)->text(),
                 QStringLiteral("10:00:02 - 040999"));
        end(w);
        Clock::setSource({});
        const QList<JournalRecord> calls = journal();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[0].callDateTime(), first);
        QCOMPARE(calls[1].callDateTime(), second);
        QCOMPARE(fileBytes(dataFile("anruf.dat")).count("040999="), 1);
    }

    void aStormOfRingsIsJournalledAndLearnedWhileItLasts()
    {
        // Rings every few milliseconds for well over the time the calls wait to be shown: the
        // calls reach the journal and the directory while the rings still come, not only once
        // they stop (a kill then loses nothing that rang a moment before).
        auto w = start(true);
        TCallDaten daten;
        daten.Service = 3;
        daten.CalledPartyNumber = TCallNumber::FromString(QStringLiteral("\x81") + "4711");
        QElapsedTimer storm;
        storm.start();
        for (int i = 0; storm.elapsed() < 1500; ++i) {
            daten.CallingPartyNumber =
                TCallNumber::FromString(QStringLiteral("\x21\x81") + QString::number(4100000 + i));
            QCOMPARE(w->Capi2Ring(w->Capi2.get(), daten), RingResult::AlertOnly);
            QTest::qWait(3);
        }
        const QList<JournalRecord> calls = journal();
        QVERIFY(!calls.isEmpty());
        QCOMPARE(calls[0].CallerKey, QStringLiteral("04100000"));
        QCOMPARE(CallerDirectory().ReadValue(QStringLiteral("04100000")), QStringLiteral("F#04100000"));
        end(w);
    }

    void theCallListKeepsTheNewestCallsAndTheJournalAll()
    {
        auto w = start();
        TCallDaten daten;
        daten.Service = 3;
        daten.CalledPartyNumber = TCallNumber::FromString(QStringLiteral("\x81") + "4711");
        constexpr int kCalls = 1005;
        for (int i = 0; i < kCalls; ++i) {
            daten.CallingPartyNumber =
                TCallNumber::FromString(QStringLiteral("\x21\x81") + QString::number(5100000 + i));
            w->Capi2Ring(w->Capi2.get(), daten);
        }
        QTRY_COMPARE(entryText(*w), QStringLiteral("0%1").arg(5100000 + kCalls - 1));
        auto *list = child<QListWidget>(w.get(), "CallList");
        QCOMPARE(list->count(), 1000);
        QCOMPARE(list->item(0)->text().mid(11), QStringLiteral("0%1").arg(5100000 + kCalls - 1000));
        end(w);
        QCOMPARE(journal().size(), kCalls);
    }
    void failedSavesAreReportedOnceAndLoseNothing()
    {
        auto w = start();
        TCallDaten daten;
        daten.Service = 3;
        daten.CallingPartyNumber = TCallNumber::FromString(QStringLiteral("\x21\x81") + "40888");
        daten.CalledPartyNumber = TCallNumber::FromString(QStringLiteral("\x81") + "4711");
        {
            // Like a full disk: the journal and the directory cannot grow.
            FileSizeLimit full(8);
            QCOMPARE(w->Capi2Ring(w->Capi2.get(), daten), RingResult::AlertOnly);
            QTRY_COMPARE(messages.size(), 2);
            // The stores retry every second; the user is not told again.
            QTest::qWait(2500);
            QCOMPARE(messages.size(), 2);
            QCOMPARE(messages.filter(QStringLiteral("anruf2.dat")).size(), 1);
            QCOMPARE(messages.filter(QStringLiteral("anruf.dat")).size(), 1);
        }
        end(w);
        QCOMPARE(journal().size(), 1);
        QCOMPARE(fileBytes(dataFile("anruf.dat")).count("040888=F#040888"), 1);
    }

    void closingWhileTheDiskIsFullAsksAndLosesNothing()
    {
        auto w = start();
        TCallDaten daten;
        daten.Service = 3;
        daten.CallingPartyNumber = TCallNumber::FromString(QStringLiteral("\x21\x81") + "40777");
        daten.CalledPartyNumber = TCallNumber::FromString(QStringLiteral("\x81") + "4711");
        auto full = std::make_unique<FileSizeLimit>(8);
        QCOMPARE(w->Capi2Ring(w->Capi2.get(), daten), RingResult::AlertOnly);
        QTRY_COMPARE(messages.size(), 2);
        // Ending the program with the saves still failing asks the user; room is made before
        // the answer "try again".
        QStringList asked;
        MsgDlgHook::setHandler([&](const QString &text, int kind) {
            asked << text;
            full.reset();
            return kind == 0;
        });
        end(w);
        MsgDlgHook::setHandler([this](const QString &text, int) {
            messages << text;
            return false;
        });
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains(QStringLiteral("Nochmals versuchen ?")), qPrintable(asked[0]));
        QCOMPARE(journal().size(), 1);
        QCOMPARE(fileBytes(dataFile("anruf.dat")).count("040777=F#040777"), 1);
    }

    // "Anrufer abweisen ..." turns the ringing caller away as busy, as a blocked caller is: he is
    // neither connected to nothing nor charged.
    void rejectButtonTurnsThePendingCallAway()
    {
        auto w = start();
        std::atomic<bool> done{false};
        QString reaction;
        std::string reject;
        std::thread caller([&] {
            isdnsim::ControlClient control;
            std::string error, line;
            if (control.connect("127.0.0.1", sim.port(), &error) &&
                control.sendLine("CALL from=0301234567 to=4711 cip=16 hangup_after_ms=5000")) {
                while (control.readLine(&line, 20000)) {
                    const QString word = QString::fromStdString(line).section(QLatin1Char(' '), 0, 0);
                    if (word == "ACCEPTED" || word == "REJECTED") {
                        reaction = word;
                        reject = isdnsim::lineValue(line, "reject");
                        control.sendLine("HANGUP");
                    }
                    if (word == "END")
                        break;
                }
            }
            done = true;
        });
        // Ringing: the button answers it.
        QTRY_COMPARE(child<QListWidget>(w.get(), "CallList")->count(), 1);
        child<QToolButton>(w.get(), "Image3")->click();
        QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 30000));
        caller.join();
        QCOMPARE(reaction, QStringLiteral("REJECTED"));
        QCOMPARE(reject, std::string("3"));
        end(w);
    }

    // ---- the automatic D-Info look-up of unknown callers ----

    void unknownCallerIsLookedUpBeforeItIsShown()
    {
        // A new user's setup: the default D-Info folder with the stand-in, an address book.
        QFile card(env->root() + "/karten.vcf");
        QVERIFY(card.open(QIODevice::WriteOnly));
        card.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Meier;Hans\r\nTEL:+49 30 1234567\r\nEND:VCARD\r\n");
        card.close();
        QDir().mkpath(env->configHome() + "/rufwart");
        QFile standInSettings(env->configHome() + "/rufwart/dinfo.ini");
        QVERIFY(standInSettings.open(QIODevice::WriteOnly));
        standInSettings.write("Source=" + card.fileName().toUtf8() + "\n");
        standInSettings.close();
        WriteSettingFlag(QStringLiteral("ISDN_RunDInfo"), true);
        auto w = start(true);
        QVERIFY2(DInfoRunning, qPrintable(messages.join(" | ")));

        QCOMPARE(call(QStringLiteral("301234567"), QStringLiteral("4711")).reaction,
                 QStringLiteral("alerted"));
        QTRY_COMPARE(entryText(*w), QStringLiteral("Meier, Hans"));
        QVERIFY(fmCallMsg);
        QCOMPARE(fmCallMsg->lbName->text(), QStringLiteral("Meier, Hans"));
        QVERIFY(!fmDInfMsg);
        end(w);
        QCOMPARE(fileBytes(dataFile("anruf.dat")), QByteArray("[Anrufer]\r\n0301234567=F#Meier, Hans\r\n"));
        QVERIFY(!DInfoRunning);
    }

    void lookUpsThatFailKeepTheNumberAndNeverHoldLaterRings()
    {
        // A directory program that takes requests and never answers.
        const QString folder = env->root() + "/fake/";
        QDir().mkpath(folder);
        QVERIFY(QFile::link(QStringLiteral(FAKE_DINFO_EXE), folder + "dinfowin.exe"));
        QFile mode(folder + "fake-mode");
        QVERIFY(mode.open(QIODevice::WriteOnly));
        mode.write("hang");
        mode.close();
        WriteSettingString(QStringLiteral("ISDN_DInfoDir"), folder);
        WriteSettingFlag(QStringLiteral("ISDN_RunDInfo"), true);
        DInfoClient::SetTimeoutsForTests(5000, 1500);
        auto w = start(true);
        QVERIFY2(DInfoRunning, qPrintable(messages.join(" | ")));

        // The second call rings while the first one's look-up waits: it is answered at once,
        // long before the first call is shown.
        QString progressNumber;
        std::chrono::steady_clock::time_point firstShown;
        QStringList statusShown;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (fmDInfMsg && progressNumber.isEmpty())
                progressNumber = fmDInfMsg->lbNr->text();
            const int shown = child<QListWidget>(w.get(), "CallList")->count();
            if (shown > statusShown.size()) {
                statusShown << status(*w);
                if (shown == 1)
                    firstShown = std::chrono::steady_clock::now();
            }
        });
        watch.start(5);
        ExchangeOffer first, second;
        std::atomic<bool> done{false};
        std::thread caller([&] {
            first = OfferExchangeCall(sim.port(), QStringLiteral("40111"), QStringLiteral("4711"));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            second = OfferExchangeCall(sim.port(), QStringLiteral("40222"), QStringLiteral("4711"));
            done = true;
        });
        QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 30000));
        caller.join();
        QCOMPARE(first.reaction, QStringLiteral("alerted"));
        QCOMPARE(second.reaction, QStringLiteral("alerted"));
        QTRY_COMPARE_WITH_TIMEOUT(statusShown.size(), 2, 20000);
        watch.stop();
        QVERIFY(second.answered < firstShown);
        QCOMPARE(progressNumber, QStringLiteral("\" 040111 \""));
        // The failure is told once, in the status line; the callers keep their numbers.
        QCOMPARE(statusShown, QStringList({"Anruf auf 4711 ! (D-Info: keine Antwort)", "Anruf auf 4711 !"}));
        QCOMPARE(child<QListWidget>(w.get(), "CallList")->item(0)->text().mid(11), QStringLiteral("040111"));
        QCOMPARE(entryText(*w), QStringLiteral("040222"));
        QVERIFY(!fmDInfMsg);
        QVERIFY(messages.isEmpty());
        end(w);
        const QByteArray directory = fileBytes(dataFile("anruf.dat"));
        QVERIFY(directory.contains("040111=F#040111\r\n") && directory.contains("040222=F#040222\r\n"));

        // Ending the program while a look-up waits ends the wait and loses nothing.
        DInfoClient::SetTimeoutsForTests(5000, 60000);
        w = start(true);
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (fmDInfMsg && w) {
                closer.stop();
                w->mnuCloseClick();
            }
        });
        closer.start(5);
        const auto before = std::chrono::steady_clock::now();
        QCOMPARE(call(QStringLiteral("40333"), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QTRY_VERIFY(!DInfoRunning);
        QVERIFY(std::chrono::steady_clock::now() - before < std::chrono::seconds(30));
        w.reset();
        QVERIFY(fileBytes(dataFile("anruf.dat")).contains("040333=F#040333\r\n"));
        QCOMPARE(journal().size(), 3);
        QCOMPARE(journal().last().CallerKey, QStringLiteral("040333"));
    }
};

QTEST_MAIN(TestMainRing)
#include "TestMainRing.moc"
