// The main window against the virtual exchange: at start it registers (beside the window) and
// sends the listen request of the chosen services; "Aktiv" off releases; a new service choice
// listens anew; a refused listen request is told.
// One exchange per executable (libcapi20 keeps one remote selection per process).
#include "calls/CallerDirectory.h"
#include "capi/Capi20.h"
#include "mainwindow/MainWindow.h"
#include "monitor/CallPipeline.h"
#include "monitor/CapiSession.h"
#include "settings/SettingsStore.h"
#include "support/ExchangeCall.h"
#include "support/ProgramExchange.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/MessageDialog.h"
#include "windows/CallerListDialog.h"

#include "ControlClient.h"
#include "SimProcess.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestMainListen : public QObject
{
    Q_OBJECT
    isdnsim::SimProcess sim;
    std::unique_ptr<TestEnv> env;
    QStringList messages;

    // The exchange's log lines from `since` on; `since` moves past them.
    QStringList events(int &since) { return ExchangeEvents(sim.port(), since); }
    // Collects log lines until `count` of them contain `word` (the exchange logs what it has
    // received, which may be a moment after the program sent it).
    QStringList waitFor(int &since, const QString &word, int count)
    {
        QStringList lines;
        QElapsedTimer clock;
        clock.start();
        do {
            lines += events(since);
            if (matching(lines, word).size() >= count)
                break;
            QTest::qWait(20);
        } while (clock.elapsed() < 20000);
        return lines;
    }
    static QStringList matching(const QStringList &lines, const QString &word)
    {
        QStringList found;
        for (const QString &line : lines)
            if (line.contains(word))
                found << line;
        return found;
    }

private slots:
    void initTestCase()
    {
        std::string error;
        QVERIFY2(StartProgramExchange(sim, &messages, &error), error.c_str());
    }
    void init()
    {
        env = std::make_unique<TestEnv>();
        messages.clear();
    }
    void cleanup() { env.reset(); }

    void registersAndListensForTheChosenServices()
    {
        int since = 0;
        events(since);
        TfmMain w;
        w.FormShow();
        // The registration runs beside the window; its report listens. (Without a notification
        // area, as here, the status also says so.)
        QTRY_VERIFY(child<QLabel>(&w, "ISDNBar")
                        ->text()
                        .startsWith(QStringLiteral("Autom. Anruferkennung aktiviert ...")));
        QCOMPARE(messages, QStringList());

        // No service setting: every service.
        QStringList log = waitFor(since, QStringLiteral("listen appl="), 1);
        QCOMPARE(matching(log, QStringLiteral("register appl=")).size(), 1);
        QStringList listens = matching(log, QStringLiteral("listen appl="));
        QCOMPARE(listens.size(), 1);
        QVERIFY2(listens[0].contains(QStringLiteral("cip_mask=0x1fff03ff"), Qt::CaseInsensitive),
                 qPrintable(listens[0]));

        // A new choice listens anew with its mask, on the same registration.
        WriteSettingString(QStringLiteral("ISDN_Service"), QStringLiteral("DIGITAL_TELEPHONY,DATA_64K,"));
        w.StartListen();
        log = waitFor(since, QStringLiteral("listen appl="), 1);
        QVERIFY(matching(log, QStringLiteral("register appl=")).isEmpty());
        listens = matching(log, QStringLiteral("listen appl="));
        QCOMPARE(listens.size(), 1);
        QVERIFY2(listens[0].contains(QStringLiteral("cip_mask=0x6 ")), qPrintable(listens[0]));

        // "Aktiv" off: listens for nothing and releases.
        child<QCheckBox>(&w, "isdnUse")->click();
        log = waitFor(since, QStringLiteral("release appl="), 1);
        QCOMPARE(matching(log, QStringLiteral("release appl=")).size(), 1);
        QVERIFY(child<QLabel>(&w, "ISDNBar")
                    ->text()
                    .startsWith(QStringLiteral("Autom. Anruferkennung deaktiviert ...")));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_UseExtern")), QStringLiteral("0"));

        // On again: registers once more.
        child<QCheckBox>(&w, "isdnUse")->click();
        log = waitFor(since, QStringLiteral("listen appl="), 1);
        QCOMPARE(matching(log, QStringLiteral("register appl=")).size(), 1);
        QCOMPARE(matching(log, QStringLiteral("listen appl=")).size(), 1);
        QCOMPARE(messages, QStringList());

        // Ending the program releases the registration.
        w.mnuCloseClick();
        QCOMPARE(matching(waitFor(since, QStringLiteral("release appl="), 1), QStringLiteral("release appl="))
                     .size(),
                 1);
    }

    // The status line says what the exchange answered: a refused listen request (here for a
    // controller the exchange does not have) is told, not shown as "aktiviert".
    void refusedListenRequestIsTold()
    {
        TfmMain w;
        w.Session().Capi().Controller = 2;
        w.FormShow();
        QTRY_COMPARE(messages, QStringList{QStringLiteral("Capi20 nicht installiert !")});
        QVERIFY(child<QLabel>(&w, "ISDNBar")
                    ->text()
                    .startsWith(QStringLiteral("Autom. Anruferkennung deaktiviert ...")));
        QTest::qWait(100);
        QCOMPARE(messages.size(), 1);
    }

    // "Aktiv" unticked while the registration is still under way: when it reports, it is released
    // and nothing is listened for.
    void activeUntickedWhileRegisteringReleases()
    {
        int since = 0;
        events(since);
        TfmMain w;
        w.FormShow();
        child<QCheckBox>(&w, "isdnUse")->click();
        const QStringList log = waitFor(since, QStringLiteral("release appl="), 1);
        QCOMPARE(matching(log, QStringLiteral("register appl=")).size(), 1);
        // Only the empty listen request that goes before every release.
        const QStringList listens = matching(log, QStringLiteral("listen appl="));
        QCOMPARE(listens.size(), matching(listens, QStringLiteral("cip_mask=0x0 ")).size());
        QVERIFY(child<QLabel>(&w, "ISDNBar")
                    ->text()
                    .startsWith(QStringLiteral("Autom. Anruferkennung deaktiviert ...")));
        QCOMPARE(messages, QStringList());
    }

    // "&Anwahl" in the caller list places a telephony call (CIP 16) to the current row's number
    // through the main window's component; "&Auflegen" ends it.
    void callerListDialsAndHangsUp()
    {
        CallerDirectory().WriteCaller(QStringLiteral("0301234567"), QStringLiteral("Meier"), false);
        // Someone who lets it ring.
        TCapi20 callee;
        callee.SetRemoteCapi(CapiSession::RemoteInForce());
        callee.OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::AlertOnly; };
        callee.Loaded();
        callee.Listen(ServiceBit::All);
        int since = 0;
        events(since);
        TfmMain w;
        w.FormShow();
        // It registers beside the window.
        QTRY_VERIFY(!w.Registering() && w.Session().Capi().Registered());

        TfmAnruf list(*w.Pipeline().Callers(), &w.Session().Capi());
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QTest::mouseClick(child<QPushButton>(&list, "DialBtn"), Qt::LeftButton);
        QCOMPARE(child<QPushButton>(&list, "DialBtn")->text(), QStringLiteral("&Auflegen"));
        const QStringList placed =
            matching(waitFor(since, QStringLiteral("ALERTED"), 1), QStringLiteral("PLACED"));
        QCOMPARE(placed.size(), 1);
        QVERIFY2(placed[0].contains(QStringLiteral(" to=0301234567 cip=16")), qPrintable(placed[0]));
        QTest::mouseClick(child<QPushButton>(&list, "DialBtn"), Qt::LeftButton);
        QCOMPARE(child<QPushButton>(&list, "DialBtn")->text(), QStringLiteral("&Anwahl"));
        const QStringList ended =
            matching(waitFor(since, QStringLiteral(" END "), 1), QStringLiteral(" END "));
        QCOMPARE(ended.size(), 1);
        QVERIFY2(ended[0].contains(QStringLiteral("result=hung-up")), qPrintable(ended[0]));
        QCOMPARE(messages, QStringList());
        list.done(0);
        w.mnuCloseClick();
    }
};

QTEST_MAIN(TestMainListen)
#include "TestMainListen.moc"
