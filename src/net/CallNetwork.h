#pragma once

#include <QObject>
#include <QString>

#include <memory>

class CallPipeline;
class MqttPublisher;
class MqttSubscriber;
struct CallEvent;

// A copy's place on the network, from the stored options (tab "Netz"). With a broker, a copy
// that owns a line tells every call of its monitor (MqttPublisher) and takes the blocks other
// copies ask for when "Befehle anderer Rechner annehmen" is on; a copy with "Nur Anzeige" shows
// the calls of the others through its pipeline (CallPipeline::ShowRemoteCall) and asks their
// owners to block. Without a broker it does nothing.
class CallNetwork : public QObject
{
    Q_OBJECT
public:
    CallNetwork(CallPipeline &pipeline, bool displayOnly, QObject *parent = nullptr);
    ~CallNetwork() override;

    // Connects as the settings say now; a running connection is replaced. Nothing happens on the
    // line meanwhile: the connection works on its own thread.
    void Start();
    // Ends the connection ("offline" is said).
    void Stop();
    bool Running() const { return m_publisher || m_subscriber; }

    // A copy that shows calls only: asks `node`, which owns the call, to block `number`. False
    // when there is no connection to ask through.
    bool AskToBlock(const QString &node, const QString &number);

    // What a node does with a block another copy asked for: applied when `accept`, else refused.
    // The texts for the status line (applied) or the log (refused).
    static QString AppliedText(const QString &from, const QString &number);
    static QString RefusedText(const QString &from, const QString &number, const QString &why);

signals:
    // A line for the status line: the broker reached or lost, a block applied.
    void status(const QString &text);
    // A line for the log: a refused command, a broker that cannot be used.
    void logLine(const QString &text);

private:
    void ApplyBlock(const QString &from, const QString &number);

    CallPipeline &m_pipeline;
    const bool m_displayOnly;
    std::unique_ptr<MqttPublisher> m_publisher;
    std::unique_ptr<MqttSubscriber> m_subscriber;
};
