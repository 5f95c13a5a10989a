// Calls and their legs: offering a call to the listening applications, the final answers,
// connecting, clearing and the call events.

#include "Exchange.h"

#include <chrono>
#include <cstdio>

namespace isdnsim {

namespace {

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

} // namespace isdnsim
