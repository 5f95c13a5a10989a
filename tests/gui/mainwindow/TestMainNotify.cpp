// The main window's desktop notifications and missed calls: calls rung into the window's ring
// handler are shown through a notification service of our own on a private session bus, whose
// actions block and name the caller; without the service the own window shows them; the
// notification-area icon counts the calls until the user looks.
#include "MqttPublisher.h"
#include "calls/CallerDirectory.h"
#include "capi/Capi20.h"
#include "common/Clock.h"
#include "mainwindow/MainWindow.h"
#include "monitor/CallPipeline.h"
#include "monitor/CapiSession.h"
#include "notify/TrayIcon.h"
#include "settings/SettingsStore.h"
#include "support/MosquittoBroker.h"
#include "support/NotificationServer.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/Icons.h"
#include "windows/CallNotification.h"
#include "windows/CallerRecordDialog.h"
#include "windows/JournalDialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestMainNotify : public QObject
{
    Q_OBJECT
    std::unique_ptr<PrivateSessionBus> bus;
    std::unique_ptr<NotificationServer> server;
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MessageAnswers> messages;
    NewestWindow<TfmCallMsg> callMsg;

    // The window with "Externes Fenster" on, shown as desktop notifications or not.
    static std::unique_ptr<TfmMain> start(bool desktop)
    {
        WriteSettingFlag(QStringLiteral("ISDN_ShowExtWin"), true);
        WriteSettingFlag(QStringLiteral("ISDN_ExtWinDesktop"), desktop);
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("600"));
        auto w = std::make_unique<TfmMain>();
        w->FormShow();
        return w;
    }
    static void ring(TfmMain &w, const QString &from)
    {
        TCallDaten daten;
        daten.Service = 2;
        daten.CallingPartyNumber = TCallNumber::FromString(QStringLiteral("\x21\x81") + from);
        daten.CalledPartyNumber = TCallNumber::FromString(QStringLiteral("\x81") + "4711");
        w.Pipeline().Ring(daten);
    }
    static TTrayIcon *trayIcon(TfmMain &w) { return child<TTrayIcon>(&w, "TaskIcon1"); }
    static QString status(TfmMain &w) { return child<QLabel>(&w, "ISDNBar")->text(); }
    static QString lastEntry(TfmMain &w)
    {
        auto *list = child<QListWidget>(&w, "CallList");
        return list->count() ? list->item(list->count() - 1)->text().mid(11) : QString();
    }
    static void closeCallWindows()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (qobject_cast<TfmCallMsg *>(window))
                delete window;
    }

private slots:
    void initTestCase()
    {
        qputenv("RUFWART_CAPI_REMOTE", QByteArray("127.0.0.1:") + QByteArray::number(closedPort()));
        bus = std::make_unique<PrivateSessionBus>();
        QVERIFY2(bus->isRunning(), qPrintable(bus->error()));
        // The window reaches the session bus only when a call is first shown there.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
    }
    void init()
    {
        env = std::make_unique<TestEnv>();
        messages = std::make_unique<MessageAnswers>();
        server = std::make_unique<NotificationServer>(bus->address());
        QVERIFY(server->start());
        CallerDirectory().WriteCallerList({{QStringLiteral("0301234"), QStringLiteral("Meier"), false},
                                           {QStringLiteral("0900*"), QStringLiteral("Werbung"), true}});
    }
    void cleanup()
    {
        closeCallWindows();
        Clock::setSource({});
        server.reset();
        messages.reset();
        env.reset();
    }
    void cleanupTestCase() { bus.reset(); }

    void aCopyThatOnlyShowsCallsAsksTheOwnerToBlock()
    {
        MosquittoBroker broker;
        QVERIFY(broker.Start());
        WriteSettingString(QStringLiteral("ISDN_MqttHost"), QStringLiteral("127.0.0.1"));
        WriteSettingString(QStringLiteral("ISDN_MqttPort"), QString::number(broker.Port()));
        WriteSettingString(QStringLiteral("ISDN_MqttNode"), QStringLiteral("wohnzimmer"));
        WriteSettingFlag(QStringLiteral("ISDN_DisplayOnly"), true);
        auto w = start(true);
        QTRY_VERIFY_WITH_TIMEOUT(status(*w).startsWith(QStringLiteral("MQTT")), 20000);

        MqttPublisher owner(LoopbackOptions(broker.Port(), QStringLiteral("keller")));
        QStringList asked;
        connect(&owner, &MqttPublisher::commandReceived,
                [&](const QString &from, const QString &number) { asked << from + ':' + number; });
        QVERIFY(owner.Start());
        CallEvent e;
        e.What = CallEvent::Kind::Alerted;
        e.CallId = e.MessageId = QStringLiteral("k-1");
        e.Time = QDateTime::currentDateTime();
        e.Number = QStringLiteral("0409999");
        e.Name = QStringLiteral("Schulz");
        e.Msn = QStringLiteral("4711");
        e.Service = QStringLiteral("Analog");
        owner.Publish(e);

        // Shown as a call of this line would be; "Sperren" asks the copy that owns the line.
        QTRY_COMPARE_WITH_TIMEOUT(server->received.size(), 1, 20000);
        QCOMPARE(server->received[0].Summary, QStringLiteral("Schulz"));
        QCOMPARE(lastEntry(*w), QStringLiteral("Schulz"));
        server->invokeAction(server->received[0].Id, QStringLiteral("block"));
        QTRY_COMPARE_WITH_TIMEOUT(asked, QStringList{QStringLiteral("wohnzimmer:0409999")}, 20000);
        // Nothing of it is kept here, and no line was opened.
        QVERIFY(!CallerDirectory().MatchCaller(QStringLiteral("0409999")).Found);
        QVERIFY(!w->Session().Capi().Registered());
    }

    void desktopNotificationsBlockAndNameTheCaller()
    {
        auto w = start(true);
        ring(*w, QStringLiteral("0301234"));
        QTRY_COMPARE(server->received.size(), 1);
        QCOMPARE(server->received[0].Summary, QStringLiteral("Meier"));
        QCOMPARE(server->received[0].Body, QStringLiteral("MSN : 4711  ·  Analog"));
        QVERIFY(!callMsg); // not in the own window as well
        QCOMPARE(lastEntry(*w), QStringLiteral("Meier"));

        // "Sperren" keeps the name and blocks: the next call is turned away.
        server->invokeAction(server->received[0].Id, QStringLiteral("block"));
        CallerDirectory callers;
        QTRY_COMPARE(callers.ReadValue(QStringLiteral("0301234")), QStringLiteral("T#Meier"));

        // For a caller a group key names, "Sperren" blocks that caller alone, under the group's name.
        callers.WriteCaller(QStringLiteral("089*"), QString::fromUtf8("München"), false);
        ring(*w, QStringLiteral("0891234"));
        QTRY_COMPARE(server->received.size(), 2);
        QCOMPARE(server->received[1].Summary, QString::fromUtf8("München"));
        server->invokeAction(server->received[1].Id, QStringLiteral("block"));
        QTRY_VERIFY(callers.ResolveCaller(QStringLiteral("0891234")).Blocked);
        QCOMPARE(callers.ResolveCaller(QStringLiteral("0891234")).Text, QString::fromUtf8("T#München"));
        QVERIFY(!callers.ResolveCaller(QStringLiteral("0895555")).Blocked);

        // "Bearbeiten" opens the record dialog for an unknown caller; the name given there shows in
        // the call list.
        ring(*w, QStringLiteral("040555"));
        QTRY_COMPARE(server->received.size(), 3);
        QCOMPARE(server->received[2].Summary, QStringLiteral("040555"));
        // The dialog opens once the action has come over the bus.
        bool edited = false;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            auto *record = qobject_cast<TfmStamm *>(QApplication::activeModalWidget());
            if (!record)
                return;
            answer.stop();
            edited = child<QLineEdit>(record, "EdNummer")->text() == QStringLiteral("040555");
            child<QLineEdit>(record, "EdName")->setText(QStringLiteral("Schulz"));
            child<QPushButton>(record, "ChangeBtn")->click();
        });
        answer.start(10);
        server->invokeAction(server->received[2].Id, QStringLiteral("edit"));
        QTRY_VERIFY(edited);
        QTRY_COMPARE(callers.ReadValue(QStringLiteral("040555")), QStringLiteral("F#Schulz"));
        QCOMPARE(lastEntry(*w), QStringLiteral("Schulz"));

        // For a caller a group key names, "Bearbeiten" opens the caller's own number, starting
        // from the group's name; the name given there takes effect.
        ring(*w, QStringLiteral("0897777"));
        QTRY_COMPARE(server->received.size(), 4);
        edited = false;
        answer.disconnect(this);
        connect(&answer, &QTimer::timeout, this, [&] {
            auto *record = qobject_cast<TfmStamm *>(QApplication::activeModalWidget());
            if (!record)
                return;
            answer.stop();
            edited = child<QLineEdit>(record, "EdNummer")->text() == QStringLiteral("0897777") &&
                     child<QLineEdit>(record, "EdName")->text() == QString::fromUtf8("München");
            child<QLineEdit>(record, "EdName")->setText(QStringLiteral("Huber"));
            child<QPushButton>(record, "ChangeBtn")->click();
        });
        answer.start(10);
        server->invokeAction(server->received[3].Id, QStringLiteral("edit"));
        QTRY_VERIFY(edited);
        QTRY_COMPARE(callers.ResolveCaller(QStringLiteral("0897777")).Text, QStringLiteral("F#Huber"));
        QCOMPARE(lastEntry(*w), QStringLiteral("Huber"));

        // The blocked caller rings again: no "Sperren" on offer, and the notice says why.
        ring(*w, QStringLiteral("0301234"));
        QTRY_COMPARE(server->received.size(), 5);
        QCOMPARE(server->received[4].Actions, QStringList({"edit", "Bearbeiten"}));
        QVERIFY(server->received[4].Body.endsWith(QStringLiteral("\nAnrufer ist gesperrt !")));
    }

    void theOwnWindowShowsCallsWithoutTheService()
    {
        {
            // The own window, as before: nothing goes to the desktop.
            auto w = start(false);
            ring(*w, QStringLiteral("0301234"));
            QTRY_VERIFY(callMsg);
            QCOMPARE(child<QLabel>(callMsg.get(), "lbName")->text(), QStringLiteral("Meier"));
            QTest::qWait(100);
            QVERIFY(server->received.isEmpty());
            closeCallWindows();
        }
        server->stop();
        auto w = start(true);
        ring(*w, QStringLiteral("0301234"));
        QTRY_VERIFY(callMsg);
        QCOMPARE(child<QLabel>(callMsg.get(), "lbName")->text(), QStringLiteral("Meier"));
        QCOMPARE(status(*w), QStringLiteral("Anruf auf 4711 ! (kein Benachrichtigungsdienst)"));
        closeCallWindows();
        // Said once.
        ring(*w, QStringLiteral("040555"));
        QTRY_VERIFY(callMsg);
        QCOMPARE(child<QLabel>(callMsg.get(), "lbName")->text(), QStringLiteral("040555"));
        QCOMPARE(status(*w), QStringLiteral("Anruf auf 4711 !"));
    }

    void missedCallsCountUntilTheUserLooks()
    {
        auto w = start(false);
        const QString plain = QString::number(Icons::trayIcon().cacheKey());
        QDateTime now(QDate(2024, 3, 8), QTime(9, 0));
        Clock::setSource([&] { return now; });
        const char *callers[] = {"0301234", "040001", "09001111", "040002", "040003", "040004", "040005"};
        for (const char *from : callers) {
            now = now.addSecs(60);
            ring(*w, QString::fromLatin1(from));
            QTRY_VERIFY(callMsg);
            closeCallWindows();
        }
        // The blocked caller (0900*) does not count.
        QCOMPARE(w->Missed().Count(), 6);
        QCOMPARE(trayIcon(*w)->ToolTip(),
                 QStringLiteral("Rufwart 32\n6 Anrufe in Abwesenheit\n09:07  040005\n"
                                "09:06  040004\n09:05  040003\n09:04  040002\n"
                                "09:02  040001"));
        QVERIFY(QString::number(trayIcon(*w)->Icon().cacheKey()) != plain);

        // Opening the journal is looking.
        QTimer::singleShot(0, this, [] {
            if (auto *journal = qobject_cast<TfmHistorie *>(QApplication::activeModalWidget()))
                journal->reject();
        });
        w->ShowJournal();
        QCOMPARE(w->Missed().Count(), 0);
        QCOMPARE(trayIcon(*w)->ToolTip(), QStringLiteral("Rufwart 32"));
        QCOMPARE(QString::number(trayIcon(*w)->Icon().cacheKey()), plain);

        // A call of yesterday shows its day; the main window's call list brought up is looking.
        now = QDateTime(QDate(2024, 3, 9), QTime(8, 30));
        ring(*w, QStringLiteral("040006"));
        QTRY_VERIFY(callMsg);
        closeCallWindows();
        now = QDateTime(QDate(2024, 3, 10), QTime(7, 0));
        ring(*w, QStringLiteral("0301234"));
        QTRY_COMPARE(w->Missed().Count(), 2);
        QCOMPARE(trayIcon(*w)->ToolTip(),
                 QStringLiteral("Rufwart 32\n2 Anrufe in Abwesenheit\n07:00  Meier\n09.03. 08:30  040006"));
        closeCallWindows();
        w->RestoreMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTRY_COMPARE(w->Missed().Count(), 0);

        // A call that comes while the user looks at the list is not missed.
        ring(*w, QStringLiteral("040007"));
        QTRY_COMPARE(lastEntry(*w), QStringLiteral("040007"));
        QCOMPARE(w->Missed().Count(), 0);
    }
};

QTEST_MAIN(TestMainNotify)
#include "TestMainNotify.moc"
