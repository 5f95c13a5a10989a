// Incoming CAPI messages of any shape through the codec and the dispatcher of the component,
// mixed with what the main thread does meanwhile (dialling,
// answering, B3 links, sends, a new registration, a lost connection). Every indication that CAPI
// wants answered gets exactly one response, and the B3 channels' bookkeeping stays consistent.
//
// Input: two bytes of set-up (see below), then records. A record with a first byte under 0xF0 is
// one message of that many bytes (what follows a DATA_B3_IND of the 30-byte form is its data);
// 0xF0 and above is a step of the main thread with one argument byte (at most kMaxSteps of them).
//
// Built twice: fuzz_capi_messages dispatches on the fuzzing thread; fuzz_capi_threads
// (FUZZ_ON_MESSAGE_THREAD) runs the component's message thread beside the main thread, where a
// step that waits for the network costs a millisecond or more.

#include "CapiHarness.h"

#include "capi/Transfer.h"

#include <map>
#include <stdexcept>

using namespace CapiFuzz;

namespace {

#ifdef FUZZ_ON_MESSAGE_THREAD
constexpr Dispatch kDispatch = Dispatch::OnMessageThread;
constexpr int kMaxSteps = 8;
#else
constexpr Dispatch kDispatch = Dispatch::OnFuzzingThread;
constexpr int kMaxSteps = 8;
#endif

// Indications the component must answer (CONNECT_IND is answered when the ring is decided, which
// may be never when it is left ringing).
bool MustBeAnswered(uint8_t command)
{
    switch (command) {
    case Capi::CMD_CONNECT_ACTIVE:
    case Capi::CMD_DISCONNECT:
    case Capi::CMD_INFO:
    case Capi::CMD_CONNECT_B3:
    case Capi::CMD_CONNECT_B3_ACTIVE:
    case Capi::CMD_DISCONNECT_B3:
    case Capi::CMD_DATA_B3:
    case Capi::CMD_FACILITY:
    case Capi::CMD_RESET_B3:
    case Capi::CMD_CONNECT_B3_T90_ACTIVE:
    case Capi::CMD_MANUFACTURER:
        return true;
    default:
        return false;
    }
}

void CheckChannels(const TCapi20 &capi)
{
    FUZZ_CHECK(capi.CallState() <= 3 && capi.B3Count() >= 0);
    for (int n = 1; n <= 4; ++n) {
        const B3Channel ch = capi.Channel(n);
        if (!ch.InUse)
            continue;
        FUZZ_CHECK(ch.Buffers >= 1 && ch.Buffers <= 4 && ch.Outstanding >= 0 && ch.Outstanding <= 2);
        for (const int index : {ch.ReceiveWrite, ch.ReceiveRead, ch.TransmitFill, ch.TransmitSend})
            FUZZ_CHECK(index >= 1 && index <= ch.Buffers);
        int unread = 0, queued = 0, outstanding = 0;
        for (int b = 0; b < ch.Buffers; ++b) {
            const B3ReceiveEntry &r = ch.Receive[size_t(b)];
            FUZZ_CHECK(r.Length >= 0 && r.ReadOffset >= 0 && r.ReadOffset + r.Length <= ch.BufferSize);
            unread += r.Length;
            const B3TransmitEntry &t = ch.Transmit[size_t(b)];
            FUZZ_CHECK(t.State >= 0 && t.State <= 2 && t.Length >= 0 && t.Length <= ch.BufferSize);
            queued += t.State != 0 ? t.Length : 0;
            outstanding += t.State == 2;
        }
        FUZZ_CHECK(ch.UnreadBytes == unread && ch.QueuedBytes == queued && ch.Outstanding == outstanding);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // Set-up: bits 0-1 the ring result (accept, ignore, busy, leave ringing), bit 2 B3 links
    // accepted, bit 3 every handler throws, bits 4-6 the network refuses connections, B3 links
    // or data blocks, bit 7 a dialled call brings its B3 link up by itself. Second byte: bits
    // 0-1 the buffers per link, bits 2-3 the registered block size.
    const uint8_t setup = data[0];
    const uint8_t sizes = data[1];
    static const uint32_t kRing[] = {RingResult::Accept, RingResult::Ignore, RingResult::Busy,
                                     RingResult::AlertOnly};
    static const int kBlockSizes[] = {2048, 1024, 130, 5};
    const bool throwing = setup & 0x08;
    auto maybeThrow = [throwing] {
        if (throwing)
            throw std::runtime_error("handler failed");
    };

    CapiHarness h(kDispatch);
    TCapi20 &capi = *h.Capi;
    h.Library->RefuseConnect = setup & 0x10;
    h.Library->RefuseConnectB3 = setup & 0x20;
    h.Library->RefuseData = setup & 0x40;
    capi.AutoBConnect = setup & 0x80;
    capi.SetBDataBlockSize(kBlockSizes[(sizes >> 2) & 3]);
    capi.SetBuffers(1 + (sizes & 3));
    capi.SetBufferSize(4096);
    capi.OnRing = [&](TCapi20 *, const TCallDaten &d) {
        CallingPartyDigits(d.CallingPartyNumber);
        CalledPartyDigits(d.CalledPartyNumber);
        maybeThrow();
        return kRing[setup & 3];
    };
    capi.OnRequestBConnect = [&](TCapi20 *) {
        maybeThrow();
        return bool(setup & 0x04);
    };
    capi.OnConnect = [&](TCapi20 *) { maybeThrow(); };
    capi.OnDisconnect = [&](TCapi20 *, uint32_t) { maybeThrow(); };
    capi.OnBConnect = [&](TCapi20 *, int) { maybeThrow(); };
    capi.OnBDisconnect = [&](TCapi20 *, int, uint32_t) { maybeThrow(); };
    capi.OnInfo = [&](TCapi20 *, uint32_t, CapiParameterType &element) {
        FUZZ_CHECK(element[0] <= 255);
        maybeThrow();
    };
    capi.OnReceive = [&](TCapi20 *, int, const char *, uint32_t count) {
        FUZZ_CHECK(count <= uint32_t(Transfer::WorkBytes));
        maybeThrow();
    };
    capi.OnSend = [&](TCapi20 *, int) { maybeThrow(); };
    capi.OnMessage = [&](TCustomCapi20 *, uint32_t, uint32_t, uint32_t, IndicationDatenType &) {
        maybeThrow();
    };

    bool stayedRegistered = h.Start();
    FUZZ_CHECK(stayedRegistered);

    size_t pos = 2;
    int steps = 0;
    while (pos < size) {
        const uint8_t tag = data[pos++];
        if (tag < 0xF0) {
            const size_t length = std::min<size_t>(tag, size - pos);
            Bytes message(data + pos, data + pos + length);
            pos += length;
            const Bytes blockData(message.size() > 30 ? message.begin() + 30 : message.end(), message.end());
            h.Library->Deliver(std::move(message), blockData);
            continue;
        }
        const uint8_t arg = pos < size ? data[pos++] : 0;
        if (++steps > kMaxSteps)
            continue;
        h.WaitIdle();
        switch (tag) {
        case 0xF1:
            capi.Dial(QString::number(arg * 12345), QString(), uint8_t(arg % 9));
            break;
        case 0xF2:
            capi.Answer(uint16_t(arg & 7));
            break;
        case 0xF3:
            capi.ConnectB3();
            break;
        case 0xF4:
            capi.DisconnectB3(capi.CurrentNCCI());
            break;
        case 0xF5:
            capi.Disconnect();
            break;
        case 0xF6:
            capi.Listen(arg);
            break;
        case 0xF7: {
            const QByteArray bytes(int(arg) * 37 + 1, char(arg));
            capi.SendData(capi.CurrentNCCI(), bytes.constData(), int(bytes.size()));
            break;
        }
        case 0xF8:
            capi.RegisterApplication();
            stayedRegistered = false;
            break;
        case 0xF9:
            h.Library->LoseConnection();
            stayedRegistered = false;
            break;
        case 0xFA:
            capi.SetInfos(arg);
            break;
        case 0xFB: {
            std::array<uint8_t, 64> profile{};
            capi.QueryProfile(arg, profile);
            capi.QueryManufacturer();
            capi.QueryVersion();
            break;
        }
        default:
            break;
        }
    }
    h.WaitIdle();
    CheckChannels(capi);

    // Exactly one response per indication that needs one, none to anything else.
    if (stayedRegistered && capi.Registered()) {
        auto delivered = h.Library->Indications();
        std::map<std::pair<uint8_t, uint16_t>, int> answered;
        for (const Put &p : h.Library->Puts()) {
            if (p.SubCommand == Capi::SUB_RESP)
                ++answered[{p.Command, p.Number}];
        }
        for (const auto &[key, count] : delivered) {
            if (MustBeAnswered(key.first))
                FUZZ_CHECK(answered[key] == count);
        }
        for (const auto &[key, count] : answered) {
            if (key.first == Capi::CMD_CONNECT)
                FUZZ_CHECK(count <= delivered[key]);
            else
                FUZZ_CHECK(MustBeAnswered(key.first) && count == delivered[key]);
        }
    }
    return 0;
}
