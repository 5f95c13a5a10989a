// A copy's place on the network, against a real Mosquitto: a copy that only shows calls shows
// what another node publishes, and the node that owns the line takes a block another copy asks
// for only while it accepts commands.

#include "support/MosquittoBroker.h"
#include "support/TestEnv.h"

#include "CallNetwork.h"
#include "MqttPublisher.h"
#include "MqttSubscriber.h"
#include "calls/CallerDirectory.h"
#include "common/Paths.h"
#include "monitor/CallPipeline.h"
#include "monitor/CapiSession.h"
#include "monitor/DInfoService.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"

#include <QSignalSpy>
#include <QUuid>

#include <gtest/gtest.h>

namespace {

void UseBroker(int port, const QString &node)
{
    WriteSettingString("ISDN_MqttHost", "127.0.0.1");
    WriteSettingString("ISDN_MqttPort", QString::number(port));
    WriteSettingString("ISDN_MqttNode", node);
}

// A monitor's pipeline without a line, and its place on the network.
struct Copy
{
    DInfoService dinfo;
    CapiSession session;
    CallPipeline pipeline{session, dinfo};
    QList<ShownCall> shown;
    CallNetwork network;
    QStringList status, log;

    explicit Copy(bool displayOnly) : network(pipeline, displayOnly)
    {
        pipeline.Open();
        pipeline.SetOptions(MonitorOptions::FromSettings());
        QObject::connect(&pipeline, &CallPipeline::callShown, [this](const ShownCall &c) { shown << c; });
        QObject::connect(&network, &CallNetwork::status, [this](const QString &t) { status << t; });
        QObject::connect(&network, &CallNetwork::logLine, [this](const QString &t) { log << t; });
        network.Start();
    }
    ~Copy()
    {
        pipeline.Close([](const IoError &) { return false; });
    }
};

} // namespace

TEST(CallNetwork, ACopyThatOnlyShowsCallsShowsThoseOfAnotherNode)
{
    TestEnv env;
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    UseBroker(broker.Port(), "wohnzimmer");
    WriteSettingString("ISDN_MSN", "4711,,,,");
    Copy viewer(true);
    ASSERT_TRUE(WaitUntil([&] { return !viewer.status.isEmpty(); })) << "the viewer never reached the broker";

    MqttPublisher owner(LoopbackOptions(broker.Port(), "keller"));
    ASSERT_TRUE(owner.Start());
    CallEvent e;
    e.CallId = QStringLiteral("c1");
    e.Time = QDateTime::currentDateTime();
    e.Number = QStringLiteral("0301234567");
    e.Name = QStringLiteral("Meier");
    e.Msn = QStringLiteral("4711");
    e.Service = QStringLiteral("Digital");
    for (CallEvent::Kind what :
         {CallEvent::Kind::Ringing, CallEvent::Kind::Alerted, CallEvent::Kind::Missed}) {
        e.What = what;
        e.MessageId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        owner.Publish(e);
    }
    ASSERT_TRUE(WaitUntil([&] { return viewer.shown.size() == 1 && !viewer.pipeline.Settling(); }));
    EXPECT_EQ(viewer.shown[0].Node, "keller");
    EXPECT_EQ(viewer.shown[0].Decision.Label, "Meier");
    // Shown, never stored: the node that owns the line does that.
    EXPECT_TRUE(viewer.pipeline.Callers()->ListKeys().isEmpty());
}

TEST(CallNetwork, ABlockAskedForByAnotherCopyIsTakenOnlyWhileCommandsAreAccepted)
{
    TestEnv env;
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    UseBroker(broker.Port(), "keller");
    ASSERT_TRUE(writeBytes(Paths::dataDir() + "anruf.dat", "[Anrufer]\r\n0301234567=F#Meier\r\n"));
    Copy owner(false);
    ASSERT_TRUE(WaitUntil([&] { return !owner.status.isEmpty(); })) << "the owner never reached the broker";
    MqttSubscriber viewer(LoopbackOptions(broker.Port(), "wohnzimmer"));
    QSignalSpy viewerUp(&viewer, &MqttSubscriber::connected);
    ASSERT_TRUE(viewer.Start());
    ASSERT_TRUE(WaitUntil([&] { return viewerUp.count() > 0; }));

    // Off by default: refused, and logged.
    viewer.SendCommand("keller", "0301234567");
    ASSERT_TRUE(WaitUntil([&] { return !owner.log.isEmpty(); }));
    EXPECT_TRUE(owner.log[0].contains("wohnzimmer")) << owner.log[0].toStdString();
    EXPECT_FALSE(owner.pipeline.Callers()->MatchCaller("0301234567").Blocked);

    // Hostile input is refused like a bad entry typed by hand.
    WriteSettingFlag("ISDN_AcceptCommands", true);
    viewer.SendCommand("keller", "03=0[x]");
    ASSERT_TRUE(WaitUntil([&] { return owner.log.size() == 2; }));
    viewer.SendCommand("keller", "0301234567");
    ASSERT_TRUE(WaitUntil([&] { return owner.pipeline.Callers()->MatchCaller("0301234567").Blocked; }));
    EXPECT_EQ(owner.pipeline.Callers()->CallerOf("0301234567").Name, "Meier");
    EXPECT_TRUE(owner.status.last().contains("wohnzimmer")) << owner.status.last().toStdString();
    EXPECT_EQ(owner.log.size(), 2);
}
