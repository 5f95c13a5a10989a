// CAPI messages of the call phase: LISTEN, CONNECT, ALERT and DISCONNECT from the applications.

#include "Exchange.h"

namespace isdnsim {

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

} // namespace isdnsim
