// Connections: accepting, reading and splitting the byte stream into CAPI frames or control
// lines, writing, closing.

#include "Exchange.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace isdnsim {

namespace {

constexpr size_t kMaxControlLine = 1024;
constexpr size_t kMaxRcapiFrame = 256;

} // namespace

void Exchange::acceptConnections()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        adopt(fd);
    }
}

int Exchange::adopt(int fd)
{
    Conn c;
    c.fd = fd;
    const int id = m_nextConnId++;
    m_conns.emplace(id, std::move(c));
    return id;
}

void Exchange::receive(int connId, const uint8_t *data, size_t len)
{
    auto it = m_conns.find(connId);
    if (it == m_conns.end() || it->second.dead)
        return;
    it->second.in.insert(it->second.in.end(), data, data + len);
    consumeInput(connId, it->second);
}

void Exchange::hangUp(int connId)
{
    closeConn(connId, "");
}

void Exchange::readConn(int id, Conn &c)
{
    uint8_t buf[16384];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n == 0) {
            closeConn(id, "");
            return;
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            if (errno == EINTR)
                continue;
            closeConn(id, std::strerror(errno));
            return;
        }
        // Acknowledge at once: a client that does not disable Nagle's algorithm (libcapi20's
        // remote driver) would otherwise hold its next small message until the delayed ACK,
        // some 40 ms later. Linux clears the flag again, so it is set after every read.
        if (m_opt.quickAck) {
            const int quick = 1;
            ::setsockopt(c.fd, IPPROTO_TCP, TCP_QUICKACK, &quick, sizeof quick);
        }
        c.in.insert(c.in.end(), buf, buf + n);
        if (size_t(n) < sizeof buf)
            break;
    }
    consumeInput(id, c);
}

// Splits what arrived into CAPI frames, rcapi frames or control lines and serves each whole one;
// the rest waits for more.
void Exchange::consumeInput(int id, Conn &c)
{
    size_t pos = 0;
    while (!c.dead && pos < c.in.size()) {
        if (c.kind == ConnKind::Unknown)
            c.kind = c.in[pos] == 0x80   ? ConnKind::Capi
                     : c.in[pos] == 0x00 ? ConnKind::Rcapi
                                         : ConnKind::Control;
        if (c.kind == ConnKind::Rcapi) {
            // A big-endian length that counts itself; the questions are 14 bytes long.
            if (c.in.size() - pos < 2)
                break;
            const size_t len = size_t(c.in[pos] << 8 | c.in[pos + 1]);
            if (len < 2 || len > kMaxRcapiFrame) {
                error("connection " + std::to_string(id) + ": rcapi frame of " + std::to_string(len) +
                      " bytes; closing it");
                closeConn(id, "framing error");
                break;
            }
            if (c.in.size() - pos < len)
                break;
            handleRcapiFrame(id, c, &c.in[pos + 2], len - 2);
            pos += len;
            continue;
        }
        if (c.kind == ConnKind::Control) {
            auto nl = std::find(c.in.begin() + long(pos), c.in.end(), uint8_t('\n'));
            if (nl == c.in.end() || size_t(nl - c.in.begin()) - pos > kMaxControlLine) {
                if (c.in.size() - pos > kMaxControlLine) {
                    writeLine(c, "ERROR line too long");
                    closeConn(id, "control line too long");
                }
                break;
            }
            std::string line(c.in.begin() + long(pos), nl);
            pos = size_t(nl - c.in.begin()) + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            handleControlLine(id, c, line);
            continue;
        }
        if (c.in[pos] != 0x80) {
            error("connection " + std::to_string(id) + ": frame does not start with 0x80; closing it");
            closeConn(id, "framing error");
            break;
        }
        if (c.in.size() - pos < 3)
            break;
        const size_t len = rd16(&c.in[pos + 1]);
        if (c.in.size() - pos < 3 + len)
            break;
        handleCapiFrame(id, c, &c.in[pos + 3], len);
        pos += 3 + len;
    }
    if (!c.dead)
        c.in.erase(c.in.begin(), c.in.begin() + long(std::min(pos, c.in.size())));
}

void Exchange::flushConn(Conn &c)
{
    while (!c.out.empty()) {
        const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                c.out.clear();
            break;
        }
        c.out.erase(c.out.begin(), c.out.begin() + n);
    }
    if (c.out.empty() && c.closeAfterFlush)
        c.dead = true;
}

void Exchange::closeConn(int id, const std::string &why)
{
    auto it = m_conns.find(id);
    if (it == m_conns.end() || it->second.dead)
        return;
    Conn &c = it->second;
    c.dead = true;
    if (!why.empty() && c.kind != ConnKind::Unknown)
        error("connection " + std::to_string(id) + " closed: " + why);
    forgetConn(c);
}

void Exchange::forgetConn(Conn &c)
{
    if (c.applId) {
        const uint16_t appl = c.applId;
        c.applId = 0;
        removeApp(appl, "vanished");
    }
    if (c.callId) {
        auto call = m_calls.find(c.callId);
        c.callId = 0;
        if (call != m_calls.end()) {
            call->second.controlConn = 0;
            callerHangsUp(call->second);
        }
    }
}

void Exchange::writeLine(Conn &c, const std::string &line)
{
    c.out.insert(c.out.end(), line.begin(), line.end());
    c.out.push_back('\n');
    flushConn(c);
}

} // namespace isdnsim
