#include "MqttSubscriber.h"

#include "CallMessage.h"
#include "MqttTopics.h"

#include <QDebug>
#include <QUuid>

MqttSubscriber::MqttSubscriber(const MqttOptions &options, QObject *parent)
    : QObject(parent), m_options(options)
{
    m_options.Node = MqttOptions::TopicNode(m_options.Node);
    MqttClient::Handlers handlers;
    handlers.Connected = [this] {
        m_client->Subscribe(MqttTopics::AllCalls());
        std::deque<MqttClient::Message> waiting;
        {
            std::lock_guard lock(m_mutex);
            waiting.swap(m_waitingCommands);
        }
        for (const MqttClient::Message &m : waiting)
            m_client->Publish(m);
        const QString text = tr("MQTT: verbunden mit %1").arg(m_options.Address());
        QMetaObject::invokeMethod(
            this, [this, text] { emit connected(text); }, Qt::QueuedConnection);
    };
    handlers.Disconnected = [this](const QString &why) {
        const QString text = tr("MQTT: keine Verbindung zu %1 (%2)").arg(m_options.Address(), why);
        QMetaObject::invokeMethod(
            this, [this, text] { emit disconnected(text); }, Qt::QueuedConnection);
    };
    handlers.Received = [this](const QString &topic, const QByteArray &payload) {
        OnReceived(topic, payload);
    };
    m_client = std::make_unique<MqttClient>(m_options, QStringLiteral("rufwart-%1-view").arg(m_options.Node),
                                            std::nullopt, std::move(handlers));
}

MqttSubscriber::~MqttSubscriber()
{
    m_client->Stop();
}

bool MqttSubscriber::Start(QString *error)
{
    return m_client->Start(error);
}

void MqttSubscriber::SendCommand(const QString &node, const QString &number)
{
    const CallMessage::Command command{QUuid::createUuid().toString(QUuid::WithoutBraces), number,
                                       m_options.Node};
    const MqttClient::Message message{MqttTopics::Command(MqttOptions::TopicNode(node)),
                                      CallMessage::EncodeBlock(command), false};
    if (m_client->Publish(message) != MqttClient::kNotConnected)
        return;
    // Sent once connected; the user asks for a handful at most.
    std::lock_guard lock(m_mutex);
    if (m_waitingCommands.size() < 100)
        m_waitingCommands.push_back(message);
}

void MqttSubscriber::OnReceived(const QString &topic, const QByteArray &payload)
{
    // Network thread.
    const QString node = MqttTopics::NodeOfCall(topic);
    if (node.isEmpty() || node == m_options.Node)
        return;
    const CallMessage::Parsed parsed = CallMessage::Parse(payload);
    if (!parsed.Ok || parsed.Node != node) {
        qWarning("MQTT: a message on %s was refused: %s", qPrintable(topic),
                 qPrintable(parsed.Ok ? QStringLiteral("node %1 on the topic of %2").arg(parsed.Node, node)
                                      : parsed.Error));
        return;
    }
    if (!m_seen.Add(parsed.Event.MessageId))
        return;
    QMetaObject::invokeMethod(
        this, [this, node, event = parsed.Event] { emit callEventReceived(node, event); },
        Qt::QueuedConnection);
}
