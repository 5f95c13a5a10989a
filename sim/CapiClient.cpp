#include "CapiClient.h"

#include <algorithm>
#include <capi20.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>

namespace isdnsim {

namespace {

std::mutex &capiLock()
{
    static std::mutex m;
    return m;
}

constexpr size_t kBufferSize = 2176;

} // namespace

void selectRemoteCapi(uint16_t port, const char *driver)
{
    std::lock_guard lock(capiLock());
    std::signal(SIGPIPE, SIG_IGN);
    std::string driverName = driver; // the library copies both texts
    char host[] = "127.0.0.1";
    capi20ext_set_driver(driverName.data());
    capi20ext_set_host(host);
    capi20ext_set_port(port);
    capi20ext_set_tracelevel(0);
}

CapiClient::~CapiClient()
{
    release();
}

unsigned CapiClient::registerApp(unsigned maxLogical, unsigned maxBlocks, unsigned maxLen)
{
    std::lock_guard lock(capiLock());
    if (capi20_isinstalled() != 0)
        return 0x1009;
    unsigned id = 0;
    const unsigned err = capi20_register(maxLogical, maxBlocks, maxLen, &id);
    if (err == 0) {
        m_applId = id;
        m_gone = false;
    }
    return err;
}

unsigned CapiClient::release()
{
    if (!m_applId)
        return 0;
    std::lock_guard lock(capiLock());
    const unsigned err = capi20_release(m_applId);
    m_applId = 0;
    return err;
}

unsigned CapiClient::put(const Bytes &msg, const Bytes &data)
{
    uint8_t buf[kBufferSize] = {};
    if (msg.size() + data.size() > kBufferSize)
        return 0x1102;
    std::memcpy(buf, msg.data(), msg.size());
    if (!data.empty()) {
        std::memcpy(buf + msg.size(), data.data(), data.size());
        // The library takes the payload from behind the message when Data64 is absent.
    }
    std::lock_guard lock(capiLock());
    return capi20_put_message(m_applId, buf);
}

bool CapiClient::get(Message *m, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int fd;
    {
        std::lock_guard lock(capiLock());
        fd = capi20_fileno(m_applId);
    }
    if (fd < 0)
        return false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, int(std::max<int64_t>(0, left)));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        std::lock_guard lock(capiLock());
        // Readable can also mean end of stream: look before fetching.
        char c;
        const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            m_gone = true;
            return false;
        }
        if (n < 0)
            continue;
        unsigned char *msg = nullptr;
        const unsigned err = capi20_get_message(m_applId, &msg);
        if (err != 0 || !msg) {
            m_gone = err == 0x1104 || err == 0x1108;
            return false;
        }
        const size_t len = rd16(msg);
        Bytes whole(msg, msg + len);
        m_lastRaw = whole;
        if (msg[4] == CmdDataB3 && msg[5] == SubInd && len >= 22) {
            // On 64-bit the library hands the data address in Data64 of a 30-byte message.
            const size_t dataLen = rd16(msg + 16);
            uint64_t p64 = 0;
            if (len >= 30)
                std::memcpy(&p64, msg + 22, 8);
            const uint8_t *data = reinterpret_cast<const uint8_t *>(uintptr_t(p64 ? p64 : rd32(msg + 12)));
            if (data)
                whole.insert(whole.end(), data, data + dataLen);
        }
        *m = parseMessage(whole.data(), whole.size());
        return true;
    }
}

Bytes CapiClient::connectRequest(uint16_t cip, const Bytes &called, const Bytes &calling)
{
    return request(CmdConnect)
        .dword(1)
        .word(cip)
        .structure(called)
        .structure(calling)
        .empty()
        .empty()
        .structure(kDefaultBProtocol)
        .empty()
        .empty()
        .empty()
        .structure(kUseBChannel)
        .finish();
}

Bytes CapiClient::connectResponse(const Message &ind, uint16_t reject, const Bytes &connectedNumber)
{
    return response(CmdConnect, ind)
        .dword(uint32_t(ind.num(0)))
        .word(reject)
        .structure(kDefaultBProtocol)
        .structure(connectedNumber)
        .empty()
        .empty()
        .structure(kUseBChannel)
        .finish();
}

unsigned getProfile(unsigned controller, uint8_t profile[64])
{
    std::lock_guard lock(capiLock());
    std::memset(profile, 0, 64);
    return capi20_get_profile(controller, profile);
}

} // namespace isdnsim
