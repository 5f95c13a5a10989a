// The publisher, the subscriber and the command path against a real Mosquitto of the test's own.

#include "support/MosquittoBroker.h"

#include "CallMessage.h"
#include "MqttClient.h"
#include "MqttPublisher.h"
#include "MqttSubscriber.h"
#include "MqttTopics.h"

#include <QMap>
#include <QSignalSpy>
#include <QUuid>

#include <gtest/gtest.h>

#include <mutex>

namespace {

CallEvent Event(CallEvent::Kind what, int n)
{
    CallEvent e;
    e.What = what;
    e.CallId = QStringLiteral("call-%1").arg(n);
    e.MessageId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    e.Time = QDateTime::currentDateTime();
    e.Number = QStringLiteral("030%1").arg(n);
    e.Name = QStringLiteral("Anrufer %1").arg(n);
    e.Msn = QStringLiteral("4711");
    e.Service = QStringLiteral("Telefonie");
    e.Cip = 16;
    e.Cause = what == CallEvent::Kind::Missed ? 0x3490 : 0;
    return e;
}

// What a subscriber heard, in order.
struct Heard
{
    explicit Heard(MqttSubscriber &subscriber)
    {
        QObject::connect(&subscriber, &MqttSubscriber::callEventReceived,
                         [this](const QString &node, const CallEvent &e) {
                             Events.append({node, e});
                         });
    }
    QList<QPair<QString, CallEvent>> Events;
};

// The newest retained or live payload per topic, as a plain client sees them.
class Probe
{
public:
    Probe(const MqttOptions &options, const QString &filter)
        : m_client(options, QStringLiteral("probe-%1").arg(QUuid::createUuid().toString(QUuid::Id128)),
                   std::nullopt, Handlers(filter))
    {
        EXPECT_TRUE(m_client.Start());
    }
    QByteArray Last(const QString &topic)
    {
        std::lock_guard lock(m_mutex);
        return m_last.value(topic);
    }

private:
    MqttClient::Handlers Handlers(const QString &filter)
    {
        MqttClient::Handlers h;
        h.Connected = [this, filter] { m_client.Subscribe(filter); };
        h.Received = [this](const QString &topic, const QByteArray &payload) {
            std::lock_guard lock(m_mutex);
            m_last[topic] = payload;
        };
        return h;
    }
    std::mutex m_mutex;
    QMap<QString, QByteArray> m_last;
    MqttClient m_client;
};

// The message ids a subscriber heard, in order.
QStringList IdsOf(const Heard &heard)
{
    QStringList ids;
    for (const auto &[node, e] : heard.Events)
        ids.append(e.MessageId);
    return ids;
}

// Where two lists of ids part, or -1.
qsizetype FirstDifference(const QStringList &a, const QStringList &b)
{
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (i >= a.size() || i >= b.size() || a[i] != b[i])
            return i;
    }
    return -1;
}

bool Connected(QSignalSpy &spy)
{
    return WaitUntil([&] { return spy.count() > 0; });
}

} // namespace

TEST(MqttBroker, EventsReachOtherNodesWithTheirFieldsButNotTheirOwn)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    MqttSubscriber viewer(LoopbackOptions(broker.Port(), "viewer"));
    MqttSubscriber owner(LoopbackOptions(broker.Port(), "office")); // a copy on the node that publishes
    Heard heard(viewer), ownHeard(owner);
    QSignalSpy viewerUp(&viewer, &MqttSubscriber::connected), ownerUp(&owner, &MqttSubscriber::connected);
    ASSERT_TRUE(viewer.Start() && owner.Start());
    ASSERT_TRUE(Connected(viewerUp) && Connected(ownerUp));

    MqttPublisher office(LoopbackOptions(broker.Port(), "office"));
    ASSERT_TRUE(office.Start());
    const CallEvent ringing = Event(CallEvent::Kind::Ringing, 1);
    CallEvent missed = Event(CallEvent::Kind::Missed, 1);
    missed.Blocked = true;
    office.Publish(ringing);
    office.Publish(missed);
    ASSERT_TRUE(WaitUntil([&] { return heard.Events.size() == 2; }));
    EXPECT_EQ(heard.Events[0].first, "office");
    const CallEvent &got = heard.Events[1].second;
    EXPECT_EQ(got.What, CallEvent::Kind::Missed);
    EXPECT_EQ(got.MessageId, missed.MessageId);
    EXPECT_EQ(got.CallId, missed.CallId);
    EXPECT_EQ(got.Number, missed.Number);
    EXPECT_EQ(got.Name, missed.Name);
    EXPECT_EQ(got.Msn, missed.Msn);
    EXPECT_EQ(got.Service, missed.Service);
    EXPECT_EQ(got.Cip, missed.Cip);
    EXPECT_TRUE(got.Blocked);
    EXPECT_EQ(got.Cause, 0x3490);
    EXPECT_EQ(got.Time.toSecsSinceEpoch(), missed.Time.toSecsSinceEpoch());

    // The broker hands each subscriber the messages in the order it took them: once the owner's
    // copy has another node's later event, it has skipped its own node's.
    MqttPublisher shop(LoopbackOptions(broker.Port(), "shop"));
    ASSERT_TRUE(shop.Start());
    shop.Publish(Event(CallEvent::Kind::Ringing, 2));
    ASSERT_TRUE(WaitUntil([&] { return ownHeard.Events.size() == 1; }));
    EXPECT_EQ(ownHeard.Events[0].first, "shop");
}

TEST(MqttBroker, RetainedTopicsTellTheLatestCallAndWhetherTheNodeIsOnline)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    CuttableRelay relay(broker.Port());
    MqttOptions options = LoopbackOptions(relay.Port(), "office");
    options.Discovery = true;
    auto office = std::make_unique<MqttPublisher>(options);
    ASSERT_TRUE(office->Start());
    office->Publish(Event(CallEvent::Kind::Ringing, 1));
    const CallEvent missed = Event(CallEvent::Kind::Missed, 1);
    office->Publish(missed);
    ASSERT_TRUE(WaitUntil([&] { return office->Queued() == 0; }));

    // Someone looking later finds the latest call, the state and the discovery configurations.
    Probe probe(LoopbackOptions(broker.Port(), "probe"), QStringLiteral("#"));
    ASSERT_TRUE(WaitUntil([&] { return !probe.Last(MqttTopics::LastCall("office")).isEmpty(); }));
    EXPECT_EQ(CallMessage::Parse(probe.Last(MqttTopics::LastCall("office"))).Event.MessageId,
              missed.MessageId);
    EXPECT_EQ(probe.Last(MqttTopics::Status("office")), "online");
    EXPECT_TRUE(WaitUntil([&] { return probe.Last(MqttTopics::Missed("office")) == "1"; }));
    EXPECT_EQ(probe.Last(MqttTopics::Ringing("office")), "OFF");
    for (const char *config : {"homeassistant/sensor/rufwart_office/last_caller/config",
                               "homeassistant/binary_sensor/rufwart_office/ringing/config",
                               "homeassistant/sensor/rufwart_office/missed_calls/config"})
        EXPECT_TRUE(WaitUntil([&] { return !probe.Last(config).isEmpty(); })) << config;

    // The connection lost without a goodbye: the broker publishes the last will.
    relay.Cut();
    ASSERT_TRUE(WaitUntil([&] { return probe.Last(MqttTopics::Status("office")) == "offline"; }));
    relay.Resume();
    ASSERT_TRUE(WaitUntil([&] { return probe.Last(MqttTopics::Status("office")) == "online"; }));
    office->Publish(Event(CallEvent::Kind::Ringing, 2));
    ASSERT_TRUE(WaitUntil([&] { return probe.Last(MqttTopics::Ringing("office")) == "ON"; }));
    // A clean end says so itself.
    office.reset();
    EXPECT_TRUE(WaitUntil([&] { return probe.Last(MqttTopics::Status("office")) == "offline"; }));
}

TEST(MqttBroker, EveryEventArrivesOnceAndInOrderAcrossABrokerRestart)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    MqttSubscriber viewer(LoopbackOptions(broker.Port(), "viewer"));
    Heard heard(viewer);
    QSignalSpy viewerUp(&viewer, &MqttSubscriber::connected);
    ASSERT_TRUE(viewer.Start());
    ASSERT_TRUE(Connected(viewerUp));
    MqttPublisher office(LoopbackOptions(broker.Port(), "office"));
    ASSERT_TRUE(office.Start());

    constexpr int kEvents = 1000;
    QStringList sent;
    for (int n = 0; n < kEvents; ++n) {
        const CallEvent e = Event(n % 2 ? CallEvent::Kind::Missed : CallEvent::Kind::Ringing, n);
        sent.append(e.MessageId);
        office.Publish(e);
    }
    // In the middle of the storm, not in a quiet moment.
    ASSERT_TRUE(WaitUntil([&] { return heard.Events.size() >= kEvents / 5; }));
    ASSERT_GT(office.Queued(), 0u);
    broker.Stop();
    ASSERT_TRUE(broker.Start());

    ASSERT_TRUE(WaitUntil([&] { return heard.Events.size() >= kEvents; }, 120000)) << heard.Events.size();
    EXPECT_EQ(FirstDifference(IdsOf(heard), sent), -1);
    EXPECT_EQ(office.Dropped(), 0u);
}

TEST(MqttBroker, TlsNeedsTheBrokersCertificateAuthority)
{
    MosquittoBroker broker({.Tls = true, .User = {}, .Password = {}});
    ASSERT_TRUE(broker.Start());
    MqttOptions options = LoopbackOptions(broker.Port(), "office");
    options.Host = QStringLiteral("localhost");
    options.Tls = true;
    options.CaFile = broker.CaFile();

    MqttSubscriber viewer([&] {
        MqttOptions o = options;
        o.Node = QStringLiteral("viewer");
        return o;
    }());
    Heard heard(viewer);
    QSignalSpy viewerUp(&viewer, &MqttSubscriber::connected);
    ASSERT_TRUE(viewer.Start());
    ASSERT_TRUE(Connected(viewerUp)); // subscribed before the event is sent
    MqttPublisher office(options);
    ASSERT_TRUE(office.Start());
    QSignalSpy officeUp(&office, &MqttPublisher::connected);
    ASSERT_TRUE(Connected(officeUp));
    office.Publish(Event(CallEvent::Kind::Ringing, 1));
    ASSERT_TRUE(WaitUntil([&] { return heard.Events.size() == 1; }));

    options.CaFile = broker.OtherCaFile();
    MqttPublisher forged(options);
    QSignalSpy forgedUp(&forged, &MqttPublisher::connected),
        forgedDown(&forged, &MqttPublisher::disconnected);
    ASSERT_TRUE(forged.Start());
    ASSERT_TRUE(WaitUntil([&] { return forgedDown.count() > 0; }));
    EXPECT_EQ(forgedUp.count(), 0);
}

TEST(MqttBroker, UserAndPasswordAreChecked)
{
    MosquittoBroker broker(
        {.Tls = false, .User = QStringLiteral("haus"), .Password = QStringLiteral("geheim 1")});
    ASSERT_TRUE(broker.Start());
    MqttOptions options = LoopbackOptions(broker.Port(), "office");
    options.User = QStringLiteral("haus");
    options.Password = QStringLiteral("geheim 1");
    MqttPublisher office(options);
    QSignalSpy officeUp(&office, &MqttPublisher::connected);
    ASSERT_TRUE(office.Start());
    EXPECT_TRUE(Connected(officeUp));

    options.Password = QStringLiteral("geheim 2");
    MqttPublisher wrong(options);
    QSignalSpy wrongUp(&wrong, &MqttPublisher::connected), wrongDown(&wrong, &MqttPublisher::disconnected);
    ASSERT_TRUE(wrong.Start());
    ASSERT_TRUE(WaitUntil([&] { return wrongDown.count() > 0; }));
    EXPECT_EQ(wrongUp.count(), 0);
    EXPECT_FALSE(wrongDown[0][0].toString().contains("geheim"));
}

TEST(MqttBroker, ACommandReachesTheOwningNode)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    MqttPublisher office(LoopbackOptions(broker.Port(), "office"));
    QSignalSpy officeUp(&office, &MqttPublisher::connected);
    QSignalSpy commands(&office, &MqttPublisher::commandReceived);
    ASSERT_TRUE(office.Start());
    ASSERT_TRUE(Connected(officeUp));
    MqttSubscriber viewer(LoopbackOptions(broker.Port(), "viewer"));
    ASSERT_TRUE(viewer.Start());

    viewer.SendCommand(QStringLiteral("office"), QStringLiteral("0301234567"));
    ASSERT_TRUE(WaitUntil([&] { return commands.count() == 1; }));
    EXPECT_EQ(commands[0][0].toString(), "viewer");
    EXPECT_EQ(commands[0][1].toString(), "0301234567");
}

TEST(MqttBroker, WhileTheBrokerIsAwayTheNewestEventsWaitAndTheOldestAreDropped)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    MqttSubscriber viewer(LoopbackOptions(broker.Port(), "viewer"));
    Heard heard(viewer);
    QSignalSpy viewerUp(&viewer, &MqttSubscriber::connected);
    ASSERT_TRUE(viewer.Start());
    ASSERT_TRUE(Connected(viewerUp));
    broker.Stop();

    constexpr size_t kBound = 50;
    MqttPublisher office(LoopbackOptions(broker.Port(), "office"), kBound);
    ASSERT_TRUE(office.Start());
    QStringList sent;
    for (size_t n = 0; n < kBound + 7; ++n) {
        const CallEvent e = Event(CallEvent::Kind::Ringing, int(n));
        sent.append(e.MessageId);
        office.Publish(e);
    }
    EXPECT_EQ(office.Queued(), kBound);
    EXPECT_EQ(office.Dropped(), 7u);

    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(
        WaitUntil([&] { return office.Queued() == 0 && size_t(heard.Events.size()) >= kBound; }, 60000));
    // The newest wait, in order.
    EXPECT_EQ(FirstDifference(IdsOf(heard), sent.mid(7)), -1);
}
