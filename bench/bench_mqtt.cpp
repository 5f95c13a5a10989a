// Call events over MQTT against a Mosquitto of the benchmark's own (tests/support/MosquittoBroker.h):
//   mqtt_fanout_p99_ms  from Publish() to 50 subscribing copies (target < 50)
//   mqtt_events_lost    of 1,000 events published while the broker restarts (target 0)
// The publisher runs alone here; the figures from a ring through the monitor are in
// PrintRingFigures().

#include "BenchSupport.h"

#include "MqttPublisher.h"
#include "MqttSubscriber.h"
#include "support/MosquittoBroker.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QUuid>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

MqttOptions OptionsFor(int port, const QString &node)
{
    MqttOptions o;
    o.Host = QStringLiteral("127.0.0.1");
    o.Port = port;
    o.Node = node;
    return o;
}

CallEvent Event(int n)
{
    CallEvent e;
    e.What = n % 2 ? CallEvent::Kind::Missed : CallEvent::Kind::Ringing;
    e.CallId = QStringLiteral("call-%1").arg(n / 2);
    e.MessageId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    e.Time = QDateTime::currentDateTime();
    e.Number = QStringLiteral("0301234%1").arg(n);
    e.Name = e.Number;
    e.Msn = QStringLiteral("4711");
    e.Service = QStringLiteral("Telefonie");
    e.Cip = 16;
    return e;
}

// Connects every subscriber; false when one did not come up.
bool ConnectAll(const std::vector<std::unique_ptr<MqttSubscriber>> &subscribers)
{
    int up = 0;
    QObject counting; // the count ends with this function, and so do the connections
    for (const auto &s : subscribers) {
        QObject::connect(s.get(), &MqttSubscriber::connected, &counting, [&up] { ++up; });
        if (!s->Start())
            return false;
    }
    return WaitUntil([&] { return up == int(subscribers.size()); }, 60000);
}

void Fanout()
{
    constexpr int kSubscribers = 50;
    constexpr int kEvents = 200;
    MosquittoBroker broker;
    if (!broker.Start())
        fail("mosquitto did not start");
    std::vector<std::unique_ptr<MqttSubscriber>> subscribers;
    std::vector<double> samples;
    QElapsedTimer sentAt;
    QString awaited;
    int arrived = 0;
    for (int i = 0; i < kSubscribers; ++i) {
        subscribers.push_back(
            std::make_unique<MqttSubscriber>(OptionsFor(broker.Port(), QStringLiteral("copy%1").arg(i))));
        QObject::connect(subscribers.back().get(), &MqttSubscriber::callEventReceived,
                         [&](const QString &, const CallEvent &e) {
                             if (e.MessageId != awaited)
                                 return;
                             samples.push_back(double(sentAt.nsecsElapsed()) / 1e6);
                             ++arrived;
                         });
    }
    if (!ConnectAll(subscribers))
        fail("the subscribers did not connect");
    MqttPublisher office(OptionsFor(broker.Port(), QStringLiteral("office")));
    bool up = false;
    QObject::connect(&office, &MqttPublisher::connected, [&up] { up = true; });
    if (!office.Start() || !WaitUntil([&] { return up; }, 60000))
        fail("the publisher did not connect");
    for (int n = 0; n < kEvents; ++n) {
        const CallEvent e = Event(n);
        awaited = e.MessageId;
        arrived = 0;
        sentAt.start();
        office.Publish(e);
        if (!WaitUntil([&] { return arrived == kSubscribers; }, 60000))
            fail("an event did not reach every subscriber");
    }
    std::printf("mqtt_fanout_p99_ms: %.2f\n", percentile(samples, 0.99));
}

void LostAcrossRestart()
{
    constexpr int kEvents = 1000;
    MosquittoBroker broker;
    if (!broker.Start())
        fail("mosquitto did not start");
    std::vector<std::unique_ptr<MqttSubscriber>> viewer;
    viewer.push_back(std::make_unique<MqttSubscriber>(OptionsFor(broker.Port(), QStringLiteral("viewer"))));
    QSet<QString> received;
    QObject::connect(viewer[0].get(), &MqttSubscriber::callEventReceived,
                     [&](const QString &, const CallEvent &e) { received.insert(e.MessageId); });
    if (!ConnectAll(viewer))
        fail("the subscriber did not connect");
    MqttPublisher office(OptionsFor(broker.Port(), QStringLiteral("office")));
    if (!office.Start())
        fail("the publisher did not start");
    QSet<QString> sent;
    for (int n = 0; n < kEvents; ++n) {
        const CallEvent e = Event(n);
        sent.insert(e.MessageId);
        office.Publish(e);
        if (n == kEvents / 2) {
            // The broker goes while half the events are still on their way.
            broker.Stop();
            if (!broker.Start())
                fail("mosquitto did not start again");
        }
    }
    WaitUntil([&] { return received.size() >= kEvents; }, 120000);
    std::printf("mqtt_events_lost: %lld\n", qlonglong((sent - received).size()));
}

// The figures from a ring through the monitor with publishing on: mqtt_event_p50_ms,
// mqtt_event_p99_ms (from the ring to the event at a subscriber) and
// ring_answer_p99_ms_mqtt_on / _off (the network's answer with publishing on and off, in one
// run). They need the monitor to publish its calls; until it does, nothing is printed here.
void PrintRingFigures() {}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir root;
    UseFoldersIn(root);
    QCoreApplication app(argc, argv);
    Fanout();
    LostAcrossRestart();
    PrintRingFigures();
    return 0;
}
