// The exchange's life: set-up, the listening socket and the one poll loop that serves every
// connection and timer.

#include "Exchange.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace isdnsim {

std::string Exchange::hex32(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

Exchange::Exchange(Options options) : m_opt(std::move(options))
{
    int p[2];
    if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_wakeRead = p[0];
        m_wakeWrite = p[1];
    }
}

Exchange::~Exchange()
{
    for (auto &[id, c] : m_conns)
        ::close(c.fd);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_wakeRead >= 0)
        ::close(m_wakeRead);
    if (m_wakeWrite >= 0)
        ::close(m_wakeWrite);
}

bool Exchange::claimApplIds(std::string *error)
{
    return m_ids.claim(error);
}

bool Exchange::listen(std::string *err)
{
    if (!claimApplIds(err))
        return false;
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listenFd < 0) {
        *err = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(m_opt.port);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 64) != 0) {
        *err = "127.0.0.1:" + std::to_string(m_opt.port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    return true;
}

void Exchange::stop()
{
    m_stop = true;
    if (m_wakeWrite >= 0) {
        const char c = 1;
        [[maybe_unused]] auto n = ::write(m_wakeWrite, &c, 1);
    }
}

void Exchange::run()
{
    std::vector<pollfd> fds;
    std::vector<int> ids;
    while (!m_stop) {
        const TimePoint now = Clock::now();
        const TimePoint next = timers(now);
        fds.clear();
        ids.clear();
        fds.push_back({m_listenFd, POLLIN, 0});
        ids.push_back(0);
        fds.push_back({m_wakeRead, POLLIN, 0});
        ids.push_back(0);
        for (auto &[id, c] : m_conns) {
            short ev = POLLIN;
            if (!c.out.empty())
                ev |= POLLOUT;
            fds.push_back({c.fd, ev, 0});
            ids.push_back(id);
        }
        timespec ts{};
        timespec *tsp = nullptr;
        if (next != TimePoint::max()) {
            const auto ns = std::max<int64_t>(
                0, std::chrono::duration_cast<std::chrono::nanoseconds>(next - Clock::now()).count());
            ts.tv_sec = ns / 1000000000;
            ts.tv_nsec = ns % 1000000000;
            tsp = &ts;
        }
        const int n = ::ppoll(fds.data(), fds.size(), tsp, nullptr);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (fds[1].revents) {
            char buf[64];
            while (::read(m_wakeRead, buf, sizeof buf) > 0) {
            }
        }
        if (fds[0].revents & POLLIN)
            acceptConnections();
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            auto it = m_conns.find(ids[i]);
            if (it == m_conns.end() || it->second.dead)
                continue;
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                readConn(ids[i], it->second);
            if (!it->second.dead && (fds[i].revents & POLLOUT))
                flushConn(it->second);
        }
        for (auto it = m_conns.begin(); it != m_conns.end();) {
            if (it->second.dead) {
                forgetConn(it->second);
                ::close(it->second.fd);
                it = m_conns.erase(it);
            } else {
                ++it;
            }
        }
    }
}

} // namespace isdnsim
