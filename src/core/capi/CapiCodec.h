#pragma once

// Byte layouts of the CAPI 2.0 messages the component puts and reads: the parameter builder,
// the fixed structs, the decoding of fetched messages into IndicationDatenType (the incoming-call
// record TCallDaten it fills is in capi/CapiTypes.h) and the service numbering. Nothing here talks
// to the library.

#include "capi/CapiTypes.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Capi {

// Commands (the CAPI 2.0 command byte).
enum Command : uint8_t
{
    CMD_ALERT = 0x01,
    CMD_CONNECT = 0x02,
    CMD_CONNECT_ACTIVE = 0x03,
    CMD_DISCONNECT = 0x04,
    CMD_LISTEN = 0x05,
    CMD_INFO = 0x08,
    CMD_SELECT_B_PROTOCOL = 0x41,
    CMD_FACILITY = 0x80,
    CMD_CONNECT_B3 = 0x82,
    CMD_CONNECT_B3_ACTIVE = 0x83,
    CMD_DISCONNECT_B3 = 0x84,
    CMD_DATA_B3 = 0x86,
    CMD_RESET_B3 = 0x87,
    CMD_CONNECT_B3_T90_ACTIVE = 0x88,
    CMD_MANUFACTURER = 0xFF,
};

// Subcommands.
enum SubCommand : uint8_t
{
    SUB_REQ = 0x80,
    SUB_CONF = 0x81,
    SUB_IND = 0x82,
    SUB_RESP = 0x83,
};

// Every message is built in, and every fetched message copied into, a buffer of this size: the
// library reads a fixed 2173 bytes from a DATA_B3_REQ and copies its payload behind the message.
constexpr std::size_t MessageBufferBytes = 2176;
constexpr std::size_t HeaderBytes = 8;
// The most data one DATA_B3_REQ may carry: the library copies the data behind the (30-byte)
// message into the message buffer and reads at most 2173 bytes of both.
constexpr std::size_t MaxDataB3Payload = 2173 - 30;
constexpr std::size_t IndicationDatenBytes = 628;

// CAPI results the component looks at.
constexpr uint32_t CapiNoError = 0x0000;
constexpr uint32_t CapiIllAppNr = 0x1101;
constexpr uint32_t CapiReceiveQueueEmpty = 0x1104;
constexpr uint32_t CapiMsgOSResourceErr = 0x1108;

// Service numbers and the CIP values they stand for.
uint8_t ServiceOfCip(uint32_t cipValue);
uint16_t CipOfService(uint8_t service);

// Little-endian reads that never look beyond `size` (missing bytes read as 0).
uint16_t ReadWord(const uint8_t *p, std::size_t size, std::size_t offset);
uint32_t ReadDword(const uint8_t *p, std::size_t size, std::size_t offset);
uint64_t ReadQword(const uint8_t *p, std::size_t size, std::size_t offset);

} // namespace Capi

// The parameters of one fetched message (628 bytes, zero before each fetch). `Length` is the
// number of parameter bytes the message carried (header length minus 8, not cut to 628), so a
// reader can tell the 22-byte from the 30-byte DATA_B3_IND.
struct IndicationDatenType
{
    std::array<uint8_t, Capi::IndicationDatenBytes> Bytes{};
    std::size_t Length = 0;

    void Clear()
    {
        Bytes.fill(0);
        Length = 0;
    }
    uint8_t Byte(std::size_t offset) const { return offset < Bytes.size() ? Bytes[offset] : 0; }
    uint16_t Word(std::size_t offset) const { return Capi::ReadWord(Bytes.data(), Bytes.size(), offset); }
    uint32_t Dword(std::size_t offset) const { return Capi::ReadDword(Bytes.data(), Bytes.size(), offset); }
    uint64_t Qword(std::size_t offset) const { return Capi::ReadQword(Bytes.data(), Bytes.size(), offset); }
};

// A struct handed on unchanged (the Info element of INFO_IND): byte 0 is the length, the content
// follows (cut to 255 bytes).
using CapiParameterType = std::array<uint8_t, 256>;

// Slots of a decoded CONNECT_IND inside IndicationDatenType: offset and width (length byte
// included).
namespace ConnectIndSlot {
struct Slot
{
    std::size_t Offset;
    std::size_t Width;
};
constexpr Slot CalledPartyNumber{6, 41};
constexpr Slot CallingPartyNumber{47, 41};
constexpr Slot CalledPartySubaddress{88, 21};
constexpr Slot CallingPartySubaddress{109, 21};
constexpr Slot BC{130, 81};
constexpr Slot LLC{211, 81};
constexpr Slot HLC{292, 81};
constexpr Slot BChannelInformation{374, 2};
constexpr Slot KeypadFacility{376, 41};
constexpr Slot UserUserData{417, 81};
constexpr Slot FacilityDataArray{498, 130};
} // namespace ConnectIndSlot

// The parameters of a message under construction. Structs shorter than 255 bytes get a one-byte
// length; longer ones the 0xFF escape with a 16-bit length.
class CapiParams
{
public:
    CapiParams &Byte(uint8_t value);
    CapiParams &Word(uint16_t value);
    CapiParams &Dword(uint32_t value);
    CapiParams &Qword(uint64_t value);
    CapiParams &Raw(const uint8_t *data, std::size_t count);
    CapiParams &Struct(const uint8_t *content, std::size_t count);
    CapiParams &Struct(const QByteArray &content)
    {
        return Struct(reinterpret_cast<const uint8_t *>(content.constData()), std::size_t(content.size()));
    }
    CapiParams &EmptyStruct() { return Byte(0); }

    // The fixed structs the program puts.
    CapiParams &AdditionalInfo();                                 // 06 02 00 00 00 00 00
    CapiParams &BProtocol(uint16_t b1, uint16_t b2, uint16_t b3); // 09, three words, three empty configs
    CapiParams &ZeroBProtocol();                                  // 06 00 00 00 00 00 00
    CapiParams &OwnNumber(const TCallNumber &own);                // n+2 00 80 digits, or 02 00 A0

    const std::vector<uint8_t> &Bytes() const { return m_bytes; }
    std::size_t Size() const { return m_bytes.size(); }

private:
    std::vector<uint8_t> m_bytes;
};

namespace Capi {

// Parameters of every request and response the program puts.
CapiParams AlertReq(uint32_t plci);
CapiParams ConnectReq(uint32_t controller, uint16_t cip, const QByteArray &calledNumber,
                      const TCallNumber &own, uint16_t b1, uint16_t b2, uint16_t b3);
CapiParams DisconnectReq(uint32_t plci);
CapiParams ListenReq(uint32_t controller, uint32_t infoMask, uint32_t cipMask);
CapiParams ConnectB3Req(uint32_t plci);
CapiParams DisconnectB3Req(uint32_t ncci);
CapiParams ResetB3Req(uint32_t ncci);
// On 64-bit the 30-byte form: Data (32 bit) 0 and the address in Data64; on 32-bit the 22-byte
// form with the address in Data.
CapiParams DataB3Req(uint32_t ncci, const void *data, uint16_t length, uint16_t handle, uint16_t flags = 0);

CapiParams ConnectResp(uint32_t plci, uint16_t reject, uint16_t b1, uint16_t b2, uint16_t b3,
                       const TCallNumber &own);
// The response that refuses a call while another is connected: Reject 3, zero B protocol,
// empty connected number.
CapiParams ConnectRespBusy(uint32_t plci);
CapiParams DwordOnly(uint32_t value); // CONNECT_ACTIVE/DISCONNECT/INFO/CONNECT_B3_ACTIVE/DISCONNECT_B3_RESP
CapiParams ConnectB3Resp(uint32_t ncci, uint16_t reject);
CapiParams DataB3Resp(uint32_t ncci, uint16_t handle);
CapiParams FacilityResp(uint32_t address, uint16_t selector);
CapiParams ManufacturerResp(uint32_t controller, uint32_t manufacturerId);

// Writes header and parameters into `buffer` (MessageBufferBytes, zeroed first). Returns the
// total length, or 0 when the parameters do not fit.
std::size_t BuildMessage(uint8_t *buffer, uint16_t applId, uint8_t command, uint8_t subCommand,
                         uint16_t msgNumber, const CapiParams &params);

// The header of a fetched message.
struct Header
{
    uint16_t Length = 0;
    uint16_t ApplId = 0;
    uint8_t Command = 0;
    uint8_t SubCommand = 0;
    uint16_t MsgNumber = 0;
};

// Decodes a fetched message of which `available` bytes may be read. Only the smaller of the
// header's length and `available` is looked at. CONNECT_IND is spread over its slots, every
// other message copied (at most 628 parameter bytes).
Header DecodeMessage(const uint8_t *message, std::size_t available, IndicationDatenType &daten);

// The record for the ring event, from a decoded CONNECT_IND.
TCallDaten CallDatenFromIndication(const IndicationDatenType &daten);

// The fields of a decoded DATA_B3_IND. Data is read from Data64 when the message is the 30-byte
// form with a non-zero Data64; on 32-bit from Data; otherwise it is null.
struct DataB3Indication
{
    uint32_t NCCI = 0;
    const uint8_t *Data = nullptr;
    uint16_t Length = 0;
    uint16_t Handle = 0;
    uint16_t Flags = 0;
};
DataB3Indication DecodeDataB3Ind(const IndicationDatenType &daten);

// The Info element struct of an INFO_IND at parameter offset 6, as a CapiParameterType.
CapiParameterType InfoElementOf(const IndicationDatenType &daten);

} // namespace Capi
