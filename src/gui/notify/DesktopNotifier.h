#pragma once

#include <QByteArray>
#include <QDBusAbstractInterface>
#include <QDBusConnection>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <utility>

class QDBusArgument;
class QImage;

// What the desktop notification of a call says, and what its actions act on.
struct CallNotice
{
    QString Caller;        // the caller as shown: the name, or the number
    QString Msn;           // the called MSN
    QString Service;       // the service's display name ("Analog", "Fax Gr.3" ...)
    QString Hint;          // "Anrufer ist gesperrt !" / "Anruf wird ignoriert !", else empty
    QString CallerKey;     // the directory key the actions act on
    bool CanBlock = false; // offer "Sperren" (not for a caller blocked already or a key that matches nothing)
    int TimeoutMs = -1;    // -1: the desktop's own display time; 0: stays until the user closes it
};

// The "image-data" hint of a notification: raw RGBA pixels, D-Bus signature (iiibiiay).
struct NotifyImage
{
    int Width = 0;
    int Height = 0;
    int RowStride = 0;
    bool HasAlpha = true;
    int BitsPerSample = 8;
    int Channels = 4;
    QByteArray Data;

    static NotifyImage fromImage(const QImage &image);
};
Q_DECLARE_METATYPE(NotifyImage)
QDBusArgument &operator<<(QDBusArgument &argument, const NotifyImage &image);
const QDBusArgument &operator>>(const QDBusArgument &argument, NotifyImage &image);

// The signals of the notification service (the proxy Qt D-Bus connects them through).
class NotificationsProxy : public QDBusAbstractInterface
{
    Q_OBJECT
public:
    NotificationsProxy(const QDBusConnection &bus, QObject *parent);

Q_SIGNALS:
    void ActionInvoked(uint id, const QString &actionKey);
    void NotificationClosed(uint id, uint reason);
};

// Shows calls through the desktop's notification service (org.freedesktop.Notifications on the
// session bus): the caller as the summary, MSN and service (and the blocked or ignored notice) as
// the body, the program's icon, and the actions "Sperren" and "Bearbeiten". Nothing waits for the
// service: sending and its answer run through the event loop, so a slow or missing service never
// holds up the main thread. Main thread only.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kService = "org.freedesktop.Notifications";
    static constexpr const char *kPath = "/org/freedesktop/Notifications";
    static constexpr const char *kInterface = "org.freedesktop.Notifications";
    static constexpr const char *kActionBlock = "block";
    static constexpr const char *kActionEdit = "edit";
    // The name under which the program's icon is installed, and its desktop entry.
    static constexpr const char *kAppId = "de.elbwerk.rufwart";
    // How long the service may take to take a notice before the own window shows the call.
    static constexpr int kAnswerTimeoutMs = 3000;
    // How many open notices the notifier remembers; beyond it the oldest are forgotten.
    static constexpr int kMaxOpenNotices = 100;

    explicit DesktopNotifier(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                             QObject *parent = nullptr);

    // Sends the notice. When no service takes it (no session bus, no notification service, an
    // error, or no answer within kAnswerTimeoutMs), `failed` runs instead, once, later on this
    // thread.
    void Notify(const CallNotice &notice, std::function<void()> failed);

    // The user chose an action of one of our notices; the argument is its CallerKey.
    std::function<void(const QString &key)> OnBlock;
    std::function<void(const QString &key)> OnEdit;

    // True when a notification service runs on `bus`, or the bus would start one for the first
    // notice. Asks the bus and waits for its answer, at most a second each.
    static bool ServiceRunning(const QDBusConnection &bus = QDBusConnection::sessionBus());

    // Notices the service took and has not reported closed.
    int openNotices() const { return int(m_keys.size()); }

    // The texts of a notice as they are sent.
    static QString summaryOf(const CallNotice &notice);
    static QString bodyOf(const CallNotice &notice);

private:
    void actionInvoked(uint id, const QString &actionKey);
    void notificationClosed(uint id, uint reason);
    void remember(uint id, const QString &key);
    void forget(uint id);

    QDBusConnection m_bus;
    NotificationsProxy *m_proxy;
    // The service's id and the caller key of each open notice, oldest first: the service reports
    // the actions of every program's notices to everyone listening. The ids are the running
    // service's: when another process takes the service name, they are forgotten.
    std::deque<std::pair<uint, QString>> m_keys;
};
