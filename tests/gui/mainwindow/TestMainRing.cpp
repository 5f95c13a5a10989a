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
#include "monitor/CallPipeline.h"
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
#include "windows/StatisticsDialog.h"

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
    NewestWindow<TfmCallMsg> callMsg;
    NewestWindow<TfmDInfMsg> progress;
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

    // What the window shows of the calls the monitor decided (the rules themselves: TestMonitor).
    void callsAreShownAsTheMonitorDecides()
    {
        writeDirectory("12=F#Zw\x94lf\r\n0301*=T#Sperre\r\n");
        auto w = start(false, /*createNull=*/false);
        QCOMPARE(call(QStringLiteral("1234"), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QCOMPARE(entryText(*w), QString::fromUtf8("Zwölf"));
        QCOMPARE(child<QLabel>(w.get(), "Anrufer")->text(), QString::fromUtf8("Zwölf"));
        QCOMPARE(status(*w), QStringLiteral("Anruf auf 4711 !"));
        QCOMPARE(child<QStackedWidget>(w.get(), "nb_Call")->currentIndex(), int(TfmMain::CallPageCaller));
        QVERIFY(w->findChild<QTimer *>("Timer")->isActive());
        QCOMPARE(w->findChild<QTimer *>("Timer")->interval(), 3000);

        // The boxes of the options page reach the monitor at once, stored or not.
        child<QCheckBox>(w.get(), "ISDNCreateNull")->setChecked(true);
        child<QCheckBox>(w.get(), "IsdnIgnore")->setChecked(true);
        const ExchangeOffer ignored = call(QStringLiteral("0301777"), QStringLiteral("4711"));
        QCOMPARE(ignored.reaction, QStringLiteral("rejected"));
        QCOMPARE(status(*w), QStringLiteral("Anruf wird ignoriert !"));
        QCOMPARE(entryText(*w), QStringLiteral("Sperre --> gesperrt"));
        child<QCheckBox>(w.get(), "IsdnIgnore")->setChecked(false);
        const ExchangeOffer blocked = call(QStringLiteral("03019876"), QStringLiteral("4711"));
        QCOMPARE(blocked.reaction, QStringLiteral("rejected"));
        QCOMPARE(status(*w), QStringLiteral("Anrufer ist gesperrt !"));

        // "Externes Fenster": the notification window instead of the main window's caller page.
        child<QStackedWidget>(w.get(), "nb_Call")->setCurrentIndex(TfmMain::CallPageList);
        child<QCheckBox>(w.get(), "ISDNShowExtWin")->setChecked(true);
        QCOMPARE(call(QStringLiteral("0401234"), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QCOMPARE(entryText(*w), QStringLiteral("0401234"));
        QCOMPARE(child<QStackedWidget>(w.get(), "nb_Call")->currentIndex(), int(TfmMain::CallPageList));
        QVERIFY(callMsg);
        QCOMPARE(child<QLabel>(callMsg.get(), "lbName")->text(), QStringLiteral("0401234"));
        QVERIFY(child<QLabel>(callMsg.get(), "lbMSN")->text().endsWith(QStringLiteral("4711 !")));
        QVERIFY(child<QLabel>(callMsg.get(), "lbHinweis")->text().endsWith(QStringLiteral("Digital")));
        QCOMPARE(call(QString(), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QCOMPARE(entryText(*w), QStringLiteral("Analog"));
        QCOMPARE(child<QLabel>(callMsg.get(), "lbName")->text(), QStringLiteral("Analog"));

        // Server mode from the menu reaches the monitor: a data call of the blocked caller is taken.
        child<QAction>(w.get(), "mnuServermode")->trigger();
        waitListening(*w);
        QCOMPARE(call(QStringLiteral("03011111"), QStringLiteral("4711"), "data64").reaction,
                 QStringLiteral("accepted"));
        QCOMPARE(entryText(*w), QStringLiteral("Sperre"));
        child<QAction>(w.get(), "mnuServermode")->trigger();
        end(w);
        QCOMPARE(messages, QStringList());
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
            w->Pipeline().Ring(daten);
        }
        QTRY_COMPARE(entryText(*w), QStringLiteral("0%1").arg(5100000 + kCalls - 1));
        auto *list = child<QListWidget>(w.get(), "CallList");
        QCOMPARE(list->count(), 1000);
        QCOMPARE(list->item(0)->text().mid(11), QStringLiteral("0%1").arg(5100000 + kCalls - 1000));
        end(w);
        QCOMPARE(journal().size(), kCalls);
    }
    void statisticsFromTheMenuCountEveryCall()
    {
        auto w = start();
        child<QAction>(w.get(), "mnuStat")->trigger();
        child<QAction>(w.get(), "mnuStat")->trigger();
        const QList<StatisticsDialog *> open = w->findChildren<StatisticsDialog *>();
        QCOMPARE(open.size(), 1);
        QVERIFY(open[0]->isVisible());
        QCOMPARE(open[0]->statistics().Calls, 0);
        QCOMPARE(call(QStringLiteral("0301234"), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QTRY_COMPARE(open[0]->statistics().Calls, 1);
        QCOMPARE(open[0]->statistics().PerMsn, QList<CallStatistics::Bar>({{QStringLiteral("4711"), 1}}));
        end(w);
    }
    void closingWhileTheDiskIsFullAsksAndLosesNothing()
    {
        auto w = start();
        TCallDaten daten;
        daten.Service = 3;
        daten.CallingPartyNumber = TCallNumber::FromString(QStringLiteral("\x21\x81") + "40777");
        daten.CalledPartyNumber = TCallNumber::FromString(QStringLiteral("\x81") + "4711");
        auto full = std::make_unique<FileSizeLimit>(8);
        QCOMPARE(w->Pipeline().Ring(daten), RingResult::AlertOnly);
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

    void lookUpsShowTheirProgressAndTheFoundName()
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
        QCOMPARE(call(QStringLiteral("301234567"), QStringLiteral("4711")).reaction,
                 QStringLiteral("alerted"));
        QTRY_COMPARE(entryText(*w), QStringLiteral("Meier, Hans"));
        QVERIFY(callMsg);
        QCOMPARE(child<QLabel>(callMsg.get(), "lbName")->text(), QStringLiteral("Meier, Hans"));
        QVERIFY(!progress);
        end(w);

        // A directory program that takes requests and never answers: the progress window shows
        // while the look-up waits, the failure is told in the status line.
        const QString folder = env->root() + "/fake/";
        QDir().mkpath(folder);
        QVERIFY(QFile::link(QStringLiteral(FAKE_DINFO_EXE), folder + "dinfowin.exe"));
        QFile mode(folder + "fake-mode");
        QVERIFY(mode.open(QIODevice::WriteOnly));
        mode.write("hang");
        mode.close();
        WriteSettingString(QStringLiteral("ISDN_DInfoDir"), folder);
        DInfoClient::SetTimeoutsForTests(5000, 1500);
        w = start(true);
        QString progressNumber;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (progress && progressNumber.isEmpty())
                progressNumber = child<QLabel>(progress.get(), "lbNr")->text();
        });
        watch.start(5);
        QCOMPARE(call(QStringLiteral("40111"), QStringLiteral("4711")).reaction, QStringLiteral("alerted"));
        QTRY_COMPARE_WITH_TIMEOUT(entryText(*w), QStringLiteral("040111"), 20000);
        watch.stop();
        QCOMPARE(progressNumber, QStringLiteral("\" 040111 \""));
        QCOMPARE(status(*w), QStringLiteral("Anruf auf 4711 ! (D-Info: keine Antwort)"));
        QVERIFY(!progress);
        QVERIFY(messages.isEmpty());
        end(w);
    }
};

QTEST_MAIN(TestMainRing)
#include "TestMainRing.moc"
