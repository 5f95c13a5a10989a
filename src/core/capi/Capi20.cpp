#include "capi/Capi20.h"

#include "capi/Transfer.h"
#include "common/Clock.h"

#include <cstring>

using namespace Capi;
using namespace CapiError;

namespace {
constexpr int64_t kDialTimeoutMs = 5000;
constexpr int64_t kDisconnectTimeoutMs = 10000;
// How long SendData waits for a transmit entry to come free (a block takes a quarter of a second
// at line rate).
constexpr int64_t kSendWaitMs = 30000;

// Runs an event handler for the dispatcher. A handler that throws is reported, and the message is
// still answered and booked: neither the call's state nor the driver's queue may depend on it.
template<typename Event> void Guarded(TCapi20 &capi, uint32_t command, uint32_t subCommand, Event &&event)
{
    try {
        event();
    } catch (...) {
        capi.RaiseError(command, subCommand, CapiError::ERR_HANDLER_FAILED);
    }
}
} // namespace

uint32_t CipMaskOfServiceMask(uint16_t serviceMask)
{
    if (serviceMask & ServiceBit::All)
        return LISTEN_ALL;
    uint32_t mask = 0;
    if (serviceMask & ServiceBit::AnalogTelephony)
        mask |= LISTEN_ANALOG_TELEPHONY;
    if (serviceMask & ServiceBit::DigitalTelephony)
        mask |= LISTEN_DIGITAL_TELEPHONY;
    if (serviceMask & ServiceBit::Fax3)
        mask |= LISTEN_FAX3;
    if (serviceMask & ServiceBit::Fax4)
        mask |= LISTEN_FAX4;
    if (serviceMask & ServiceBit::Data64K)
        mask |= LISTEN_DATA_64K;
    // "DFÜ 56K" asks for 56 kbit/s data calls; without this bit choosing it reported nothing.
    if (serviceMask & ServiceBit::Data56K)
        mask |= LISTEN_DATA_56K;
    return mask;
}

uint32_t InfoMaskOf(TInfoSet infos)
{
    static constexpr std::pair<TCapiInfo, uint32_t> bits[] = {
        {DisconnectCause, 0x01}, {DatumZeit, 0x02}, {CapiInfoMembers::Display, 0x04},
        {UserToUser, 0x08},      {RufStatus, 0x10}, {Facilities, 0x20},
        {Gebuehren, 0x40},
    };
    uint32_t mask = 0;
    for (const auto &[member, bit] : bits)
        if (infos & (TInfoSet(1) << member))
            mask |= bit;
    return mask;
}

// ---- TFiFoBuffer ----

TFiFoBuffer::TFiFoBuffer(int capacity) : m_capacity(std::clamp(capacity, 1, 128)) {}

void TFiFoBuffer::Push(int value)
{
    m_items[size_t(m_write)] = value;
    m_write = (m_write + 1) % m_capacity;
    if (m_write == m_read)
        m_read = (m_read + 1) % m_capacity;
}

int TFiFoBuffer::Pop()
{
    if (m_read == m_write)
        return -1;
    const int value = m_items[size_t(m_read)];
    m_read = (m_read + 1) % m_capacity;
    return value;
}

void TFiFoBuffer::Flush()
{
    m_read = m_write = 0;
}

// ---- TCapi20 ----

TCapi20::TCapi20() : m_transfer(std::make_unique<FileTransfer>(*this)) {}

TCapi20::TCapi20(std::unique_ptr<CapiBinding> binding)
    : TCustomCapi20(std::move(binding)), m_transfer(std::make_unique<FileTransfer>(*this))
{}

TCapi20::~TCapi20()
{
    Shutdown();
}

void TCapi20::SetBuffers(int value)
{
    m_buffers = std::clamp(value, 1, 4);
}

void TCapi20::SetBufferSize(int value)
{
    if (value != m_bufferSize)
        m_bufferSize = std::max(1, std::min(value, BDataBlockSize()));
}

void TCapi20::SetInfos(TInfoSet value)
{
    if (value == m_infos)
        return;
    m_infos = value;
    m_infoMask = InfoMaskOf(value);
    if (Registered())
        Listen(m_serviceMask);
}

B3Channel TCapi20::Channel(int number) const
{
    std::lock_guard guard(m_channelLock);
    return number >= 1 && number <= 4 ? m_channels[size_t(number - 1)] : B3Channel();
}

// ---- channels ----

int TCapi20::AllocateChannel()
{
    std::lock_guard guard(m_channelLock);
    for (size_t i = 0; i < m_channels.size(); ++i) {
        B3Channel &ch = m_channels[i];
        if (ch.InUse)
            continue;
        ch = B3Channel();
        ch.InUse = true;
        // Never beyond the registered block size, which may have been lowered since BufferSize
        // was set: the network refuses bigger blocks, and a received block lies in a library
        // buffer of that size. Nor beyond what one request can carry in the message buffer.
        ch.BufferSize = std::clamp(std::min(m_bufferSize, BDataBlockSize()), 1, int(MaxDataB3Payload));
        ch.Buffers = m_buffers;
        for (int b = 0; b < ch.Buffers; ++b) {
            ch.Receive[size_t(b)].Data.assign(size_t(ch.BufferSize), 0);
            ch.Transmit[size_t(b)].Data.assign(size_t(ch.BufferSize), 0);
        }
        return int(i) + 1;
    }
    return -1;
}

int TCapi20::FindChannel(int NCCI) const
{
    if (NCCI == -1)
        return -1;
    std::lock_guard guard(m_channelLock);
    for (size_t i = 0; i < m_channels.size(); ++i)
        if (m_channels[i].InUse && m_channels[i].NCCI == NCCI)
            return int(i) + 1;
    return -1;
}

// A file being received over a link that goes away is not kept.
void TCapi20::FreeChannel(int NCCI)
{
    {
        std::lock_guard guard(m_channelLock);
        const int number = FindChannel(NCCI);
        if (number < 0)
            return;
        m_channels[size_t(number - 1)] = B3Channel();
    }
    m_transfer->LinkDown(NCCI);
}

void TCapi20::FreeAllChannels()
{
    std::vector<int> freed;
    {
        std::lock_guard guard(m_channelLock);
        for (B3Channel &ch : m_channels) {
            if (ch.InUse)
                freed.push_back(ch.NCCI);
            ch = B3Channel();
        }
    }
    for (int ncci : freed)
        m_transfer->LinkDown(ncci);
}

std::vector<int> TCapi20::ChannelNccis() const
{
    std::lock_guard guard(m_channelLock);
    std::vector<int> nccis;
    for (const B3Channel &ch : m_channels)
        if (ch.InUse && ch.NCCI != -1)
            nccis.push_back(ch.NCCI);
    return nccis;
}

// ---- operations ----

void TCapi20::Listen(uint16_t ServiceMask)
{
    m_serviceMask = ServiceMask;
    PutRequest(CMD_LISTEN, ListenReq(uint32_t(Controller), m_infoMask, CipMaskOfServiceMask(ServiceMask)));
}

bool TCapi20::Dial(const QString &Number, const QString & /*Unused*/, uint8_t Service)
{
    if (!Registered()) {
        RaiseError(0, 0, ERR_NOT_REGISTERED);
        return false;
    }
    if (m_callState != 0) {
        RaiseError(0, 0, ERR_CALL_ACTIVE);
        return false;
    }
    const CapiParams params = ConnectReq(uint32_t(Controller), CipOfService(Service), Number.toLatin1(),
                                         m_ownNumber, B1Protokol, B2Protokol, B3Protokol);
    m_plci = -1;
    m_callDirection = 1;
    m_connectConfirmed = false;
    // Until the confirmation names our call, a caller who rings meanwhile is not it.
    m_dialing = true;
    const bool put = PutRequest(CMD_CONNECT, params);
    if (put)
        WaitWhilePending([this] { return m_connectConfirmed.load(); }, kDialTimeoutMs);
    m_dialing = false;
    return put && m_plci != -1;
}

bool TCapi20::OwnCallBesides(uint32_t plci) const
{
    if (m_dialing)
        return true;
    return m_callState != 0 && m_plci != -1 && uint32_t(m_plci.load()) != plci;
}

bool TCapi20::Answer(uint16_t Reject)
{
    const int msgId = m_pendingMsgId.exchange(-1);
    if (msgId == -1) {
        RaiseError(0, 0, ERR_NO_PENDING_CALL);
        return false;
    }
    const auto plci = uint32_t(m_pendingPlci.load());
    // While connected the ringing call can only be refused as busy. A call of ours that is being
    // set up (dialled) keeps its place: the ringing call gets its answer as given, unless that
    // is to accept it, which would make two calls of one.
    const bool otherCall = OwnCallBesides(plci);
    if (m_callState < 2 && !(otherCall && Reject == 0)) {
        if (!otherCall)
            m_callDirection = 2;
        PutResponse(CMD_CONNECT, uint32_t(msgId),
                    ConnectResp(plci, Reject, B1Protokol, B2Protokol, B3Protokol, m_ownNumber));
        return true;
    }
    RaiseError(0, 0, ERR_CALL_ACTIVE);
    PutResponse(CMD_CONNECT, uint32_t(msgId), ConnectRespBusy(plci));
    return false;
}

bool TCapi20::ConnectB3()
{
    if (m_callState == 0 || m_callState == 1)
        return false;
    {
        std::lock_guard guard(m_channelLock);
        const int number = AllocateChannel();
        if (number < 0)
            return false;
        m_fifo.Push(number);
    }
    return PutRequest(CMD_CONNECT_B3, ConnectB3Req(uint32_t(m_plci.load())));
}

bool TCapi20::DisconnectB3(int NCCI)
{
    const int number = FindChannel(NCCI);
    if (number < 0)
        return true;
    PutRequest(CMD_DISCONNECT_B3, DisconnectB3Req(uint32_t(NCCI)));
    auto gone = [this, number, NCCI] { return Channel(number).NCCI != NCCI; };
    return WaitWhilePending(gone, kDisconnectTimeoutMs);
}

bool TCapi20::Disconnect(int /*Unused*/)
{
    if (m_callState != 0) {
        for (int ncci : ChannelNccis())
            DisconnectB3(ncci);
        PutRequest(CMD_DISCONNECT, DisconnectReq(uint32_t(m_plci.load())));
        WaitWhilePending([this] { return m_callState == 0; }, kDisconnectTimeoutMs);
    }
    return m_callState == 0;
}

void TCapi20::BeforeRelease()
{
    if (m_callState != 0) {
        for (int ncci : ChannelNccis()) {
            if (OnBDisconnect)
                OnBDisconnect(this, ncci, REASON_RELEASED);
            if (m_b3Count > 0)
                --m_b3Count;
            FreeChannel(ncci);
        }
        m_callState = 2;
        if (OnDisconnect)
            OnDisconnect(this, REASON_RELEASED);
        FreeAllChannels();
    }
    m_callDirection = 0;
    m_callState = 0;
}

// ---- dispatcher ----

void TCapi20::Report(uint32_t command, uint16_t info)
{
    if (info != 0)
        RaiseError(command, SUB_CONF, info);
}

void TCapi20::HandleMessage(uint32_t CommandID, uint32_t SubCommand, IndicationDatenType &Daten,
                            uint32_t MsgID)
{
    bool handled = true;
    if (SubCommand == SUB_CONF)
        switch (CommandID) {
        case CMD_ALERT:
        case CMD_CONNECT_ACTIVE:
        case CMD_LISTEN:
        case CMD_INFO:
        case CMD_SELECT_B_PROTOCOL:
        case CMD_FACILITY:
        case CMD_DISCONNECT_B3:
        case CMD_RESET_B3:
        case CMD_CONNECT:
        case CMD_DISCONNECT:
        case CMD_CONNECT_B3:
        case CMD_DATA_B3:
            HandleConfirmation(CommandID, Daten);
            break;
        default:
            handled = false;
        }
    else if (SubCommand == SUB_IND)
        handled = HandleIndication(CommandID, Daten, MsgID);
    else
        handled = false; // neither confirmation nor indication: nothing CAPI delivers

    if (!handled) {
        if (SubCommand == SUB_IND)
            AnswerUnhandled(CommandID, Daten, MsgID);
        if (OnMessage)
            OnMessage(this, CommandID, SubCommand, MsgID, Daten);
    }
}

void TCapi20::HandleConfirmation(uint32_t command, IndicationDatenType &daten)
{
    switch (command) {
    case CMD_CONNECT: {
        const uint16_t info = daten.Word(4);
        if (info != 0) {
            Report(command, info);
        } else {
            m_plci = int(daten.Dword(0));
            m_callState = 1;
        }
        m_connectConfirmed = true; // after the PLCI: Dial reads it once this is set
        break;
    }
    case CMD_DISCONNECT:
        Report(command, daten.Word(4));
        FreeAllChannels();
        break;
    case CMD_CONNECT_B3: {
        const uint16_t info = daten.Word(4);
        Report(command, info);
        if (info < 0x1000) {
            std::lock_guard guard(m_channelLock);
            const int number = m_fifo.Pop();
            if (number >= 1 && number <= 4)
                m_channels[size_t(number - 1)].NCCI = int(daten.Dword(0));
        }
        break;
    }
    case CMD_DATA_B3:
        Report(command, daten.Word(6));
        HandleDataB3Conf(int(daten.Dword(0)), daten.Word(4), daten.Word(6));
        break;
    default:
        Report(command, daten.Word(4));
    }
}

bool TCapi20::HandleIndication(uint32_t command, IndicationDatenType &daten, uint32_t msgId)
{
    switch (command) {
    case CMD_CONNECT:
        Ring(daten, msgId);
        return true;
    case CMD_CONNECT_ACTIVE:
        ConnectActive(daten, msgId);
        return true;
    case CMD_DISCONNECT:
        DisconnectIndication(daten, msgId);
        return true;
    case CMD_INFO: {
        CapiParameterType element = InfoElementOf(daten);
        if (OnInfo)
            Guarded(*this, command, SUB_IND, [&] { OnInfo(this, daten.Word(4), element); });
        PutResponse(CMD_INFO, msgId, DwordOnly(daten.Dword(0)));
        return true;
    }
    case CMD_CONNECT_B3:
        ConnectB3Indication(daten, msgId);
        return true;
    case CMD_CONNECT_B3_ACTIVE:
        ConnectB3Active(daten, msgId);
        return true;
    case CMD_DISCONNECT_B3:
        DisconnectB3Indication(daten, msgId);
        return true;
    case CMD_DATA_B3: {
        const Capi::DataB3Indication block = DecodeDataB3Ind(daten);
        bool stored = false;
        try {
            stored = HandleDataB3Ind(block);
        } catch (...) {
            // The block must be answered whatever its handling did, or the driver keeps it.
            PutResponse(CMD_DATA_B3, msgId, DataB3Resp(block.NCCI, block.Handle));
            throw;
        }
        // Answered as soon as it is copied: handling it may send whole files and take further
        // messages meanwhile (the end of the link among them), after which the library would no
        // longer know the block.
        PutResponse(CMD_DATA_B3, msgId, DataB3Resp(block.NCCI, block.Handle));
        if (stored)
            HandleReceivedBlock(int(block.NCCI));
        return true;
    }
    default:
        return false;
    }
}

// Indications the dispatcher does not handle still get the response the standard requires, so the
// driver's queue is never held up by them. Unknown commands have no known response.
bool TCapi20::AnswerUnhandled(uint32_t command, IndicationDatenType &daten, uint32_t msgId)
{
    switch (command) {
    case CMD_FACILITY:
        return PutResponse(command, msgId, FacilityResp(daten.Dword(0), daten.Word(4)));
    case CMD_RESET_B3:
    case CMD_CONNECT_B3_T90_ACTIVE:
        return PutResponse(command, msgId, DwordOnly(daten.Dword(0)));
    case CMD_MANUFACTURER:
        return PutResponse(command, msgId, ManufacturerResp(daten.Dword(0), daten.Dword(4)));
    default:
        return false;
    }
}

void TCapi20::Ring(IndicationDatenType &daten, uint32_t msgId)
{
    const int plci = int(daten.Dword(0));
    m_service = ServiceOfCip(daten.Word(4));
    // A call of ours that is connected, or dialled and being set up, keeps its PLCI and state; the
    // new call waits apart as the pending one.
    const bool keepCurrent =
        m_callState >= 2 || m_dialing || (m_callState == 1 && m_callDirection == 1 && m_plci != -1);
    m_pendingPlci = plci;
    m_pendingMsgId = int(msgId);
    if (!keepCurrent)
        m_plci = plci;

    uint32_t result = RingResult::Ignore;
    if (OnRing) {
        m_ringDaten = CallDatenFromIndication(daten);
        // The handler may end the component: it runs on copies that its hand-over keeps, and its
        // result is taken only if the component is still there.
        struct Ringing
        {
            TCapiRingEvent handler;
            TCallDaten daten;
            std::atomic<uint32_t> result{RingResult::Ignore};
        };
        auto ringing = std::make_shared<Ringing>();
        ringing->handler = OnRing;
        ringing->daten = m_ringDaten;
        // A failing handler leaves the result as without one.
        Guarded(*this, CMD_CONNECT, SUB_IND, [&] {
            CallInMainThread([this, ringing] { ringing->result = ringing->handler(this, ringing->daten); });
        });
        if (!Registered())
            return; // released while the ring was shown: the release dropped the call
        result = ringing->result;
    }
    if (result == RingResult::AlertOnly) {
        PutRequest(CMD_ALERT, AlertReq(uint32_t(plci)));
        if (!keepCurrent)
            m_callState = 1;
    } else {
        Answer(uint16_t(result));
    }
}

void TCapi20::ConnectActive(IndicationDatenType &daten, uint32_t msgId)
{
    {
        std::lock_guard guard(m_channelLock);
        m_fifo.Flush();
    }
    const uint32_t plci = daten.Dword(0);
    m_plci = int(plci);
    m_callState = 2;
    PutResponse(CMD_CONNECT_ACTIVE, msgId, DwordOnly(plci));
    if (OnConnect)
        Guarded(*this, CMD_CONNECT_ACTIVE, SUB_IND, [this] { OnConnect(this); });
    if (AutoBConnect && m_callDirection == 1)
        ConnectB3();
}

void TCapi20::DisconnectIndication(IndicationDatenType &daten, uint32_t msgId)
{
    const uint32_t plci = daten.Dword(0);
    const uint16_t reason = daten.Word(4);
    // The end of a call that is not ours (a second caller that was refused while our call is up
    // or being dialled) only gets its response.
    if (OwnCallBesides(plci)) {
        PutResponse(CMD_DISCONNECT, msgId, DwordOnly(plci));
        ReportCallEnded(plci, reason);
        return;
    }
    if (OnDisconnect)
        Guarded(*this, CMD_DISCONNECT, SUB_IND, [&] { OnDisconnect(this, reason); });
    m_callDirection = 0;
    m_callState = 0;
    for (int ncci : ChannelNccis())
        DisconnectB3(ncci);
    // The call is gone: no channel of it can be used again.
    FreeAllChannels();
    m_b3Count = 0;
    m_callState = 0;
    PutResponse(CMD_DISCONNECT, msgId, DwordOnly(plci));
    m_plci = -1;
    ReportCallEnded(plci, reason);
}

void TCapi20::ReportCallEnded(uint32_t plci, uint16_t reason)
{
    if (!OnCallEnded)
        return;
    // Last in its indication's handling: the handler runs on a copy, and nothing of the
    // component is used after it.
    TCapiCallEndedEvent handler = OnCallEnded;
    Guarded(*this, CMD_DISCONNECT, SUB_IND,
            [&] { CallInMainThread([this, handler, plci, reason] { handler(this, plci, reason); }); });
}

void TCapi20::ConnectB3Indication(IndicationDatenType &daten, uint32_t msgId)
{
    const uint32_t ncci = daten.Dword(0);
    bool wanted = true;
    if (OnRequestBConnect) {
        wanted = false; // a failing handler accepts nothing
        Guarded(*this, CMD_CONNECT_B3, SUB_IND, [&] { wanted = OnRequestBConnect(this); });
    }
    uint16_t reject = 1;
    if (wanted) {
        std::lock_guard guard(m_channelLock);
        const int number = AllocateChannel();
        if (number > 0) {
            m_channels[size_t(number - 1)].NCCI = int(ncci);
            reject = 0;
        }
    }
    PutResponse(CMD_CONNECT_B3, msgId, ConnectB3Resp(ncci, reject));
}

void TCapi20::ConnectB3Active(IndicationDatenType &daten, uint32_t msgId)
{
    const int ncci = int(daten.Dword(0));
    ++m_b3Count;
    m_callState = 3;
    PutResponse(CMD_CONNECT_B3_ACTIVE, msgId, DwordOnly(uint32_t(ncci)));
    if (FindChannel(ncci) > 0) {
        m_currentNcci = ncci;
        // Handlers in the main thread run on copies: they may end the component.
        if (OnBConnect)
            CallInMainThread([this, handler = OnBConnect, ncci] { handler(this, ncci); });
    }
}

void TCapi20::DisconnectB3Indication(IndicationDatenType &daten, uint32_t msgId)
{
    const int ncci = int(daten.Dword(0));
    m_reasonB3 = daten.Word(4);
    if (OnBDisconnect)
        Guarded(*this, CMD_DISCONNECT_B3, SUB_IND, [this] {
            CallInMainThread([this, handler = OnBDisconnect, ncci = m_currentNcci.load(),
                              reason = m_reasonB3.load()] { handler(this, ncci, reason); });
        });
    if (!Registered())
        return; // released meanwhile: the release freed the channels
    FreeChannel(ncci);
    if (m_b3Count > 0)
        --m_b3Count;
    if (m_b3Count == 0 && m_callState > 2)
        m_callState = 2;
    PutResponse(CMD_DISCONNECT_B3, msgId, DwordOnly(uint32_t(ncci)));
}

// ---- data path ----

namespace {
int NextIndex(int index, int buffers)
{
    return index >= buffers ? 1 : index + 1;
}
} // namespace

bool TCapi20::LinkHolds(int NCCI) const
{
    return Registered() && FindChannel(NCCI) > 0;
}

// The most file bytes one data frame may carry on this link: a frame must stay one block.
int TCapi20::FrameCapacity(int NCCI) const
{
    int block = BDataBlockSize();
    std::lock_guard guard(m_channelLock);
    const int number = FindChannel(NCCI);
    if (number > 0)
        block = std::min(block, m_channels[size_t(number - 1)].BufferSize);
    // The other side takes each block into a buffer of WorkBytes and cuts what is longer.
    return std::clamp(block, 3, Transfer::WorkBytes) - 2;
}

int64_t TCapi20::QueuedBytes(int NCCI) const
{
    std::lock_guard guard(m_channelLock);
    const int number = FindChannel(NCCI);
    return number > 0 ? m_channels[size_t(number - 1)].QueuedBytes : 0;
}

int TCapi20::RefusedBlocks(int NCCI) const
{
    std::lock_guard guard(m_channelLock);
    const int number = FindChannel(NCCI);
    return number > 0 ? m_channels[size_t(number - 1)].RefusedBlocks : 0;
}

int TCapi20::SendData(int NCCI, const void *Data, int Count)
{
    const int number = FindChannel(NCCI);
    if (number < 0)
        return 0;
    const auto *bytes = static_cast<const uint8_t *>(Data);
    int done = 0;
    int64_t waitingSince = Clock::ticks();
    while (done < Count) {
        bool filled = false;
        {
            std::lock_guard guard(m_channelLock);
            B3Channel &ch = m_channels[size_t(number - 1)];
            if (!ch.InUse || ch.NCCI != NCCI || !Registered())
                break; // the link went down: the rest is dropped
            B3TransmitEntry &entry = ch.Transmit[size_t(ch.TransmitFill - 1)];
            if (entry.State == 0) {
                const int chunk = std::min(ch.BufferSize, Count - done);
                std::memcpy(entry.Data.data(), bytes + done, size_t(chunk));
                entry.Length = chunk;
                entry.State = 1;
                ch.TransmitFill = NextIndex(ch.TransmitFill, ch.Buffers);
                ch.QueuedBytes += chunk;
                done += chunk;
                filled = true;
            }
        }
        if (filled) {
            SendNextBlock(NCCI);
            waitingSince = Clock::ticks();
        } else if (Clock::ticks() - waitingSince >= kSendWaitMs) {
            RaiseError(CMD_DATA_B3, 0x80, ERR_SEND_TIMEOUT);
            return done;
        } else {
            ProcessPending(); // every entry is taken: let the confirmations in
        }
    }
    return std::max(Count, 0);
}

// Puts the oldest filled entry when fewer than two blocks are unconfirmed. The put happens under
// the channel lock so that the entry cannot be freed while the library copies it.
void TCapi20::SendNextBlock(int NCCI)
{
    std::lock_guard guard(m_channelLock);
    const int number = FindChannel(NCCI);
    if (number < 0)
        return;
    B3Channel &ch = m_channels[size_t(number - 1)];
    const int index = ch.TransmitSend;
    B3TransmitEntry &entry = ch.Transmit[size_t(index - 1)];
    if (ch.Outstanding >= 2 || entry.State != 1)
        return;
    entry.State = 2;
    entry.DataHandle = uint16_t(index);
    ++ch.Outstanding;
    ch.TransmitSend = NextIndex(index, ch.Buffers);
    if (!PutRequest(CMD_DATA_B3,
                    DataB3Req(uint32_t(NCCI), entry.Data.data(), uint16_t(entry.Length), uint16_t(index)))) {
        // Not put (reported by the put): no confirmation will free the entry.
        ++ch.RefusedBlocks;
        --ch.Outstanding;
        ch.QueuedBytes -= entry.Length;
        entry.Length = 0;
        entry.State = 0;
    }
}

int TCapi20::ReceiveData(int NCCI, void *Buffer, int Count)
{
    std::lock_guard guard(m_channelLock);
    const int number = FindChannel(NCCI);
    if (number < 0 || Count <= 0)
        return 0;
    B3Channel &ch = m_channels[size_t(number - 1)];
    B3ReceiveEntry &entry = ch.Receive[size_t(ch.ReceiveRead - 1)];
    if (entry.Length <= 0)
        return 0;
    const int n = std::min(Count, entry.Length);
    std::memcpy(Buffer, entry.Data.data() + entry.ReadOffset, size_t(n));
    ch.UnreadBytes -= n;
    entry.Length -= n;
    entry.ReadOffset += n;
    if (entry.Length == 0)
        ch.ReceiveRead = NextIndex(ch.ReceiveRead, ch.Buffers);
    return n;
}

bool TCapi20::HandleDataB3Ind(const Capi::DataB3Indication &Block)
{
    // An empty block is only answered: stored, it would take a ring entry that reading never
    // leaves, and every later block would be read one entry late.
    if (Block.Data == nullptr || Block.Length == 0)
        return false;
    std::lock_guard guard(m_channelLock);
    const int number = FindChannel(int(Block.NCCI));
    if (number < 0)
        return false;
    B3Channel &ch = m_channels[size_t(number - 1)];
    B3ReceiveEntry &entry = ch.Receive[size_t(ch.ReceiveWrite - 1)];
    const int length = std::min(int(Block.Length), ch.BufferSize);
    {
        // The block lies in the library's memory until it is answered, and a release would
        // free it: copy it under the library lock.
        std::lock_guard library(CapiBinding::LibraryLock());
        if (!Registered())
            return false;
        std::memcpy(entry.Data.data(), Block.Data, size_t(length));
    }
    // A full ring overwrites its oldest unread entry; reading goes on with the next oldest.
    const bool overwrite = entry.Length > 0;
    ch.UnreadBytes += length - entry.Length;
    entry.DataHandle = Block.Handle;
    entry.Length = length;
    entry.ReadOffset = 0;
    ch.ReceiveWrite = NextIndex(ch.ReceiveWrite, ch.Buffers);
    if (overwrite)
        ch.ReceiveRead = ch.ReceiveWrite;
    return true;
}

void TCapi20::HandleDroppedDataBlock(uint32_t NCCI)
{
    m_transfer->BlockLost(int(NCCI));
}

void TCapi20::HandleDataB3Conf(int NCCI, uint16_t Handle, uint16_t Info)
{
    {
        std::lock_guard guard(m_channelLock);
        const int number = FindChannel(NCCI);
        if (number < 0)
            return;
        B3Channel &ch = m_channels[size_t(number - 1)];
        if (Handle < 1 || Handle > ch.Buffers)
            return; // not one of ours
        B3TransmitEntry &entry = ch.Transmit[size_t(Handle - 1)];
        if (entry.State != 2)
            return;
        // Freed whatever the Info was (an error was reported): nothing is sent again, but the
        // refusal is counted, so that a file it belonged to is not taken for sent.
        if (Info != 0)
            ++ch.RefusedBlocks;
        --ch.Outstanding;
        ch.QueuedBytes -= entry.Length;
        entry.Length = 0;
        entry.State = 0;
    }
    if (OnSend)
        Guarded(*this, CMD_DATA_B3, SUB_CONF, [&] { OnSend(this, NCCI); });
    SendNextBlock(NCCI);
}

// ---- file transfer ----

void TCapi20::HandleReceivedBlock(int NCCI)
{
    std::array<uint8_t, Transfer::WorkBytes> work;
    const int count = ReceiveData(NCCI, work.data(), Transfer::WorkBytes);
    // A block longer than the work buffer is cut: its rest must not pass for the next block.
    std::array<uint8_t, Transfer::WorkBytes> rest;
    while (ReceiveData(NCCI, rest.data(), Transfer::WorkBytes) > 0) {
    }
    if (OnReceive)
        OnReceive(this, NCCI, reinterpret_cast<const char *>(work.data()), uint32_t(count));
    m_transfer->HandleBlock(NCCI, work.data(), count);
}

void TCapi20::SendFile(const QString &Path)
{
    m_transfer->SendFile(Path);
}

void TCapi20::SendFileList()
{
    m_transfer->SendFileList();
}

void TCapi20::SendCommand(uint8_t Kind, const QString &Text)
{
    m_transfer->SendCommand(Kind, Text);
}
