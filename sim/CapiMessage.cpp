#include "CapiMessage.h"

#include <cstdio>
#include <map>
#include <utility>

namespace isdnsim {

MessageBuilder::MessageBuilder(uint16_t applId, uint8_t command, uint8_t subcommand, uint16_t number)
{
    m_bytes.reserve(64);
    m_bytes.resize(kHeaderLen);
    wr16(&m_bytes[2], applId);
    m_bytes[4] = command;
    m_bytes[5] = subcommand;
    wr16(&m_bytes[6], number);
}

MessageBuilder &MessageBuilder::dword(uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_bytes.push_back(uint8_t(v >> (8 * i)));
    return *this;
}

MessageBuilder &MessageBuilder::word(uint16_t v)
{
    m_bytes.push_back(uint8_t(v));
    m_bytes.push_back(uint8_t(v >> 8));
    return *this;
}

MessageBuilder &MessageBuilder::byte(uint8_t v)
{
    m_bytes.push_back(v);
    return *this;
}

MessageBuilder &MessageBuilder::structure(const Bytes &content)
{
    // Everything the exchange builds is short; longer content is cut rather than escaped.
    const size_t n = std::min<size_t>(content.size(), 254);
    m_bytes.push_back(uint8_t(n));
    m_bytes.insert(m_bytes.end(), content.begin(), content.begin() + long(n));
    return *this;
}

MessageBuilder &MessageBuilder::structure(std::string_view content)
{
    return structure(Bytes(content.begin(), content.end()));
}

Bytes MessageBuilder::finish()
{
    wr16(&m_bytes[0], uint16_t(m_bytes.size()));
    return m_bytes;
}

namespace {

struct Layout
{
    const char *name;
    const char *kinds; // one letter per parameter
    std::vector<const char *> names;
};

using Key = std::pair<uint8_t, uint8_t>;

const std::map<Key, Layout> &layouts()
{
    static const std::map<Key, Layout> table = {
        {{CmdAlert, SubReq}, {"ALERT_REQ", "ds", {"PLCI", "AdditionalInfo"}}},
        {{CmdAlert, SubConf}, {"ALERT_CONF", "dw", {"PLCI", "Info"}}},
        {{CmdConnect, SubReq},
         {"CONNECT_REQ",
          "dwsssssssss",
          {"Controller", "CIP", "CalledPartyNumber", "CallingPartyNumber", "CalledPartySubaddress",
           "CallingPartySubaddress", "BProtocol", "BC", "LLC", "HLC", "AdditionalInfo"}}},
        {{CmdConnect, SubConf}, {"CONNECT_CONF", "dw", {"PLCI", "Info"}}},
        {{CmdConnect, SubInd},
         {"CONNECT_IND",
          "dwssssssss",
          {"PLCI", "CIP", "CalledPartyNumber", "CallingPartyNumber", "CalledPartySubaddress",
           "CallingPartySubaddress", "BC", "LLC", "HLC", "AdditionalInfo"}}},
        {{CmdConnect, SubResp},
         {"CONNECT_RESP",
          "dwsssss",
          {"PLCI", "Reject", "BProtocol", "ConnectedNumber", "ConnectedSubaddress", "LLC",
           "AdditionalInfo"}}},
        {{CmdConnectActive, SubInd},
         {"CONNECT_ACTIVE_IND", "dsss", {"PLCI", "ConnectedNumber", "ConnectedSubaddress", "LLC"}}},
        {{CmdConnectActive, SubResp}, {"CONNECT_ACTIVE_RESP", "d", {"PLCI"}}},
        {{CmdDisconnect, SubReq}, {"DISCONNECT_REQ", "ds", {"PLCI", "AdditionalInfo"}}},
        {{CmdDisconnect, SubConf}, {"DISCONNECT_CONF", "dw", {"PLCI", "Info"}}},
        {{CmdDisconnect, SubInd}, {"DISCONNECT_IND", "dw", {"PLCI", "Reason"}}},
        {{CmdDisconnect, SubResp}, {"DISCONNECT_RESP", "d", {"PLCI"}}},
        {{CmdListen, SubReq},
         {"LISTEN_REQ",
          "ddddss",
          {"Controller", "InfoMask", "CIPMask", "CIPMask2", "CallingPartyNumber", "CallingPartySubaddress"}}},
        {{CmdListen, SubConf}, {"LISTEN_CONF", "dw", {"Controller", "Info"}}},
        {{CmdInfo, SubReq}, {"INFO_REQ", "dss", {"PLCI", "CalledPartyNumber", "AdditionalInfo"}}},
        {{CmdInfo, SubConf}, {"INFO_CONF", "dw", {"PLCI", "Info"}}},
        {{CmdInfo, SubInd}, {"INFO_IND", "dws", {"PLCI", "InfoNumber", "InfoElement"}}},
        {{CmdInfo, SubResp}, {"INFO_RESP", "d", {"PLCI"}}},
        {{CmdFacility, SubReq}, {"FACILITY_REQ", "dws", {"Controller", "Selector", "Parameter"}}},
        {{CmdFacility, SubConf}, {"FACILITY_CONF", "dwws", {"Controller", "Info", "Selector", "Parameter"}}},
        {{CmdFacility, SubInd}, {"FACILITY_IND", "dws", {"Controller", "Selector", "Parameter"}}},
        {{CmdFacility, SubResp}, {"FACILITY_RESP", "dws", {"Controller", "Selector", "Parameter"}}},
        {{CmdSelectBProtocol, SubReq}, {"SELECT_B_PROTOCOL_REQ", "ds", {"PLCI", "BProtocol"}}},
        {{CmdSelectBProtocol, SubConf}, {"SELECT_B_PROTOCOL_CONF", "dw", {"PLCI", "Info"}}},
        {{CmdConnectB3, SubReq}, {"CONNECT_B3_REQ", "ds", {"PLCI", "NCPI"}}},
        {{CmdConnectB3, SubConf}, {"CONNECT_B3_CONF", "dw", {"NCCI", "Info"}}},
        {{CmdConnectB3, SubInd}, {"CONNECT_B3_IND", "ds", {"NCCI", "NCPI"}}},
        {{CmdConnectB3, SubResp}, {"CONNECT_B3_RESP", "dws", {"NCCI", "Reject", "NCPI"}}},
        {{CmdConnectB3Active, SubInd}, {"CONNECT_B3_ACTIVE_IND", "ds", {"NCCI", "NCPI"}}},
        {{CmdConnectB3Active, SubResp}, {"CONNECT_B3_ACTIVE_RESP", "d", {"NCCI"}}},
        {{CmdConnectB3T90Active, SubInd}, {"CONNECT_B3_T90_ACTIVE_IND", "ds", {"NCCI", "NCPI"}}},
        {{CmdConnectB3T90Active, SubResp}, {"CONNECT_B3_T90_ACTIVE_RESP", "d", {"NCCI"}}},
        {{CmdDisconnectB3, SubReq}, {"DISCONNECT_B3_REQ", "ds", {"NCCI", "NCPI"}}},
        {{CmdDisconnectB3, SubConf}, {"DISCONNECT_B3_CONF", "dw", {"NCCI", "Info"}}},
        {{CmdDisconnectB3, SubInd}, {"DISCONNECT_B3_IND", "dws", {"NCCI", "ReasonB3", "NCPI"}}},
        {{CmdDisconnectB3, SubResp}, {"DISCONNECT_B3_RESP", "d", {"NCCI"}}},
        {{CmdDataB3, SubReq},
         {"DATA_B3_REQ", "ddwww", {"NCCI", "Data", "DataLength", "DataHandle", "Flags"}}},
        {{CmdDataB3, SubConf}, {"DATA_B3_CONF", "dww", {"NCCI", "DataHandle", "Info"}}},
        {{CmdDataB3, SubInd},
         {"DATA_B3_IND", "ddwww", {"NCCI", "Data", "DataLength", "DataHandle", "Flags"}}},
        {{CmdDataB3, SubResp}, {"DATA_B3_RESP", "dw", {"NCCI", "DataHandle"}}},
        {{CmdResetB3, SubReq}, {"RESET_B3_REQ", "ds", {"NCCI", "NCPI"}}},
        {{CmdResetB3, SubConf}, {"RESET_B3_CONF", "dw", {"NCCI", "Info"}}},
        {{CmdResetB3, SubInd}, {"RESET_B3_IND", "ds", {"NCCI", "NCPI"}}},
        {{CmdResetB3, SubResp}, {"RESET_B3_RESP", "d", {"NCCI"}}},
    };
    return table;
}

std::string hex(const Bytes &b)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < b.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", b[i]);
        s += buf;
    }
    return s;
}

} // namespace

const Bytes &Message::str(size_t i) const
{
    static const Bytes none;
    return i < fields.size() ? fields[i].content : none;
}

std::string messageName(uint8_t command, uint8_t subcommand)
{
    auto it = layouts().find({command, subcommand});
    if (it != layouts().end())
        return it->second.name;
    char buf[32];
    std::snprintf(buf, sizeof buf, "MESSAGE_%02X_%02X", command, subcommand);
    return buf;
}

Message parseMessage(const uint8_t *data, size_t len)
{
    Message m;
    if (len < kHeaderLen) {
        m.error = "message shorter than its header";
        return m;
    }
    m.length = rd16(data);
    m.applId = rd16(data + 2);
    m.command = data[4];
    m.subcommand = data[5];
    m.number = rd16(data + 6);
    if (m.length < kHeaderLen || m.length > len) {
        m.error = "message length " + std::to_string(m.length) + " does not fit its frame of " +
                  std::to_string(len);
        return m;
    }
    const bool isData = m.command == CmdDataB3 && (m.subcommand == SubReq || m.subcommand == SubInd);
    if (!isData && m.length != len) {
        m.error = "frame carries " + std::to_string(len - m.length) + " bytes behind the message";
        return m;
    }
    auto it = layouts().find({m.command, m.subcommand});
    if (it == layouts().end())
        return m; // well framed but unknown: the caller decides
    m.known = true;
    const Layout &layout = it->second;
    size_t pos = kHeaderLen;
    const size_t end = m.length;
    for (size_t i = 0; layout.kinds[i]; ++i) {
        Field f;
        f.name = layout.names[i];
        f.kind = layout.kinds[i];
        const size_t width = f.kind == 'b'   ? 1
                             : f.kind == 'w' ? 2
                             : f.kind == 'd' ? 4
                             : f.kind == 'q' ? 8
                                             : 0;
        if (width) {
            if (pos + width > end) {
                m.error = std::string("parameter ") + f.name + " runs past the end of the message";
                return m;
            }
            for (size_t k = 0; k < width; ++k)
                f.value |= uint64_t(data[pos + k]) << (8 * k);
            pos += width;
        } else {
            if (pos + 1 > end) {
                m.error = std::string("struct ") + f.name + " missing";
                return m;
            }
            size_t n = data[pos++];
            if (n == 0xFF) {
                if (pos + 2 > end) {
                    m.error = std::string("struct ") + f.name + " has a cut escape length";
                    return m;
                }
                n = rd16(data + pos);
                pos += 2;
            }
            if (pos + n > end) {
                m.error = std::string("struct ") + f.name + " runs past the end of the message";
                return m;
            }
            f.content.assign(data + pos, data + pos + n);
            pos += n;
        }
        m.fields.push_back(std::move(f));
    }
    if (isData) {
        // The 30-byte form carries a 64-bit data pointer; the payload always follows the message.
        if (m.length != 22 && m.length != 30) {
            m.error = "DATA_B3 message of length " + std::to_string(m.length);
            return m;
        }
        const size_t dataLen = m.num(2);
        if (m.length + dataLen != len) {
            m.error = "data length " + std::to_string(dataLen) + " does not match the frame (" +
                      std::to_string(len - m.length) + " bytes behind the message)";
            return m;
        }
        m.payload.assign(data + m.length, data + len);
    } else if (pos != end) {
        // Trailing parameters of newer revisions are tolerated; they are not used.
    }
    return m;
}

std::string describe(const Message &m)
{
    char head[96];
    std::snprintf(head, sizeof head, "%s appl=%u #%u", messageName(m.command, m.subcommand).c_str(), m.applId,
                  m.number);
    std::string s = head;
    for (const Field &f : m.fields) {
        char buf[48];
        if (f.kind == 's') {
            s += std::string(" ") + f.name + "=[" + hex(f.content) + "]";
            continue;
        }
        if (f.kind == 'd')
            std::snprintf(buf, sizeof buf, " %s=0x%08llX", f.name, (unsigned long long)f.value);
        else
            std::snprintf(buf, sizeof buf, " %s=0x%llX", f.name, (unsigned long long)f.value);
        s += buf;
    }
    if (!m.payload.empty())
        s += " +" + std::to_string(m.payload.size()) + " data bytes";
    if (!m.ok())
        s += " MALFORMED: " + m.error;
    return s;
}

std::string numberDigits(const Bytes &partyNumber, bool hasPresentation)
{
    if (partyNumber.empty())
        return {};
    // A calling number carries the presentation octet unless its type octet has the extension bit.
    const size_t skip = hasPresentation && !(partyNumber[0] & 0x80) ? 2 : 1;
    if (partyNumber.size() <= skip)
        return {};
    return std::string(partyNumber.begin() + long(skip), partyNumber.end());
}

Bytes callingPartyNumber(const std::string &dialled)
{
    if (dialled.empty())
        return {};
    // Type of number and numbering plan (ISDN/telephony), then "presentation allowed, user
    // provided, verified and passed"; national and international prefixes are not sent.
    uint8_t type = 0x41; // subscriber number
    std::string digits = dialled;
    if (digits.rfind("00", 0) == 0) {
        type = 0x11; // international
        digits.erase(0, 2);
    } else if (digits.rfind("0", 0) == 0) {
        type = 0x21; // national
        digits.erase(0, 1);
    }
    Bytes b{type, 0x81};
    for (char c : digits)
        b.push_back(uint8_t(c));
    return b;
}

Bytes calledPartyNumber(const std::string &digits)
{
    Bytes b{0x81}; // type unknown, ISDN/telephony plan, extension bit set
    for (char c : digits)
        b.push_back(uint8_t(c));
    return b;
}

Bytes bearerCapability(uint16_t cip)
{
    switch (cip) {
    case 1:  // speech
    case 16: // telephony
        return {0x80, 0x90, 0xA3};
    case 4:  // 3.1 kHz audio
    case 17: // group 2/3 facsimile
        return {0x90, 0x90, 0xA3};
    case 2:  // unrestricted digital information
    case 18: // group 4 facsimile
        return {0x88, 0x90};
    case 8: // unrestricted digital information with rate adaptation to 56 kbit/s
        return {0x88, 0x90, 0x21, 0x8F};
    default:
        return {};
    }
}

Bytes highLayerCompatibility(uint16_t cip)
{
    switch (cip) {
    case 16:
        return {0x91, 0x81};
    case 17:
        return {0x91, 0x84};
    case 18:
        return {0x91, 0xA1};
    default:
        return {};
    }
}

int cipForService(std::string_view name)
{
    static const std::pair<const char *, int> names[] = {
        {"speech", 1}, {"telephony", 16}, {"analog", 4}, {"fax3", 17},
        {"fax4", 18},  {"data64", 2},     {"data56", 8},
    };
    for (const auto &[n, cip] : names)
        if (name == n)
            return cip;
    if (name.empty() || name.size() > 2)
        return -1;
    int v = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + (c - '0');
    }
    return v <= 31 ? v : -1;
}

} // namespace isdnsim
