#include "notify/DesktopNotifier.h"

#include "widgets/Icons.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QImage>
#include <QPixmap>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>

namespace {
constexpr int kIconSize = 48;

// The program's picture as pixels, drawn once.
const NotifyImage &programImage()
{
    static const NotifyImage image = NotifyImage::fromImage(Icons::programPicture(kIconSize).toImage());
    return image;
}
} // namespace

NotifyImage NotifyImage::fromImage(const QImage &image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    NotifyImage out;
    out.Width = rgba.width();
    out.Height = rgba.height();
    out.RowStride = int(rgba.bytesPerLine());
    out.HasAlpha = true;
    out.BitsPerSample = 8;
    out.Channels = 4;
    out.Data = QByteArray(reinterpret_cast<const char *>(rgba.constBits()), rgba.sizeInBytes());
    return out;
}

QDBusArgument &operator<<(QDBusArgument &argument, const NotifyImage &image)
{
    argument.beginStructure();
    argument << image.Width << image.Height << image.RowStride << image.HasAlpha << image.BitsPerSample
             << image.Channels << image.Data;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, NotifyImage &image)
{
    argument.beginStructure();
    argument >> image.Width >> image.Height >> image.RowStride >> image.HasAlpha >> image.BitsPerSample >>
        image.Channels >> image.Data;
    argument.endStructure();
    return argument;
}

NotificationsProxy::NotificationsProxy(const QDBusConnection &bus, QObject *parent)
    : QDBusAbstractInterface(QString::fromLatin1(DesktopNotifier::kService),
                             QString::fromLatin1(DesktopNotifier::kPath), DesktopNotifier::kInterface, bus,
                             parent)
{}

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus), m_proxy(new NotificationsProxy(bus, this))
{
    qDBusRegisterMetaType<NotifyImage>();
    connect(m_proxy, &NotificationsProxy::ActionInvoked, this, &DesktopNotifier::actionInvoked);
    connect(m_proxy, &NotificationsProxy::NotificationClosed, this, &DesktopNotifier::notificationClosed);
    // A service that restarts (or another that takes over) numbers its notices afresh: an id we
    // kept could name a notice of someone else.
    auto *watcher = new QDBusServiceWatcher(QString::fromLatin1(kService), m_bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] { m_keys.clear(); });
}

QString DesktopNotifier::summaryOf(const CallNotice &notice)
{
    return notice.Caller;
}

QString DesktopNotifier::bodyOf(const CallNotice &notice)
{
    // The body may be read as markup: the caller's name (any text) stays in the summary, which
    // is plain text; what goes here is digits and the program's own words.
    QString body = QStringLiteral("MSN : ") + notice.Msn + QStringLiteral("  ·  ") + notice.Service;
    if (!notice.Hint.isEmpty())
        body += QLatin1Char('\n') + notice.Hint;
    return body;
}

void DesktopNotifier::Notify(const CallNotice &notice, std::function<void()> failed)
{
    QStringList actions;
    if (notice.CanBlock)
        actions << QString::fromLatin1(kActionBlock) << tr("Sperren");
    actions << QString::fromLatin1(kActionEdit) << tr("Bearbeiten");
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kAppId));
    // The picture itself as well: the icon name is known to the desktop only once the program
    // is installed.
    hints.insert(QStringLiteral("image-data"), QVariant::fromValue(programImage()));

    QDBusMessage message =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    message << QStringLiteral("Rufwart 32") << uint(0) << QString::fromLatin1(kAppId) << summaryOf(notice)
            << bodyOf(notice) << actions << hints << qint32(notice.TimeoutMs);
    if (!m_bus.isConnected()) {
        // No session bus: there is no call to wait for.
        if (failed)
            QTimer::singleShot(0, this, std::move(failed));
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kAnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key = notice.CallerKey, failed = std::move(failed)](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isError()) {
                    if (failed)
                        failed();
                    return;
                }
                remember(reply.value(), key);
            });
}

void DesktopNotifier::actionInvoked(uint id, const QString &actionKey)
{
    const auto found =
        std::find_if(m_keys.cbegin(), m_keys.cend(), [id](const auto &open) { return open.first == id; });
    if (found == m_keys.cend())
        return; // another program's notice
    const QString key = found->second;
    if (actionKey == QLatin1String(kActionBlock) && OnBlock)
        OnBlock(key);
    else if (actionKey == QLatin1String(kActionEdit) && OnEdit)
        OnEdit(key);
}

void DesktopNotifier::notificationClosed(uint id, uint)
{
    forget(id);
}

void DesktopNotifier::remember(uint id, const QString &key)
{
    forget(id);
    m_keys.emplace_back(id, key);
    // A service may never report a notice closed; the oldest then make room.
    while (m_keys.size() > std::size_t(kMaxOpenNotices))
        m_keys.pop_front();
}

void DesktopNotifier::forget(uint id)
{
    std::erase_if(m_keys, [id](const auto &open) { return open.first == id; });
}

bool DesktopNotifier::ServiceRunning(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return false;
    const auto ask = [&bus](const char *method, const QVariantList &arguments) {
        QDBusMessage question = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QString::fromLatin1(method));
        question.setArguments(arguments);
        const QDBusMessage reply = bus.call(question, QDBus::Block, 1000);
        return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0) : QVariant();
    };
    const QString service = QString::fromLatin1(kService);
    return ask("NameHasOwner", {service}).toBool() ||
           ask("ListActivatableNames", {}).toStringList().contains(service);
}
