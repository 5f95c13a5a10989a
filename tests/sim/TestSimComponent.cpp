// TCapi20 through the real libcapi20 and isdnsim: the listen request and every ring result as the
// exchange sees them, two components calling each other with service 6 up to a B3 link, clearing
// and releasing, and the profile through the remote path.
#include "ComponentFixture.h"
#include "support/MessageThread.h"

#include <QFileInfo>

using namespace comptest;
using isdnsim::lineValue;

namespace {

class SimComponent : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        ASSERT_TRUE(server().start(ISDNSIM_EXE, {"--rate", "0"}, &error)) << error;
    }

    // Brings up a data call from a to b with its B3 link (a dials, b accepts in its ring handler).
    void ConnectData(Station &a, Station &b)
    {
        b.ringResult = RingResult::Accept;
        const int aBefore = a.bConnects, bBefore = b.bConnects;
        ASSERT_TRUE(a.capi->Dial(QStringLiteral("4711"), QString(), 6));
        ASSERT_TRUE(WaitUntil([&] { return a.capi->CallState() == 3 && b.capi->CallState() == 3; }))
            << "a " << int(a.capi->CallState()) << " b " << int(b.capi->CallState());
        EXPECT_EQ(a.capi->CallDirection(), 1);
        EXPECT_EQ(b.capi->CallDirection(), 2);
        EXPECT_TRUE(WaitUntil([&] { return a.bConnects == aBefore + 1 && b.bConnects == bBefore + 1; }))
            << "a " << a.bConnects - aBefore << " b " << b.bConnects - bBefore;
    }
};

TEST_F(SimComponent, ListenAndEveryRingResultReachTheExchange)
{
    Station s(ServiceBit::All);
    const std::string appl = "appl=" + std::to_string(s.capi->ApplID());
    ASSERT_TRUE(WaitUntil([&] {
        return CountEvents("listen " + appl + " controller=1 info_mask=0x0 cip_mask=0x1FFF03FF") == 1;
    }));

    struct Case
    {
        uint32_t result;
        std::string line;
    };
    const Case cases[] = {{RingResult::Accept, "ACCEPTED " + appl},
                          {RingResult::Ignore, "IGNORED " + appl},
                          {RingResult::Busy, "REJECTED " + appl + " reject=3"},
                          {RingResult::AlertOnly, "ALERTED " + appl}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        s.ringResult = c.result;
        const size_t rings = s.rings.size();
        auto call = control();
        ASSERT_TRUE(call->sendLine("CALL from=0301234567 to=4711 cip=16"));
        const std::string reaction = AwaitLine(*call, c.line.substr(0, c.line.find(' ')) + " ");
        EXPECT_EQ(reaction.substr(0, reaction.find(" after_ms")), c.line);
        if (c.result == RingResult::Accept || c.result == RingResult::AlertOnly) {
            ASSERT_TRUE(call->sendLine("HANGUP"));
            EXPECT_EQ(lineValue(AwaitLine(*call, "END"), "result"),
                      c.result == RingResult::Accept ? "connected" : "hung-up");
        } else {
            EXPECT_FALSE(AwaitLine(*call, "END").empty());
        }
        ASSERT_TRUE(WaitUntil([&] { return s.capi->CallState() == 0; }));
        ASSERT_EQ(s.rings.size(), rings + 1);
        const TCallDaten &d = s.rings.back();
        EXPECT_EQ(d.Service, 3);
        EXPECT_EQ(d.CIPValue, 16u);
        EXPECT_EQ(d.CallingPartyNumber.ToByteArray(), QByteArray("\x21\x81"
                                                                 "301234567"));
        EXPECT_EQ(d.CalledPartyNumber.ToByteArray(), QByteArray("\x81"
                                                                "4711"));
    }
    // A service outside the mask is not offered.
    s.Listen(ServiceBit::Data64K);
    ASSERT_TRUE(WaitUntil(
        [&] { return CountEvents("listen " + appl + " controller=1 info_mask=0x0 cip_mask=0x4 ") == 1; }));
    auto call = control();
    ASSERT_TRUE(call->sendLine("CALL from=0301234567 to=4711 cip=16"));
    EXPECT_EQ(lineValue(AwaitLine(*call, "END"), "result"), "nobody");
    EXPECT_TRUE(s.errors.empty());
}

TEST_F(SimComponent, DataCallBetweenTwoComponentsAndDisconnect)
{
    Station a, b(ServiceBit::Data64K);
    ConnectData(a, b);
    EXPECT_EQ(b.rings.size(), 1u);
    EXPECT_EQ(b.rings[0].Service, 6);
    EXPECT_TRUE(a.capi->Disconnect());
    EXPECT_EQ(a.capi->CallState(), 0);
    ASSERT_TRUE(WaitUntil([&] { return b.capi->CallState() == 0 && b.count(b.disconnects) == 1; }));
    EXPECT_EQ(b.disconnects[0], 0x3490u);
    EXPECT_EQ(a.disconnects, std::vector<uint32_t>{0});
    EXPECT_EQ(b.count(b.bDisconnects), 1u);
    EXPECT_EQ(b.capi->B3Count(), 0);
    EXPECT_EQ(a.capi->B3Count(), 0);
    // And the other way round: the answering end clears.
    ConnectData(a, b);
    EXPECT_TRUE(b.capi->Disconnect());
    ASSERT_TRUE(WaitUntil([&] { return a.capi->CallState() == 0 && a.count(a.disconnects) == 2; }));
    EXPECT_EQ(a.disconnects[1], 0x3490u);
    EXPECT_TRUE(a.errors.empty());
    EXPECT_TRUE(b.errors.empty());
}

TEST_F(SimComponent, ReleasingWhileConnectedClearsTheOtherEnd)
{
    Station a, b(ServiceBit::Data64K);
    ConnectData(a, b);
    const uint32_t applA = a.capi->ApplID();
    a.capi->ReleaseApplication();
    EXPECT_FALSE(a.capi->Registered());
    ASSERT_TRUE(WaitUntil([&] { return b.capi->CallState() == 0 && b.count(b.disconnects) == 1; }));
    EXPECT_EQ(b.disconnects[0], 0x3490u);
    EXPECT_EQ(b.count(b.bDisconnects), 1u);
    EXPECT_TRUE(WaitUntil([&] { return CountEvents("release appl=" + std::to_string(applA)) == 1; }));
    // b is still registered and can take the next call.
    EXPECT_TRUE(b.capi->Registered());
}

// Listening and idle, the message thread sleeps in its wait: no time slices, no polling.
TEST_F(SimComponent, AnIdleComponentNeverWakesItsMessageThread)
{
    Station s(ServiceBit::All);
    // Once the listen confirmation has been taken, the count stands still (a slow machine takes
    // longer to get there).
    // The thread names itself once it runs, which on a loaded machine may come after the
    // registration has returned.
    ASSERT_TRUE(WaitUntil([] { return MessageThreadWakeUps() >= 0; }));
    long before = MessageThreadWakeUps();
    for (int i = 0; i < 25; ++i) {
        QThread::msleep(200);
        const long now = MessageThreadWakeUps();
        if (now == before)
            break;
        before = now;
    }
    QThread::sleep(3);
    EXPECT_EQ(MessageThreadWakeUps(), before);
    // It still wakes for what comes.
    s.ringResult = RingResult::Busy;
    auto c = control();
    ASSERT_TRUE(c->sendLine("CALL from=0301234 to=4711 cip=16"));
    EXPECT_NE(AwaitLine(*c, "REJECTED"), "");
    // A wake-up is counted when the thread sleeps again, which may come after the answer.
    EXPECT_TRUE(WaitUntil([&] { return MessageThreadWakeUps() > before; }));
}

TEST_F(SimComponent, ProfileThroughTheRemotePath)
{
    Station a;
    EXPECT_EQ(a.capi->ControllerCount(), 1);
    std::array<uint8_t, 64> profile{};
    ASSERT_EQ(a.capi->QueryProfile(1, profile), 0u);
    EXPECT_EQ(profile[0] | profile[1] << 8, 1);
    EXPECT_EQ(profile[2] | profile[3] << 8, 2);
    EXPECT_EQ(profile[8] & 0x03, 0x03); // B1: HDLC and transparent
}

// The library picks its driver afresh once the last registration is released: an address
// cleared while running takes the component back to the local CAPI (none here), and set again
// to the exchange.
TEST_F(SimComponent, ClearingTheRemoteAddressGoesBackToTheLocalCapi)
{
    Station s;
    const int registrations = CountEvents("register appl=");
    s.capi->SetRemoteCapi(QString());
    s.capi->RegisterApplication();
    EXPECT_EQ(CountEvents("register appl="), registrations);
    if (!QFileInfo::exists(QStringLiteral("/dev/capi20")) &&
        !QFileInfo::exists(QStringLiteral("/dev/isdn/capi20"))) {
        EXPECT_FALSE(s.capi->Registered());
        EXPECT_TRUE(s.hasError(CapiError::ERR_CAPI_NOT_INSTALLED));
    }
    s.capi->SetRemoteCapi(QStringLiteral("127.0.0.1:%1").arg(server().port()));
    s.capi->RegisterApplication();
    EXPECT_TRUE(s.capi->Registered());
    EXPECT_EQ(CountEvents("register appl="), registrations + 1);
}

} // namespace
