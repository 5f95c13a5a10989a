// The desktop notifications against a notification service of our own on a private session
// bus: what a notice carries, which notice an action belongs to, and the fall-back when no
// service takes the notice.
#include "notify/DesktopNotifier.h"
#include "support/NotificationServer.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QTest>

class TestDesktopNotifier : public QObject
{
    Q_OBJECT
    std::unique_ptr<PrivateSessionBus> bus;
    std::unique_ptr<NotificationServer> server;

    QDBusConnection client()
    {
        return QDBusConnection::connectToBus(bus->address(), QStringLiteral("client"));
    }

    static CallNotice notice(const QString &caller, const QString &key, bool canBlock)
    {
        CallNotice n;
        n.Caller = caller;
        n.Msn = QStringLiteral("4711");
        n.Service = QStringLiteral("Analog");
        n.CallerKey = key;
        n.CanBlock = canBlock;
        return n;
    }

private slots:
    void initTestCase()
    {
        bus = std::make_unique<PrivateSessionBus>();
        QVERIFY2(bus->isRunning(), qPrintable(bus->error()));
    }
    void init()
    {
        server = std::make_unique<NotificationServer>(bus->address());
        QVERIFY(server->start());
    }
    void cleanup() { server.reset(); }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        bus.reset();
    }

    void noticesCarryTheCallAndTheirActionsActOnTheirCaller()
    {
        DesktopNotifier notifier(client());
        QStringList blocked, edited;
        notifier.OnBlock = [&](const QString &key) { blocked << key; };
        notifier.OnEdit = [&](const QString &key) { edited << key; };
        int failures = 0;
        notifier.Notify(notice(QStringLiteral("Müller & Söhne <Büro>"), QStringLiteral("0301234"), true),
                        [&] { ++failures; });
        CallNotice blockedCall = notice(QStringLiteral("Werbung"), QStringLiteral("0900*"), false);
        blockedCall.Hint = QStringLiteral("Anrufer ist gesperrt !");
        blockedCall.TimeoutMs = 0;
        notifier.Notify(blockedCall, [&] { ++failures; });
        QTRY_COMPARE(server->received.size(), 2);
        QTRY_COMPARE(notifier.openNotices(), 2);
        QCOMPARE(failures, 0);

        const NotificationServer::Notice &first = server->received[0];
        QCOMPARE(first.AppName, QStringLiteral("Rufwart 32"));
        QCOMPARE(first.AppIcon, QStringLiteral("de.elbwerk.rufwart"));
        QCOMPARE(first.Summary, QStringLiteral("Müller & Söhne <Büro>"));
        QCOMPARE(first.Body, QStringLiteral("MSN : 4711  ·  Analog"));
        QCOMPARE(first.Actions, QStringList({"block", "Sperren", "edit", "Bearbeiten"}));
        QCOMPARE(first.Timeout, -1);
        QCOMPARE(first.Hints.value("desktop-entry").toString(), QStringLiteral("de.elbwerk.rufwart"));
        const NotifyImage image =
            qdbus_cast<NotifyImage>(first.Hints.value("image-data").value<QDBusArgument>());
        QCOMPARE(image.Width, 48);
        QCOMPARE(image.Height, 48);
        QCOMPARE(image.Channels, 4);
        QCOMPARE(image.Data.size(), image.RowStride * image.Height);
        // A blocked caller is not offered for blocking again; the notice says why it was turned away.
        const NotificationServer::Notice &second = server->received[1];
        QCOMPARE(second.Actions, QStringList({"edit", "Bearbeiten"}));
        QCOMPARE(second.Body, QStringLiteral("MSN : 4711  ·  Analog\nAnrufer ist gesperrt !"));
        QCOMPARE(second.Timeout, 0);

        server->invokeAction(first.Id, QStringLiteral("block"));
        server->invokeAction(second.Id, QStringLiteral("edit"));
        // Another program's notice, and an action we never offered: nothing happens.
        server->invokeAction(second.Id + 100, QStringLiteral("block"));
        server->invokeAction(first.Id, QStringLiteral("default"));
        QTRY_COMPARE(edited, QStringList{QStringLiteral("0900*")});
        QCOMPARE(blocked, QStringList{QStringLiteral("0301234")});

        // A closed notice is forgotten: a late action of it does nothing.
        server->closeNotice(first.Id);
        QTRY_COMPARE(notifier.openNotices(), 1);
        server->invokeAction(first.Id, QStringLiteral("block"));
        server->invokeAction(second.Id, QStringLiteral("edit"));
        QTRY_COMPARE(edited.size(), 2);
        QCOMPARE(blocked.size(), 1);
    }

    // A restarted service numbers its notices afresh: an action on one of its ids never acts on a
    // caller of the service before.
    void noticesOfAnEarlierServiceAreForgotten()
    {
        DesktopNotifier notifier(client());
        QStringList blocked;
        notifier.OnBlock = [&](const QString &key) { blocked << key; };
        notifier.Notify(notice(QStringLiteral("Meier"), QStringLiteral("0301234"), true), {});
        notifier.Notify(notice(QStringLiteral("Hamburg"), QStringLiteral("040"), true), {});
        QTRY_COMPARE(notifier.openNotices(), 2);
        const uint earlier = server->received[1].Id;

        server = std::make_unique<NotificationServer>(bus->address());
        QVERIFY(server->start());
        QTRY_COMPARE(notifier.openNotices(), 0);
        notifier.Notify(notice(QStringLiteral("Alt"), QStringLiteral("0511"), true), {});
        QTRY_COMPARE(notifier.openNotices(), 1);
        server->invokeAction(earlier, QStringLiteral("block"));
        server->invokeAction(server->received[0].Id, QStringLiteral("block"));
        QTRY_COMPARE(blocked, QStringList{QStringLiteral("0511")});
    }

    // Notices the service never reports closed do not pile up: beyond the cap the oldest go.
    void onlyTheNewestNoticesAreKept()
    {
        DesktopNotifier notifier(client());
        QStringList blocked;
        notifier.OnBlock = [&](const QString &key) { blocked << key; };
        const int cap = DesktopNotifier::kMaxOpenNotices;
        for (int i = 0; i <= cap; ++i)
            notifier.Notify(notice(QStringLiteral("Meier"), QString::number(i), true), {});
        QTRY_COMPARE(server->received.size(), cap + 1);
        QTRY_COMPARE(notifier.openNotices(), cap);
        server->invokeAction(server->received[0].Id, QStringLiteral("block"));
        server->invokeAction(server->received[1].Id, QStringLiteral("block"));
        QTRY_COMPARE(blocked, QStringList{QStringLiteral("1")});
    }

    void withoutServiceTheCallerIsToldOnce()
    {
        QVERIFY(DesktopNotifier::ServiceRunning(client()));
        server->stop();
        QVERIFY(!DesktopNotifier::ServiceRunning(client()));
        DesktopNotifier notifier(client());
        int failures = 0;
        notifier.Notify(notice(QStringLiteral("Meier"), QStringLiteral("0301234"), true),
                        [&] { ++failures; });
        QTRY_COMPARE(failures, 1);
        // No session bus at all.
        const QString none = QStringLiteral("none");
        DesktopNotifier unbound(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), none));
        QVERIFY(!DesktopNotifier::ServiceRunning(QDBusConnection(none)));
        int unboundFailures = 0;
        unbound.Notify(notice(QStringLiteral("Meier"), QStringLiteral("0301234"), true),
                       [&] { ++unboundFailures; });
        QTRY_COMPARE(unboundFailures, 1);
        QTest::qWait(50);
        QCOMPARE(failures, 1);
        QCOMPARE(unboundFailures, 1);
        QCOMPARE(notifier.openNotices(), 0);
        QVERIFY(server->received.isEmpty());
        QDBusConnection::disconnectFromBus(none);
    }
};

QTEST_MAIN(TestDesktopNotifier)
#include "TestDesktopNotifier.moc"
