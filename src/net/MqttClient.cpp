#include "MqttClient.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <pthread.h>

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kFirstPauseMs = 1000;
constexpr int kLongestPauseMs = 30000;

void InitLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

MqttClient::MqttClient(const MqttOptions &options, const QString &clientId, std::optional<Message> will,
                       Handlers handlers)
    : m_options(options), m_clientId(clientId), m_will(std::move(will)), m_handlers(std::move(handlers))
{}

MqttClient::~MqttClient()
{
    Stop(std::nullopt, 0);
}

bool MqttClient::Start(QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_thread.joinable())
        return true;
    if (!m_options.Enabled())
        return fail(QCoreApplication::translate("MqttClient", "kein Broker eingestellt"));
    InitLibrary();
    m_mosq = mosquitto_new(m_clientId.toUtf8().constData(), false, this);
    if (!m_mosq)
        return fail(QCoreApplication::translate("MqttClient", "MQTT-Client konnte nicht angelegt werden"));
    // Publish() and Stop() call into libmosquitto from other threads than the loop's.
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_mosq, &MqttClient::OnConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttClient::OnDisconnect);
    mosquitto_publish_callback_set(m_mosq, &MqttClient::OnPublish);
    mosquitto_message_callback_set(m_mosq, &MqttClient::OnMessage);
    mosquitto_log_callback_set(m_mosq, &MqttClient::OnLog);
    if (!m_options.User.isEmpty()) {
        const QByteArray user = m_options.User.toUtf8();
        const QByteArray password = m_options.Password.toUtf8();
        if (mosquitto_username_pw_set(m_mosq, user.constData(),
                                      password.isEmpty() ? nullptr : password.constData()) !=
            MOSQ_ERR_SUCCESS)
            return fail(QCoreApplication::translate("MqttClient", "Benutzername oder Kennwort ungültig"));
    }
    if (m_options.Tls) {
        // The broker's certificate is verified against the CA file (or the system's
        // authorities) and must name the host; there is no way around it.
        const QString ca = m_options.CaFile.trimmed();
        if (!ca.isEmpty() && !QFileInfo(ca).isFile())
            return fail(QCoreApplication::translate("MqttClient", "CA-Datei %1 nicht gefunden").arg(ca));
        const int rc =
            ca.isEmpty()
                ? mosquitto_tls_set(m_mosq, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                : mosquitto_tls_set(m_mosq, ca.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QCoreApplication::translate("MqttClient", "TLS nicht einstellbar: %1")
                            .arg(QString::fromUtf8(mosquitto_strerror(rc))));
    }
    if (m_will) {
        const QByteArray topic = m_will->Topic.toUtf8();
        mosquitto_will_set(m_mosq, topic.constData(), int(m_will->Payload.size()),
                           m_will->Payload.constData(), 1, m_will->Retain);
    }
    m_stopping = false;
    m_started = true;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void MqttClient::Run()
{
    pthread_setname_np(pthread_self(), "rufwart-mqtt");
    const QByteArray host = m_options.Host.trimmed().toUtf8();
    int pauseMs = kFirstPauseMs;
    bool first = true;
    while (!m_stopping) {
        int rc = first ? mosquitto_connect_async(m_mosq, host.constData(), m_options.Port, kKeepAliveSeconds)
                       : mosquitto_reconnect_async(m_mosq);
        first = false;
        if (rc == MOSQ_ERR_SUCCESS) {
            // Until the connection fails or Stop()'s goodbye has closed it.
            while ((rc = mosquitto_loop(m_mosq, 1000, 1)) == MOSQ_ERR_SUCCESS) {
                if (m_stopping && (!m_connected || NowMs() > m_stopDeadline))
                    break;
            }
        }
        if (m_stopping)
            break;
        if (m_connected.exchange(false))
            pauseMs = kFirstPauseMs;
        QString why = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
                                           : QString::fromUtf8(mosquitto_strerror(rc));
        {
            std::lock_guard lock(m_mutex);
            if (!m_lastError.isEmpty())
                why = std::exchange(m_lastError, QString());
        }
        ReportFailure(why);
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(pauseMs), [this] { return bool(m_stopping); });
        pauseMs = std::min(pauseMs * 2, kLongestPauseMs);
    }
    m_connected = false;
}

void MqttClient::ReportFailure(const QString &why)
{
    // A broker that stays away is reported once, not at every attempt.
    if (std::exchange(m_reportedDown, true))
        return;
    if (m_handlers.Disconnected)
        m_handlers.Disconnected(why);
}

int MqttClient::Publish(const Message &message)
{
    if (!m_started || !m_connected)
        return kNotConnected;
    int id = -1;
    const QByteArray topic = message.Topic.toUtf8();
    const int rc = mosquitto_publish(m_mosq, &id, topic.constData(), int(message.Payload.size()),
                                     message.Payload.constData(), 1, message.Retain);
    // MOSQ_ERR_NO_CONN: queued, to be sent once connected.
    return (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN) && id > 0 ? id : kRefused;
}

void MqttClient::Subscribe(const QString &filter)
{
    if (m_mosq)
        mosquitto_subscribe(m_mosq, nullptr, filter.toUtf8().constData(), 1);
}

void MqttClient::Stop(const std::optional<Message> &last, int waitMs)
{
    if (!m_mosq)
        return;
    if (m_thread.joinable()) {
        if (last && m_connected) {
            const int id = Publish(*last);
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(waitMs), [this, id] {
                return id < 0 || std::find(m_delivered.begin(), m_delivered.end(), id) != m_delivered.end();
            });
        }
        // The goodbye wakes the loop, is sent, and closes the socket, which ends the loop; a
        // broker that does not take it within a second is left.
        m_stopDeadline = NowMs() + 1000;
        mosquitto_disconnect(m_mosq);
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    m_started = false;
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
}

void MqttClient::OnConnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    if (rc != 0) {
        // Refused by the broker (wrong user or password, not allowed): the loop ends with an
        // error and the next attempt follows after the pause.
        {
            std::lock_guard lock(client->m_mutex);
            client->m_lastError = QString::fromUtf8(mosquitto_connack_string(rc));
        }
        return;
    }
    client->m_connected = true;
    client->m_reportedDown = false;
    if (client->m_handlers.Connected)
        client->m_handlers.Connected();
}

void MqttClient::OnDisconnect(mosquitto *, void *self, int)
{
    static_cast<MqttClient *>(self)->m_connected = false;
}

void MqttClient::OnPublish(mosquitto *, void *self, int mid)
{
    auto *client = static_cast<MqttClient *>(self);
    {
        std::lock_guard lock(client->m_mutex);
        client->m_delivered.push_back(mid);
        if (client->m_delivered.size() > 64)
            client->m_delivered.pop_front();
    }
    client->m_wake.notify_all();
    if (client->m_handlers.Delivered)
        client->m_handlers.Delivered(mid);
}

void MqttClient::OnMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *client = static_cast<MqttClient *>(self);
    if (!client->m_handlers.Received || !message->topic)
        return;
    client->m_handlers.Received(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char *>(message->payload), std::max(0, message->payloadlen)));
}

void MqttClient::OnLog(mosquitto *, void *self, int level, const char *text)
{
    // libmosquitto says why a TLS handshake failed only here.
    if (!(level & MOSQ_LOG_ERR) || !text)
        return;
    auto *client = static_cast<MqttClient *>(self);
    std::lock_guard lock(client->m_mutex);
    client->m_lastError = QString::fromUtf8(text).left(200);
}
