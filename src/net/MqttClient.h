#pragma once

#include "MqttOptions.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

struct mosquitto;

// One connection to the broker, kept up by a network thread of its own ("rufwart-mqtt"): it
// connects (name look-up, TCP, TLS: all on that thread), runs libmosquitto's loop, and after
// any failure connects again after a pause that doubles from 1 s up to 30 s. The session is
// persistent (not clean) under a client id that stays the same for a node, so the broker keeps
// what it owes the client while it is away, and libmosquitto sends its unacknowledged messages
// again on the next connection.
//
// Publish() may be called from any thread and never waits for the network: libmosquitto only
// queues the message and wakes the network thread. The handlers run on the network thread.
class MqttClient
{
public:
    struct Message
    {
        QString Topic;
        QByteArray Payload;
        bool Retain = false;
    };
    struct Handlers
    {
        std::function<void()> Connected;
        // A connection failed or ended; `why` says why (never holds the password).
        std::function<void(const QString &why)> Disconnected;
        // The broker acknowledged the message Publish() returned this id for.
        std::function<void(int id)> Delivered;
        std::function<void(const QString &topic, const QByteArray &payload)> Received;
    };

    // `will`: what the broker publishes (QoS 1) when the connection is lost without a goodbye.
    MqttClient(const MqttOptions &options, const QString &clientId, std::optional<Message> will,
               Handlers handlers);
    ~MqttClient();
    MqttClient(const MqttClient &) = delete;
    MqttClient &operator=(const MqttClient &) = delete;

    // Starts the network thread. False (with the reason) when the options cannot work at all.
    bool Start(QString *error = nullptr);
    static constexpr int kRefused = -1;
    static constexpr int kNotConnected = -2;
    // QoS 1. The message id; kRefused when libmosquitto refused the message; kNotConnected
    // while there is no connection (the message is not taken: libmosquitto is handed messages
    // only while connected, never while it connects). What it has taken and the broker has not
    // acknowledged it sends again after a reconnect.
    int Publish(const Message &message);
    // QoS 1; call it from the Connected handler.
    void Subscribe(const QString &filter);
    bool IsConnected() const { return m_connected; }

    // A clean end: publishes `last` if connected and waits up to `waitMs` for the broker to take
    // it, says goodbye (so no will is published) and ends the network thread.
    void Stop(const std::optional<Message> &last = std::nullopt, int waitMs = 2000);

private:
    void Run();
    static void OnConnect(mosquitto *, void *self, int rc);
    static void OnDisconnect(mosquitto *, void *self, int rc);
    static void OnPublish(mosquitto *, void *self, int mid);
    static void OnMessage(mosquitto *, void *self, const struct mosquitto_message *message);
    static void OnLog(mosquitto *, void *self, int level, const char *text);
    void ReportFailure(const QString &why);

    MqttOptions m_options;
    QString m_clientId;
    std::optional<Message> m_will;
    Handlers m_handlers;
    mosquitto *m_mosq = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_started{false}; // the network thread runs: m_mosq may be used
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_connected{false};
    std::atomic<int64_t> m_stopDeadline{0}; // ms since the epoch of the steady clock
    // Never held while calling into libmosquitto: its callbacks take it.
    std::mutex m_mutex; // guards what follows
    std::condition_variable m_wake;
    std::deque<int> m_delivered; // the ids acknowledged last, for Stop()
    QString m_lastError;         // the newest error libmosquitto logged, for the next failure report
    bool m_reportedDown = false; // network thread only
};
