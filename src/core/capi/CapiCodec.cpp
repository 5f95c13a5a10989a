#include "capi/CapiCodec.h"

#include <cstring>

namespace Capi {

uint8_t ServiceOfCip(uint32_t cipValue)
{
    switch (cipValue) {
    case 1:
        return 1;
    case 2:
        return 6;
    case 4:
        return 2;
    case 8:
        return 7;
    case 16:
        return 3;
    case 17:
        return 4;
    case 18:
        return 5;
    default:
        return 8;
    }
}

uint16_t CipOfService(uint8_t service)
{
    static constexpr uint16_t cips[9] = {0, 1, 4, 16, 17, 18, 2, 8, 0};
    return service < 9 ? cips[service] : 0;
}

namespace {
template<typename T> T ReadLittleEndian(const uint8_t *p, std::size_t size, std::size_t offset)
{
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        if (offset + i < size)
            v = T(v | T(T(p[offset + i]) << (8 * i)));
    return v;
}
} // namespace

uint16_t ReadWord(const uint8_t *p, std::size_t size, std::size_t offset)
{
    return ReadLittleEndian<uint16_t>(p, size, offset);
}

uint32_t ReadDword(const uint8_t *p, std::size_t size, std::size_t offset)
{
    return ReadLittleEndian<uint32_t>(p, size, offset);
}

uint64_t ReadQword(const uint8_t *p, std::size_t size, std::size_t offset)
{
    return ReadLittleEndian<uint64_t>(p, size, offset);
}

} // namespace Capi

// ---- TCallNumber ----

TCallNumber TCallNumber::FromBytes(const uint8_t *data, std::size_t count)
{
    TCallNumber n;
    n.Length = uint8_t(std::min(count, MaxLength));
    if (n.Length > 0)
        std::memcpy(n.Chars.data(), data, n.Length);
    return n;
}

TCallNumber TCallNumber::FromString(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    return FromBytes(reinterpret_cast<const uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
}

QByteArray TCallNumber::ToByteArray() const
{
    return QByteArray(reinterpret_cast<const char *>(Chars.data()), Length);
}

QString TCallNumber::ToString() const
{
    return QString::fromLatin1(ToByteArray());
}

QString CallingPartyDigits(const TCallNumber &number)
{
    return number.Length > 2 ? QString::fromLatin1(number.ToByteArray().mid(2)) : QString();
}

QString CalledPartyDigits(const TCallNumber &number)
{
    return number.Length > 1 ? QString::fromLatin1(number.ToByteArray().mid(1)) : QString();
}

// ---- CapiParams ----

CapiParams &CapiParams::Byte(uint8_t value)
{
    m_bytes.push_back(value);
    return *this;
}

CapiParams &CapiParams::Word(uint16_t value)
{
    m_bytes.push_back(uint8_t(value));
    m_bytes.push_back(uint8_t(value >> 8));
    return *this;
}

CapiParams &CapiParams::Dword(uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        m_bytes.push_back(uint8_t(value >> (8 * i)));
    return *this;
}

CapiParams &CapiParams::Qword(uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        m_bytes.push_back(uint8_t(value >> (8 * i)));
    return *this;
}

CapiParams &CapiParams::Raw(const uint8_t *data, std::size_t count)
{
    if (count > 0)
        m_bytes.insert(m_bytes.end(), data, data + count);
    return *this;
}

CapiParams &CapiParams::Struct(const uint8_t *content, std::size_t count)
{
    count = std::min<std::size_t>(count, 0xFFFF);
    if (count < 0xFF) {
        Byte(uint8_t(count));
    } else {
        Byte(0xFF);
        Word(uint16_t(count));
    }
    return Raw(content, count);
}

CapiParams &CapiParams::AdditionalInfo()
{
    static constexpr uint8_t bytes[] = {0x06, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};
    return Raw(bytes, sizeof bytes);
}

CapiParams &CapiParams::BProtocol(uint16_t b1, uint16_t b2, uint16_t b3)
{
    Byte(9).Word(b1).Word(b2).Word(b3);
    return EmptyStruct().EmptyStruct().EmptyStruct();
}

CapiParams &CapiParams::ZeroBProtocol()
{
    return Byte(6).Word(0).Word(0).Word(0);
}

CapiParams &CapiParams::OwnNumber(const TCallNumber &own)
{
    if (own.IsEmpty()) {
        static constexpr uint8_t none[] = {0x02, 0x00, 0xA0};
        return Raw(none, sizeof none);
    }
    Byte(uint8_t(own.Length + 2)).Byte(0x00).Byte(0x80);
    return Raw(own.Chars.data(), own.Length);
}

namespace Capi {

CapiParams AlertReq(uint32_t plci)
{
    return std::move(CapiParams().Dword(plci).AdditionalInfo());
}

CapiParams ConnectReq(uint32_t controller, uint16_t cip, const QByteArray &calledNumber,
                      const TCallNumber &own, uint16_t b1, uint16_t b2, uint16_t b3)
{
    CapiParams p;
    p.Dword(controller).Word(cip);
    QByteArray called(1, char(0x80));
    called += calledNumber.left(int(TCallNumber::MaxLength));
    p.Struct(called).OwnNumber(own).EmptyStruct().EmptyStruct();
    p.BProtocol(b1, b2, b3).EmptyStruct().EmptyStruct().EmptyStruct().AdditionalInfo();
    return p;
}

CapiParams DisconnectReq(uint32_t plci)
{
    return std::move(CapiParams().Dword(plci).AdditionalInfo());
}

CapiParams ListenReq(uint32_t controller, uint32_t infoMask, uint32_t cipMask)
{
    return std::move(
        CapiParams().Dword(controller).Dword(infoMask).Dword(cipMask).Dword(0).EmptyStruct().EmptyStruct());
}

CapiParams ConnectB3Req(uint32_t plci)
{
    return std::move(CapiParams().Dword(plci).EmptyStruct());
}

CapiParams DisconnectB3Req(uint32_t ncci)
{
    return std::move(CapiParams().Dword(ncci).EmptyStruct());
}

CapiParams ResetB3Req(uint32_t ncci)
{
    return std::move(CapiParams().Dword(ncci).EmptyStruct());
}

CapiParams DataB3Req(uint32_t ncci, const void *data, uint16_t length, uint16_t handle, uint16_t flags)
{
    CapiParams p;
    const auto address = reinterpret_cast<uintptr_t>(data);
    if constexpr (sizeof(void *) > 4) {
        p.Dword(ncci).Dword(0).Word(length).Word(handle).Word(flags).Qword(uint64_t(address));
    } else {
        p.Dword(ncci).Dword(uint32_t(address)).Word(length).Word(handle).Word(flags);
    }
    return p;
}

CapiParams ConnectResp(uint32_t plci, uint16_t reject, uint16_t b1, uint16_t b2, uint16_t b3,
                       const TCallNumber &own)
{
    CapiParams p;
    p.Dword(plci).Word(reject).BProtocol(b1, b2, b3).OwnNumber(own);
    p.EmptyStruct().EmptyStruct().AdditionalInfo();
    return p;
}

CapiParams ConnectRespBusy(uint32_t plci)
{
    CapiParams p;
    p.Dword(plci).Word(3).ZeroBProtocol().EmptyStruct();
    p.EmptyStruct().EmptyStruct().AdditionalInfo();
    return p;
}

CapiParams DwordOnly(uint32_t value)
{
    return std::move(CapiParams().Dword(value));
}

CapiParams ConnectB3Resp(uint32_t ncci, uint16_t reject)
{
    return std::move(CapiParams().Dword(ncci).Word(reject).EmptyStruct());
}

CapiParams DataB3Resp(uint32_t ncci, uint16_t handle)
{
    return std::move(CapiParams().Dword(ncci).Word(handle));
}

CapiParams FacilityResp(uint32_t address, uint16_t selector)
{
    return std::move(CapiParams().Dword(address).Word(selector).EmptyStruct());
}

CapiParams ManufacturerResp(uint32_t controller, uint32_t manufacturerId)
{
    return std::move(CapiParams().Dword(controller).Dword(manufacturerId).EmptyStruct());
}

std::size_t BuildMessage(uint8_t *buffer, uint16_t applId, uint8_t command, uint8_t subCommand,
                         uint16_t msgNumber, const CapiParams &params)
{
    std::memset(buffer, 0, MessageBufferBytes);
    const std::size_t total = HeaderBytes + params.Size();
    if (total > 0xFFFF || total > MessageBufferBytes)
        return 0;
    buffer[0] = uint8_t(total);
    buffer[1] = uint8_t(total >> 8);
    buffer[2] = uint8_t(applId);
    buffer[3] = uint8_t(applId >> 8);
    buffer[4] = command;
    buffer[5] = subCommand;
    buffer[6] = uint8_t(msgNumber);
    buffer[7] = uint8_t(msgNumber >> 8);
    if (params.Size() > 0)
        std::memcpy(buffer + HeaderBytes, params.Bytes().data(), params.Size());
    return total;
}

namespace {

// Reads the struct at `pos` of `params` (size `size`). Sets `content`/`contentLength` to the part
// of its content that lies inside the message and returns the number of bytes the struct claims
// (length byte(s) included); 0 when not even a length byte is left.
std::size_t ReadStruct(const uint8_t *params, std::size_t size, std::size_t pos, const uint8_t *&content,
                       std::size_t &contentLength)
{
    content = nullptr;
    contentLength = 0;
    if (pos >= size)
        return 0;
    std::size_t headerLength = 1;
    std::size_t length = params[pos];
    if (length == 0xFF) {
        headerLength = 3;
        length = ReadWord(params, size, pos + 1);
    }
    const std::size_t start = std::min(size, pos + headerLength);
    content = params + start;
    contentLength = std::min(length, size - start);
    return headerLength + length;
}

// Copies a struct into its slot: a length byte and as much content as the slot holds.
void StoreSlot(IndicationDatenType &daten, ConnectIndSlot::Slot slot, const uint8_t *content,
               std::size_t length)
{
    const std::size_t stored = std::min(length, slot.Width - 1);
    daten.Bytes[slot.Offset] = uint8_t(stored);
    if (stored > 0)
        std::memcpy(daten.Bytes.data() + slot.Offset + 1, content, stored);
}

void DecodeConnectInd(const uint8_t *params, std::size_t size, IndicationDatenType &daten)
{
    std::memcpy(daten.Bytes.data(), params, std::min<std::size_t>(size, 6));
    static constexpr ConnectIndSlot::Slot structs[] = {
        ConnectIndSlot::CalledPartyNumber,
        ConnectIndSlot::CallingPartyNumber,
        ConnectIndSlot::CalledPartySubaddress,
        ConnectIndSlot::CallingPartySubaddress,
        ConnectIndSlot::BC,
        ConnectIndSlot::LLC,
        ConnectIndSlot::HLC,
    };
    std::size_t pos = 6;
    const uint8_t *content;
    std::size_t length;
    for (const auto &slot : structs) {
        const std::size_t used = ReadStruct(params, size, pos, content, length);
        if (used == 0)
            return;
        StoreSlot(daten, slot, content, length);
        pos += used;
    }
    // Additional Info: B channel information, keypad facility, user-user data, facility data array.
    if (ReadStruct(params, size, pos, content, length) == 0 || length == 0)
        return;
    const uint8_t *info = content;
    const std::size_t infoSize = length;
    static constexpr ConnectIndSlot::Slot parts[] = {
        ConnectIndSlot::BChannelInformation,
        ConnectIndSlot::KeypadFacility,
        ConnectIndSlot::UserUserData,
        ConnectIndSlot::FacilityDataArray,
    };
    std::size_t inner = 0;
    for (const auto &slot : parts) {
        const std::size_t used = ReadStruct(info, infoSize, inner, content, length);
        if (used == 0)
            return;
        StoreSlot(daten, slot, content, length);
        inner += used;
    }
}

TCallNumber NumberFromSlot(const IndicationDatenType &daten, ConnectIndSlot::Slot slot)
{
    const std::size_t length = std::min<std::size_t>(daten.Bytes[slot.Offset], slot.Width - 1);
    return TCallNumber::FromBytes(daten.Bytes.data() + slot.Offset + 1, length);
}

} // namespace

Header DecodeMessage(const uint8_t *message, std::size_t available, IndicationDatenType &daten)
{
    daten.Clear();
    Header h;
    if (message == nullptr || available < HeaderBytes) {
        h.Length = uint16_t(available);
        return h;
    }
    h.Length = ReadWord(message, available, 0);
    h.ApplId = ReadWord(message, available, 2);
    h.Command = message[4];
    h.SubCommand = message[5];
    h.MsgNumber = ReadWord(message, available, 6);
    const std::size_t total = std::min<std::size_t>(std::max<std::size_t>(h.Length, HeaderBytes), available);
    const uint8_t *params = message + HeaderBytes;
    const std::size_t size = total - HeaderBytes;
    daten.Length = size;
    if (h.Command == CMD_CONNECT && h.SubCommand == SUB_IND)
        DecodeConnectInd(params, size, daten);
    else if (size > 0)
        std::memcpy(daten.Bytes.data(), params, std::min(size, IndicationDatenBytes));
    return h;
}

TCallDaten CallDatenFromIndication(const IndicationDatenType &daten)
{
    TCallDaten d;
    d.Plci = daten.Dword(0);
    d.CIPValue = daten.Word(4);
    d.Service = ServiceOfCip(d.CIPValue);
    d.CallingPartyNumber = NumberFromSlot(daten, ConnectIndSlot::CallingPartyNumber);
    d.CallingPartySubaddress = NumberFromSlot(daten, ConnectIndSlot::CallingPartySubaddress);
    d.CalledPartyNumber = NumberFromSlot(daten, ConnectIndSlot::CalledPartyNumber);
    d.CalledPartySubaddress = NumberFromSlot(daten, ConnectIndSlot::CalledPartySubaddress);
    return d;
}

DataB3Indication DecodeDataB3Ind(const IndicationDatenType &daten)
{
    DataB3Indication ind;
    ind.NCCI = daten.Dword(0);
    ind.Length = daten.Word(8);
    ind.Handle = daten.Word(10);
    ind.Flags = daten.Word(12);
    uint64_t address = 0;
    if (daten.Length >= 22)
        address = daten.Qword(14);
    if (address == 0 && sizeof(void *) == 4)
        address = daten.Dword(4);
    ind.Data = reinterpret_cast<const uint8_t *>(uintptr_t(address));
    if (ind.Data == nullptr)
        ind.Length = 0;
    return ind;
}

CapiParameterType InfoElementOf(const IndicationDatenType &daten)
{
    CapiParameterType element{};
    const std::size_t size = std::min(daten.Length, IndicationDatenBytes);
    const uint8_t *content;
    std::size_t length;
    if (ReadStruct(daten.Bytes.data(), size, 6, content, length) == 0)
        return element;
    length = std::min<std::size_t>(length, element.size() - 1);
    element[0] = uint8_t(length);
    if (length > 0)
        std::memcpy(element.data() + 1, content, length);
    return element;
}

} // namespace Capi
