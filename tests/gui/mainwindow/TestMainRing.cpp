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
#include "support/ProgramExchange.h"
#include "support/TestEnv.h"
#include "support/WriteFailure.h"
#include "windows/CallNotification.h"
#include "windows/MessageDialog.h"

#include "ControlClient.h"
#include "SimProcess.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <atomic>
#include <thread>

namespace {
template<typename T> T *child(QWidget *w, const char *name)
{
    T *found = w->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// What the exchange reported for one call.
struct Offer
{
    QString reaction; // alerted, accepted, rejected, ignored (the first reaction of the program)
    QString reject;   // the Reject value of a rejection
    QString result;   // the END result
};
} // namespace

class TestMainRing : public QObject
{
    Q_OBJECT
    isdnsim::SimProcess sim;
    std::unique_ptr<TestEnv> env;
    QStringList messages;
    QStringList played;

    // Places a call and waits for its end while the window keeps running: the caller hangs up
    // once the program has reacted.
    Offer call(const QString &from, const QString &to, const QString &service = QStringLiteral("telephony"))
    {
        Offer offer;
        std::atomic<bool> done{false};
        std::thread caller([&] {
            isdnsim::ControlClient control;
            std::string error, line;
            if (control.connect("127.0.0.1", sim.port(), &error) &&
                control.sendLine("CALL from=" + (from.isEmpty() ? std::string("-") : from.toStdString()) +
                                 " to=" + to.toStdString() + " cip=" + service.toStdString())) {
                while (control.readLine(&line, 20000)) {
                    const QString l = QString::fromStdString(line);
                    const QString word = l.section(QLatin1Char(' '), 0, 0).toLower();
                    if (offer.reaction.isEmpty() && (word == "alerted" || word == "accepted" ||
                                                     word == "rejected" || word == "ignored")) {
                        offer.reaction = word;
                        offer.reject = QString::fromStdString(isdnsim::lineValue(line, "reject"));
                        if (word == "alerted" || word == "accepted")
                            control.sendLine("HANGUP");
                    }
                    if (word == "end") {
                        offer.result = QString::fromStdString(isdnsim::lineValue(line, "result"));
                        break;
                    }
                }
            }
            done = true;
        });
        const bool ended = QTest::qWaitFor([&] { return done.load(); }, 30000);
        caller.join();
        if (!ended)
            qFatal("the call did not end");
        // What follows the answer runs on this thread: let it.
        QTest::qWait(50);
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
        const Offer zwoelf = call(QStringLiteral("1234"), QStringLiteral("4711"));
        QCOMPARE(zwoelf.reaction, QStringLiteral("alerted"));
        QCOMPARE(entryText(*w), QString::fromUtf8("Zwölf"));
        QCOMPARE(child<QLabel>(w.get(), "Anrufer")->text(), QString::fromUtf8("Zwölf"));
        QCOMPARE(child<QStackedWidget>(w.get(), "nb_Call")->currentIndex(), int(TfmMain::CallPageCaller));
        QVERIFY(w->Timer.isActive());
        QCOMPARE(w->Timer.interval(), 3000);

        // National numbers arrive without their "0": "Null erzeugen" puts it back.
        child<QCheckBox>(w.get(), "ISDNCreateNull")->setChecked(true);

        // A group key with T#: busy, whatever the number goes on with.
        const Offer blocked = call(QStringLiteral("03019876"), QStringLiteral("4711"));
        QCOMPARE(blocked.reaction, QStringLiteral("rejected"));
        QCOMPARE(blocked.reject, QStringLiteral("3"));
        QCOMPARE(blocked.result, QStringLiteral("busy"));
        QCOMPARE(entryText(*w), QStringLiteral("Sperre --> gesperrt"));
        QCOMPARE(status(*w), QStringLiteral("Anrufer ist gesperrt !"));
        QCOMPARE(w->FCallerKey, QStringLiteral("0301*"));

        // A blocked entry without a name shows the number and is still turned away.
        const Offer nameless = call(QStringLiteral("04015555"), QStringLiteral("4711"));
        QCOMPARE(nameless.reaction, QStringLiteral("rejected"));
        QCOMPARE(entryText(*w), QStringLiteral("04015555 --> gesperrt"));

        // "Anrufe ignorieren" turns away every call; for a blocked caller its text stands.
        child<QCheckBox>(w.get(), "IsdnIgnore")->setChecked(true);
        const Offer ignored = call(QStringLiteral("0301777"), QStringLiteral("4711"));
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
    }

    void serverModeAcceptsDataCallsOfBlockedCallers()
    {
        writeDirectory("0301*=T#Sperre\r\n");
        auto w = start();
        w->SetServerMode(true);
        waitListening(*w);
        const Offer data = call(QStringLiteral("03011111"), QStringLiteral("4711"), "data64");
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
            WriteSettingString(MsnList::soundSettingName(i), files.last());
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

    void rejectButtonAnswersThePendingCall()
    {
        auto w = start();
        std::atomic<bool> done{false};
        QString reaction;
        std::thread caller([&] {
            isdnsim::ControlClient control;
            std::string error, line;
            if (control.connect("127.0.0.1", sim.port(), &error) &&
                control.sendLine("CALL from=0301234567 to=4711 cip=16 hangup_after_ms=5000")) {
                while (control.readLine(&line, 20000)) {
                    const QString word = QString::fromStdString(line).section(QLatin1Char(' '), 0, 0);
                    if (word == "ACCEPTED") {
                        reaction = word;
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
        QCOMPARE(reaction, QStringLiteral("ACCEPTED"));
        end(w);
    }
};

QTEST_MAIN(TestMainRing)
#include "TestMainRing.moc"
