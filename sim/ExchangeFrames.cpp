// Frames of the remote protocol: sending messages, the control requests (register, release,
// get profile), the trace and the event log.

#include "Exchange.h"

#include <algorithm>
#include <cstring>

namespace isdnsim {

namespace {

constexpr size_t kMaxOutBuffer = 8 * 1024 * 1024;
constexpr size_t kMaxEvents = 20000;

} // namespace

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

// The `rcapi` driver frames a message with a big-endian length in front (counting itself) and asks
// for the manufacturer (FA FF), version (FC FF) and serial number (FE FF) with an 8-byte header and
// the controller. It reads the answer (command + 1) into a buffer of 104 bytes and takes the
// value from behind the header's length byte; it waits for it without a time limit, so every
// question is answered. Registering through it is not supported.
void Exchange::handleRcapiFrame(int connId, Conn &c, const uint8_t *data, size_t len)
{
    const uint8_t command = len >= kHeaderLen ? data[4] : 0;
    if (len < kHeaderLen + 4 || data[5] != 0xFF || (command != 0xFA && command != 0xFC && command != 0xFE)) {
        error("connection " + std::to_string(connId) +
              ": rcapi request other than manufacturer, version or serial number; closing it (applications "
              "register through the fritzbox driver)");
        closeConn(connId, "unsupported rcapi request");
        return;
    }
    const uint32_t controller = rd32(data + kHeaderLen);
    Bytes value;
    auto text = [&](const std::string &s, size_t size) {
        value.assign(size + 1, 0);
        value[0] = uint8_t(std::min(s.size(), size - 1));
        std::copy_n(s.begin(), value[0], value.begin() + 1);
    };
    if (command == 0xFA) {
        text(m_opt.manufacturer, 64);
        logEvent("manufacturer controller=" + std::to_string(controller));
    } else if (command == 0xFC) {
        value.assign(17, 0);
        value[0] = 16;
        const uint32_t numbers[4] = {m_opt.capiVersion[0], m_opt.capiVersion[1], m_opt.manufacturerVersion[0],
                                     m_opt.manufacturerVersion[1]};
        for (size_t i = 0; i < 4; ++i)
            for (size_t b = 0; b < 4; ++b)
                value[1 + 4 * i + b] = uint8_t(numbers[i] >> (8 * b));
        logEvent("version controller=" + std::to_string(controller));
    } else {
        text(m_opt.serialNumber, 8);
        logEvent("serial controller=" + std::to_string(controller));
    }
    MessageBuilder reply(0, uint8_t(command + 1), 0xFF, rd16(data + 6));
    for (uint8_t b : value)
        reply.byte(b);
    const Bytes message = reply.finish();
    const size_t total = 2 + message.size();
    Bytes frame = {uint8_t(total >> 8), uint8_t(total)};
    frame.insert(frame.end(), message.begin(), message.end());
    c.out.insert(c.out.end(), frame.begin(), frame.end());
    flushConn(c);
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

} // namespace isdnsim
