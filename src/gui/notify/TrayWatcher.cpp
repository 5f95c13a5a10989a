#include "notify/TrayWatcher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QMetaMethod>

StatusNotifierWatcherProxy::StatusNotifierWatcherProxy(const QDBusConnection &bus, QObject *parent)
    : QDBusAbstractInterface(QString::fromLatin1(TrayWatcher::kService),
                             QString::fromLatin1(TrayWatcher::kPath), TrayWatcher::kService, bus, parent)
{}

TrayWatcher::TrayWatcher(QObject *parent) : QObject(parent)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        auto *names = new QDBusServiceWatcher(QString::fromLatin1(kService), bus,
                                              QDBusServiceWatcher::WatchForRegistration, this);
        connect(names, &QDBusServiceWatcher::serviceRegistered, this, &TrayWatcher::changed);
        auto *hosts = new StatusNotifierWatcherProxy(bus, this);
        connect(hosts, &StatusNotifierWatcherProxy::StatusNotifierHostRegistered, this,
                &TrayWatcher::changed);
    }
    // Qt's X11 platform follows the system tray selection (the manager's announcement on the root
    // window, the end of the tray window) and reports it through its native interface object,
    // whose class is private: its signal is found by name. That object is a QObject first.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (auto *native = reinterpret_cast<QObject *>(QGuiApplication::platformNativeInterface())) {
            const int trayChanged = native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)");
            if (trayChanged >= 0)
                connect(native, native->metaObject()->method(trayChanged), this,
                        QMetaMethod::fromSignal(&TrayWatcher::changed));
        }
    }
}

bool TrayWatcher::HostRegistered()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QString::fromLatin1(kPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(kService) << QStringLiteral("IsStatusNotifierHostRegistered");
    get.setAutoStartService(false); // a watcher that is not running is not started for the question
    // Without a watcher the bus answers at once that no one has the name.
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}
