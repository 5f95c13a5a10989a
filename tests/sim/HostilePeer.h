#pragma once

// A CAPI-over-TCP server that misbehaves on purpose, in the test process: it answers the
// library's control requests (register, get profile) as the exchange does, confirms requests
// only while told to, records every frame the application sends, and sends whatever bytes the
// test hands it, however wrong. Its ids come from a claimed block of the exchange's pool, so it
// never collides with exchanges of tests that run at the same time.

#include "ApplIdPool.h"
#include "CapiMessage.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hostile {

using isdnsim::Bytes;

// One frame the application sent on its connection.
struct Received
{
    uint8_t command = 0;
    uint8_t subcommand = 0;
    Bytes message; // the whole message, header included
};

class HostilePeer
{
public:
    HostilePeer()
    {
        std::string error;
        m_poolOk = m_pool.claim(&error);
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(m_listener, 16);
        socklen_t size = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &size);
        m_port = ntohs(a.sin_port);
        ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK);
        m_thread = std::thread([this] { run(); });
    }
    ~HostilePeer()
    {
        m_stop = true;
        wake();
        m_thread.join();
        for (auto &[fd, c] : m_conns)
            ::close(fd);
        ::close(m_listener);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }

    bool ready() const { return m_poolOk && m_port != 0; }
    int port() const { return m_port; }

    // Whether requests get a confirmation (Info 0) at once, and a registration its answer.
    std::atomic<bool> confirm{true};
    std::atomic<bool> answerRegister{true};

    // Queues bytes for the registered application's connection, sent in order as it reads.
    void send(const Bytes &bytes)
    {
        {
            std::lock_guard g(m_lock);
            m_outbox.insert(m_outbox.end(), bytes.begin(), bytes.end());
        }
        wake();
    }
    // One frame around `message`: 0x80, the length the frame claims, the bytes.
    static Bytes frame(const Bytes &message, int claimedLength = -1)
    {
        const auto length = uint16_t(claimedLength < 0 ? message.size() : size_t(claimedLength));
        Bytes f{0x80, uint8_t(length), uint8_t(length >> 8)};
        f.insert(f.end(), message.begin(), message.end());
        return f;
    }
    uint16_t applId() const { return m_applId; }
    bool unsentBytes()
    {
        std::lock_guard g(m_lock);
        return !m_outbox.empty();
    }

    std::vector<Received> received()
    {
        std::lock_guard g(m_lock);
        return m_received;
    }
    size_t count(uint8_t command, uint8_t subcommand)
    {
        std::lock_guard g(m_lock);
        size_t n = 0;
        for (const Received &r : m_received)
            n += r.command == command && r.subcommand == subcommand;
        return n;
    }
    bool released() const { return m_released; }

private:
    struct Conn
    {
        Bytes in;
        bool app = false;
    };

    void wake() { [[maybe_unused]] auto n = ::write(m_wake[1], "x", 1); }

    void run()
    {
        while (!m_stop) {
            std::vector<pollfd> fds{{m_listener, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            bool pending = false;
            {
                std::lock_guard g(m_lock);
                pending = !m_outbox.empty();
            }
            for (auto &[fd, c] : m_conns)
                fds.push_back({fd, short(POLLIN | (c.app && pending ? POLLOUT : 0)), 0});
            ::poll(fds.data(), fds.size(), 1000);
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (fd >= 0)
                    m_conns[fd] = Conn{};
            }
            for (size_t i = 2; i < fds.size(); ++i) {
                const int fd = fds[i].fd;
                if (fds[i].revents & POLLOUT)
                    flush(fd);
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR) && !readFrom(fd)) {
                    if (m_conns[fd].app)
                        m_appFd = -1;
                    ::close(fd);
                    m_conns.erase(fd);
                }
            }
        }
    }

    void flush(int fd)
    {
        std::lock_guard g(m_lock);
        if (fd != m_appFd || m_outbox.empty())
            return;
        const ssize_t n = ::send(fd, m_outbox.data(), m_outbox.size(), MSG_NOSIGNAL);
        if (n > 0)
            m_outbox.erase(m_outbox.begin(), m_outbox.begin() + n);
    }

    bool readFrom(int fd)
    {
        Conn &c = m_conns[fd];
        uint8_t buffer[8192];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return n < 0 && errno == EAGAIN;
        c.in.insert(c.in.end(), buffer, buffer + n);
        while (c.in.size() >= 3 && c.in[0] == 0x80) {
            const size_t length = isdnsim::rd16(&c.in[1]);
            if (c.in.size() < 3 + length)
                break;
            const Bytes message(c.in.begin() + 3, c.in.begin() + 3 + long(length));
            c.in.erase(c.in.begin(), c.in.begin() + 3 + long(length));
            take(fd, c, message);
        }
        return true;
    }

    // The library reads a control reply as 0x80, a one-byte length N and N bytes.
    void reply(int fd, Bytes payload)
    {
        payload[0] = uint8_t(payload.size());
        Bytes f{0x80, uint8_t(payload.size())};
        f.insert(f.end(), payload.begin(), payload.end());
        [[maybe_unused]] auto n = ::send(fd, f.data(), f.size(), MSG_NOSIGNAL);
    }

    void take(int fd, Conn &c, const Bytes &m)
    {
        if (m.size() < isdnsim::kHeaderLen)
            return;
        if (m[4] == isdnsim::CmdControl) {
            const uint8_t op = m.size() > 10 ? m[10] : 0;
            if (op == 0x09 && !answerRegister)
                return;
            if (op == 0x09) { // register
                Bytes p(18, 0);
                m_applId = m_pool.acquire();
                isdnsim::wr16(&p[2], m_applId);
                p[4] = isdnsim::CmdControl;
                p[5] = isdnsim::SubConf;
                p[6] = 1;
                c.app = true;
                {
                    std::lock_guard g(m_lock);
                    m_appFd = fd;
                    m_outbox.clear();
                }
                reply(fd, p);
            } else if (op == 0x05) { // get profile: one controller, two B channels
                Bytes p(82, 0);
                p[4] = isdnsim::CmdControl;
                p[5] = isdnsim::SubConf;
                p[6] = 1;
                p[18] = 1;
                p[20] = 2;
                reply(fd, p);
            } else if (op == 0x03) {
                m_pool.release(m_applId);
                m_released = true;
            }
            return;
        }
        {
            std::lock_guard g(m_lock);
            m_received.push_back({m[4], m[5], m});
        }
        if (m[5] != isdnsim::SubReq || !confirm)
            return;
        // Confirmed with the request's first identifier (controller, PLCI or NCCI) and Info 0;
        // a data block also with its handle.
        isdnsim::MessageBuilder b(m_applId, m[4], isdnsim::SubConf, isdnsim::rd16(&m[6]));
        b.dword(m.size() >= 12 ? isdnsim::rd32(&m[8]) : 0);
        if (m[4] == isdnsim::CmdDataB3)
            b.word(m.size() >= 20 ? isdnsim::rd16(&m[18]) : 0);
        b.word(0);
        const Bytes conf = frame(b.finish());
        std::lock_guard g(m_lock);
        m_outbox.insert(m_outbox.end(), conf.begin(), conf.end());
    }

    isdnsim::ApplIdPool m_pool;
    bool m_poolOk = false;
    int m_listener = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_released{false};
    std::atomic<uint16_t> m_applId{0};
    std::thread m_thread;
    std::map<int, Conn> m_conns; // peer thread only

    std::mutex m_lock; // guards what follows
    int m_appFd = -1;
    Bytes m_outbox;
    std::vector<Received> m_received;
};

} // namespace hostile
