// Call events over MQTT against a Mosquitto of the benchmark's own (tests/support/MosquittoBroker.h):
//   mqtt_fanout_p99_ms  from Publish() to 50 subscribing copies (target < 50)
//   mqtt_events_lost    of 1,000 events published while the broker restarts (target 0)
//   mqtt_event_p50_ms / _p99_ms  from placing a call to its "ringing" event at a subscriber,
//                                through the running program (target p99 < 20)
//   ring_answer_p99_ms_mqtt_on / _off  the network's answer with publishing on and off, one run

#include "BenchDirectory.h"
#include "BenchProgram.h"
#include "BenchSupport.h"
#include "calls/CallerDirectory.h"
#include "settings/SettingsStore.h"

#include "ControlClient.h"
#include "MqttClient.h"
#include "SimProcess.h"

#include "MqttPublisher.h"
#include "MqttSubscriber.h"
#include "support/MosquittoBroker.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QUuid>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

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
        subscribers.push_back(std::make_unique<MqttSubscriber>(
            LoopbackOptions(broker.Port(), QStringLiteral("copy%1").arg(i))));
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
    MqttPublisher office(LoopbackOptions(broker.Port(), QStringLiteral("office")));
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
    viewer.push_back(
        std::make_unique<MqttSubscriber>(LoopbackOptions(broker.Port(), QStringLiteral("viewer"))));
    QSet<QString> received;
    QObject::connect(viewer[0].get(), &MqttSubscriber::callEventReceived,
                     [&](const QString &, const CallEvent &e) { received.insert(e.MessageId); });
    if (!ConnectAll(viewer))
        fail("the subscriber did not connect");
    MqttPublisher office(LoopbackOptions(broker.Port(), QStringLiteral("office")));
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

// One call after the other through the running program (offscreen window, its own exchange,
// 10,000 directory entries), MQTT off and then on, in one run: the network's answer each time,
// and with publishing on the time from placing the call to its "ringing" event at a subscriber.
// The subscriber takes the time on its network thread, so the calls placed meanwhile on this
// thread do not delay it.
void RingFigures()
{
    constexpr int kCalls = 500;
    constexpr int kCallGapMs = 25;
    isdnsim::SimProcess sim;
    StartExchange(sim);
    WriteBenchSettings();
    const QList<CallerRecord> rows = BenchCallerRows(10000);
    CallerDirectory(CallerDirectory::defaultPath()).WriteCallerList(rows);

    MosquittoBroker broker;
    if (!broker.Start())
        fail("mosquitto did not start");
    std::mutex lock;
    std::condition_variable heard;
    QHash<QString, std::chrono::steady_clock::time_point> ringingAt; // by calling number
    MqttClient::Handlers handlers;
    std::unique_ptr<MqttClient> viewer;
    std::atomic<bool> up{false};
    handlers.Connected = [&] {
        viewer->Subscribe(QStringLiteral("rufwart/+/call"));
        up = true;
    };
    handlers.Received = [&](const QString &, const QByteArray &payload) {
        const auto now = std::chrono::steady_clock::now();
        const QJsonObject o = QJsonDocument::fromJson(payload).object();
        if (o.value(QStringLiteral("event")).toString() != QLatin1String("ringing"))
            return;
        std::lock_guard guard(lock);
        ringingAt.insert(o.value(QStringLiteral("number")).toString(), now);
        heard.notify_all();
    };
    viewer = std::make_unique<MqttClient>(LoopbackOptions(broker.Port(), QStringLiteral("viewer")),
                                          QStringLiteral("bench-viewer"), std::nullopt, handlers);
    if (!viewer->Start() || !WaitUntil([&] { return up.load(); }, 60000))
        fail("the subscriber did not connect");

    isdnsim::ControlClient control;
    std::string error;
    if (!control.connect("127.0.0.1", sim.port(), &error))
        fail(error.c_str());
    auto series = [&](bool mqtt, int first) {
        WriteSettingString("ISDN_MqttHost", mqtt ? QStringLiteral("127.0.0.1") : QString());
        WriteSettingString("ISDN_MqttPort", QString::number(broker.Port()));
        WriteSettingString("ISDN_MqttNode", QStringLiteral("bench"));
        QProcess program;
        StartProgram(program, sim.port());
        std::vector<double> answers, events;
        for (int i = first; i < first + kCalls; ++i) {
            // Known callers and new numbers in turn; "Null erzeugen" puts the "0" back.
            const QString number =
                i % 2 ? QString(rows[rows.size() - 1 - (i % 200)].Number).remove(QLatin1Char('*')) +
                            QLatin1Char('1')
                      : QStringLiteral("0777%1").arg(100000 + i);
            const auto placed = std::chrono::steady_clock::now();
            const double answered = PlaceCall(control, number.mid(1).toStdString());
            if (answered < 0)
                fail("a call was not answered");
            answers.push_back(answered);
            if (mqtt) {
                std::unique_lock guard(lock);
                if (!heard.wait_for(guard, std::chrono::seconds(30),
                                    [&] { return ringingAt.contains(number); }))
                    fail("a call's event did not arrive");
                events.push_back(
                    std::chrono::duration<double, std::milli>(ringingAt.value(number) - placed).count());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kCallGapMs));
        }
        StopProgram(program);
        return std::pair{answers, events};
    };
    const auto [answersOff, none] = series(false, 0);
    const auto [answersOn, events] = series(true, kCalls);
    std::printf("mqtt_event_p50_ms: %.2f\n", percentile(events, 0.50));
    std::printf("mqtt_event_p99_ms: %.2f\n", percentile(events, 0.99));
    std::printf("ring_answer_p99_ms_mqtt_on: %.3f\n", percentile(answersOn, 0.99));
    std::printf("ring_answer_p99_ms_mqtt_off: %.3f\n", percentile(answersOff, 0.99));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir root;
    UseFoldersIn(root);
    QCoreApplication app(argc, argv);
    Fanout();
    LostAcrossRestart();
    RingFigures();
    return 0;
}
