#pragma once

#include "MqttClient.h"
#include "MqttOptions.h"
#include "RecentIds.h"
#include "calls/CallEvent.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// Tells the broker about this node's calls (docs/mqtt.md): each event on rufwart/<node>/call,
// the latest also retained on rufwart/<node>/last_call; "online"/"offline" on
// rufwart/<node>/status (retained; "offline" is also the last will); the ringing state and the
// missed-call count for Home Assistant, and its discovery configurations when asked for. It also
// listens on rufwart/<node>/cmd for what copies that only show calls ask of this node.
//
// Publish() only queues the event and returns: the network work runs on the client's own thread.
// Events wait in memory, in order, while the broker is away, at most kMaxQueued of them (the
// oldest are dropped and counted). One event is in flight at a time: the next goes out when the
// broker has acknowledged the one before, so they arrive in order across reconnects.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    static constexpr size_t kMaxQueued = 10000;

    explicit MqttPublisher(const MqttOptions &options, size_t maxQueued = kMaxQueued,
                           QObject *parent = nullptr);
    // Says "offline" (waiting at most two seconds for the broker) and ends the connection.
    ~MqttPublisher() override;

    // Connects in the background; false (with `error`) when the options cannot work at all.
    bool Start(QString *error = nullptr);
    void Publish(const CallEvent &event);

    QString Node() const { return m_options.Node; }
    // Events waiting for the broker, the one in flight included.
    size_t Queued() const;
    // Events dropped because the queue was full.
    uint64_t Dropped() const;

signals:
    // The status line's texts.
    void connected(const QString &text);
    void disconnected(const QString &text);
    // Another copy asks to block `number` (whether to do it is the receiver's decision).
    void commandReceived(const QString &from, const QString &number);

private:
    struct Pending
    {
        QByteArray Payload;
        CallEvent::Kind What;
    };
    void SendHeadLocked();
    QList<MqttClient::Message> StateMessagesLocked() const;
    void OnConnected();
    void OnDelivered(int id);
    void OnReceived(const QString &topic, const QByteArray &payload);

    MqttOptions m_options;
    size_t m_maxQueued;
    mutable std::mutex m_mutex; // guards what follows; never held by the client's callbacks when calling out
    std::deque<Pending> m_queue;
    int m_inFlight =
        -1; // the client's id of the head's call message, while the broker has not acknowledged it
    uint64_t m_dropped = 0;
    bool m_ringing = false;
    uint64_t m_missed = 0;
    RecentIds m_commandIds{256}; // network thread only
    // Last: it ends its thread before the members its handlers use go.
    std::unique_ptr<MqttClient> m_client;
};
