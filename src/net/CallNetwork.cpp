#include "CallNetwork.h"

#include "MqttOptions.h"
#include "MqttPublisher.h"
#include "MqttSubscriber.h"
#include "calls/CallerDirectory.h"
#include "common/Errors.h"
#include "monitor/CallPipeline.h"
#include "settings/SettingsStore.h"

CallNetwork::CallNetwork(CallPipeline &pipeline, bool displayOnly, QObject *parent)
    : QObject(parent), m_pipeline(pipeline), m_displayOnly(displayOnly)
{}

CallNetwork::~CallNetwork()
{
    Stop();
}

void CallNetwork::Stop()
{
    m_publisher.reset();
    m_subscriber.reset();
}

void CallNetwork::Start()
{
    Stop();
    const MqttOptions options = MqttOptions::FromSettings();
    if (!options.Enabled())
        return;
    QString error;
    if (m_displayOnly) {
        m_subscriber = std::make_unique<MqttSubscriber>(options);
        connect(m_subscriber.get(), &MqttSubscriber::callEventReceived, &m_pipeline,
                &CallPipeline::ShowRemoteCall);
        connect(m_subscriber.get(), &MqttSubscriber::connected, this, &CallNetwork::status);
        connect(m_subscriber.get(), &MqttSubscriber::disconnected, this, &CallNetwork::status);
        if (!m_subscriber->Start(&error)) {
            m_subscriber.reset();
            emit logLine(error);
        }
        return;
    }
    m_publisher = std::make_unique<MqttPublisher>(options);
    // The monitor's events go out once the network has its answer; Publish() only queues. The
    // pipeline tells events only while this connection stands.
    connect(&m_pipeline, &CallPipeline::callEvent, m_publisher.get(), &MqttPublisher::Publish);
    connect(m_publisher.get(), &MqttPublisher::connected, this, &CallNetwork::status);
    connect(m_publisher.get(), &MqttPublisher::disconnected, this, &CallNetwork::status);
    connect(m_publisher.get(), &MqttPublisher::commandReceived, this, &CallNetwork::ApplyBlock);
    if (!m_publisher->Start(&error)) {
        m_publisher.reset();
        emit logLine(error);
    }
}

bool CallNetwork::AskToBlock(const QString &node, const QString &number)
{
    if (!m_subscriber)
        return false;
    m_subscriber->SendCommand(node, number);
    return true;
}

QString CallNetwork::AppliedText(const QString &from, const QString &number)
{
    return tr("Anrufer %1 auf Wunsch von %2 gesperrt").arg(number, from);
}

QString CallNetwork::RefusedText(const QString &from, const QString &number, const QString &why)
{
    return tr("Befehl von %1 abgelehnt (Anrufer %2 sperren): %3").arg(from, number, why);
}

void CallNetwork::ApplyBlock(const QString &from, const QString &number)
{
    // What arrives from the network is checked like what a user types: a key the directory takes.
    if (!Settings::Read(Settings::AcceptCommands)) {
        emit logLine(RefusedText(from, number, tr("„Befehle anderer Rechner annehmen“ ist aus")));
        return;
    }
    CallerDirectory *callers = m_pipeline.Callers();
    if (!callers) {
        emit logLine(RefusedText(from, number, tr("das Anruferverzeichnis ist nicht geöffnet")));
        return;
    }
    try {
        if (number.size() < 2)
            throw InvalidInput(tr("keine Rufnummer"));
        callers->WriteOwnCaller(number, callers->CallerOf(number).Name, true);
    } catch (const InvalidInput &e) {
        emit logLine(RefusedText(from, number, e.message()));
        return;
    } catch (const IoError &e) {
        emit logLine(RefusedText(from, number, e.message()));
        return;
    }
    emit status(AppliedText(from, number));
}
