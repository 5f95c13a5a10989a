// The text control interface: placing calls, status and the event log.

#include "Exchange.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace isdnsim {

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
