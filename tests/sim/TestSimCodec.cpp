// The exchange's message layer and its defences, in-process over raw sockets: message parsing,
// number structs, malformed frames answered cleanly, the control interface's errors, and
// disjoint application id blocks for exchanges running at the same time.
#include "CapiMessage.h"
#include "ControlClient.h"
#include "Exchange.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace isdnsim;

namespace {

TEST(SimMessage, ParsesAndRejectsByLayout)
{
    const Bytes listen = {0x1A, 0x00, 0x05, 0x00, 0x05, 0x80, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
                          0x00, 0x00, 0x00, 0xFF, 0x03, 0xFF, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    Message m = parseMessage(listen.data(), listen.size());
    ASSERT_TRUE(m.ok()) << m.error;
    EXPECT_EQ(messageName(m.command, m.subcommand), "LISTEN_REQ");
    EXPECT_EQ(m.applId, 5);
    EXPECT_EQ(m.num(0), 1u);
    EXPECT_EQ(m.num(2), 0x1FFF03FFu);

    // Cut inside the CIP mask, a struct running past the end, bytes behind a message.
    Bytes cut(listen.begin(), listen.begin() + 18);
    cut[0] = 18;
    EXPECT_FALSE(parseMessage(cut.data(), cut.size()).ok());
    Bytes longStruct = listen;
    longStruct[24] = 5;
    EXPECT_FALSE(parseMessage(longStruct.data(), longStruct.size()).ok());
    Bytes trailing = listen;
    trailing.push_back(0);
    EXPECT_FALSE(parseMessage(trailing.data(), trailing.size()).ok());
    EXPECT_FALSE(parseMessage(listen.data(), 7).ok());

    // Escaped struct length, and a DATA_B3_REQ whose data length disagrees with the frame.
    const Bytes b3 =
        MessageBuilder(5, CmdConnectB3, SubReq, 2).dword(0x101).byte(0xFF).word(2).byte(7).byte(8).finish();
    m = parseMessage(b3.data(), b3.size());
    ASSERT_TRUE(m.ok()) << m.error;
    EXPECT_EQ(m.str(1), (Bytes{7, 8}));
    Bytes data =
        MessageBuilder(5, CmdDataB3, SubReq, 3).dword(0x10101).dword(0).word(4).word(1).word(0).finish();
    data.insert(data.end(), {1, 2, 3, 4});
    m = parseMessage(data.data(), data.size());
    ASSERT_TRUE(m.ok()) << m.error;
    EXPECT_EQ(m.payload, (Bytes{1, 2, 3, 4}));
    data.pop_back();
    EXPECT_FALSE(parseMessage(data.data(), data.size()).ok());
}

TEST(SimMessage, NumbersAndServices)
{
    EXPECT_EQ(callingPartyNumber("0301234567"),
              (Bytes{0x21, 0x81, '3', '0', '1', '2', '3', '4', '5', '6', '7'}));
    EXPECT_EQ(callingPartyNumber("0049301"), (Bytes{0x11, 0x81, '4', '9', '3', '0', '1'}));
    EXPECT_EQ(callingPartyNumber("1234"), (Bytes{0x41, 0x81, '1', '2', '3', '4'}));
    EXPECT_TRUE(callingPartyNumber("").empty());
    EXPECT_EQ(numberDigits(Bytes{0x00, 0x80, '4', '7'}, true), "47");
    EXPECT_EQ(numberDigits(Bytes{0x80, '4', '7'}, true), "47"); // no presentation octet
    EXPECT_EQ(numberDigits(Bytes{0x00, 0xA0}, true), "");
    EXPECT_EQ(numberDigits(Bytes{0x81, '1'}, false), "1");
    EXPECT_EQ(cipForService("telephony"), 16);
    EXPECT_EQ(cipForService("analog"), 4);
    EXPECT_EQ(cipForService("fax3"), 17);
    EXPECT_EQ(cipForService("fax4"), 18);
    EXPECT_EQ(cipForService("data64"), 2);
    EXPECT_EQ(cipForService("data56"), 8);
    EXPECT_EQ(cipForService("9"), 9);
    EXPECT_EQ(cipForService("32"), -1);
    EXPECT_EQ(cipForService("fax"), -1);
}

// Found by fuzzing: a line with a number that was none ended `isdnsim call` with an exception.
TEST(SimControl, CallReportTakesDamagedLinesAsUnknownNumbers)
{
    CallReport r;
    r.add("OFFERED appl=7 plci=0x101");
    r.add("OFFERED appl=x");
    r.add("ALERTED appl=99999999999999999999");
    r.add("ACCEPTED appl=7");
    r.add("END offered=many result=connected");
    EXPECT_EQ(r.order, (std::vector<uint16_t>{7, 0}));
    EXPECT_EQ(r.reactions[7], (std::vector<std::string>{"accepted"}));
    EXPECT_EQ(r.reactions[0], (std::vector<std::string>{"alerted"}));
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.offered, 0);
    EXPECT_EQ(r.result, "connected");
    r.add("END offered=2 result=busy");
    EXPECT_EQ(r.offered, 2);
}

// An exchange running on a thread of the test, and a raw connection to it.
class InProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Options o;
        o.port = 0;
        o.errorOut = std::tmpfile(); // expected complaints stay out of the test log
        m_errors = o.errorOut;
        o.trace = true;
        o.traceOut = m_trace = std::tmpfile();
        m_ex = std::make_unique<Exchange>(o);
        std::string error;
        ASSERT_TRUE(m_ex->listen(&error)) << error;
        m_thread = std::thread([this] { m_ex->run(); });
    }
    void TearDown() override
    {
        m_ex->stop();
        m_thread.join();
        m_ex.reset();
        std::fclose(m_errors);
        std::fclose(m_trace);
    }
    // What the exchange traced so far (read after the exchange has stopped).
    std::string traced()
    {
        std::string text;
        std::rewind(m_trace);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, m_trace)) > 0)
            text.append(buf, n);
        return text;
    }

    int connectRaw()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(m_ex->port());
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        return fd;
    }
    static void sendFrame(int fd, const Bytes &content)
    {
        Bytes f{0x80, uint8_t(content.size()), uint8_t(content.size() >> 8)};
        f.insert(f.end(), content.begin(), content.end());
        ASSERT_EQ(::send(fd, f.data(), f.size(), MSG_NOSIGNAL), ssize_t(f.size()));
    }
    // Reads exactly n bytes; false on end of stream or after 5 s.
    static bool readBytes(int fd, uint8_t *buf, size_t n)
    {
        size_t got = 0;
        while (got < n) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return false;
            const ssize_t r = ::recv(fd, buf + got, n - got, 0);
            if (r <= 0)
                return false;
            got += size_t(r);
        }
        return true;
    }
    static Message readMessage(int fd)
    {
        uint8_t head[3];
        if (!readBytes(fd, head, 3) || head[0] != 0x80)
            return {};
        Bytes body(rd16(head + 1));
        if (!readBytes(fd, body.data(), body.size()))
            return {};
        return parseMessage(body.data(), body.size());
    }
    // Registers over a new connection; returns the ApplID from the one-byte-length reply.
    uint16_t registerRaw(int fd)
    {
        sendFrame(fd, {0x14, 0x00, 0x00, 0x00, 0x20, 0x80, 0x01, 0x00, 0x02, 0x00,
                       0x09, 0x00, 0x00, 0x06, 2,    0,    7,    0,    0x00, 0x08});
        uint8_t head[2];
        EXPECT_TRUE(readBytes(fd, head, 2));
        EXPECT_EQ(head[0], 0x80);
        Bytes p(head[1]);
        EXPECT_TRUE(readBytes(fd, p.data(), p.size()));
        EXPECT_GE(p.size(), 18u);
        if (p.size() < 18)
            return 0;
        EXPECT_EQ(rd16(&p[16]), 0);
        return rd16(&p[2]);
    }
    static bool closedByPeer(int fd)
    {
        uint8_t b;
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 5000) == 1 && ::recv(fd, &b, 1, 0) == 0;
    }

    std::unique_ptr<Exchange> m_ex;
    std::thread m_thread;
    FILE *m_errors = nullptr;
    FILE *m_trace = nullptr;
};

TEST_F(InProcess, MalformedMessagesGetCleanErrors)
{
    const int fd = connectRaw();
    const uint16_t id = registerRaw(fd);
    ASSERT_GE(id, 1);
    ASSERT_LE(id, 1023);

    // LISTEN_REQ cut after its controller: confirmed with a parameter error.
    sendFrame(fd, MessageBuilder(id, CmdListen, SubReq, 7).dword(1).finish());
    Message m = readMessage(fd);
    EXPECT_EQ(messageName(m.command, m.subcommand), "LISTEN_CONF");
    EXPECT_EQ(m.number, 7);
    EXPECT_EQ(m.num(1), 0x2007u);

    // DATA_B3_REQ announcing more data than it carries.
    Bytes data =
        MessageBuilder(id, CmdDataB3, SubReq, 8).dword(0x10101).dword(0).word(100).word(42).word(0).finish();
    data.insert(data.end(), 10, 0);
    sendFrame(fd, data);
    m = readMessage(fd);
    EXPECT_EQ(messageName(m.command, m.subcommand), "DATA_B3_CONF");
    EXPECT_EQ(m.num(1), 42u);
    EXPECT_EQ(m.num(2), 0x2007u);

    // An unknown command gets nothing; the connection keeps working.
    sendFrame(fd, MessageBuilder(id, 0x55, SubReq, 9).dword(1).finish());
    sendFrame(fd, MessageBuilder(id, CmdListen, SubReq, 10)
                      .dword(1)
                      .dword(0)
                      .dword(1)
                      .dword(0)
                      .empty()
                      .empty()
                      .finish());
    m = readMessage(fd);
    EXPECT_EQ(messageName(m.command, m.subcommand), "LISTEN_CONF");
    EXPECT_EQ(m.number, 10);
    EXPECT_EQ(m.num(1), 0u);

    // A frame without its 0x80 ends this connection only.
    const uint8_t junk[] = {0x12, 0x00, 0x34};
    ASSERT_EQ(::send(fd, junk, sizeof junk, MSG_NOSIGNAL), 3);
    EXPECT_TRUE(closedByPeer(fd));
    ::close(fd);

    // A CAPI message before registering ends that connection too.
    const int early = connectRaw();
    sendFrame(
        early,
        MessageBuilder(0, CmdListen, SubReq, 1).dword(1).dword(0).dword(1).dword(0).empty().empty().finish());
    EXPECT_TRUE(closedByPeer(early));
    ::close(early);

    // The exchange still serves, and the vanished application is gone from it.
    const int again = connectRaw();
    EXPECT_GE(registerRaw(again), 1);
    ControlClient c;
    std::string error;
    ASSERT_TRUE(c.connect("127.0.0.1", m_ex->port(), &error)) << error;
    const auto events = c.request("EVENTS", 5000);
    bool vanished = false;
    for (const auto &e : events)
        vanished |= e.find("vanished appl=" + std::to_string(id)) != std::string::npos;
    EXPECT_TRUE(vanished);
    ::close(again);

    // The trace shows both directions, decoded, and names what was wrong.
    m_ex->stop();
    m_thread.join();
    const std::string trace = traced();
    const std::string a = std::to_string(id);
    EXPECT_NE(trace.find("<- LISTEN_REQ appl=" + a +
                         " #10 Controller=0x00000001 InfoMask=0x00000000 CIPMask=0x00000001"),
              std::string::npos);
    EXPECT_NE(trace.find("-> LISTEN_CONF appl=" + a + " #10 Controller=0x00000001 Info=0x0"),
              std::string::npos);
    const size_t dataLine = trace.find("<- DATA_B3_REQ appl=" + a + " #8 NCCI=0x00010101");
    ASSERT_NE(dataLine, std::string::npos);
    const std::string line = trace.substr(dataLine, trace.find('\n', dataLine) - dataLine);
    EXPECT_NE(line.find("MALFORMED: data length 100 does not match the frame (10 bytes behind the message)"),
              std::string::npos)
        << line;
    EXPECT_NE(trace.find("** vanished appl=" + a), std::string::npos);
    m_thread = std::thread([] {}); // TearDown joins it
}

TEST_F(InProcess, ControlInterfaceRefusesBadInput)
{
    ControlClient c;
    std::string error, line;
    ASSERT_TRUE(c.connect("127.0.0.1", m_ex->port(), &error)) << error;
    EXPECT_EQ(c.request("DANCE", 5000).back().rfind("ERROR unknown command", 0), 0u);
    EXPECT_EQ(c.request("CALL from=12a to=1", 5000).back().rfind("ERROR", 0), 0u);
    EXPECT_EQ(c.request("CALL from=1 to=1 cip=fax9", 5000).back().rfind("ERROR unknown service", 0), 0u);
    EXPECT_EQ(c.request("CALL from=1 to=1 hangup_after_ms=soon", 5000).back().rfind("ERROR", 0), 0u);
    EXPECT_EQ(c.request("HANGUP", 5000).back().rfind("ERROR no call", 0), 0u);
    EXPECT_EQ(c.request("EVENTS since=x", 5000).back().rfind("ERROR", 0), 0u);
    // Nobody registered: the call is offered to nobody and ends at once.
    ASSERT_TRUE(c.sendLine("CALL from=- to=4711 cip=telephony"));
    ASSERT_TRUE(c.readLine(&line, 5000));
    EXPECT_EQ(line.rfind("OK call=", 0), 0u);
    ASSERT_TRUE(c.readLine(&line, 5000));
    EXPECT_EQ(line, "END offered=0 result=nobody reason=0x3492");
    // An endless line is cut off.
    ASSERT_TRUE(c.sendLine(std::string(5000, 'x')));
    while (c.readLine(&line, 5000)) {
    }
    EXPECT_FALSE(c.sendLine("STATUS") && c.readLine(&line, 1000));
}

TEST(SimIds, ExchangesRunningTogetherHandOutDisjointIds)
{
    std::vector<std::unique_ptr<Exchange>> exchanges;
    std::vector<uint16_t> firsts;
    for (int i = 0; i < 3; ++i) {
        Options o;
        o.port = 0;
        exchanges.push_back(std::make_unique<Exchange>(o));
        std::string error;
        ASSERT_TRUE(exchanges.back()->listen(&error)) << error;
    }
    ApplIdPool pools[3];
    for (auto &p : pools) {
        std::string error;
        ASSERT_TRUE(p.claim(&error)) << error;
        firsts.push_back(p.first());
    }
    std::sort(firsts.begin(), firsts.end());
    for (size_t i = 1; i < firsts.size(); ++i)
        EXPECT_GE(firsts[i] - firsts[i - 1], ApplIdPool::kBlockSize);
    // Ids inside a block go round before one comes back.
    ApplIdPool &p = pools[0];
    const uint16_t a = p.acquire(), b = p.acquire();
    EXPECT_EQ(b, a + 1);
    p.release(a);
    EXPECT_EQ(p.acquire(), a + 2);
    for (int i = 0; i < ApplIdPool::kBlockSize - 3; ++i)
        EXPECT_NE(p.acquire(), 0);
    EXPECT_EQ(p.acquire(), a); // the only free one left
    EXPECT_EQ(p.acquire(), 0);
    EXPECT_GE(p.first(), 1);
    EXPECT_LE(p.first() + ApplIdPool::kBlockSize - 1, 1023);
}

} // namespace
