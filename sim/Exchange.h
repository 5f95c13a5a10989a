#pragma once

// The virtual exchange: a CAPI-over-TCP server for the libcapi20 remote ("fritzbox") module that
// models one S0 bus with one controller. Single-threaded: one poll loop serves every connection,
// timer and data pacing. A connection whose first byte is 0x80 speaks CAPI; one whose first byte
// is 0x00 is the `rcapi` driver asking for manufacturer, version or serial number; any other
// first byte makes it a text control connection (placing calls, status, event log; see README.md).
//
// The class is implemented in one file per part: Exchange.cpp (set-up and the poll loop),
// ExchangeSockets.cpp (connections), ExchangeFrames.cpp (frames, control requests, trace and
// event log), ExchangeCapi.cpp (call-phase messages), ExchangeCalls.cpp (calls and their legs),
// ExchangeB3.cpp (B3 links, data pacing, timers), ExchangeControl.cpp (the text interface).

#include "ApplIdPool.h"
#include "CapiMessage.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <set>
#include <string>

namespace isdnsim {

struct Options
{
    uint16_t port = 5031;      // 0 picks a free port
    uint32_t rate = 64000;     // B channel payload bits per second and direction; 0 = unthrottled
    int ringTimeoutMs = 30000; // an unanswered call is cleared after this
    std::string lineNumber =
        "0301234500";   // delivered as calling number when a dialling application sends none
    bool trace = false; // print every message both ways
    // Acknowledge every read at once (TCP_QUICKACK). Off, the exchange is a plain TCP peer whose
    // kernel delays acknowledgements, as a router's does.
    bool quickAck = true;
    // What the information queries of libcapi20's `rcapi` driver are answered with (its
    // `fritzbox` driver does not ask: it reports these same defaults itself). The library hands
    // out at most 63 characters of the manufacturer and 7 of the serial number.
    std::string manufacturer = "AVM Berlin";
    uint32_t capiVersion[2] = {2, 0};         // major, minor
    uint32_t manufacturerVersion[2] = {0, 5}; // major, minor
    std::string serialNumber = "0004711";
    FILE *traceOut = stdout;
    FILE *errorOut = stderr;
};

class Exchange
{
public:
    explicit Exchange(Options options);
    ~Exchange();
    Exchange(const Exchange &) = delete;
    Exchange &operator=(const Exchange &) = delete;

    // Binds 127.0.0.1:port and claims a block of application ids.
    bool listen(std::string *error);
    uint16_t port() const { return m_port; }
    // Serves until stop() is called (from any thread or a signal handler).
    void run();
    void stop();

    // The way in without sockets (the fuzz target): claims a block of application ids as listen()
    // does, adds a connection whose replies go to `fd` (-1 drops them), hands it bytes as a read
    // from its socket would, and lets its peer go away.
    bool claimApplIds(std::string *error);
    int adopt(int fd);
    void receive(int connId, const uint8_t *data, size_t len);
    void hangUp(int connId);

private:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    static constexpr uint32_t kController = 1; // the bus's one controller
    static std::string hex32(uint32_t v);      // "0x1A2B"

    enum class ConnKind
    {
        Unknown,
        Capi,
        Rcapi,
        Control
    };
    struct Conn
    {
        int fd = -1;
        ConnKind kind = ConnKind::Unknown;
        Bytes in;
        Bytes out;
        uint16_t applId = 0; // application registered over this connection
        int callId = 0;      // call placed through this control connection
        bool closeAfterFlush = false;
        bool dead = false;
    };
    struct App
    {
        uint16_t id = 0;
        int conn = 0;
        uint16_t maxLogical = 0, maxBlocks = 0, maxLen = 0;
        uint32_t controller = 0, infoMask = 0, cipMask = 0, cipMask2 = 0;
        uint16_t nextNumber = 1;
    };
    enum class LegState
    {
        Dialling,
        Offered,
        Alerted,
        Active,
        Releasing
    };
    enum class B3State
    {
        None,
        Outgoing,
        Incoming,
        Active
    };
    struct Block
    {
        Bytes data;
        uint16_t handle = 0, flags = 0, number = 0;
        TimePoint queuedAt;
    };
    struct Leg
    {
        uint32_t plci = 0;
        uint16_t appl = 0;
        int call = 0;
        bool caller = false;
        LegState state = LegState::Offered;
        B3State b3 = B3State::None;
        uint32_t ncci = 0;
        uint16_t ncciSeq = 0;
        std::deque<Block> queue; // blocks from this leg waiting for the line
        bool sending = false;
        Block inFlight;
        TimePoint sendEnd, lineFree;
        TimePoint offeredAt; // when its CONNECT_IND went out
        bool windowFull = false;
        TimePoint windowOpened;         // the receiver answered a block after the line had to wait
        std::set<uint16_t> unconfirmed; // DATA_B3_IND handed to this leg, not yet answered
        uint16_t nextHandle = 1;
    };
    struct Call
    {
        int id = 0;
        uint16_t cip = 0;
        Bytes calledNumber, callingNumber;
        std::string from, to;
        int controlConn = 0;     // a caller on the control interface, else 0
        uint32_t callerPlci = 0; // a dialling application, else 0
        std::vector<uint32_t> offered;
        std::map<uint16_t, int> finalReject; // application -> Reject (or -1 gone) of its final answer
        std::set<uint16_t> alerted;
        uint16_t offeredCount = 0;
        uint32_t answered = 0; // PLCI of the leg that took the call
        bool connected = false, ended = false;
        B3State virtualB3 = B3State::None; // the control-interface caller's side of a B3 link
        TimePoint ringDeadline, hangupDeadline;
        bool hangupTimer = false;
        uint64_t virtualBytes = 0;
    };

    // connections and frames
    void acceptConnections();
    void readConn(int id, Conn &c);
    void consumeInput(int id, Conn &c);
    void flushConn(Conn &c);
    void closeConn(int id, const std::string &why);
    void forgetConn(Conn &c);
    void handleCapiFrame(int connId, Conn &c, const uint8_t *data, size_t len);
    void handleControlFrame(int connId, Conn &c, const Message &m, const uint8_t *data, size_t len);
    void sendControlReply(Conn &c, const Bytes &payload);
    void handleRcapiFrame(int connId, Conn &c, const uint8_t *data, size_t len);
    void send(App &app, const Bytes &msg, const Bytes &payload = {});
    void sendConf(App &app, const Message &req, uint32_t id, uint16_t info);
    uint16_t nextNumber(App &app);

    // CAPI messages
    void handleMessage(App &app, const Message &m);
    void onListen(App &app, const Message &m);
    void onConnectReq(App &app, const Message &m);
    void onAlert(App &app, const Message &m);
    void onConnectResp(App &app, const Message &m);
    void onDisconnectReq(App &app, const Message &m);
    void onDisconnectResp(App &app, const Message &m);
    void onConnectB3Req(App &app, const Message &m);
    void onConnectB3Resp(App &app, const Message &m);
    void onDisconnectB3Req(App &app, const Message &m);
    void onDataB3Req(App &app, const Message &m);
    void onDataB3Resp(App &app, const Message &m);
    void onGetProfile(Conn &c, uint16_t controller);
    void removeApp(uint16_t applId, const char *how);

    // calls
    Leg *leg(uint32_t plci);
    Leg *ownLeg(App &app, uint32_t plci);
    Leg *ownLegByNcci(App &app, uint32_t ncci);
    Leg *peerOf(const Leg &l);
    bool peerIsVirtual(const Leg &l) const;
    uint32_t allocPlci();
    int placeCall(int controlConn, uint32_t callerPlci, uint16_t cip, Bytes calling, Bytes called,
                  std::string from, std::string to, uint16_t excludeAppl);
    void finalAnswer(Call &call, Leg &l, int reject);
    void checkAllDeclined(Call &call);
    void connectCall(Call &call, Leg &l, const Bytes &connectedNumber);
    void disconnectLeg(Leg &l, uint16_t reason);
    void endCall(Call &call, uint16_t callerReason, uint16_t othersReason, const std::string &result);
    void callerHangsUp(Call &call);
    void dropLeg(uint32_t plci);
    void maybeForgetCall(int callId);
    void emit(Call &call, const std::string &line);
    std::string sinceOffer(const Leg &l) const;
    void logEvent(const std::string &line);

    // B3
    void b3Down(Leg &l, uint16_t reason);
    void pump(Leg &l);
    void deliver(Leg &from, Block &block);
    TimePoint timers(TimePoint now);

    // control interface
    void handleControlLine(int connId, Conn &c, const std::string &line);
    void writeLine(Conn &c, const std::string &line);

    void trace(const char *dir, const uint8_t *data, size_t len);
    void error(const std::string &text);

    Options m_opt;
    int m_listenFd = -1;
    int m_wakeRead = -1, m_wakeWrite = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    ApplIdPool m_ids;
    int m_nextConnId = 1;
    int m_nextCallId = 1;
    uint32_t m_nextPlci = 1;
    std::map<int, Conn> m_conns;
    std::map<uint16_t, App> m_apps;
    std::map<uint32_t, Leg> m_legs;
    std::map<int, Call> m_calls;
    std::deque<std::pair<uint64_t, std::string>> m_events;
    uint64_t m_nextEvent = 1;
};

} // namespace isdnsim
