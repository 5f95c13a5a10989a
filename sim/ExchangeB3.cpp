// B3: links, data blocks paced at the line rate and the receiver's window, and the timers of
// the poll loop (ring timeout, hang-up, line pacing).

#include "Exchange.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace isdnsim {

namespace {

constexpr size_t kMaxQueuedBlocks = 32;

} // namespace

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

} // namespace isdnsim
