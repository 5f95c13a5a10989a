#include "Exchange.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace isdnsim {

namespace {

constexpr size_t kMaxControlLine = 1024;
constexpr size_t kMaxQueuedBlocks = 32;
constexpr size_t kMaxOutBuffer = 8 * 1024 * 1024;
constexpr size_t kMaxEvents = 20000;
constexpr uint32_t kController = 1;

std::string hex32(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

// DISCONNECT_IND reason for the Reject value of a CONNECT_RESP, as the caller sees it.
uint16_t reasonForReject(int reject)
{
    switch (reject) {
    case 2:
        return ReasonNormalClearing;
    case 3:
        return ReasonUserBusy;
    case 4:
        return 0x34AC; // requested circuit/channel not available
    case 5:
        return 0x349D; // facility rejected
    case 6:
        return 0x3486; // channel unacceptable
    case 7:
        return 0x34D8; // incompatible destination
    case 8:
        return ReasonOutOfOrder;
    default:
        return (reject & 0xFF00) == 0x3400 ? uint16_t(reject) : uint16_t(ReasonCallRejected);
    }
}

// The additional info of an offered call: B channel information "use B channel", no keypad
// facility, user-user data, facility data array or sending complete (the last one is part of the
// layout the library's own decoder expects).
const Bytes kAdditionalInfo = {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

} // namespace

Exchange::Exchange(Options options) : m_opt(std::move(options))
{
    int p[2];
    if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_wakeRead = p[0];
        m_wakeWrite = p[1];
    }
}

Exchange::~Exchange()
{
    for (auto &[id, c] : m_conns)
        ::close(c.fd);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_wakeRead >= 0)
        ::close(m_wakeRead);
    if (m_wakeWrite >= 0)
        ::close(m_wakeWrite);
}

bool Exchange::listen(std::string *err)
{
    if (!m_ids.claim(err))
        return false;
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listenFd < 0) {
        *err = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(m_opt.port);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 64) != 0) {
        *err = "127.0.0.1:" + std::to_string(m_opt.port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    return true;
}

void Exchange::stop()
{
    m_stop = true;
    if (m_wakeWrite >= 0) {
        const char c = 1;
        [[maybe_unused]] auto n = ::write(m_wakeWrite, &c, 1);
    }
}

void Exchange::run()
{
    std::vector<pollfd> fds;
    std::vector<int> ids;
    while (!m_stop) {
        const TimePoint now = Clock::now();
        const TimePoint next = timers(now);
        fds.clear();
        ids.clear();
        fds.push_back({m_listenFd, POLLIN, 0});
        ids.push_back(0);
        fds.push_back({m_wakeRead, POLLIN, 0});
        ids.push_back(0);
        for (auto &[id, c] : m_conns) {
            short ev = POLLIN;
            if (!c.out.empty())
                ev |= POLLOUT;
            fds.push_back({c.fd, ev, 0});
            ids.push_back(id);
        }
        timespec ts{};
        timespec *tsp = nullptr;
        if (next != TimePoint::max()) {
            const auto ns = std::max<int64_t>(
                0, std::chrono::duration_cast<std::chrono::nanoseconds>(next - Clock::now()).count());
            ts.tv_sec = ns / 1000000000;
            ts.tv_nsec = ns % 1000000000;
            tsp = &ts;
        }
        const int n = ::ppoll(fds.data(), fds.size(), tsp, nullptr);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (fds[1].revents) {
            char buf[64];
            while (::read(m_wakeRead, buf, sizeof buf) > 0) {
            }
        }
        if (fds[0].revents & POLLIN)
            acceptConnections();
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            auto it = m_conns.find(ids[i]);
            if (it == m_conns.end() || it->second.dead)
                continue;
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                readConn(ids[i], it->second);
            if (!it->second.dead && (fds[i].revents & POLLOUT))
                flushConn(it->second);
        }
        for (auto it = m_conns.begin(); it != m_conns.end();) {
            if (it->second.dead) {
                forgetConn(it->second);
                ::close(it->second.fd);
                it = m_conns.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void Exchange::acceptConnections()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Conn c;
        c.fd = fd;
        m_conns.emplace(m_nextConnId++, std::move(c));
    }
}

void Exchange::readConn(int id, Conn &c)
{
    uint8_t buf[16384];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n == 0) {
            closeConn(id, "");
            return;
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            if (errno == EINTR)
                continue;
            closeConn(id, std::strerror(errno));
            return;
        }
        // Acknowledge at once: a client that does not disable Nagle's algorithm (libcapi20's
        // remote driver) would otherwise hold its next small message until the delayed ACK,
        // some 40 ms later. Linux clears the flag again, so it is set after every read.
        const int quick = 1;
        ::setsockopt(c.fd, IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
        c.in.insert(c.in.end(), buf, buf + n);
        if (size_t(n) < sizeof buf)
            break;
    }
    size_t pos = 0;
    while (!c.dead && pos < c.in.size()) {
        if (c.kind == ConnKind::Unknown)
            c.kind = c.in[pos] == 0x80 ? ConnKind::Capi : ConnKind::Control;
        if (c.kind == ConnKind::Control) {
            auto nl = std::find(c.in.begin() + long(pos), c.in.end(), uint8_t('\n'));
            if (nl == c.in.end() || size_t(nl - c.in.begin()) - pos > kMaxControlLine) {
                if (c.in.size() - pos > kMaxControlLine) {
                    writeLine(c, "ERROR line too long");
                    closeConn(id, "control line too long");
                }
                break;
            }
            std::string line(c.in.begin() + long(pos), nl);
            pos = size_t(nl - c.in.begin()) + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            handleControlLine(id, c, line);
            continue;
        }
        if (c.in[pos] != 0x80) {
            error("connection " + std::to_string(id) + ": frame does not start with 0x80; closing it");
            closeConn(id, "framing error");
            break;
        }
        if (c.in.size() - pos < 3)
            break;
        const size_t len = rd16(&c.in[pos + 1]);
        if (c.in.size() - pos < 3 + len)
            break;
        handleCapiFrame(id, c, &c.in[pos + 3], len);
        pos += 3 + len;
    }
    if (!c.dead)
        c.in.erase(c.in.begin(), c.in.begin() + long(std::min(pos, c.in.size())));
}

void Exchange::flushConn(Conn &c)
{
    while (!c.out.empty()) {
        const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                c.out.clear();
            break;
        }
        c.out.erase(c.out.begin(), c.out.begin() + n);
    }
    if (c.out.empty() && c.closeAfterFlush)
        c.dead = true;
}

void Exchange::closeConn(int id, const std::string &why)
{
    auto it = m_conns.find(id);
    if (it == m_conns.end() || it->second.dead)
        return;
    Conn &c = it->second;
    c.dead = true;
    if (!why.empty() && c.kind != ConnKind::Unknown)
        error("connection " + std::to_string(id) + " closed: " + why);
    forgetConn(c);
}

void Exchange::forgetConn(Conn &c)
{
    if (c.applId) {
        const uint16_t appl = c.applId;
        c.applId = 0;
        removeApp(appl, "vanished");
    }
    if (c.callId) {
        auto call = m_calls.find(c.callId);
        c.callId = 0;
        if (call != m_calls.end()) {
            call->second.controlConn = 0;
            callerHangsUp(call->second);
        }
    }
}

void Exchange::writeLine(Conn &c, const std::string &line)
{
    c.out.insert(c.out.end(), line.begin(), line.end());
    c.out.push_back('\n');
    flushConn(c);
}

// ---------------------------------------------------------------------------------------------
// Frames

void Exchange::trace(const char *dir, const uint8_t *data, size_t len)
{
    if (!m_opt.trace)
        return;
    const Message m = parseMessage(data, len);
    std::fprintf(m_opt.traceOut, "%s %s\n", dir, describe(m).c_str());
    std::fflush(m_opt.traceOut);
}

void Exchange::error(const std::string &text)
{
    std::fprintf(m_opt.errorOut, "isdnsim: %s\n", text.c_str());
    std::fflush(m_opt.errorOut);
}

void Exchange::logEvent(const std::string &line)
{
    m_events.emplace_back(m_nextEvent++, line);
    if (m_events.size() > kMaxEvents)
        m_events.pop_front();
    if (m_opt.trace) {
        std::fprintf(m_opt.traceOut, "** %s\n", line.c_str());
        std::fflush(m_opt.traceOut);
    }
}

void Exchange::send(App &app, const Bytes &msg, const Bytes &payload)
{
    auto it = m_conns.find(app.conn);
    if (it == m_conns.end() || it->second.dead)
        return;
    Conn &c = it->second;
    const size_t len = msg.size() + payload.size();
    if (len + 3 > kMaxFrame) {
        error("refusing to send a frame of " + std::to_string(len + 3) + " bytes");
        return;
    }
    if (c.out.size() > kMaxOutBuffer) {
        closeConn(app.conn, "application does not read its messages");
        return;
    }
    if (m_opt.trace) {
        Bytes whole = msg;
        whole.insert(whole.end(), payload.begin(), payload.end());
        trace("->", whole.data(), whole.size());
    }
    c.out.push_back(0x80);
    c.out.push_back(uint8_t(len));
    c.out.push_back(uint8_t(len >> 8));
    c.out.insert(c.out.end(), msg.begin(), msg.end());
    c.out.insert(c.out.end(), payload.begin(), payload.end());
    flushConn(c);
}

void Exchange::sendControlReply(Conn &c, const Bytes &payload)
{
    // Control replies carry a one-byte length.
    c.out.push_back(0x80);
    c.out.push_back(uint8_t(payload.size()));
    c.out.insert(c.out.end(), payload.begin(), payload.end());
    flushConn(c);
}

uint16_t Exchange::nextNumber(App &app)
{
    return app.nextNumber++;
}

void Exchange::sendConf(App &app, const Message &req, uint32_t id, uint16_t info)
{
    send(app, MessageBuilder(app.id, req.command, SubConf, req.number).dword(id).word(info).finish());
}

void Exchange::handleCapiFrame(int connId, Conn &c, const uint8_t *data, size_t len)
{
    trace("<-", data, len);
    if (len >= kHeaderLen && data[4] == CmdControl && data[5] == SubReq) {
        const Message m = parseMessage(data, len);
        handleControlFrame(connId, c, m, data, len);
        return;
    }
    if (!c.applId) {
        error("connection " + std::to_string(connId) + ": CAPI message before registration; closing it");
        closeConn(connId, "unregistered");
        return;
    }
    App &app = m_apps[c.applId];
    const Message m = parseMessage(data, len);
    if (!m.ok()) {
        error("application " + std::to_string(app.id) + ": malformed " +
              messageName(m.command, m.subcommand) + ": " + m.error);
        // A request that can be identified still gets its confirmation, with a parameter error.
        if (m.subcommand == SubReq && m.command == CmdDataB3 && len >= kHeaderLen + 12)
            send(app, MessageBuilder(app.id, CmdDataB3, SubConf, m.number)
                          .dword(rd32(data + kHeaderLen))
                          .word(rd16(data + kHeaderLen + 10))
                          .word(InfoIllegalParameter)
                          .finish());
        else if (m.subcommand == SubReq && m.command != CmdManufacturer && len >= kHeaderLen) {
            // Even a request too short for its first parameter is answered: with what it holds.
            uint8_t first[4] = {};
            std::memcpy(first, data + kHeaderLen, std::min<size_t>(4, len - kHeaderLen));
            sendConf(app, m, rd32(first), InfoIllegalParameter);
        }
        return;
    }
    if (!m.known) {
        error("application " + std::to_string(app.id) + ": unsupported " +
              messageName(m.command, m.subcommand));
        return;
    }
    handleMessage(app, m);
}

void Exchange::handleControlFrame(int connId, Conn &c, const Message &m, const uint8_t *data, size_t len)
{
    // register: ... 02 00 09 00 00 06 + three words; release: ... 02 00 03 01 00 00;
    // get profile: ... 02 00 05 02 00 02 + controller.
    const uint8_t op = len > 10 ? data[10] : 0;
    if (op == 0x09 && len >= 20) {
        if (c.applId) {
            error("connection " + std::to_string(connId) + ": second registration on one connection");
            closeConn(connId, "protocol error");
            return;
        }
        App app;
        app.id = m_ids.acquire();
        app.conn = connId;
        app.maxLogical = rd16(data + 14);
        app.maxBlocks = std::max<uint16_t>(1, rd16(data + 16));
        app.maxLen = rd16(data + 18);
        Bytes p(18, 0);
        p[0] = 18;
        wr16(&p[2], app.id);
        p[4] = CmdControl;
        p[5] = SubConf;
        p[6] = 1;
        if (!app.id) {
            wr16(&p[16], InfoTooManyApplications);
            error("registration refused: every application id of this exchange is in use");
            sendControlReply(c, p);
            return;
        }
        c.kind = ConnKind::Capi;
        c.applId = app.id;
        m_apps[app.id] = app;
        logEvent("register appl=" + std::to_string(app.id) +
                 " max_logical=" + std::to_string(app.maxLogical) +
                 " max_blocks=" + std::to_string(app.maxBlocks) + " max_len=" + std::to_string(app.maxLen));
        sendControlReply(c, p);
        return;
    }
    if (op == 0x03) {
        if (c.applId) {
            removeApp(c.applId, "released");
            c.applId = 0;
        }
        return;
    }
    if (op == 0x05 && len >= 16) {
        onGetProfile(c, rd16(data + 14));
        return;
    }
    error("connection " + std::to_string(connId) + ": unknown control request (" + m.error + "); closing it");
    closeConn(connId, "protocol error");
}

void Exchange::onGetProfile(Conn &c, uint16_t controller)
{
    Bytes p(82, 0);
    p[0] = 82;
    p[4] = CmdControl;
    p[5] = SubConf;
    p[6] = 1;
    uint8_t *prof = &p[18];
    wr16(prof, 1); // installed controllers
    if (controller == 0 || controller == kController) {
        wr16(prof + 2, 2);      // B channels
        wr16(prof + 4, 0x0001); // global options: internal controller
        prof[8] = 0x03;         // B1: 64 kbit/s HDLC, 64 kbit/s transparent
        prof[12] = 0x03;        // B2: X.75 SLP, transparent
        prof[16] = 0x01;        // B3: transparent
    } else {
        wr16(&p[16], InfoIllegalIdentifier);
    }
    logEvent("profile controller=" + std::to_string(controller));
    sendControlReply(c, p);
}

void Exchange::removeApp(uint16_t applId, const char *how)
{
    auto it = m_apps.find(applId);
    if (it == m_apps.end())
        return;
    logEvent(std::string(how == std::string("released") ? "release" : "vanished") +
             " appl=" + std::to_string(applId));
    std::vector<uint32_t> plcis;
    for (auto &[plci, l] : m_legs)
        if (l.appl == applId)
            plcis.push_back(plci);
    for (uint32_t plci : plcis) {
        Leg *l = leg(plci);
        if (!l)
            continue;
        auto callIt = m_calls.find(l->call);
        if (callIt != m_calls.end() && !callIt->second.ended && l->state != LegState::Releasing) {
            Call &call = callIt->second;
            l->state = LegState::Releasing; // nothing more is sent to a vanished application
            l->b3 = B3State::None;
            if (l->caller) {
                emit(call, "CALLER appl=" + std::to_string(applId) + " gone");
                endCall(call, 0, ReasonNormalClearing, "hung-up");
            } else if (call.connected && call.answered == plci) {
                endCall(call, ReasonNormalClearing, ReasonNormalClearing, "connected");
            } else {
                finalAnswer(call, *l, -1);
            }
        }
        dropLeg(plci);
    }
    m_apps.erase(applId);
    m_ids.release(applId);
}

// ---------------------------------------------------------------------------------------------
// CAPI messages

void Exchange::handleMessage(App &app, const Message &m)
{
    const uint8_t cmd = m.command;
    if (m.subcommand == SubReq) {
        switch (cmd) {
        case CmdListen:
            return onListen(app, m);
        case CmdConnect:
            return onConnectReq(app, m);
        case CmdAlert:
            return onAlert(app, m);
        case CmdDisconnect:
            return onDisconnectReq(app, m);
        case CmdConnectB3:
            return onConnectB3Req(app, m);
        case CmdDisconnectB3:
            return onDisconnectB3Req(app, m);
        case CmdDataB3:
            return onDataB3Req(app, m);
        case CmdFacility:
            send(app, MessageBuilder(app.id, CmdFacility, SubConf, m.number)
                          .dword(uint32_t(m.num(0)))
                          .word(0x300B) // facility not supported
                          .word(uint16_t(m.num(1)))
                          .empty()
                          .finish());
            return;
        case CmdResetB3:
            return sendConf(app, m, uint32_t(m.num(0)), 0x300D); // reset procedure not supported
        default:
            return sendConf(app, m, uint32_t(m.num(0)), InfoWrongState);
        }
    }
    if (m.subcommand == SubResp) {
        switch (cmd) {
        case CmdConnect:
            return onConnectResp(app, m);
        case CmdDisconnect:
            return onDisconnectResp(app, m);
        case CmdConnectB3:
            return onConnectB3Resp(app, m);
        case CmdDataB3:
            return onDataB3Resp(app, m);
        default:
            return; // the remaining responses only acknowledge
        }
    }
    error("application " + std::to_string(app.id) + ": unexpected " + messageName(m.command, m.subcommand));
}

void Exchange::onListen(App &app, const Message &m)
{
    const uint32_t controller = uint32_t(m.num(0));
    if ((controller & 0x7F) != kController) {
        sendConf(app, m, controller, InfoIllegalIdentifier);
        return;
    }
    app.controller = controller;
    app.infoMask = uint32_t(m.num(1));
    app.cipMask = uint32_t(m.num(2));
    app.cipMask2 = uint32_t(m.num(3));
    logEvent("listen appl=" + std::to_string(app.id) + " controller=" + std::to_string(controller) +
             " info_mask=" + hex32(app.infoMask) + " cip_mask=" + hex32(app.cipMask) +
             " cip_mask2=" + hex32(app.cipMask2));
    sendConf(app, m, controller, InfoOk);
}

Exchange::Leg *Exchange::leg(uint32_t plci)
{
    auto it = m_legs.find(plci & 0xFFFF);
    return it == m_legs.end() ? nullptr : &it->second;
}

Exchange::Leg *Exchange::ownLeg(App &app, uint32_t plci)
{
    Leg *l = leg(plci);
    return l && l->appl == app.id && (plci & 0xFFFF0000) == 0 ? l : nullptr;
}

Exchange::Leg *Exchange::ownLegByNcci(App &app, uint32_t ncci)
{
    Leg *l = leg(ncci & 0xFFFF);
    return l && l->appl == app.id && l->ncci == ncci && l->b3 != B3State::None ? l : nullptr;
}

bool Exchange::peerIsVirtual(const Leg &l) const
{
    auto it = m_calls.find(l.call);
    return it != m_calls.end() && it->second.controlConn != 0 && !l.caller && it->second.answered == l.plci;
}

Exchange::Leg *Exchange::peerOf(const Leg &l)
{
    auto it = m_calls.find(l.call);
    if (it == m_calls.end() || !it->second.connected)
        return nullptr;
    Call &call = it->second;
    const uint32_t other = l.caller ? call.answered : (l.plci == call.answered ? call.callerPlci : 0);
    return other ? leg(other) : nullptr;
}

uint32_t Exchange::allocPlci()
{
    for (int i = 0; i < 255; ++i) {
        const uint32_t n = (m_nextPlci + uint32_t(i) - 1) % 255 + 1;
        const uint32_t plci = kController | (n << 8);
        if (!m_legs.count(plci)) {
            m_nextPlci = n % 255 + 1;
            return plci;
        }
    }
    return 0;
}

void Exchange::onConnectReq(App &app, const Message &m)
{
    const uint32_t controller = uint32_t(m.num(0));
    if ((controller & 0x7F) != kController) {
        sendConf(app, m, 0, InfoIllegalIdentifier);
        return;
    }
    const Bytes &bp = m.str(6);
    if (bp.size() >= 6) {
        const uint16_t b1 = rd16(&bp[0]), b2 = rd16(&bp[2]), b3 = rd16(&bp[4]);
        const uint16_t info = b1 > 1   ? InfoB1NotSupported
                              : b2 > 1 ? InfoB2NotSupported
                              : b3 > 0 ? InfoB3NotSupported
                                       : 0;
        if (info) {
            sendConf(app, m, 0, info);
            return;
        }
    }
    size_t legs = 0;
    for (auto &[p, l] : m_legs)
        legs += l.appl == app.id;
    const uint32_t plci = allocPlci();
    if (!plci || (app.maxLogical && legs >= app.maxLogical)) {
        sendConf(app, m, 0, InfoOutOfPlci);
        return;
    }
    Leg l;
    l.plci = plci;
    l.appl = app.id;
    l.caller = true;
    l.state = LegState::Dialling;
    l.call = m_nextCallId; // the id placeCall takes: the leg belongs to its call from the start
    m_legs[plci] = l;
    sendConf(app, m, plci, InfoOk);

    const Bytes &called = m.str(2);
    const std::string to = numberDigits(called, false);
    std::string from = numberDigits(m.str(3), true);
    if (from.empty())
        from = m_opt.lineNumber;
    placeCall(0, plci, uint16_t(m.num(1)), callingPartyNumber(from), calledPartyNumber(to), from, to, app.id);
}

int Exchange::placeCall(int controlConn, uint32_t callerPlci, uint16_t cip, Bytes calling, Bytes called,
                        std::string from, std::string to, uint16_t excludeAppl)
{
    const int id = m_nextCallId++;
    Call &call = m_calls[id];
    call.id = id;
    call.cip = cip;
    call.callingNumber = std::move(calling);
    call.calledNumber = std::move(called);
    call.from = std::move(from);
    call.to = std::move(to);
    call.controlConn = controlConn;
    call.callerPlci = callerPlci;
    call.ringDeadline = Clock::now() + std::chrono::milliseconds(m_opt.ringTimeoutMs);
    logEvent("call=" + std::to_string(id) + " PLACED from=" + (call.from.empty() ? "-" : call.from) +
             " to=" + call.to + " cip=" + std::to_string(cip) +
             (callerPlci ? " caller_appl=" + std::to_string(excludeAppl) : std::string()));
    for (auto &[applId, app] : m_apps) {
        if (applId == excludeAppl || !app.controller)
            continue;
        const bool covered = (app.cipMask & 1) || (cip < 32 && (app.cipMask & (1u << cip)));
        if (!covered)
            continue;
        const uint32_t plci = allocPlci();
        if (!plci) {
            error("no PLCI left to offer call " + std::to_string(id));
            break;
        }
        Leg l;
        l.plci = plci;
        l.appl = applId;
        l.call = id;
        l.state = LegState::Offered;
        l.offeredAt = Clock::now();
        m_legs[plci] = l;
        call.offered.push_back(plci);
        ++call.offeredCount;
        emit(call, "OFFERED appl=" + std::to_string(applId) + " plci=" + hex32(plci));
        send(app, MessageBuilder(applId, CmdConnect, SubInd, nextNumber(app))
                      .dword(plci)
                      .word(cip)
                      .structure(call.calledNumber)
                      .structure(call.callingNumber)
                      .empty()
                      .empty()
                      .structure(bearerCapability(cip))
                      .empty()
                      .structure(highLayerCompatibility(cip))
                      .structure(kAdditionalInfo)
                      .finish());
    }
    if (call.offered.empty())
        endCall(call, ReasonNoUserResponding, 0, "nobody");
    return id;
}

void Exchange::onAlert(App &app, const Message &m)
{
    const uint32_t plci = uint32_t(m.num(0));
    Leg *l = ownLeg(app, plci);
    if (!l) {
        sendConf(app, m, plci, InfoIllegalIdentifier);
        return;
    }
    if (l->state == LegState::Alerted) {
        sendConf(app, m, plci, InfoAlertAlreadySent);
        return;
    }
    if (l->state != LegState::Offered) {
        sendConf(app, m, plci, InfoWrongState);
        return;
    }
    l->state = LegState::Alerted;
    sendConf(app, m, plci, InfoOk);
    Call &call = m_calls[l->call];
    call.alerted.insert(app.id);
    emit(call, "ALERTED appl=" + std::to_string(app.id) + sinceOffer(*l));
}

void Exchange::onConnectResp(App &app, const Message &m)
{
    const uint32_t plci = uint32_t(m.num(0));
    Leg *l = ownLeg(app, plci);
    if (!l || (l->state != LegState::Offered && l->state != LegState::Alerted)) {
        if (!l)
            error("application " + std::to_string(app.id) + ": CONNECT_RESP for unknown PLCI " + hex32(plci));
        return; // answer to a call that is already gone: nothing to do
    }
    Call &call = m_calls[l->call];
    const int reject = int(m.num(1));
    if (reject != 0) {
        finalAnswer(call, *l, reject);
        return;
    }
    emit(call, "ACCEPTED appl=" + std::to_string(app.id) + sinceOffer(*l));
    if (call.connected || call.ended) {
        // Another terminal was quicker.
        call.finalReject[app.id] = 0;
        emit(call, "CLEARED appl=" + std::to_string(app.id));
        disconnectLeg(*l, ReasonNonSelectedUser);
        return;
    }
    connectCall(call, *l, m.str(3));
}

void Exchange::finalAnswer(Call &call, Leg &l, int reject)
{
    call.finalReject[l.appl] = reject;
    if (reject == -1)
        emit(call, "GONE appl=" + std::to_string(l.appl));
    else if (reject == 1)
        emit(call, "IGNORED appl=" + std::to_string(l.appl) + sinceOffer(l));
    else
        emit(call,
             "REJECTED appl=" + std::to_string(l.appl) + " reject=" + std::to_string(reject) + sinceOffer(l));
    if (reject != -1)
        disconnectLeg(l, ReasonNormal);
    checkAllDeclined(call);
}

void Exchange::checkAllDeclined(Call &call)
{
    if (call.ended || call.connected)
        return;
    for (uint32_t plci : call.offered) {
        const Leg *l = leg(plci);
        if (l && !call.finalReject.count(l->appl))
            return;
    }
    bool busy = false, rejected = false;
    for (auto &[appl, r] : call.finalReject) {
        busy |= r == 3;
        rejected |= r >= 2;
    }
    uint16_t reason = ReasonNoUserResponding;
    std::string result = "ignored";
    if (busy) {
        reason = ReasonUserBusy;
        result = "busy";
    } else if (rejected) {
        // A single explicit answer keeps its own cause.
        reason = ReasonCallRejected;
        for (auto &[appl, r] : call.finalReject)
            if (r >= 2)
                reason = reasonForReject(r);
        result = "rejected";
    }
    endCall(call, reason, ReasonNormalClearing, result);
}

void Exchange::connectCall(Call &call, Leg &l, const Bytes &connectedNumber)
{
    call.connected = true;
    call.answered = l.plci;
    l.state = LegState::Active;
    App &app = m_apps[l.appl];
    send(app, MessageBuilder(app.id, CmdConnectActive, SubInd, nextNumber(app))
                  .dword(l.plci)
                  .empty()
                  .empty()
                  .empty()
                  .finish());
    for (uint32_t plci : call.offered) {
        Leg *other = leg(plci);
        if (!other || other == &l || other->state == LegState::Releasing)
            continue;
        call.finalReject[other->appl] = -2;
        emit(call, "CLEARED appl=" + std::to_string(other->appl));
        disconnectLeg(*other, ReasonNonSelectedUser);
    }
    if (Leg *caller = call.callerPlci ? leg(call.callerPlci) : nullptr) {
        caller->state = LegState::Active;
        App &capp = m_apps[caller->appl];
        send(capp, MessageBuilder(capp.id, CmdConnectActive, SubInd, nextNumber(capp))
                       .dword(caller->plci)
                       .structure(connectedNumber.empty() ? call.calledNumber : connectedNumber)
                       .empty()
                       .empty()
                       .finish());
    }
    emit(call, "CONNECTED appl=" + std::to_string(l.appl));
}

void Exchange::disconnectLeg(Leg &l, uint16_t reason)
{
    if (l.state == LegState::Releasing)
        return;
    b3Down(l, 0);
    l.state = LegState::Releasing;
    auto it = m_apps.find(l.appl);
    if (it == m_apps.end())
        return;
    send(it->second, MessageBuilder(l.appl, CmdDisconnect, SubInd, nextNumber(it->second))
                         .dword(l.plci)
                         .word(reason)
                         .finish());
}

void Exchange::endCall(Call &call, uint16_t callerReason, uint16_t othersReason, const std::string &result)
{
    if (call.ended)
        return;
    call.ended = true;
    if (Leg *caller = call.callerPlci ? leg(call.callerPlci) : nullptr)
        disconnectLeg(*caller, callerReason);
    for (uint32_t plci : call.offered)
        if (Leg *l = leg(plci))
            disconnectLeg(*l, othersReason);
    std::string line = "END offered=" + std::to_string(call.offeredCount) + " result=" + result;
    if (call.connected)
        line += " appl=" + std::to_string(m_legs.count(call.answered) ? m_legs[call.answered].appl : 0);
    if (call.virtualBytes)
        line += " bytes=" + std::to_string(call.virtualBytes);
    if (callerReason && result != "connected")
        line += " reason=" + hex32(callerReason);
    emit(call, line);
    if (call.controlConn) {
        auto it = m_conns.find(call.controlConn);
        if (it != m_conns.end())
            it->second.callId = 0;
        call.controlConn = 0;
    }
    maybeForgetCall(call.id);
}

void Exchange::callerHangsUp(Call &call)
{
    if (call.ended)
        return;
    if (call.connected)
        endCall(call, 0, ReasonNormalClearing, "connected");
    else
        endCall(call, 0, ReasonNormalClearing, "hung-up");
}

void Exchange::dropLeg(uint32_t plci)
{
    auto it = m_legs.find(plci);
    if (it == m_legs.end())
        return;
    const int callId = it->second.call;
    m_legs.erase(it);
    maybeForgetCall(callId);
}

void Exchange::maybeForgetCall(int callId)
{
    auto it = m_calls.find(callId);
    if (it == m_calls.end() || !it->second.ended)
        return;
    for (auto &[plci, l] : m_legs)
        if (l.call == callId)
            return;
    m_calls.erase(it);
}

std::string Exchange::sinceOffer(const Leg &l) const
{
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - l.offeredAt).count();
    char buf[48];
    std::snprintf(buf, sizeof buf, " after_ms=%.3f", ms);
    return buf;
}

void Exchange::emit(Call &call, const std::string &line)
{
    logEvent("call=" + std::to_string(call.id) + " " + line);
    if (!call.controlConn)
        return;
    auto it = m_conns.find(call.controlConn);
    if (it != m_conns.end() && !it->second.dead)
        writeLine(it->second, line);
}

void Exchange::onDisconnectReq(App &app, const Message &m)
{
    const uint32_t plci = uint32_t(m.num(0));
    Leg *l = ownLeg(app, plci);
    if (!l) {
        sendConf(app, m, plci, InfoIllegalIdentifier);
        return;
    }
    if (l->state == LegState::Releasing) {
        sendConf(app, m, plci, InfoWrongState);
        return;
    }
    sendConf(app, m, plci, InfoOk);
    Call &call = m_calls[l->call];
    if (l->caller) {
        emit(call, "CALLER appl=" + std::to_string(app.id) + " hung up");
        endCall(call, ReasonNormal, ReasonNormalClearing, call.connected ? "connected" : "hung-up");
    } else if (l->state == LegState::Active) {
        emit(call, "DISCONNECT appl=" + std::to_string(app.id));
        disconnectLeg(*l, ReasonNormal);
        endCall(call, ReasonNormalClearing, ReasonNormalClearing, "connected");
    } else {
        finalAnswer(call, *l, 2); // clearing an offered call rejects it
    }
}

void Exchange::onDisconnectResp(App &app, const Message &m)
{
    const uint32_t plci = uint32_t(m.num(0));
    Leg *l = ownLeg(app, plci);
    if (l && l->state == LegState::Releasing)
        dropLeg(l->plci);
}

// ---------------------------------------------------------------------------------------------
// B3

void Exchange::onConnectB3Req(App &app, const Message &m)
{
    const uint32_t plci = uint32_t(m.num(0));
    Leg *l = ownLeg(app, plci);
    if (!l) {
        sendConf(app, m, plci, InfoIllegalIdentifier);
        return;
    }
    Leg *peer = peerOf(*l);
    const bool virt = peerIsVirtual(*l);
    if (l->state != LegState::Active || l->b3 != B3State::None || (!peer && !virt) ||
        (peer && peer->b3 != B3State::None)) {
        sendConf(app, m, plci, InfoWrongState);
        return;
    }
    l->ncciSeq = uint16_t(l->ncciSeq % 0xFFFF + 1);
    l->ncci = l->plci | (uint32_t(l->ncciSeq) << 16);
    l->b3 = B3State::Outgoing;
    sendConf(app, m, l->ncci, InfoOk);
    Call &call = m_calls[l->call];
    if (virt) {
        l->b3 = B3State::Active;
        l->lineFree = Clock::now();
        call.virtualB3 = B3State::Active;
        send(app, MessageBuilder(app.id, CmdConnectB3Active, SubInd, nextNumber(app))
                      .dword(l->ncci)
                      .empty()
                      .finish());
        emit(call, "B3 up appl=" + std::to_string(app.id));
        return;
    }
    peer->ncciSeq = uint16_t(peer->ncciSeq % 0xFFFF + 1);
    peer->ncci = peer->plci | (uint32_t(peer->ncciSeq) << 16);
    peer->b3 = B3State::Incoming;
    App &papp = m_apps[peer->appl];
    send(papp,
         MessageBuilder(papp.id, CmdConnectB3, SubInd, nextNumber(papp)).dword(peer->ncci).empty().finish());
}

void Exchange::onConnectB3Resp(App &app, const Message &m)
{
    const uint32_t ncci = uint32_t(m.num(0));
    Leg *l = ownLegByNcci(app, ncci);
    if (!l || l->b3 != B3State::Incoming)
        return;
    Leg *peer = peerOf(*l);
    Call &call = m_calls[l->call];
    if (m.num(1) != 0 || !peer || peer->b3 != B3State::Outgoing) {
        emit(call, "B3 refused appl=" + std::to_string(app.id));
        b3Down(*l, 0);
        if (peer)
            b3Down(*peer, 0x3303);
        return;
    }
    const TimePoint now = Clock::now();
    for (Leg *x : {peer, l}) {
        x->b3 = B3State::Active;
        x->lineFree = now;
        App &xa = m_apps[x->appl];
        send(xa, MessageBuilder(xa.id, CmdConnectB3Active, SubInd, nextNumber(xa))
                     .dword(x->ncci)
                     .empty()
                     .finish());
    }
    emit(call, "B3 up appl=" + std::to_string(peer->appl) + " appl=" + std::to_string(l->appl));
}

void Exchange::b3Down(Leg &l, uint16_t reason)
{
    if (l.b3 == B3State::None)
        return;
    l.b3 = B3State::None;
    l.queue.clear();
    l.sending = false;
    l.unconfirmed.clear();
    auto it = m_apps.find(l.appl);
    if (it != m_apps.end() && l.state != LegState::Releasing)
        send(it->second, MessageBuilder(l.appl, CmdDisconnectB3, SubInd, nextNumber(it->second))
                             .dword(l.ncci)
                             .word(reason)
                             .empty()
                             .finish());
    auto call = m_calls.find(l.call);
    if (call != m_calls.end()) {
        if (peerIsVirtual(l))
            call->second.virtualB3 = B3State::None;
        emit(call->second, "B3 down appl=" + std::to_string(l.appl));
    }
}

void Exchange::onDisconnectB3Req(App &app, const Message &m)
{
    const uint32_t ncci = uint32_t(m.num(0));
    Leg *l = ownLegByNcci(app, ncci);
    if (!l) {
        sendConf(app, m, ncci, InfoIllegalIdentifier);
        return;
    }
    sendConf(app, m, ncci, InfoOk);
    Leg *peer = peerOf(*l);
    b3Down(*l, 0);
    if (peer)
        b3Down(*peer, 0);
}

void Exchange::onDataB3Req(App &app, const Message &m)
{
    const uint32_t ncci = uint32_t(m.num(0));
    const uint16_t handle = uint16_t(m.num(3));
    auto conf = [&](uint16_t info) {
        send(app, MessageBuilder(app.id, CmdDataB3, SubConf, m.number)
                      .dword(ncci)
                      .word(handle)
                      .word(info)
                      .finish());
    };
    Leg *l = ownLegByNcci(app, ncci);
    if (!l) {
        conf(InfoIllegalIdentifier);
        return;
    }
    if (l->b3 != B3State::Active) {
        conf(InfoWrongState);
        return;
    }
    Leg *peer = peerOf(*l);
    size_t limit = std::min<size_t>(kMaxDataLen, app.maxLen ? app.maxLen : kMaxDataLen);
    if (peer)
        limit = std::min<size_t>(limit, m_apps[peer->appl].maxLen);
    if (m.payload.size() > limit) {
        conf(InfoDataLengthNotSupported);
        return;
    }
    if (l->queue.size() >= kMaxQueuedBlocks) {
        conf(0x1103); // send queue full
        return;
    }
    Block b;
    b.data = m.payload;
    b.handle = handle;
    b.flags = uint16_t(m.num(4));
    b.number = m.number;
    b.queuedAt = Clock::now();
    l->queue.push_back(std::move(b));
    pump(*l);
}

void Exchange::onDataB3Resp(App &app, const Message &m)
{
    const uint32_t ncci = uint32_t(m.num(0));
    Leg *l = ownLegByNcci(app, ncci);
    if (!l)
        return; // the link is already gone
    if (!l->unconfirmed.erase(uint16_t(m.num(1)))) {
        error("application " + std::to_string(app.id) + ": DATA_B3_RESP for unknown handle " +
              std::to_string(m.num(1)));
        return;
    }
    if (Leg *peer = peerOf(*l))
        pump(*peer);
}

void Exchange::pump(Leg &l)
{
    while (!l.sending && !l.queue.empty() && l.b3 == B3State::Active) {
        Leg *peer = peerOf(l);
        if (peer) {
            const auto &papp = m_apps[peer->appl];
            if (peer->b3 != B3State::Active || peer->unconfirmed.size() >= papp.maxBlocks) {
                l.windowFull = true; // the receiver's window is full: the line waits
                return;
            }
        }
        if (l.windowFull) {
            l.windowFull = false;
            l.windowOpened = Clock::now();
        }
        Block b = std::move(l.queue.front());
        l.queue.pop_front();
        if (m_opt.rate == 0) {
            deliver(l, b);
            continue;
        }
        // A block that was already waiting starts the moment the line fell free, however late
        // this loop woke up: the line keeps its rate.
        const TimePoint start = std::max({b.queuedAt, l.windowOpened, l.lineFree});
        const auto dur = std::chrono::nanoseconds(int64_t(b.data.size()) * 8 * 1000000000LL / m_opt.rate);
        l.lineFree = start + dur;
        l.sendEnd = l.lineFree;
        l.inFlight = std::move(b);
        l.sending = true;
    }
}

void Exchange::deliver(Leg &from, Block &block)
{
    App &app = m_apps[from.appl];
    send(app, MessageBuilder(app.id, CmdDataB3, SubConf, block.number)
                  .dword(from.ncci)
                  .word(block.handle)
                  .word(InfoOk)
                  .finish());
    Leg *peer = peerOf(from);
    if (!peer) {
        auto call = m_calls.find(from.call);
        if (call != m_calls.end())
            call->second.virtualBytes += block.data.size();
        return;
    }
    App &papp = m_apps[peer->appl];
    const uint16_t handle = peer->nextHandle++;
    peer->unconfirmed.insert(handle);
    send(papp,
         MessageBuilder(papp.id, CmdDataB3, SubInd, nextNumber(papp))
             .dword(peer->ncci)
             .dword(0)
             .word(uint16_t(block.data.size()))
             .word(handle)
             .word(block.flags)
             .finish(),
         block.data);
}

Exchange::TimePoint Exchange::timers(TimePoint now)
{
    TimePoint next = TimePoint::max();
    std::vector<int> ring, hang;
    for (auto &[id, call] : m_calls) {
        if (call.ended)
            continue;
        if (!call.connected) {
            if (call.ringDeadline <= now)
                ring.push_back(id);
            else
                next = std::min(next, call.ringDeadline);
        }
        if (call.hangupTimer) {
            if (call.hangupDeadline <= now)
                hang.push_back(id);
            else
                next = std::min(next, call.hangupDeadline);
        }
    }
    for (int id : ring) {
        auto it = m_calls.find(id);
        if (it != m_calls.end() && !it->second.ended && !it->second.connected)
            endCall(it->second, it->second.alerted.empty() ? ReasonNoUserResponding : ReasonNoAnswer,
                    ReasonNormalClearing, "no-answer");
    }
    for (int id : hang) {
        auto it = m_calls.find(id);
        if (it != m_calls.end()) {
            it->second.hangupTimer = false;
            emit(it->second, "CALLER hung up");
            callerHangsUp(it->second);
        }
    }
    std::vector<uint32_t> due;
    for (auto &[plci, l] : m_legs) {
        if (!l.sending)
            continue;
        if (l.sendEnd <= now)
            due.push_back(plci);
        else
            next = std::min(next, l.sendEnd);
    }
    for (uint32_t plci : due) {
        Leg *l = leg(plci);
        if (!l || !l->sending)
            continue;
        l->sending = false;
        Block b = std::move(l->inFlight);
        deliver(*l, b);
        pump(*l);
        if (l->sending)
            next = std::min(next, l->sendEnd);
    }
    return next;
}

// ---------------------------------------------------------------------------------------------
// Control interface

namespace {

std::map<std::string, std::string> keyValues(const std::string &line, std::string *command)
{
    std::map<std::string, std::string> kv;
    size_t pos = 0;
    bool first = true;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        size_t end = line.find(' ', pos);
        if (end == std::string::npos)
            end = line.size();
        const std::string tok = line.substr(pos, end - pos);
        pos = end;
        if (tok.empty())
            continue;
        if (first) {
            *command = tok;
            for (char &ch : *command)
                ch = char(std::toupper(static_cast<unsigned char>(ch)));
            first = false;
            continue;
        }
        const size_t eq = tok.find('=');
        kv[tok.substr(0, eq)] = eq == std::string::npos ? std::string() : tok.substr(eq + 1);
    }
    return kv;
}

bool validNumber(const std::string &s, bool allowEmpty)
{
    if (s.size() > 30 || (!allowEmpty && s.empty()))
        return false;
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#'; });
}

bool toInt(const std::string &s, long long max, long long *out)
{
    if (s.empty() || s.size() > 10 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    *out = std::stoll(s);
    return *out <= max;
}

} // namespace

void Exchange::handleControlLine(int connId, Conn &c, const std::string &line)
{
    std::string cmd;
    auto kv = keyValues(line, &cmd);
    if (cmd.empty())
        return;
    if (cmd == "CALL") {
        if (c.callId) {
            writeLine(c, "ERROR a call is already in progress on this connection");
            return;
        }
        const std::string from = kv.count("from") && kv["from"] != "-" ? kv["from"] : std::string();
        const std::string to = kv["to"];
        long long cip = 0, hangup = -1;
        if (!validNumber(from, true) || !validNumber(to, true)) {
            writeLine(c, "ERROR numbers are digits, * and #, at most 30");
            return;
        }
        if (kv.count("cip")) {
            const int v = cipForService(kv["cip"]);
            if (v < 0) {
                writeLine(c, "ERROR unknown service " + kv["cip"]);
                return;
            }
            cip = v;
        }
        if (kv.count("hangup_after_ms") && !toInt(kv["hangup_after_ms"], 86400000, &hangup)) {
            writeLine(c, "ERROR hangup_after_ms must be a number of milliseconds");
            return;
        }
        const int id = m_nextCallId; // placeCall takes this id
        c.callId = id;
        writeLine(c, "OK call=" + std::to_string(id));
        placeCall(connId, 0, uint16_t(cip), callingPartyNumber(from), calledPartyNumber(to), from, to, 0);
        auto it = m_calls.find(id);
        if (it != m_calls.end() && !it->second.ended && hangup >= 0) {
            it->second.hangupTimer = true;
            it->second.hangupDeadline = Clock::now() + std::chrono::milliseconds(hangup);
        }
        return;
    }
    if (cmd == "HANGUP") {
        auto it = m_calls.find(c.callId);
        if (it == m_calls.end()) {
            writeLine(c, "ERROR no call on this connection");
            return;
        }
        emit(it->second, "CALLER hung up");
        callerHangsUp(it->second);
        return;
    }
    if (cmd == "STATUS") {
        for (auto &[id, app] : m_apps) {
            size_t legs = 0;
            for (auto &[p, l] : m_legs)
                legs += l.appl == id;
            writeLine(c, "APPL appl=" + std::to_string(id) + " controller=" + std::to_string(app.controller) +
                             " info_mask=" + hex32(app.infoMask) + " cip_mask=" + hex32(app.cipMask) +
                             " cip_mask2=" + hex32(app.cipMask2) + " plcis=" + std::to_string(legs));
        }
        for (auto &[id, call] : m_calls) {
            if (call.ended)
                continue;
            writeLine(c, "CALL call=" + std::to_string(id) + " state=" +
                             (call.connected ? "connected" : "ringing") + " cip=" + std::to_string(call.cip) +
                             " from=" + (call.from.empty() ? "-" : call.from) + " to=" + call.to);
        }
        writeLine(c, "END");
        return;
    }
    if (cmd == "EVENTS") {
        long long since = 0;
        if (kv.count("since") && !toInt(kv["since"], 1LL << 40, &since)) {
            writeLine(c, "ERROR since must be a number");
            return;
        }
        for (auto &[seq, text] : m_events)
            if (seq >= uint64_t(since))
                writeLine(c, "EVENT " + std::to_string(seq) + " " + text);
        writeLine(c, "END next=" + std::to_string(m_nextEvent));
        return;
    }
    if (cmd == "QUIT") {
        c.closeAfterFlush = true;
        writeLine(c, "BYE");
        return;
    }
    writeLine(c, "ERROR unknown command " + cmd + " (CALL, HANGUP, STATUS, EVENTS, QUIT)");
}

} // namespace isdnsim
