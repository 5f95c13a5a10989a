// The exchange through the real libcapi20: one isdnsim process (unthrottled B channel) serves
// every case of this executable.
#include "SimFixture.h"

#include <chrono>
#include <cstdio>
#include <future>
#include <sys/wait.h>
#include <thread>

using namespace simtest;

namespace {

class SimCapi : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { startServer({"--rate", "0"}); }

    void registerApp(CapiClient &app, unsigned maxBlocks = 7)
    {
        ASSERT_EQ(app.registerApp(2, maxBlocks, 2048), 0u);
        ASSERT_GE(app.applId(), 1);
        ASSERT_LE(app.applId(), 1023);
    }

    // Places a call from the control interface; the returned client streams its events.
    std::unique_ptr<ControlClient> placeCall(const std::string &args)
    {
        auto c = control();
        std::string line;
        EXPECT_TRUE(c->sendLine("CALL " + args));
        EXPECT_TRUE(c->readLine(&line, 5000));
        EXPECT_EQ(line.rfind("OK call=", 0), 0u) << line;
        return c;
    }

    // Reads the call's stream up to its END line.
    CallReport finish(ControlClient &c)
    {
        CallReport r;
        std::string line;
        while (!r.complete && c.readLine(&line, 10000))
            r.add(line);
        EXPECT_TRUE(r.complete);
        return r;
    }

    // A dials B (service 6) and B accepts; both ends connected.
    void connectApps(CapiClient &a, CapiClient &b, uint32_t *plciA, uint32_t *plciB)
    {
        ASSERT_EQ(a.put(a.connectRequest(2, Bytes{0x80, '1', '2', '3'},
                                         Bytes{0x00, 0x80, '0', '4', '0', '5', '5', '5'})),
                  0u);
        const Message conf = expectMessage(a, CmdConnect, SubConf);
        ASSERT_EQ(conf.num(1), 0u);
        *plciA = uint32_t(conf.num(0));
        const Message ind = expectMessage(b, CmdConnect, SubInd);
        EXPECT_EQ(ind.num(1), 2u);
        EXPECT_EQ(ind.str(2), (Bytes{0x81, '1', '2', '3'}));
        EXPECT_EQ(ind.str(3), (Bytes{0x21, 0x81, '4', '0', '5', '5', '5'}));
        EXPECT_EQ(ind.str(6), (Bytes{0x88, 0x90}));
        *plciB = uint32_t(ind.num(0));
        connectResp(b, ind, 0);
        const Message actB = expectMessage(b, CmdConnectActive, SubInd);
        EXPECT_EQ(actB.num(0), *plciB);
        respond(b, actB, CmdConnectActive);
        const Message actA = expectMessage(a, CmdConnectActive, SubInd);
        EXPECT_EQ(actA.num(0), *plciA);
        EXPECT_EQ(actA.str(1), (Bytes{0x00, 0x80, '4', '7', '1', '1'})); // B's connected number
        respond(a, actA, CmdConnectActive);
    }

    // A asks for the B3 link, B accepts; returns both NCCIs.
    void connectB3(CapiClient &a, CapiClient &b, uint32_t plciA, uint32_t *ncciA, uint32_t *ncciB)
    {
        ASSERT_EQ(a.put(a.request(CmdConnectB3).dword(plciA).empty().finish()), 0u);
        const Message conf = expectMessage(a, CmdConnectB3, SubConf);
        ASSERT_EQ(conf.num(1), 0u);
        *ncciA = uint32_t(conf.num(0));
        EXPECT_EQ(*ncciA & 0xFFFF, plciA);
        EXPECT_NE(*ncciA >> 16, 0u);
        const Message ind = expectMessage(b, CmdConnectB3, SubInd);
        *ncciB = uint32_t(ind.num(0));
        ASSERT_EQ(b.put(b.response(CmdConnectB3, ind).dword(*ncciB).word(0).empty().finish()), 0u);
        for (CapiClient *x : {&b, &a}) {
            const Message act = expectMessage(*x, CmdConnectB3Active, SubInd);
            EXPECT_EQ(act.num(0), x == &a ? *ncciA : *ncciB);
            respond(*x, act, CmdConnectB3Active);
        }
    }

    void sendData(CapiClient &app, uint32_t ncci, const Bytes &data, uint16_t handle)
    {
        ASSERT_EQ(app.put(app.request(CmdDataB3)
                              .dword(ncci)
                              .dword(0)
                              .word(uint16_t(data.size()))
                              .word(handle)
                              .word(0)
                              .finish(),
                          data),
                  0u);
    }

    // Expects the DISCONNECT_IND of a leg and answers it.
    void expectDisconnect(CapiClient &app, uint32_t plci, uint16_t reason)
    {
        const Message d = expectMessage(app, CmdDisconnect, SubInd);
        EXPECT_EQ(d.num(0), plci);
        EXPECT_EQ(d.num(1), reason);
        respond(app, d, CmdDisconnect);
    }
};

TEST_F(SimCapi, RegisterListenProfileAndStatus)
{
    CapiClient a, b;
    registerApp(a);
    registerApp(b);
    EXPECT_NE(a.applId(), b.applId());
    listen(a, 0x1FFF03FF);
    listen(b, 0x00010000);
    listen(b, 0x00010000, 0x2002, 2); // no second controller

    const auto status = control()->request("STATUS", 5000);
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.back(), "END");
    const std::string wantA = "APPL appl=" + std::to_string(a.applId()) +
                              " controller=1 info_mask=0x0 cip_mask=0x1FFF03FF cip_mask2=0x0 plcis=0";
    EXPECT_NE(std::find(status.begin(), status.end(), wantA), status.end());

    const auto events = control()->request("EVENTS since=0", 5000);
    bool sawListen = false;
    for (const auto &e : events)
        sawListen |= e.find("listen appl=" + std::to_string(b.applId()) +
                            " controller=1 info_mask=0x0 cip_mask=0x10000") != std::string::npos;
    EXPECT_TRUE(sawListen);

    uint8_t profile[64];
    ASSERT_EQ(getProfile(1, profile), 0u);
    EXPECT_EQ(rd16(profile), 1);     // controllers
    EXPECT_EQ(rd16(profile + 2), 2); // B channels
    ASSERT_EQ(getProfile(0, profile), 0u);
    EXPECT_EQ(rd16(profile), 1);

    // After a release the id is free and the application gone from the exchange.
    const uint16_t old = a.applId();
    ASSERT_EQ(a.release(), 0u);
    // (The release travels on another connection than the status request: look until it is in.)
    EXPECT_TRUE(eventually([&] {
        const auto after = control()->request("STATUS", 5000);
        return !after.empty() && std::none_of(after.begin(), after.end(), [&](const std::string &l) {
            return l.find("appl=" + std::to_string(old) + " ") != std::string::npos;
        });
    }));
}

TEST_F(SimCapi, OfferedCallCarriesNetworkStructsAndHonoursCipMask)
{
    CapiClient tel, data;
    registerApp(tel);
    registerApp(data);
    listen(tel, 1u << 16);
    listen(data, 1u << 2);

    auto call = placeCall("from=0301234567 to=4711 cip=16");
    const Message ind = expectMessage(tel, CmdConnect, SubInd);
    const uint32_t plci = uint32_t(ind.num(0));
    EXPECT_EQ(plci & 0xFF, 1u);
    EXPECT_NE(plci & 0xFF00, 0u);
    EXPECT_EQ(ind.num(1), 16u);
    EXPECT_EQ(ind.str(2), (Bytes{0x81, '4', '7', '1', '1'}));
    EXPECT_EQ(ind.str(3), (Bytes{0x21, 0x81, '3', '0', '1', '2', '3', '4', '5', '6', '7'}));
    EXPECT_TRUE(ind.str(4).empty());
    EXPECT_TRUE(ind.str(5).empty());
    EXPECT_EQ(ind.str(6), (Bytes{0x80, 0x90, 0xA3}));
    EXPECT_TRUE(ind.str(7).empty());
    EXPECT_EQ(ind.str(8), (Bytes{0x91, 0x81}));
    EXPECT_EQ(ind.str(9), (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00})); // with "sending complete"
    expectQuiet(data);                     // its mask does not cover telephony
    EXPECT_EQ(cmsgCIP(tel.lastRaw()), 16); // the library's own decoder agrees
    connectResp(tel, ind, 1);
    expectDisconnect(tel, plci, 0);
    const CallReport r = finish(*call);
    EXPECT_EQ(r.offered, 1);
    EXPECT_EQ(r.result, "ignored");
    ASSERT_EQ(r.format().size(), 1u);
    EXPECT_EQ(r.format()[0], "application " + std::to_string(tel.applId()) + ": ignored (Reject 1)");

    // A call without a number, and "any service" in the mask.
    listen(data, 1);
    auto anon = placeCall("from=- to=99 cip=4");
    const Message ind2 = expectMessage(data, CmdConnect, SubInd);
    EXPECT_TRUE(ind2.str(3).empty());
    EXPECT_EQ(ind2.num(1), 4u);
    expectQuiet(tel);
    ASSERT_TRUE(anon->sendLine("HANGUP"));
    expectDisconnect(data, uint32_t(ind2.num(0)), 0x3490);
    EXPECT_EQ(finish(*anon).result, "hung-up");
}

TEST_F(SimCapi, EachReactionReachesTheExchange)
{
    CapiClient a, b;
    registerApp(a);
    registerApp(b);
    listen(a, 0x1FFF03FF);
    listen(b, 0x1FFF03FF);

    // b busy, a alerts and then takes the call; the caller hangs up.
    {
        auto call = placeCall("from=0301234567 to=4711 cip=16");
        const Message ia = expectMessage(a, CmdConnect, SubInd);
        const Message ib = expectMessage(b, CmdConnect, SubInd);
        EXPECT_NE(ia.num(0), ib.num(0));
        ASSERT_EQ(a.put(a.request(CmdAlert).dword(uint32_t(ia.num(0))).structure(additionalInfo()).finish()),
                  0u);
        EXPECT_EQ(expectMessage(a, CmdAlert, SubConf).num(1), 0u);
        ASSERT_EQ(a.put(a.request(CmdAlert).dword(uint32_t(ia.num(0))).structure(additionalInfo()).finish()),
                  0u);
        EXPECT_EQ(expectMessage(a, CmdAlert, SubConf).num(1), 0x0003u); // already alerted
        connectResp(b, ib, 3);
        expectDisconnect(b, uint32_t(ib.num(0)), 0);
        connectResp(a, ia, 0);
        const Message act = expectMessage(a, CmdConnectActive, SubInd);
        respond(a, act, CmdConnectActive);
        std::string line;
        std::vector<std::string> seen;
        while (call->readLine(&line, 5000) && line.rfind("CONNECTED", 0) != 0)
            seen.push_back(line);
        ASSERT_EQ(line, "CONNECTED appl=" + std::to_string(a.applId()));
        ASSERT_TRUE(call->sendLine("HANGUP"));
        expectDisconnect(a, uint32_t(ia.num(0)), 0x3490);
        CallReport r;
        for (const auto &s : seen)
            r.add(s);
        r.add(line);
        const CallReport rest = finish(*call);
        EXPECT_EQ(rest.result, "connected");
        const auto lines = r.format();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "application " + std::to_string(a.applId()) + ": alerted, accepted");
        EXPECT_EQ(lines[1], "application " + std::to_string(b.applId()) + ": rejected (Reject 3)");
    }
    // Both decline: the caller hears busy.
    {
        auto call = placeCall("from=0301234567 to=4711 cip=16");
        const Message ia = expectMessage(a, CmdConnect, SubInd);
        const Message ib = expectMessage(b, CmdConnect, SubInd);
        connectResp(a, ia, 1);
        connectResp(b, ib, 3);
        expectDisconnect(a, uint32_t(ia.num(0)), 0);
        expectDisconnect(b, uint32_t(ib.num(0)), 0);
        const CallReport r = finish(*call);
        EXPECT_EQ(r.result, "busy");
        EXPECT_EQ(lineValue(r.endLine, "reason"), "0x3491");
    }
    // Both accept: the second is cleared as a non-selected user, once.
    {
        auto call = placeCall("from=0301234567 to=4711 cip=2");
        const Message ia = expectMessage(a, CmdConnect, SubInd);
        const Message ib = expectMessage(b, CmdConnect, SubInd);
        connectResp(a, ia, 0);
        respond(a, expectMessage(a, CmdConnectActive, SubInd), CmdConnectActive);
        expectDisconnect(b, uint32_t(ib.num(0)), 0x349A);
        connectResp(b, ib, 0); // too late: ignored
        expectQuiet(b);
        // The accepting end clears.
        ASSERT_EQ(
            a.put(a.request(CmdDisconnect).dword(uint32_t(ia.num(0))).structure(additionalInfo()).finish()),
            0u);
        EXPECT_EQ(expectMessage(a, CmdDisconnect, SubConf).num(1), 0u);
        expectDisconnect(a, uint32_t(ia.num(0)), 0);
        EXPECT_EQ(finish(*call).result, "connected");
    }
    // Answers with an unknown PLCI get a clean error.
    ASSERT_EQ(a.put(a.request(CmdAlert).dword(0x7F01).structure(additionalInfo()).finish()), 0u);
    EXPECT_EQ(expectMessage(a, CmdAlert, SubConf).num(1), 0x2002u);
}

TEST_F(SimCapi, CallerHangsUpWhileRinging)
{
    CapiClient a, b;
    registerApp(a);
    registerApp(b);
    listen(b, 0x1FFF03FF);
    uint32_t plciA = 0;
    ASSERT_EQ(a.put(a.connectRequest(16, Bytes{0x80, '5', '5'}, Bytes{0x00, 0xA0})), 0u);
    const Message conf = expectMessage(a, CmdConnect, SubConf);
    plciA = uint32_t(conf.num(0));
    const Message ind = expectMessage(b, CmdConnect, SubInd);
    // No own number: the exchange delivers the line's number.
    EXPECT_EQ(ind.str(3), (Bytes{0x21, 0x81, '3', '0', '1', '2', '3', '4', '5', '0', '0'}));
    ASSERT_EQ(b.put(b.request(CmdAlert).dword(uint32_t(ind.num(0))).structure(additionalInfo()).finish()),
              0u);
    expectMessage(b, CmdAlert, SubConf);
    ASSERT_EQ(a.put(a.request(CmdDisconnect).dword(plciA).structure(additionalInfo()).finish()), 0u);
    EXPECT_EQ(expectMessage(a, CmdDisconnect, SubConf).num(1), 0u);
    expectDisconnect(a, plciA, 0);
    expectDisconnect(b, uint32_t(ind.num(0)), 0x3490);

    // The same from the control interface, by its hang-up timer.
    auto call = placeCall("from=0301234567 to=4711 cip=16 hangup_after_ms=300");
    const Message ind2 = expectMessage(b, CmdConnect, SubInd);
    expectDisconnect(b, uint32_t(ind2.num(0)), 0x3490);
    const CallReport r = finish(*call);
    EXPECT_EQ(r.result, "hung-up");
}

TEST_F(SimCapi, DiallingAServiceNobodyListensForIsClearedAtOnce)
{
    CapiClient a, b;
    registerApp(a);
    registerApp(b);
    listen(b, 1u << 16); // telephony only
    ASSERT_EQ(a.put(a.connectRequest(2, Bytes{0x80, '9'}, Bytes{0x00, 0xA0})), 0u);
    const Message conf = expectMessage(a, CmdConnect, SubConf);
    EXPECT_EQ(conf.num(1), 0u);
    expectDisconnect(a, uint32_t(conf.num(0)), 0x3492);
    expectQuiet(b);
    // Nothing of the call is left at the exchange once the response is in (it travels on
    // another connection than the status request, so look until it has arrived).
    const std::string mine = "APPL appl=" + std::to_string(a.applId()) + " ";
    std::vector<std::string> status;
    auto clean = [&] {
        status = control()->request("STATUS", 5000);
        for (const auto &l : status)
            if (l.rfind("CALL ", 0) == 0 || (l.rfind(mine, 0) == 0 && l.find("plcis=0") == std::string::npos))
                return false;
        return !status.empty();
    };
    eventually(clean);
    EXPECT_TRUE(clean()) << status.front();
}

TEST_F(SimCapi, DataCallRelaysBlocksWithFlowControl)
{
    CapiClient a, b;
    registerApp(a);
    registerApp(b, 2); // b holds at most two unanswered blocks
    listen(b, 1u << 2);
    uint32_t plciA, plciB, ncciA, ncciB;
    connectApps(a, b, &plciA, &plciB);
    connectB3(a, b, plciA, &ncciA, &ncciB);

    // Five blocks from a: only two reach b until b answers.
    for (uint16_t i = 0; i < 5; ++i)
        sendData(a, ncciA, Bytes(100 + i, uint8_t('A' + i)), uint16_t(10 + i));
    std::vector<Message> got;
    for (int i = 0; i < 2; ++i) {
        got.push_back(expectMessage(b, CmdDataB3, SubInd));
        EXPECT_EQ(got.back().num(0), ncciB);
        EXPECT_EQ(got.back().payload, Bytes(100 + i, uint8_t('A' + i)));
    }
    expectQuiet(b, 200);
    for (int i = 0; i < 2; ++i) {
        const Message c = expectMessage(a, CmdDataB3, SubConf);
        EXPECT_EQ(c.num(1), 10u + i);
        EXPECT_EQ(c.num(2), 0u);
    }
    for (int i = 2; i < 5; ++i) {
        const Message &old = got[size_t(i - 2)];
        ASSERT_EQ(b.put(b.response(CmdDataB3, old).dword(ncciB).word(uint16_t(old.num(3))).finish()), 0u);
        got.push_back(expectMessage(b, CmdDataB3, SubInd));
        EXPECT_EQ(got.back().payload, Bytes(100 + i, uint8_t('A' + i)));
        EXPECT_EQ(expectMessage(a, CmdDataB3, SubConf).num(1), 10u + i);
    }
    for (int i = 3; i < 5; ++i)
        ASSERT_EQ(b.put(b.response(CmdDataB3, got[size_t(i)])
                            .dword(ncciB)
                            .word(uint16_t(got[size_t(i)].num(3)))
                            .finish()),
                  0u);

    // And back: a full-size block.
    Bytes big(2048);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7);
    sendData(b, ncciB, big, 1);
    const Message back = expectMessage(a, CmdDataB3, SubInd);
    EXPECT_EQ(back.payload, big);
    EXPECT_EQ(expectMessage(b, CmdDataB3, SubConf).num(2), 0u);
    ASSERT_EQ(a.put(a.response(CmdDataB3, back).dword(ncciA).word(uint16_t(back.num(3))).finish()), 0u);

    // A block longer than b's window size limit, and one on a wrong NCCI.
    sendData(a, ncciA, Bytes(2049, 1), 7);
    EXPECT_EQ(expectMessage(a, CmdDataB3, SubConf).num(2), 0x300Cu);
    sendData(a, ncciA + 0x10000, Bytes(5, 1), 8);
    EXPECT_EQ(expectMessage(a, CmdDataB3, SubConf).num(2), 0x2002u);

    // B3 down from b, then a clears the call.
    ASSERT_EQ(b.put(b.request(CmdDisconnectB3).dword(ncciB).empty().finish()), 0u);
    EXPECT_EQ(expectMessage(b, CmdDisconnectB3, SubConf).num(1), 0u);
    for (CapiClient *x : {&a, &b}) {
        const Message d = expectMessage(*x, CmdDisconnectB3, SubInd);
        EXPECT_EQ(d.num(0), x == &a ? ncciA : ncciB);
        respond(*x, d, CmdDisconnectB3);
    }
    ASSERT_EQ(a.put(a.request(CmdDisconnect).dword(plciA).structure(additionalInfo()).finish()), 0u);
    EXPECT_EQ(expectMessage(a, CmdDisconnect, SubConf).num(1), 0u);
    expectDisconnect(a, plciA, 0);
    expectDisconnect(b, plciB, 0x3490);
}

TEST_F(SimCapi, ReleaseWhileConnectedClearsTheOtherEnd)
{
    CapiClient a, b;
    registerApp(a);
    registerApp(b);
    listen(b, 1u << 2);
    uint32_t plciA, plciB, ncciA, ncciB;
    connectApps(a, b, &plciA, &plciB);
    connectB3(a, b, plciA, &ncciA, &ncciB);
    sendData(a, ncciA, Bytes(10, 9), 1); // left unanswered at b
    expectMessage(b, CmdDataB3, SubInd);
    ASSERT_EQ(a.release(), 0u);
    const Message d3 = expectMessage(b, CmdDisconnectB3, SubInd);
    EXPECT_EQ(d3.num(0), ncciB);
    respond(b, d3, CmdDisconnectB3);
    expectDisconnect(b, plciB, 0x3490);
    expectQuiet(b);
}

TEST_F(SimCapi, CallCommandReportsEachApplication)
{
    CapiClient a;
    registerApp(a);
    listen(a, 0x1FFF03FF);
    const std::string cmd = std::string(ISDNSIM_EXE) +
                            " call --server 127.0.0.1:" + std::to_string(server().port()) +
                            " --from 0301234567 --to 4711 --service telephony --hangup-after-ms 20000";
    auto run = std::async(std::launch::async, [cmd] {
        std::string out;
        FILE *p = ::popen(cmd.c_str(), "r");
        char buf[256];
        while (p && std::fgets(buf, sizeof buf, p))
            out += buf;
        const int status = p ? ::pclose(p) : -1;
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, out);
    });
    const Message ind = expectMessage(a, CmdConnect, SubInd, 10000);
    connectResp(a, ind, 3);
    expectDisconnect(a, uint32_t(ind.num(0)), 0);
    const auto [code, out] = run.get();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out,
              "application " + std::to_string(a.applId()) +
                  ": rejected (Reject 3)\n"
                  "summary: call from 0301234567 to 4711 (CIP 16) offered to 1 application, result: busy\n");

    // A service nobody listens for: nobody is offered the call.
    listen(a, 1u << 16);
    const std::string fax = std::string(ISDNSIM_EXE) +
                            " call --server 127.0.0.1:" + std::to_string(server().port()) +
                            " --from '' --to 4711 --service fax4 >/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(fax.c_str())), 1);
}

} // namespace
