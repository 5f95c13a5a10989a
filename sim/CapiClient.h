#pragma once

// A minimal CAPI application on the real libcapi20, for tests and benchmarks of the exchange:
// selects the remote driver, registers, puts messages built with MessageBuilder and fetches
// decoded ones. Every call into the library goes through one process-wide lock.

#include "CapiMessage.h"

#include <cstdint>
#include <string>

namespace isdnsim {

// Additional Info "use B channel" and the default B protocols (HDLC, X.75, transparent).
inline const Bytes kUseBChannel = {0x02, 0x00, 0x00, 0x00, 0x00, 0x00};
inline const Bytes kDefaultBProtocol(9, 0);

// Points the library at 127.0.0.1:port through a remote driver ("fritzbox", or "rcapi" for the
// information queries), silently. The library keeps one global selection per process.
void selectRemoteCapi(uint16_t port, const char *driver = "fritzbox");

class CapiClient
{
public:
    CapiClient() = default;
    ~CapiClient();
    CapiClient(const CapiClient &) = delete;
    CapiClient &operator=(const CapiClient &) = delete;

    // Registers; returns the library's error (0 on success).
    unsigned registerApp(unsigned maxLogical = 2, unsigned maxBlocks = 7, unsigned maxLen = 2048);
    unsigned release();
    uint16_t applId() const { return uint16_t(m_applId); }
    bool registered() const { return m_applId != 0; }

    // Puts a message; DATA_B3_REQ gets `data` copied behind it. Returns the library's result.
    unsigned put(const Bytes &msg, const Bytes &data = {});
    // Waits up to timeoutMs for the next message. For DATA_B3_IND the payload (read through the
    // library's data pointer) lands in Message::payload. False on timeout or when the exchange
    // went away (serverGone() tells which).
    bool get(Message *m, int timeoutMs);
    bool serverGone() const { return m_gone; }
    // The bytes of the last fetched message as the library handed them out.
    const Bytes &lastRaw() const { return m_lastRaw; }
    uint16_t nextNumber() { return m_number++; }

    // Convenience builders with this application's id and the next message number.
    MessageBuilder request(uint8_t command)
    {
        return MessageBuilder(applId(), command, SubReq, nextNumber());
    }
    MessageBuilder response(uint8_t command, const Message &ind)
    {
        return MessageBuilder(applId(), command, SubResp, ind.number);
    }
    // CONNECT_REQ on controller 1 with the default protocols.
    Bytes connectRequest(uint16_t cip, const Bytes &called, const Bytes &calling);
    // CONNECT_RESP to a CONNECT_IND with the default protocols.
    Bytes connectResponse(const Message &ind, uint16_t reject, const Bytes &connectedNumber = {});

private:
    unsigned m_applId = 0;
    uint16_t m_number = 1;
    bool m_gone = false;
    Bytes m_lastRaw;
};

// CAPI_GET_PROFILE through the library; returns its error, the 64 bytes in `profile`.
unsigned getProfile(unsigned controller, uint8_t profile[64]);

} // namespace isdnsim
