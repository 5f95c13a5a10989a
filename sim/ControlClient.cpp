#include "ControlClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace isdnsim {

ControlClient::~ControlClient()
{
    close();
}

bool ControlClient::connect(const std::string &host, uint16_t port, std::string *error)
{
    close();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, host == "localhost" ? "127.0.0.1" : host.c_str(), &addr.sin_addr) != 1) {
        *error = "not an IPv4 address: " + host;
        return false;
    }
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        *error = host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        close();
        return false;
    }
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

void ControlClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
}

bool ControlClient::sendLine(const std::string &line)
{
    if (m_fd < 0)
        return false;
    const std::string data = line + "\n";
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool ControlClient::readLine(std::string *line, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        const size_t nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            *line = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            return true;
        }
        if (m_fd < 0)
            return false;
        int wait = -1;
        if (timeoutMs >= 0) {
            wait =
                int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (wait < 0)
                return false;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        m_buffer.append(buf, size_t(n));
    }
}

std::vector<std::string> ControlClient::request(const std::string &line, int timeoutMs)
{
    std::vector<std::string> lines;
    if (!sendLine(line))
        return lines;
    std::string l;
    while (readLine(&l, timeoutMs)) {
        lines.push_back(l);
        if (l.rfind("END", 0) == 0 || l.rfind("ERROR", 0) == 0)
            return lines;
    }
    lines.clear();
    return lines;
}

bool parseServer(const std::string &text, std::string *host, uint16_t *port)
{
    const size_t colon = text.rfind(':');
    const std::string h = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
    const std::string p = colon == std::string::npos ? text : text.substr(colon + 1);
    if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long v = std::stoul(p);
    if (v == 0 || v > 65534)
        return false;
    *host = h.empty() ? "127.0.0.1" : h;
    *port = uint16_t(v);
    return true;
}

bool SomeApplicationListens(uint16_t port)
{
    ControlClient control;
    std::string error;
    if (!control.connect("127.0.0.1", port, &error))
        return false;
    for (const std::string &line : control.request("STATUS", 5000))
        if (line.rfind("APPL", 0) == 0 && std::stoul(lineValue(line, "cip_mask"), nullptr, 16) != 0)
            return true;
    return false;
}

std::string lineValue(const std::string &line, const std::string &key)
{
    const std::string needle = key + "=";
    size_t pos = 0;
    while ((pos = line.find(needle, pos)) != std::string::npos) {
        if (pos == 0 || line[pos - 1] == ' ') {
            const size_t start = pos + needle.size();
            const size_t end = line.find(' ', start);
            return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
        pos += needle.size();
    }
    return {};
}

namespace {
// A decimal value of a line, 0 when it is none or above `max` (a damaged line must not end the
// client).
unsigned long decimalValue(const std::string &text, unsigned long max)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const unsigned long v = std::stoul(text);
    return v <= max ? v : 0;
}
} // namespace

void CallReport::add(const std::string &line)
{
    const size_t sp = line.find(' ');
    const std::string word = line.substr(0, sp);
    const auto appl = uint16_t(decimalValue(lineValue(line, "appl"), 0xFFFF));
    if (word == "OFFERED") {
        order.push_back(appl);
        reactions[appl];
    } else if (word == "ALERTED") {
        reactions[appl].push_back("alerted");
    } else if (word == "ACCEPTED") {
        reactions[appl].push_back("accepted");
    } else if (word == "IGNORED") {
        reactions[appl].push_back("ignored (Reject 1)");
    } else if (word == "REJECTED") {
        reactions[appl].push_back("rejected (Reject " + lineValue(line, "reject") + ")");
    } else if (word == "GONE") {
        reactions[appl].push_back("went away");
    } else if (word == "CLEARED") {
        reactions[appl].push_back("cleared (another terminal answered)");
    } else if (word == "END") {
        endLine = line;
        offered = int(decimalValue(lineValue(line, "offered"), 0x7FFFFFFF));
        result = lineValue(line, "result");
        complete = true;
    }
}

std::vector<std::string> CallReport::format() const
{
    std::vector<std::string> out;
    for (uint16_t appl : order) {
        const auto &r = reactions.at(appl);
        std::string text;
        for (const auto &x : r)
            text += (text.empty() ? "" : ", ") + x;
        out.push_back("application " + std::to_string(appl) + ": " + (text.empty() ? "no reaction" : text));
    }
    return out;
}

} // namespace isdnsim
