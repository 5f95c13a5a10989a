#pragma once

// CAPI 2.0 messages as the exchange reads and writes them: little-endian helpers, a builder,
// a parameter walker that checks every field against the message length, and a readable
// description for the trace.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace isdnsim {

using Bytes = std::vector<uint8_t>;

enum Command : uint8_t
{
    CmdAlert = 0x01,
    CmdConnect = 0x02,
    CmdConnectActive = 0x03,
    CmdDisconnect = 0x04,
    CmdListen = 0x05,
    CmdInfo = 0x08,
    CmdFacility = 0x80,
    CmdSelectBProtocol = 0x41,
    CmdConnectB3 = 0x82,
    CmdConnectB3Active = 0x83,
    CmdDisconnectB3 = 0x84,
    CmdDataB3 = 0x86,
    CmdResetB3 = 0x87,
    CmdConnectB3T90Active = 0x88,
    CmdManufacturer = 0xFF,
    CmdControl = 0x20, // pseudo command of the remote protocol: register, release, get profile
};

enum Subcommand : uint8_t
{
    SubReq = 0x80,
    SubConf = 0x81,
    SubInd = 0x82,
    SubResp = 0x83,
};

// Info values used in confirmations.
enum Info : uint16_t
{
    InfoOk = 0x0000,
    InfoAlertAlreadySent = 0x0003,
    InfoWrongState = 0x2001,
    InfoIllegalIdentifier = 0x2002, // controller, PLCI or NCCI
    InfoOutOfPlci = 0x2003,
    InfoOutOfNcci = 0x2004,
    InfoIllegalParameter = 0x2007,
    InfoB1NotSupported = 0x3001,
    InfoB2NotSupported = 0x3002,
    InfoB3NotSupported = 0x3003,
    InfoDataLengthNotSupported = 0x300C,
    InfoTooManyApplications = 0x1001,
};

// Reason values of DISCONNECT_IND (0x34xx = cause of the network).
enum Reason : uint16_t
{
    ReasonNormal = 0x0000,
    ReasonNormalClearing = 0x3490,
    ReasonUserBusy = 0x3491,
    ReasonNoUserResponding = 0x3492,
    ReasonNoAnswer = 0x3493,
    ReasonCallRejected = 0x3495,
    ReasonNonSelectedUser = 0x349A,
    ReasonOutOfOrder = 0x349B,
};

constexpr size_t kHeaderLen = 8;
constexpr size_t kMaxFrame = 4096;   // the client's receive buffer for one frame
constexpr size_t kDataB3MsgLen = 22; // DATA_B3_IND as sent; the 30-byte form adds Data64
constexpr size_t kMaxDataLen = 2048; // largest B3 block the exchange relays

inline uint16_t rd16(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t rd32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void wr16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// Appends parameters behind a header; finish() writes the total length.
class MessageBuilder
{
public:
    MessageBuilder(uint16_t applId, uint8_t command, uint8_t subcommand, uint16_t number);
    MessageBuilder &dword(uint32_t v);
    MessageBuilder &word(uint16_t v);
    MessageBuilder &byte(uint8_t v);
    MessageBuilder &structure(const Bytes &content); // length byte + content
    MessageBuilder &structure(std::string_view content);
    MessageBuilder &empty() { return byte(0); }
    Bytes finish();

private:
    Bytes m_bytes;
};

// One decoded parameter.
struct Field
{
    const char *name = "";
    char kind = 'd';    // 'b' byte, 'w' word, 'd' dword, 'q' qword, 's' struct
    uint64_t value = 0; // numeric kinds
    Bytes content;      // struct content (without the length byte)
};

// A message checked against its declared layout.
struct Message
{
    uint16_t length = 0;
    uint16_t applId = 0;
    uint8_t command = 0;
    uint8_t subcommand = 0;
    uint16_t number = 0;
    std::vector<Field> fields;
    Bytes payload; // DATA_B3 data behind the message
    bool known = false;
    std::string error; // empty when the message is well-formed

    uint64_t num(size_t i) const { return i < fields.size() ? fields[i].value : 0; }
    const Bytes &str(size_t i) const;
    bool ok() const { return error.empty(); }
};

// Parses one frame's content (the bytes after the three-byte frame header). Never reads past
// `len`; sets `error` for anything that does not match the layout of the message.
Message parseMessage(const uint8_t *data, size_t len);

std::string messageName(uint8_t command, uint8_t subcommand);
std::string describe(const Message &m); // one readable line for the trace

// Party number helpers: the digits of a number struct, and the struct a network delivers for
// a dialled number ("0301234567" -> type national, digits "301234567").
std::string numberDigits(const Bytes &partyNumber, bool hasPresentation);
Bytes callingPartyNumber(const std::string &dialled);
Bytes calledPartyNumber(const std::string &digits);
Bytes bearerCapability(uint16_t cip);
Bytes highLayerCompatibility(uint16_t cip);

// Service names of the command line: telephony, analog, fax3, fax4, data64, data56, speech,
// or a CIP number. Returns -1 for anything else.
int cipForService(std::string_view name);

} // namespace isdnsim
