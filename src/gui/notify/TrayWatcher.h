#pragma once

#include <QDBusAbstractInterface>
#include <QObject>

class QDBusConnection;
class QDBusServiceWatcher;

// org.kde.StatusNotifierWatcher on the session bus: the signal by which a notification area (its
// host) announces itself there.
class StatusNotifierWatcherProxy : public QDBusAbstractInterface
{
    Q_OBJECT
public:
    StatusNotifierWatcherProxy(const QDBusConnection &bus, QObject *parent);

Q_SIGNALS:
    void StatusNotifierHostRegistered();
};

// Tells when a notification area may have appeared, without looking for one again and again:
// the StatusNotifierWatcher taking its name on the session bus or a host registering with it
// (the notification areas of current desktops), and on X11 a new owner of the system tray
// selection (the older XEmbed areas), as Qt's X11 platform reports it. `changed` may come when
// nothing usable appeared; the owner asks TTrayIcon::trayAvailable() then. Main thread only.
class TrayWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kService = "org.kde.StatusNotifierWatcher";
    static constexpr const char *kPath = "/StatusNotifierWatcher";

    explicit TrayWatcher(QObject *parent = nullptr);

    // True when a StatusNotifierWatcher runs on the session bus and a notification area (a
    // host) has registered with it. Asks the bus and waits for the answer, at most a second.
    static bool HostRegistered();

Q_SIGNALS:
    void changed();
};
