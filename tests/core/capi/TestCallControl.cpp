// TCapi20 against the fake libcapi20: listening, the ring path and its answers, dialling, the B3
// link, disconnecting, releasing, and the dispatcher's answers to every indication.

#include "FakeCapi.h"
#include "capi/Capi20.h"
#include "common/Clock.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>

using namespace CapiError;

namespace {

constexpr uint32_t kPlci = 0x0101;
constexpr uint32_t kNcci = 0x00010101;
const Bytes kAddInfo = {0x06, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kBProtocol = {0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0};

Bytes ConnectInd(uint32_t plci, uint16_t cip, const Bytes &called, const Bytes &calling)
{
    return Cat({Le32(plci), {uint8_t(cip), uint8_t(cip >> 8)}, called, calling, {0, 0, 0, 0, 0, 0}});
}

Bytes Conf(uint32_t address, uint16_t info)
{
    return Cat({Le32(address), {uint8_t(info), uint8_t(info >> 8)}});
}

class CallTest : public ::testing::Test
{
protected:
    FakeCapi fake;
    std::unique_ptr<TCapi20> capi = std::make_unique<TCapi20>();
    std::vector<uint32_t> errors;
    std::mutex lock;
    uint16_t applId = 0;

    void SetUp() override
    {
        capi->SetLibraryName(QString(FAKE_CAPI_PATH));
        capi->OnError = [this](TCustomCapi20 *, uint32_t, uint32_t, uint32_t number) {
            std::lock_guard g(lock);
            errors.push_back(number);
        };
        capi->Loaded();
        ASSERT_TRUE(capi->Registered());
        applId = uint16_t(capi->ApplID());
    }
    int ErrorCount(uint32_t number)
    {
        std::lock_guard g(lock);
        return int(std::count(errors.begin(), errors.end(), number));
    }
    // Waits for the n-th put with this command and subcommand.
    Bytes AwaitPut(uint8_t command, uint8_t subCommand, size_t n = 1)
    {
        Bytes found;
        WaitUntil([&] {
            const auto puts = fake.PutsOf(command, subCommand);
            if (puts.size() < n)
                return false;
            found = puts[n - 1];
            return true;
        });
        return found;
    }
    void Deliver(const Bytes &message) { ASSERT_TRUE(DeliverTo(fake, *capi, message)); }
    void RingAndAnswer(uint32_t result, uint16_t msgNumber = 0x4001)
    {
        capi->OnRing = [result](TCapi20 *, const TCallDaten &) { return result; };
        Deliver(Message(0x02, 0x82, msgNumber, ConnectInd(kPlci, 16, {0x04, 0x81, '1', '2', '3'}, {0x00})));
    }
    void BringUpIncomingB3()
    {
        RingAndAnswer(RingResult::Accept);
        Deliver(Message(0x03, 0x82, 0x4002, Le32(kPlci)));
        Deliver(Message(0x82, 0x82, 0x4003, Cat({Le32(kNcci), {0x00}})));
        Deliver(Message(0x83, 0x82, 0x4004, Cat({Le32(kNcci), {0x00}})));
        ASSERT_EQ(capi->CallState(), 3);
    }
};

} // namespace

TEST_F(CallTest, ListenForAllServicesIsTheExact26Bytes)
{
    capi->Listen(0x0001);
    const Bytes expected = {0x1A,
                            0x00,
                            uint8_t(applId),
                            uint8_t(applId >> 8),
                            0x05,
                            0x80,
                            0x00,
                            0x00,
                            0x01,
                            0x00,
                            0x00,
                            0x00,
                            0x00,
                            0x00,
                            0x00,
                            0x00,
                            0xFF,
                            0x03,
                            0xFF,
                            0x1F,
                            0x00,
                            0x00,
                            0x00,
                            0x00,
                            0x00,
                            0x00};
    EXPECT_EQ(fake.Put(0), expected);
}

TEST_F(CallTest, ServiceMasksGiveTheirCipMasks)
{
    EXPECT_EQ(CipMaskOfServiceMask(0x0041), 0x1FFF03FFu);
    EXPECT_EQ(CipMaskOfServiceMask(0x0044), 0x00014u);
    EXPECT_EQ(CipMaskOfServiceMask(0x0080), 0x00100u);
    EXPECT_EQ(CipMaskOfServiceMask(0x0100), 0u);
    EXPECT_EQ(CipMaskOfServiceMask(0), 0u);
    EXPECT_EQ(CipMaskOfServiceMask(0x0078), 0x20010u | 0x40004u | 0x00002u | 0x00004u);
    capi->Listen(0x0044);
    const Bytes put = fake.Put(0);
    EXPECT_EQ(Capi::ReadDword(put.data(), put.size(), 16), 0x00014u);
    EXPECT_EQ(capi->ServiceMask(), 0x0044);
}

TEST_F(CallTest, ChangingInfosRepeatsListenWithTheInfoMask)
{
    capi->Listen(0x0004);
    capi->SetInfos(InfoSetOf({Gebuehren, DisconnectCause}));
    EXPECT_EQ(capi->InfoMask(), 0x41u);
    const auto listens = fake.PutsOf(0x05, 0x80);
    ASSERT_EQ(listens.size(), 2u);
    EXPECT_EQ(Capi::ReadDword(listens[1].data(), listens[1].size(), 12), 0x41u);
    EXPECT_EQ(Capi::ReadDword(listens[1].data(), listens[1].size(), 16), 0x10u);
    capi->SetInfos(InfoSetOf({Gebuehren, DisconnectCause})); // same value: nothing put
    EXPECT_EQ(fake.PutsOf(0x05, 0x80).size(), 2u);
    EXPECT_EQ(InfoMaskOf(InfoSetOf({CalledNumber})), 0u);
    EXPECT_EQ(InfoMaskOf(0xFF), 0x7Fu);
}

TEST_F(CallTest, RingWithoutHandlerIsIgnoredWithReject1)
{
    Deliver(Message(0x02, 0x82, 0x4001, ConnectInd(kPlci, 16, {0x00}, {0x00})));
    const Bytes resp = AwaitPut(0x02, 0x83);
    const Bytes expected = Cat({Header(36, applId, 0x02, 0x83, 0x4001),
                                Le32(kPlci),
                                {0x01, 0x00},
                                kBProtocol,
                                {0x02, 0x00, 0xA0},
                                {0x00, 0x00},
                                kAddInfo});
    EXPECT_EQ(resp, expected);
    EXPECT_EQ(capi->PendingMsgID(), -1);
    EXPECT_EQ(capi->CallState(), 0);
}

TEST_F(CallTest, RingHandlerRunsInTheMainThreadWithTheCallRecord)
{
    TCallDaten seen;
    std::atomic<bool> onMain{false};
    capi->OnRing = [&](TCapi20 *, const TCallDaten &d) {
        seen = d;
        onMain = QThread::currentThread() == qApp->thread();
        return RingResult::Busy;
    };
    Deliver(
        Message(0x02, 0x82, 0x4001,
                ConnectInd(kPlci, 2, {0x04, 0x81, '1', '2', '3'}, {0x06, 0x01, 0x80, '4', '7', '1', '1'})));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(seen.Service, 6);
    EXPECT_EQ(seen.CIPValue, 2u);
    EXPECT_EQ(CalledPartyDigits(seen.CalledPartyNumber), QStringLiteral("123"));
    EXPECT_EQ(CallingPartyDigits(seen.CallingPartyNumber), QStringLiteral("4711"));
    EXPECT_EQ(seen.CallingPartyNumber.At(2), 0x80);
    const Bytes resp = AwaitPut(0x02, 0x83);
    EXPECT_EQ(Capi::ReadWord(resp.data(), resp.size(), 12), 3);
    EXPECT_EQ(capi->Service(), 6);
}

// A handler on the main thread may end the component (the program closes while a call is
// shown): the message thread waiting for the handler is let go, the registration released, and
// the handler still has its call record.
TEST_F(CallTest, HandlersMayDestroyTheComponent)
{
    for (int event = 0; event < 2; ++event) {
        capi.reset();
        fake.reset();
        capi = std::make_unique<TCapi20>();
        capi->SetLibraryName(QString(FAKE_CAPI_PATH));
        capi->Loaded();
        ASSERT_TRUE(capi->Registered());
        std::atomic<bool> done{false};
        QString caller;
        capi->OnRing = [&](TCapi20 *, const TCallDaten &d) {
            if (event == 0) {
                capi.reset();
                caller = CallingPartyDigits(d.CallingPartyNumber);
                done = true;
            }
            return RingResult::Accept;
        };
        capi->OnBDisconnect = [&](TCapi20 *, int, uint32_t) {
            capi.reset();
            done = true;
        };
        if (event == 1) {
            BringUpIncomingB3();
            fake.Push(Message(0x84, 0x82, 0x4005, Cat({Le32(kNcci), {0, 0}})));
        } else {
            fake.Push(
                Message(0x02, 0x82, 0x4001, ConnectInd(kPlci, 16, {0x00}, {0x04, 0x01, 0x80, '4', '7'})));
        }
        ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
        EXPECT_FALSE(capi);
        EXPECT_EQ(fake.Counter("release"), 1);
        if (event == 0) {
            EXPECT_EQ(caller, QStringLiteral("47"));
        }
    }
}

TEST_F(CallTest, AlertOnlyLeavesTheCallRingingUntilAnswered)
{
    RingAndAnswer(RingResult::AlertOnly, 0x4001);
    const Bytes alert = AwaitPut(0x01, 0x80);
    EXPECT_EQ(alert, Cat({Header(19, applId, 0x01, 0x80, 0x0000), Le32(kPlci), kAddInfo}));
    EXPECT_TRUE(fake.PutsOf(0x02, 0x83).empty());
    EXPECT_EQ(capi->CallState(), 1);
    EXPECT_EQ(capi->PendingMsgID(), 0x4001);
    capi->SetOwnNumber(QStringLiteral("4711"));
    EXPECT_TRUE(capi->Answer(0));
    const Bytes resp = AwaitPut(0x02, 0x83);
    EXPECT_EQ(resp, Cat({Header(40, applId, 0x02, 0x83, 0x4001),
                         Le32(kPlci),
                         {0x00, 0x00},
                         kBProtocol,
                         {0x06, 0x00, 0x80, '4', '7', '1', '1'},
                         {0x00, 0x00},
                         kAddInfo}));
    EXPECT_EQ(capi->CallDirection(), 2);
    EXPECT_EQ(capi->PendingMsgID(), -1);
    EXPECT_FALSE(capi->Answer(0));
    EXPECT_EQ(ErrorCount(ERR_NO_PENDING_CALL), 1);
}

TEST_F(CallTest, CallerHangsUpWhileRinging)
{
    std::atomic<uint32_t> reason{0};
    capi->OnDisconnect = [&](TCapi20 *, uint32_t grund) { reason = grund; };
    RingAndAnswer(RingResult::AlertOnly, 0x4001);
    Deliver(Message(0x04, 0x82, 0x4005, Cat({Le32(kPlci), {0x90, 0x34}})));
    EXPECT_EQ(reason, 0x3490u);
    EXPECT_EQ(AwaitPut(0x04, 0x83), Cat({Header(12, applId, 0x04, 0x83, 0x4005), Le32(kPlci)}));
    EXPECT_EQ(capi->CallState(), 0);
    EXPECT_EQ(capi->PLCI(), -1);
    EXPECT_EQ(capi->PendingMsgID(), 0x4001); // kept until the next ring or Answer
}

TEST_F(CallTest, DialPutsConnectReqAndReturnsOnConfirmation)
{
    fake.AutoReply(0x02, 0x80, Message(0x02, 0x81, 0, Conf(0x0201, 0)));
    EXPECT_TRUE(capi->Dial(QStringLiteral("123"), QString(), 6));
    EXPECT_EQ(capi->PLCI(), 0x0201);
    EXPECT_EQ(capi->CallState(), 1);
    EXPECT_EQ(capi->CallDirection(), 1);
    const Bytes expected = Cat({Header(44, applId, 0x02, 0x80, 0),
                                Le32(1),
                                {0x02, 0x00},
                                {0x04, 0x80, '1', '2', '3'},
                                {0x02, 0x00, 0xA0},
                                {0x00, 0x00},
                                kBProtocol,
                                {0x00, 0x00, 0x00},
                                kAddInfo});
    EXPECT_EQ(fake.Put(0), expected);
    // A second dial while the call exists: refused, nothing put.
    EXPECT_FALSE(capi->Dial(QStringLiteral("456"), QString(), 3));
    EXPECT_EQ(ErrorCount(ERR_CALL_ACTIVE), 1);
    EXPECT_EQ(fake.putCount(), 1u);
}

TEST_F(CallTest, DialWithOwnNumberAndTelephony)
{
    fake.AutoReply(0x02, 0x80, Message(0x02, 0x81, 0, Conf(0x0201, 0)));
    capi->SetOwnNumber(QStringLiteral("4711"));
    EXPECT_TRUE(capi->Dial(QStringLiteral("0401234"), QString(), 3));
    const Bytes put = fake.Put(0);
    EXPECT_EQ(Capi::ReadWord(put.data(), put.size(), 12), 16);
    EXPECT_EQ(Bytes(put.begin() + 23, put.begin() + 30), (Bytes{0x06, 0x00, 0x80, '4', '7', '1', '1'}));
}

TEST_F(CallTest, DialFailsOnAnErrorConfirmationAndOnTimeout)
{
    fake.AutoReply(0x02, 0x80, Message(0x02, 0x81, 0, Conf(0, 0x2003)));
    EXPECT_FALSE(capi->Dial(QStringLiteral("123"), QString(), 6));
    EXPECT_EQ(ErrorCount(0x2003), 1);
    EXPECT_EQ(capi->CallState(), 0);
    fake.reset();
    capi->RegisterApplication();
    // No confirmation at all: the (simulated) clock runs past 5 s.
    qint64 now = 0;
    Clock::setTickSource([&now] { return now += 100; });
    EXPECT_FALSE(capi->Dial(QStringLiteral("123"), QString(), 6));
    EXPECT_GE(now, 5000);
    // A late confirmation still sets the call up.
    Clock::setTickSource(nullptr);
    Deliver(Message(0x02, 0x81, 0, Conf(0x0301, 0)));
    EXPECT_EQ(capi->CallState(), 1);
    EXPECT_EQ(capi->PLCI(), 0x0301);
}

TEST_F(CallTest, DialWhileNotRegistered)
{
    capi->ReleaseApplication();
    const unsigned puts = fake.putCount();
    EXPECT_FALSE(capi->Dial(QStringLiteral("123"), QString(), 6));
    EXPECT_EQ(ErrorCount(ERR_NOT_REGISTERED), 1);
    EXPECT_EQ(fake.putCount(), puts);
}

TEST_F(CallTest, OutgoingCallBringsUpB3ByItself)
{
    fake.AutoReply(0x02, 0x80, Message(0x02, 0x81, 0, Conf(kPlci, 0)));
    fake.AutoReply(0x82, 0x80, Message(0x82, 0x81, 0, Conf(kNcci, 0)));
    std::atomic<int> bconnect{-2};
    std::atomic<bool> connected{false};
    capi->OnConnect = [&](TCapi20 *) { connected = true; };
    capi->OnBConnect = [&](TCapi20 *, int ncci) { bconnect = ncci; };
    ASSERT_TRUE(capi->Dial(QStringLiteral("123"), QString(), 6));
    Deliver(Message(0x03, 0x82, 0x4010, Le32(kPlci)));
    EXPECT_TRUE(connected);
    EXPECT_EQ(AwaitPut(0x03, 0x83), Cat({Header(12, applId, 0x03, 0x83, 0x4010), Le32(kPlci)}));
    EXPECT_EQ(AwaitPut(0x82, 0x80), Cat({Header(13, applId, 0x82, 0x80, 1), Le32(kPlci), {0x00}}));
    ASSERT_TRUE(WaitUntil([&] { return capi->Channel(1).NCCI == int(kNcci); }));
    Deliver(Message(0x83, 0x82, 0x4011, Cat({Le32(kNcci), {0x00}})));
    EXPECT_EQ(bconnect, int(kNcci));
    EXPECT_EQ(capi->CallState(), 3);
    EXPECT_EQ(capi->B3Count(), 1);
    EXPECT_EQ(capi->CurrentNCCI(), int(kNcci));
}

TEST_F(CallTest, IncomingB3RequestsAndAllChannelsTaken)
{
    BringUpIncomingB3();
    EXPECT_EQ(AwaitPut(0x82, 0x83),
              Cat({Header(15, applId, 0x82, 0x83, 0x4003), Le32(kNcci), {0x00, 0x00, 0x00}}));
    for (uint32_t i = 2; i <= 4; ++i)
        Deliver(Message(0x82, 0x82, uint16_t(0x4100 + i), Cat({Le32(kNcci + (i << 16)), {0x00}})));
    Deliver(Message(0x82, 0x82, 0x4105, Cat({Le32(kNcci + (5u << 16)), {0x00}})));
    const Bytes refused = AwaitPut(0x82, 0x83, 5);
    EXPECT_EQ(Capi::ReadWord(refused.data(), refused.size(), 12), 1);
    // A B3 request the owner declines.
    capi->OnRequestBConnect = [](TCapi20 *) { return false; };
    Deliver(Message(0x82, 0x82, 0x4106, Cat({Le32(kNcci + (6u << 16)), {0x00}})));
    EXPECT_EQ(Capi::ReadWord(AwaitPut(0x82, 0x83, 6).data(), 15, 12), 1);
}

TEST_F(CallTest, B3DisconnectIndicationFreesTheChannel)
{
    BringUpIncomingB3();
    std::atomic<int> ncciSeen{0};
    std::atomic<uint32_t> reasonSeen{0};
    std::atomic<bool> onMain{false};
    capi->OnBDisconnect = [&](TCapi20 *, int ncci, uint32_t grund) {
        ncciSeen = ncci;
        reasonSeen = grund;
        onMain = QThread::currentThread() == qApp->thread();
    };
    Deliver(Message(0x84, 0x82, 0x4020, Cat({Le32(kNcci), {0x01, 0x33}, {0x00}})));
    EXPECT_EQ(ncciSeen, int(kNcci));
    EXPECT_EQ(reasonSeen, 0x3301u);
    EXPECT_TRUE(onMain);
    EXPECT_EQ(capi->Channel(1).InUse, false);
    EXPECT_EQ(capi->B3Count(), 0);
    EXPECT_EQ(capi->CallState(), 2);
    EXPECT_EQ(AwaitPut(0x84, 0x83), Cat({Header(12, applId, 0x84, 0x83, 0x4020), Le32(kNcci)}));
}

TEST_F(CallTest, DisconnectWhileIdleReturnsAtOnce)
{
    EXPECT_TRUE(capi->Disconnect(1));
    EXPECT_EQ(fake.putCount(), 0u);
}

TEST_F(CallTest, DisconnectEndsB3LinkAndCall)
{
    BringUpIncomingB3();
    fake.AutoReply(0x84, 0x80, Message(0x84, 0x82, 0x4030, Cat({Le32(kNcci), {0x00, 0x00}, {0x00}})));
    fake.AutoReply(0x04, 0x80, Message(0x04, 0x82, 0x4031, Cat({Le32(kPlci), {0x00, 0x00}})));
    EXPECT_TRUE(capi->Disconnect(1));
    EXPECT_EQ(AwaitPut(0x84, 0x80), Cat({Header(13, applId, 0x84, 0x80, 0), Le32(kNcci), {0x00}}));
    EXPECT_EQ(AwaitPut(0x04, 0x80), Cat({Header(19, applId, 0x04, 0x80, 1), Le32(kPlci), kAddInfo}));
    EXPECT_EQ(capi->CallState(), 0);
}

TEST_F(CallTest, ReleasingWithB3UpReportsTheReleaseAndPutsNoDisconnect)
{
    BringUpIncomingB3();
    std::vector<std::pair<int, uint32_t>> bdisc;
    std::vector<uint32_t> disc;
    capi->OnBDisconnect = [&](TCapi20 *, int ncci, uint32_t grund) { bdisc.emplace_back(ncci, grund); };
    capi->OnDisconnect = [&](TCapi20 *, uint32_t grund) { disc.push_back(grund); };
    capi->ReleaseApplication();
    ASSERT_EQ(bdisc.size(), 1u);
    EXPECT_EQ(bdisc[0], std::make_pair(int(kNcci), REASON_RELEASED));
    EXPECT_EQ(disc, std::vector<uint32_t>{REASON_RELEASED});
    EXPECT_TRUE(fake.PutsOf(0x04, 0x80).empty());
    EXPECT_TRUE(fake.PutsOf(0x84, 0x80).empty());
    EXPECT_EQ(capi->CallState(), 0);
    EXPECT_EQ(capi->CallDirection(), 0);
    EXPECT_FALSE(capi->Channel(1).InUse);
}

TEST_F(CallTest, SecondCallWhileConnectedDoesNotTakeOverTheFirst)
{
    RingAndAnswer(RingResult::Accept, 0x4001);
    Deliver(Message(0x03, 0x82, 0x4002, Le32(kPlci)));
    ASSERT_EQ(capi->CallState(), 2);
    // A second caller, accepted by the handler: refused as busy, the connected call keeps its
    // PLCI and state.
    capi->OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::Accept; };
    Deliver(Message(0x02, 0x82, 0x4050, ConnectInd(0x0201, 16, {0x00}, {0x00})));
    const auto resps = fake.PutsOf(0x02, 0x83);
    ASSERT_EQ(resps.size(), 2u);
    EXPECT_EQ(resps[1], Cat({Header(31, applId, 0x02, 0x83, 0x4050),
                             Le32(0x0201),
                             {0x03, 0x00},
                             {0x06, 0, 0, 0, 0, 0, 0},
                             {0x00, 0x00, 0x00},
                             kAddInfo}));
    EXPECT_EQ(ErrorCount(ERR_CALL_ACTIVE), 1);
    EXPECT_EQ(capi->PLCI(), int(kPlci));
    EXPECT_EQ(capi->CallState(), 2);
    // Left ringing instead: alerted, our state stays.
    capi->OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::AlertOnly; };
    Deliver(Message(0x02, 0x82, 0x4051, ConnectInd(0x0201, 16, {0x00}, {0x00})));
    EXPECT_EQ(capi->CallState(), 2);
    EXPECT_EQ(capi->PLCI(), int(kPlci));
    EXPECT_EQ(capi->PendingPLCI(), 0x0201);
    // The refused caller's end touches nothing of ours.
    std::atomic<int> disconnects{0};
    capi->OnDisconnect = [&](TCapi20 *, uint32_t) { ++disconnects; };
    Deliver(Message(0x04, 0x82, 0x4052, Cat({Le32(0x0201), {0x00, 0x00}})));
    EXPECT_EQ(disconnects, 0);
    EXPECT_EQ(capi->CallState(), 2);
    EXPECT_EQ(AwaitPut(0x04, 0x83), Cat({Header(12, applId, 0x04, 0x83, 0x4052), Le32(0x0201)}));
    // Hanging up still reaches the connected call.
    fake.AutoReply(0x04, 0x80, Message(0x04, 0x82, 0x4053, Cat({Le32(kPlci), {0x00, 0x00}})));
    EXPECT_TRUE(capi->Disconnect(1));
    const auto discReq = fake.PutsOf(0x04, 0x80);
    ASSERT_EQ(discReq.size(), 1u);
    EXPECT_EQ(Capi::ReadDword(discReq[0].data(), discReq[0].size(), 8), kPlci);
}

// A caller who rings while we dial is kept apart from the dialled call: Dial reports its own
// call, the caller gets the handler's answer (Reject 1 for a foreign MSN, without an error), and
// only a caller the handler would accept is refused as busy, as we cannot take two calls.
TEST_F(CallTest, ACallerWhileWeDialIsKeptApart)
{
    auto rejectOf = [&](uint32_t plci) {
        for (const Bytes &m : fake.PutsOf(0x02, 0x83))
            if (Capi::ReadDword(m.data(), m.size(), 8) == plci)
                return int(Capi::ReadWord(m.data(), m.size(), 12));
        return -1;
    };
    // Before the dial is confirmed; the dial then fails.
    capi->OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::Ignore; };
    fake.AutoReply(0x02, 0x80, Message(0x02, 0x82, 0, ConnectInd(0x0301, 16, {0x00}, {0x00})));
    fake.AutoReply(0x02, 0x80, Message(0x02, 0x81, 0, Conf(0, 0x2003)));
    EXPECT_FALSE(capi->Dial(QStringLiteral("123"), QString(), 6));
    EXPECT_EQ(capi->PLCI(), -1);
    EXPECT_EQ(capi->CallState(), 0);
    EXPECT_EQ(rejectOf(0x0301), 1);
    EXPECT_EQ(ErrorCount(ERR_CALL_ACTIVE), 0);

    // The dial succeeds; a caller the handler accepts meanwhile is refused.
    fake.reset();
    capi->RegisterApplication();
    capi->OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::Accept; };
    fake.AutoReply(0x02, 0x80, Message(0x02, 0x82, 0, ConnectInd(0x0302, 16, {0x00}, {0x00})));
    fake.AutoReply(0x02, 0x80, Message(0x02, 0x81, 0, Conf(0x0201, 0)));
    EXPECT_TRUE(capi->Dial(QStringLiteral("123"), QString(), 6));
    EXPECT_EQ(capi->PLCI(), 0x0201);
    EXPECT_EQ(rejectOf(0x0302), 3);
    EXPECT_EQ(ErrorCount(ERR_CALL_ACTIVE), 1);
    // Confirmed, not yet connected: a foreign-MSN caller is ignored as usual, and his hanging up
    // is not the end of our call.
    capi->OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::Ignore; };
    Deliver(Message(0x02, 0x82, 0x4060, ConnectInd(0x0303, 16, {0x00}, {0x00})));
    EXPECT_EQ(rejectOf(0x0303), 1);
    EXPECT_EQ(ErrorCount(ERR_CALL_ACTIVE), 1);
    std::atomic<int> disconnects{0};
    capi->OnDisconnect = [&](TCapi20 *, uint32_t) { ++disconnects; };
    Deliver(Message(0x04, 0x82, 0x4061, Cat({Le32(0x0303), {0x00, 0x00}})));
    EXPECT_EQ(disconnects, 0);
    EXPECT_EQ(capi->PLCI(), 0x0201);
    EXPECT_EQ(capi->CallState(), 1);
    EXPECT_EQ(capi->CallDirection(), 1);
}

TEST_F(CallTest, UnhandledIndicationsGetTheirStandardResponses)
{
    std::vector<std::array<uint32_t, 3>> seen;
    std::mutex seenLock;
    auto record = [&](TCustomCapi20 *, uint32_t c, uint32_t s, uint32_t m, IndicationDatenType &) {
        std::lock_guard g(seenLock);
        if (c != 0x77)
            seen.push_back({c, s, m});
    };
    const std::pair<Bytes, Bytes> cases[] = {
        {Message(0x80, 0x82, 0x4060, Cat({Le32(kPlci), {0x03, 0x00}, {0x02, 0x01, 0x02}})),
         Cat({Header(15, applId, 0x80, 0x83, 0x4060), Le32(kPlci), {0x03, 0x00, 0x00}})},
        {Message(0x87, 0x82, 0x4061, Cat({Le32(kNcci), {0x00}})),
         Cat({Header(12, applId, 0x87, 0x83, 0x4061), Le32(kNcci)})},
        {Message(0x88, 0x82, 0x4062, Cat({Le32(kNcci), {0x00}})),
         Cat({Header(12, applId, 0x88, 0x83, 0x4062), Le32(kNcci)})},
        {Message(0xFF, 0x82, 0x4063, Cat({Le32(1), Le32(0x214D5641), {0x01, 0x09}})),
         Cat({Header(17, applId, 0xFF, 0x83, 0x4063), Le32(1), Le32(0x214D5641), {0x00}})},
    };
    for (const auto &[indication, response] : cases) {
        fake.Push(indication);
        EXPECT_EQ(AwaitPut(indication[4], 0x83), response);
    }
    // OnMessage still sees each of them, and a message of unknown kind gets no response.
    capi->OnMessage = record;
    fake.Push(Message(0x80, 0x82, 0x4064, Cat({Le32(kPlci), {0x03, 0x00}, {0x00}})));
    fake.Push(Message(0x55, 0x82, 0x4065, Le32(1)));
    fake.Push(Message(0x06, 0x81, 0x4066, Le32(1)));
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard g(seenLock);
        return seen.size() == 3;
    }));
    EXPECT_EQ(seen[0], (std::array<uint32_t, 3>{0x80, 0x82, 0x4064}));
    EXPECT_EQ(seen[1], (std::array<uint32_t, 3>{0x55, 0x82, 0x4065}));
    EXPECT_EQ(seen[2], (std::array<uint32_t, 3>{0x06, 0x81, 0x4066}));
    EXPECT_TRUE(fake.PutsOf(0x55, 0x83).empty());
    capi->OnMessage = nullptr;
}

TEST_F(CallTest, MessageReceivedReplacesTheDispatcher)
{
    std::atomic<int> received{0};
    std::atomic<bool> rang{false};
    capi->OnRing = [&](TCapi20 *, const TCallDaten &) {
        rang = true;
        return RingResult::Accept;
    };
    capi->MessageReceived = [&](TCustomCapi20 *, uint32_t, uint32_t, uint32_t, IndicationDatenType &) {
        ++received;
    };
    fake.Push(Message(0x02, 0x82, 0x4001, ConnectInd(kPlci, 16, {0x00}, {0x00})));
    ASSERT_TRUE(WaitUntil([&] { return received == 1; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(rang);
    EXPECT_EQ(fake.putCount(), 0u);
    EXPECT_EQ(capi->PendingMsgID(), -1);
}

TEST_F(CallTest, InfoIndicationReachesOnInfoAndIsAnswered)
{
    std::atomic<uint32_t> info{0};
    CapiParameterType element{};
    capi->OnInfo = [&](TCapi20 *, uint32_t number, CapiParameterType &daten) {
        element = daten;
        info = number;
    };
    Deliver(Message(0x08, 0x82, 0x4070, Cat({Le32(kPlci), {0x28, 0x00}, {0x03, 'a', 'b', 'c'}})));
    EXPECT_EQ(info, 0x28u);
    EXPECT_EQ(element[0], 3);
    EXPECT_EQ(element[1], 'a');
    EXPECT_EQ(AwaitPut(0x08, 0x83), Cat({Header(12, applId, 0x08, 0x83, 0x4070), Le32(kPlci)}));
}

TEST_F(CallTest, ConfirmationErrorsAreReportedWithTheirCommand)
{
    std::vector<std::array<uint32_t, 3>> seen;
    capi->OnError = [&](TCustomCapi20 *, uint32_t c, uint32_t s, uint32_t n) { seen.push_back({c, s, n}); };
    Deliver(Message(0x05, 0x81, 1, Conf(1, 0x2002)));
    Deliver(Message(0x01, 0x81, 2, Conf(kPlci, 0)));
    Deliver(Message(0x86, 0x81, 3, Cat({Le32(kNcci), {0x01, 0x00}, {0x01, 0x30}})));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::array<uint32_t, 3>{0x05, 0x81, 0x2002}));
    EXPECT_EQ(seen[1], (std::array<uint32_t, 3>{0x86, 0x81, 0x3001}));
}

TEST_F(CallTest, DataBlockIsReadFromData64AndAnswered)
{
    BringUpIncomingB3();
    std::string received;
    std::atomic<int> count{0};
    capi->OnReceive = [&](TCapi20 *, int ncci, const char *data, uint32_t n) {
        if (ncci == int(kNcci))
            received.assign(data, n);
        ++count;
    };
    fake.PushDataB3Ind(kNcci, 9, Bytes{0xFF, 0x1E, 'x'}, 0x4080);
    ASSERT_TRUE(WaitUntil([&] { return count == 1; }));
    EXPECT_EQ(received, std::string("\xFF\x1Ex", 3));
    EXPECT_EQ(AwaitPut(0x86, 0x83), Cat({Header(14, applId, 0x86, 0x83, 0x4080), Le32(kNcci), {0x09, 0x00}}));
    // A block for a link we do not know is only answered.
    fake.PushDataB3Ind(kNcci + 0x10000, 4, Bytes{1, 2}, 0x4081);
    const Bytes resp = AwaitPut(0x86, 0x83, 2);
    EXPECT_EQ(Capi::ReadWord(resp.data(), resp.size(), 12), 4);
    EXPECT_EQ(count, 1);
}

TEST_F(CallTest, FailedB3RequestKeepsItsChannelUntilTheCallEnds)
{
    RingAndAnswer(RingResult::Accept);
    Deliver(Message(0x03, 0x82, 0x4002, Le32(kPlci)));
    ASSERT_TRUE(capi->ConnectB3());
    Deliver(Message(0x82, 0x81, 0, Conf(0, 0x2001)));
    EXPECT_TRUE(capi->Channel(1).InUse);
    EXPECT_EQ(capi->Channel(1).NCCI, -1);
    Deliver(Message(0x04, 0x81, 0, Conf(kPlci, 0)));
    EXPECT_FALSE(capi->Channel(1).InUse);
}

TEST_F(CallTest, ConnectB3NeedsAConnectedCall)
{
    EXPECT_FALSE(capi->ConnectB3());
    RingAndAnswer(RingResult::AlertOnly);
    EXPECT_FALSE(capi->ConnectB3());
    EXPECT_TRUE(fake.PutsOf(0x82, 0x80).empty());
}

TEST(FiFoBuffer, KeepsAtMostCapacityMinusOneAndDropsTheOldest)
{
    TFiFoBuffer fifo(4);
    EXPECT_EQ(fifo.Pop(), -1);
    for (int i = 1; i <= 5; ++i)
        fifo.Push(i);
    EXPECT_EQ(fifo.Pop(), 3);
    EXPECT_EQ(fifo.Pop(), 4);
    EXPECT_EQ(fifo.Pop(), 5);
    EXPECT_EQ(fifo.Pop(), -1);
    fifo.Push(7);
    fifo.Flush();
    EXPECT_EQ(fifo.Pop(), -1);
    EXPECT_EQ(TFiFoBuffer(500).Capacity(), 128);
    TFiFoBuffer one(0);
    one.Push(1);
    EXPECT_EQ(one.Pop(), -1);
}

// Thousands of random, truncated and mutated messages through fetching, decoding and the
// dispatcher: nothing crashes and the thread keeps going (run under the sanitizers to see it).
TEST_F(CallTest, RandomMessagesThroughTheDispatcher)
{
    std::atomic<int> rings{0};
    capi->OnRing = [&](TCapi20 *, const TCallDaten &d) {
        ++rings;
        return d.CIPValue % 2 ? RingResult::AlertOnly : uint32_t(d.CIPValue & 0xF003);
    };
    capi->OnReceive = [](TCapi20 *, int, const char *data, uint32_t n) {
        volatile char sink = 0;
        for (uint32_t i = 0; i < n; ++i)
            sink = char(sink ^ data[i]);
    };
    std::mt19937 random(4711);
    const uint8_t commands[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x08, 0x41, 0x80,
                                0x82, 0x83, 0x84, 0x86, 0x87, 0x88, 0xFF};
    for (int round = 0; round < 4000; ++round) {
        const size_t size = random() % 200;
        Bytes params(size);
        for (auto &b : params)
            b = uint8_t(random() % 4 == 0 ? random() : random() % 4);
        Bytes m = Message(commands[random() % std::size(commands)], random() % 2 ? 0x82 : 0x81,
                          uint16_t(random()), params);
        if (random() % 5 == 0)
            m[0] = uint8_t(random()); // a header length that lies
        fake.Push(m);
        if (round % 50 == 0)
            fake.PushDataB3Ind(uint32_t(random()), uint16_t(random()), Bytes(random() % 64, 0xAB),
                               uint16_t(round));
        if (round % 500 == 499)
            Deliver(Message(0x05, 0x81, 1, Conf(1, 0)));
    }
    Deliver(Message(0x05, 0x81, 1, Conf(1, 0)));
    EXPECT_TRUE(capi->Registered());
    EXPECT_GT(rings, 0);
    EXPECT_EQ(fake.Counter("queue"), 0);
}

// A handler that throws is reported, and the message is still answered and booked: otherwise a
// failing OnDisconnect left the call "connected" for good (every Dial refused) and the driver
// without its responses.
TEST_F(CallTest, ThrowingHandlersStillGetEveryIndicationAnsweredAndBooked)
{
    capi->OnRing = [](TCapi20 *, const TCallDaten &) -> uint32_t { throw std::runtime_error("ring"); };
    Deliver(Message(0x02, 0x82, 0x4001, ConnectInd(kPlci, 16, {0x04, 0x81, '1', '2', '3'}, {0x00})));
    const Bytes refused = AwaitPut(0x02, 0x83);
    ASSERT_GE(refused.size(), 14u);
    EXPECT_EQ(Capi::ReadWord(refused.data(), refused.size(), 12), 1); // ignored, as without a handler

    BringUpIncomingB3();
    capi->OnInfo = [](TCapi20 *, uint32_t, CapiParameterType &) { throw std::runtime_error("info"); };
    Deliver(Message(0x08, 0x82, 0x4010, Cat({Le32(kPlci), {0x1C, 0x00}, {0x00}})));
    EXPECT_EQ(AwaitPut(0x08, 0x83), Cat({Header(12, applId, 0x08, 0x83, 0x4010), Le32(kPlci)}));

    capi->OnBDisconnect = [](TCapi20 *, int, uint32_t) { throw std::runtime_error("b3"); };
    Deliver(Message(0x84, 0x82, 0x4011, Cat({Le32(kNcci), {0x00, 0x00}, {0x00}})));
    EXPECT_EQ(AwaitPut(0x84, 0x83), Cat({Header(12, applId, 0x84, 0x83, 0x4011), Le32(kNcci)}));
    EXPECT_FALSE(capi->Channel(1).InUse);
    EXPECT_EQ(capi->CallState(), 2);

    capi->OnDisconnect = [](TCapi20 *, uint32_t) { throw std::runtime_error("call"); };
    Deliver(Message(0x04, 0x82, 0x4012, Cat({Le32(kPlci), {0x90, 0x34}})));
    EXPECT_EQ(AwaitPut(0x04, 0x83), Cat({Header(12, applId, 0x04, 0x83, 0x4012), Le32(kPlci)}));
    EXPECT_EQ(capi->CallState(), 0);
    EXPECT_EQ(capi->PLCI(), -1);
    EXPECT_EQ(ErrorCount(ERR_HANDLER_FAILED), 4);

    capi->OnDisconnect = nullptr;
    fake.AutoReply(0x02, 0x80, Message(0x02, 0x81, 0, Conf(0x0201, 0)));
    EXPECT_TRUE(capi->Dial(QStringLiteral("123"), QString(), 6));
}

// A handler that waits while a lost connection is being released (here OnDisconnect ending the
// call) drains on the message thread and finds the connection still lost: the release must not
// start over inside itself.
TEST_F(CallTest, WaitInsideTheReleaseOfALostConnectionDoesNotReleaseAgain)
{
    BringUpIncomingB3();
    auto ticks = std::make_shared<std::atomic<qint64>>(0);
    Clock::setTickSource([ticks] { return ticks->fetch_add(100); }); // the 10 s wait ends after 100 rounds
    const auto restoreClock = qScopeGuard([] { Clock::setTickSource(nullptr); });
    auto disconnects = std::make_shared<std::atomic<int>>(0);
    capi->OnDisconnect = [disconnects](TCapi20 *sender, uint32_t) {
        if (++*disconnects == 1)
            sender->Disconnect();
    };
    fake.loseConnection();
    ASSERT_TRUE(WaitUntil([&] { return ErrorCount(ERR_CONNECTION_LOST) > 0 && !capi->Registered(); }));
    QThread::msleep(20);
    EXPECT_EQ(ErrorCount(ERR_CONNECTION_LOST), 1);
    EXPECT_EQ(disconnects->load(), 1);
    EXPECT_EQ(fake.Counter("release"), 1);
}
