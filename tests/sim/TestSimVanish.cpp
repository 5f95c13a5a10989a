// The exchange's timers and its sudden end, through the real libcapi20: an unanswered call runs
// into the ring timeout, and an exchange killed mid-call leaves no client hanging.
#include "SimFixture.h"

#include <chrono>
#include <csignal>

using namespace simtest;

namespace {

class SimVanish : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { startServer({"--ring-timeout-ms", "2000"}); }
};

TEST_F(SimVanish, RingTimeoutClearsAnAlertedCall)
{
    CapiClient a;
    ASSERT_EQ(a.registerApp(), 0u);
    listen(a, 0x1FFF03FF);
    auto call = control();
    ASSERT_TRUE(call->sendLine("CALL from=0301234567 to=4711 cip=16"));
    const Message ind = expectMessage(a, CmdConnect, SubInd);
    ASSERT_EQ(a.put(a.request(CmdAlert).dword(uint32_t(ind.num(0))).structure(additionalInfo()).finish()),
              0u);
    expectMessage(a, CmdAlert, SubConf);
    const Message d = expectMessage(a, CmdDisconnect, SubInd, 20000);
    EXPECT_EQ(d.num(1), 0x3490u);
    respond(a, d, CmdDisconnect);
    CallReport r;
    std::string line;
    while (!r.complete && call->readLine(&line, 10000))
        r.add(line);
    EXPECT_EQ(r.result, "no-answer");
    EXPECT_EQ(lineValue(r.endLine, "reason"), "0x3493");
}

TEST_F(SimVanish, ExchangeKilledMidCallLeavesNothingHanging)
{
    CapiClient a, b;
    ASSERT_EQ(a.registerApp(), 0u);
    ASSERT_EQ(b.registerApp(), 0u);
    listen(b, 1u << 2);
    ASSERT_EQ(a.put(a.connectRequest(2, Bytes{0x80, '7', '7'}, Bytes{0x00, 0xA0})), 0u);
    const uint32_t plciA = uint32_t(expectMessage(a, CmdConnect, SubConf).num(0));
    const Message ind = expectMessage(b, CmdConnect, SubInd);
    connectResp(b, ind, 0);
    respond(b, expectMessage(b, CmdConnectActive, SubInd), CmdConnectActive);
    respond(a, expectMessage(a, CmdConnectActive, SubInd), CmdConnectActive);
    ASSERT_EQ(a.put(a.request(CmdConnectB3).dword(plciA).empty().finish()), 0u);
    expectMessage(a, CmdConnectB3, SubConf);

    server().kill(SIGKILL);
    const auto start = std::chrono::steady_clock::now();
    // Messages sent before the end may still be read; then each end sees the exchange gone.
    Message m;
    for (CapiClient *x : {&b, &a}) {
        int drained = 0;
        while (x->get(&m, 10000) && drained < 3)
            ++drained;
        EXPECT_LE(drained, 1);
        EXPECT_TRUE(x->serverGone());
        EXPECT_FALSE(x->get(&m, 100));
    }
    // Putting to a vanished exchange does not kill the process (whether a put already reports the
    // broken connection depends on when the reset arrives), and releasing returns.
    for (int i = 0; i < 3; ++i)
        a.put(a.request(CmdDisconnect).dword(plciA).structure(additionalInfo()).finish());
    a.release();
    b.release();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

} // namespace
