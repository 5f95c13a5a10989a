#pragma once

// A private session bus and a small notification service on it, for the tests of the desktop
// notifications: nothing reaches the desktop of whoever runs the tests.

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

// A dbus-daemon of its own, with its own configuration in a temporary folder, for as long as it
// lives.
class PrivateSessionBus
{
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    QString error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};

// org.freedesktop.Notifications as the desktop offers it: records every notice that arrives and
// lets the test invoke an action or close a notice, as the user would.
class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice
    {
        uint Id = 0;
        QString AppName;
        uint ReplacesId = 0;
        QString AppIcon;
        QString Summary;
        QString Body;
        QStringList Actions;
        QVariantMap Hints;
        int Timeout = 0;
    };

    // Connects to the bus at `address`; takes the service name with start().
    explicit NotificationServer(const QString &address);
    ~NotificationServer() override;

    // Takes / gives up the service name. False when the name could not be taken.
    bool start();
    void stop();

    QList<Notice> received;

    // What the user does with a notice: the service sends the signals every client sees.
    void invokeAction(uint id, const QString &actionKey);
    void closeNotice(uint id, uint reason = 2);

public Q_SLOTS:
    uint Notify(const QString &app_name, uint replaces_id, const QString &app_icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints,
                int expire_timeout);
    void CloseNotification(uint id);
    QStringList GetCapabilities();
    QString GetServerInformation(QString &vendor, QString &version, QString &spec_version);

private:
    void sendSignal(const QString &name, const QVariantList &arguments);

    QString m_connectionName;
    QDBusConnection m_bus;
    uint m_nextId = 1;
};
