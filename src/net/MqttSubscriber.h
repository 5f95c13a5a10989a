#pragma once

#include "MqttClient.h"
#include "MqttOptions.h"
#include "RecentIds.h"
#include "calls/CallEvent.h"

#include <QObject>

#include <deque>
#include <memory>
#include <mutex>

// What a copy that only shows calls hears of the other nodes: the call events on rufwart/+/call
// (a persistent session, so events sent while this copy was away arrive when it is back), each
// once (by its message id) and none of its own node. It also sends their owners commands.
class MqttSubscriber : public QObject
{
    Q_OBJECT

public:
    explicit MqttSubscriber(const MqttOptions &options, QObject *parent = nullptr);
    ~MqttSubscriber() override;

    bool Start(QString *error = nullptr);
    QString Node() const { return m_options.Node; }

    // Asks `node` to block `number` (rufwart/<node>/cmd, QoS 1); returns at once.
    void SendCommand(const QString &node, const QString &number);

signals:
    void callEventReceived(const QString &node, const CallEvent &event);
    void connected(const QString &text);
    void disconnected(const QString &text);

private:
    void OnReceived(const QString &topic, const QByteArray &payload);

    MqttOptions m_options;
    RecentIds m_seen; // network thread only
    std::mutex m_mutex;
    std::deque<MqttClient::Message> m_waitingCommands; // sent while not connected
    // Last: it ends its thread before the members its handlers use go.
    std::unique_ptr<MqttClient> m_client;
};
