#include "support/NotificationServer.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QStandardPaths>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// A session bus that lets its clients own any name and talk to anyone, listening on a socket
// in the test's own folder.
QByteArray busConfig(const QString &socketPath)
{
    return QStringLiteral(
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n"
               "  <type>session</type>\n"
               "  <listen>unix:path=%1</listen>\n"
               "  <auth>EXTERNAL</auth>\n"
               "  <policy context=\"default\">\n"
               "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n"
               "    <allow own=\"*\"/>\n"
               "  </policy>\n"
               "</busconfig>\n")
        .arg(socketPath)
        .toUtf8();
}
} // namespace

PrivateSessionBus::PrivateSessionBus()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon not found (Debian package dbus)");
        return;
    }
    const QString config = m_dir.filePath(QStringLiteral("session.conf"));
    QFile file(config);
    if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(busConfig(m_dir.filePath(QStringLiteral("bus")))) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(config);
        return;
    }
    file.close();
    m_daemon.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                            QStringLiteral("--print-address=1")});
    // The daemon prints its address once it listens.
    while (m_daemon.waitForReadyRead(20000)) {
        if (m_daemon.canReadLine()) {
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
            return;
        }
    }
    m_error = QStringLiteral("dbus-daemon did not start: %1")
                  .arg(QString::fromLocal8Bit(m_daemon.readAllStandardError()));
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000))
            m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

NotificationServer::NotificationServer(const QString &address)
    : m_connectionName(QStringLiteral("notification-server-%1").arg(quintptr(this))),
      m_bus(QDBusConnection::connectToBus(address, m_connectionName))
{}

NotificationServer::~NotificationServer()
{
    stop();
    QDBusConnection::disconnectFromBus(m_connectionName);
}

bool NotificationServer::start()
{
    return m_bus.isConnected() && m_bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots) &&
           m_bus.registerService(kService);
}

void NotificationServer::stop()
{
    if (!m_bus.isConnected())
        return;
    m_bus.unregisterService(kService);
    m_bus.unregisterObject(kPath);
}

uint NotificationServer::Notify(const QString &app_name, uint replaces_id, const QString &app_icon,
                                const QString &summary, const QString &body, const QStringList &actions,
                                const QVariantMap &hints, int expire_timeout)
{
    Notice notice{m_nextId++, app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout};
    received << notice;
    return notice.Id;
}

void NotificationServer::CloseNotification(uint id)
{
    closeNotice(id, 3);
}

QStringList NotificationServer::GetCapabilities()
{
    return {QStringLiteral("actions"), QStringLiteral("body")};
}

QString NotificationServer::GetServerInformation(QString &vendor, QString &version, QString &spec_version)
{
    vendor = QStringLiteral("Rufwart tests");
    version = QStringLiteral("1");
    spec_version = QStringLiteral("1.2");
    return QStringLiteral("test-notifications");
}

void NotificationServer::invokeAction(uint id, const QString &actionKey)
{
    sendSignal(QStringLiteral("ActionInvoked"), {id, actionKey});
}

void NotificationServer::closeNotice(uint id, uint reason)
{
    sendSignal(QStringLiteral("NotificationClosed"), {id, reason});
}

void NotificationServer::sendSignal(const QString &name, const QVariantList &arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, name);
    signal.setArguments(arguments);
    m_bus.send(signal);
}
