#include "MqttPublisher.h"

#include "CallMessage.h"
#include "HomeAssistant.h"
#include "MqttTopics.h"

#include <QDebug>

namespace {

const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

} // namespace

MqttPublisher::MqttPublisher(const MqttOptions &options, size_t maxQueued, QObject *parent)
    : QObject(parent), m_options(options), m_maxQueued(std::max<size_t>(maxQueued, 2))
{
    m_options.Node = MqttOptions::TopicNode(m_options.Node);
    MqttClient::Handlers handlers;
    handlers.Connected = [this] { OnConnected(); };
    handlers.Disconnected = [this](const QString &why) {
        const QString text = tr("MQTT: keine Verbindung zu %1 (%2)").arg(m_options.Address(), why);
        QMetaObject::invokeMethod(
            this, [this, text] { emit disconnected(text); }, Qt::QueuedConnection);
    };
    handlers.Delivered = [this](int id) { OnDelivered(id); };
    handlers.Received = [this](const QString &topic, const QByteArray &payload) {
        OnReceived(topic, payload);
    };
    m_client = std::make_unique<MqttClient>(
        m_options, QStringLiteral("rufwart-%1-pub").arg(m_options.Node),
        MqttClient::Message{MqttTopics::Status(m_options.Node), kOffline, true}, std::move(handlers));
}

MqttPublisher::~MqttPublisher()
{
    m_client->Stop(MqttClient::Message{MqttTopics::Status(m_options.Node), kOffline, true});
}

bool MqttPublisher::Start(QString *error)
{
    if (!m_client->Start(error))
        return false;
    std::lock_guard lock(m_mutex);
    SendHeadLocked();
    return true;
}

size_t MqttPublisher::Queued() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

uint64_t MqttPublisher::Dropped() const
{
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

void MqttPublisher::Publish(const CallEvent &event)
{
    Pending pending{CallMessage::Encode(event, m_options.Node), event.What};
    bool firstDrop = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.size() >= m_maxQueued) {
            // The oldest that is not already with libmosquitto.
            m_queue.erase(m_inFlight >= 0 ? m_queue.begin() + 1 : m_queue.begin());
            firstDrop = m_dropped++ == 0;
        }
        m_queue.push_back(std::move(pending));
        if (m_inFlight < 0)
            SendHeadLocked();
    }
    if (firstDrop)
        qWarning("MQTT: the broker %s has been away for %zu call events; the oldest are dropped from now on",
                 qPrintable(m_options.Address()), m_maxQueued);
}

void MqttPublisher::SendHeadLocked()
{
    // libmosquitto keeps what it has taken across reconnects; so one event is handed over at a
    // time, the next when the broker has acknowledged this one, and the rest wait here, bounded.
    while (!m_queue.empty() && m_inFlight < 0) {
        const Pending &head = m_queue.front();
        const int id = m_client->Publish({MqttTopics::Call(m_options.Node), head.Payload, false});
        if (id == MqttClient::kNotConnected)
            return; // it waits, bounded, for OnConnected()
        if (id < 0) {
            qWarning("MQTT: a call event of %lld bytes was refused by the MQTT library; it is left out",
                     qlonglong(head.Payload.size()));
            m_queue.pop_front();
            continue;
        }
        m_inFlight = id;
        m_ringing = head.What == CallEvent::Kind::Ringing || head.What == CallEvent::Kind::Alerted
                        ? true
                        : (head.What == CallEvent::Kind::Named ? m_ringing : false);
        if (head.What == CallEvent::Kind::Missed)
            ++m_missed;
        m_client->Publish({MqttTopics::LastCall(m_options.Node), head.Payload, true});
        for (const MqttClient::Message &m : StateMessagesLocked())
            m_client->Publish(m);
    }
}

QList<MqttClient::Message> MqttPublisher::StateMessagesLocked() const
{
    return {{MqttTopics::Ringing(m_options.Node),
             m_ringing ? QByteArrayLiteral("ON") : QByteArrayLiteral("OFF"), true},
            {MqttTopics::Missed(m_options.Node), QByteArray::number(qulonglong(m_missed)), true}};
}

void MqttPublisher::OnConnected()
{
    // Network thread.
    m_client->Subscribe(MqttTopics::Command(m_options.Node));
    m_client->Publish({MqttTopics::Status(m_options.Node), kOnline, true});
    if (m_options.Discovery) {
        for (const MqttClient::Message &m : HomeAssistant::DiscoveryMessages(m_options.Node))
            m_client->Publish(m);
    }
    {
        std::lock_guard lock(m_mutex);
        for (const MqttClient::Message &m : StateMessagesLocked())
            m_client->Publish(m);
        SendHeadLocked();
    }
    const QString text = tr("MQTT: verbunden mit %1").arg(m_options.Address());
    QMetaObject::invokeMethod(
        this, [this, text] { emit connected(text); }, Qt::QueuedConnection);
}

void MqttPublisher::OnDelivered(int id)
{
    // Network thread.
    std::lock_guard lock(m_mutex);
    if (id != m_inFlight || m_queue.empty())
        return;
    m_queue.pop_front();
    m_inFlight = -1;
    SendHeadLocked();
}

void MqttPublisher::OnReceived(const QString &topic, const QByteArray &payload)
{
    // Network thread.
    if (topic != MqttTopics::Command(m_options.Node))
        return;
    const CallMessage::ParsedCommand command = CallMessage::ParseCommand(payload);
    if (!command.Ok) {
        qWarning("MQTT: a command on %s was refused: %s", qPrintable(topic), qPrintable(command.Error));
        return;
    }
    if (!m_commandIds.Add(command.Block.Id))
        return;
    QMetaObject::invokeMethod(
        this,
        [this, from = command.Block.From, number = command.Block.Number] {
            emit commandReceived(from, number);
        },
        Qt::QueuedConnection);
}
