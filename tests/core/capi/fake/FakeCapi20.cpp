// A stand-in for libcapi20 for the component's tests: the libcapi20 C interface, loaded through
// the component's own binding. It records every put and hands out scripted messages. Tests reach
// its state through the fake_* functions (dlopen of the same file gives the same library).

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct AutoReply
{
    uint8_t command, subCommand;
    Bytes reply;
};

struct State
{
    std::mutex lock;
    std::condition_variable changed;
    unsigned installed = 0;
    unsigned registerResult = 0;
    unsigned putResult = 0;
    unsigned nextApplId = 1;
    unsigned applId = 0; // the registered application, 0 when none
    unsigned registerArgs[3] = {};
    int registerCount = 0;
    int releaseCount = 0;
    int waitCount = 0;
    bool lost = false;
    int sockets[2] = {-1, -1};
    std::vector<Bytes> puts;
    std::deque<Bytes> queue;
    Bytes current;                // the message handed out last (valid until the next fetch)
    std::deque<Bytes> dataBlocks; // payloads of handed-out DATA_B3_IND, kept for their lifetime
    std::vector<AutoReply> autoReplies;
    std::string log;
    unsigned char profile[64] = {};
    std::string manufacturer = "Fake CAPI";
    unsigned version[4] = {2, 0, 1, 7};
    std::string serial = "0815";
    std::string host; // as set by capi20ext_set_host and _port
    int port = 0;
    // The next registration's connection goes to that server, which never answers it (see
    // fake_register_unanswered): kAnswered when it does not.
    int unansweredOnto = kAnswered;
    static constexpr int kAnswered = -2;
};

State &S()
{
    static State state;
    return state;
}

void Note(State &s, const std::string &entry)
{
    if (s.log.size() < 100000)
        s.log += entry + ";";
}

uint16_t Word(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

void SetWord(uint8_t *p, unsigned v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void CloseSockets(State &s)
{
    for (int &fd : s.sockets) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

// The application's descriptor (capi20_fileno) is readable exactly while messages are queued, as
// the library's socket or device is: one byte stands for each queued message.
void Enqueue(State &s, Bytes message)
{
    s.queue.push_back(std::move(message));
    if (s.sockets[1] >= 0) {
        const char byte = 0;
        (void)!send(s.sockets[1], &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    s.changed.notify_all();
}

Bytes Dequeue(State &s)
{
    Bytes message = std::move(s.queue.front());
    s.queue.pop_front();
    char byte;
    if (s.sockets[0] >= 0)
        (void)!recv(s.sockets[0], &byte, 1, MSG_DONTWAIT);
    return message;
}

// The remote driver's registration with a server that never answers: a connection to the
// server, and a wait for an answer until the connection is shut down (0x1008) or 30 s passed
// (0x1007). With `onto` >= 0 the connection takes that descriptor number.
unsigned RegisterUnanswered(const std::string &host, int port, int onto)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(uint16_t(port));
    if (fd < 0 || inet_pton(AF_INET, host.c_str(), &server.sin_addr) != 1 ||
        connect(fd, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0) {
        if (fd >= 0)
            close(fd);
        return 0x1009;
    }
    if (onto >= 0 && dup2(fd, onto) == onto) {
        close(fd);
        fd = onto;
    }
    const timeval limit{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char byte;
    const ssize_t n = recv(fd, &byte, 1, 0);
    close(fd);
    return n == 0 ? 0x1008 : 0x1007;
}

} // namespace

extern "C" {

// ---- the libcapi20 interface ----

#ifndef FAKE_MINIMAL
// (The minimal variant lacks these two entry points, as an old or broken library might.)
unsigned capi20_isinstalled(void)
{
    State &s = S();
    std::lock_guard g(s.lock);
    Note(s, "isinstalled");
    return s.installed;
}
#endif

unsigned capi20_register(unsigned maxLogicalConnection, unsigned maxBDataBlocks, unsigned maxBDataLen,
                         unsigned *applIdp)
{
    State &s = S();
    std::unique_lock g(s.lock);
    Note(s, "register");
    ++s.registerCount;
    s.registerArgs[0] = maxLogicalConnection;
    s.registerArgs[1] = maxBDataBlocks;
    s.registerArgs[2] = maxBDataLen;
    if (s.unansweredOnto != State::kAnswered) {
        const int onto = std::exchange(s.unansweredOnto, State::kAnswered);
        const std::string host = s.host;
        const int port = s.port;
        g.unlock();
        return RegisterUnanswered(host, port, onto);
    }
    if (s.registerResult != 0)
        return s.registerResult;
    s.applId = s.nextApplId++;
    s.lost = false;
    s.queue.clear();
    CloseSockets(s);
    socketpair(AF_UNIX, SOCK_STREAM, 0, s.sockets);
    *applIdp = s.applId;
    return 0;
}

unsigned capi20_release(unsigned applId)
{
    State &s = S();
    std::lock_guard g(s.lock);
    Note(s, "release");
    ++s.releaseCount;
    if (applId != s.applId || applId == 0)
        return 0x1101;
    s.applId = 0;
    s.dataBlocks.clear();
    CloseSockets(s);
    s.changed.notify_all();
    return 0;
}

unsigned capi20_put_message(unsigned applId, unsigned char *msg)
{
    State &s = S();
    std::lock_guard g(s.lock);
    const unsigned length = Word(msg);
    Bytes message(msg, msg + std::min(length, 2176u));
    // A DATA_B3_REQ's payload is recorded behind the message, as the library sends it.
    if (length >= 22 && msg[4] == 0x86 && msg[5] == 0x80) {
        uint64_t address = 0;
        if (length >= 30)
            std::memcpy(&address, msg + 22, 8);
        const unsigned dataLength = Word(msg + 16);
        if (address != 0)
            message.insert(message.end(), reinterpret_cast<const uint8_t *>(address),
                           reinterpret_cast<const uint8_t *>(address) + dataLength);
    }
    s.puts.push_back(message);
    s.changed.notify_all();
    if (applId != s.applId || s.applId == 0)
        return 0x1101;
    if (s.lost)
        return 0x1108;
    if (s.putResult != 0)
        return s.putResult;
    for (const AutoReply &r : s.autoReplies) {
        if (r.command == msg[4] && r.subCommand == msg[5]) {
            Bytes reply = r.reply;
            SetWord(reply.data() + 2, applId);
            reply[6] = msg[6];
            reply[7] = msg[7];
            // A data confirmation names the block it confirms.
            if (msg[4] == 0x86 && reply.size() >= 14) {
                std::memcpy(reply.data() + 8, msg + 8, 4);
                std::memcpy(reply.data() + 12, msg + 18, 2);
            }
            Enqueue(s, reply);
        }
    }
    return 0;
}

unsigned capi20_get_message(unsigned applId, unsigned char **buf)
{
    State &s = S();
    std::lock_guard g(s.lock);
    if (applId != s.applId || s.applId == 0)
        return 0x1101;
    if (s.queue.empty())
        return 0x1104;
    // Like the library, the message is handed out in a buffer of the full message-buffer size,
    // whatever its header claims.
    s.current = Dequeue(s);
    s.current.resize(std::max<size_t>(s.current.size(), 2176), 0);
    *buf = s.current.data();
    return 0;
}

unsigned capi20_waitformessage(unsigned applId, struct timeval *timeout)
{
    State &s = S();
    std::unique_lock g(s.lock);
    ++s.waitCount;
    auto ready = [&] { return !s.queue.empty() || s.lost || s.applId != applId; };
    if (timeout == nullptr) {
        s.changed.wait(g, ready);
    } else {
        const auto span = std::chrono::seconds(timeout->tv_sec) + std::chrono::microseconds(timeout->tv_usec);
        s.changed.wait_for(g, span, ready);
    }
    if (s.applId != applId || s.applId == 0)
        return 0x1101;
    return ready() ? 0 : 0x1104;
}

#ifndef FAKE_MINIMAL
unsigned capi20_get_profile(unsigned controller, unsigned char *buf)
{
    State &s = S();
    std::lock_guard g(s.lock);
    Note(s, "profile(" + std::to_string(controller) + ")");
    std::memcpy(buf, s.profile, 64);
    return controller <= s.profile[0] ? 0 : 0x100B;
}

#endif

unsigned char *capi20_get_manufacturer(unsigned, unsigned char *buf)
{
    State &s = S();
    std::lock_guard g(s.lock);
    std::strncpy(reinterpret_cast<char *>(buf), s.manufacturer.c_str(), 64);
    return buf;
}

unsigned char *capi20_get_version(unsigned, unsigned char *buf)
{
    State &s = S();
    std::lock_guard g(s.lock);
    std::memcpy(buf, s.version, 16);
    return buf;
}

unsigned char *capi20_get_serial_number(unsigned, unsigned char *buf)
{
    State &s = S();
    std::lock_guard g(s.lock);
    std::strncpy(reinterpret_cast<char *>(buf), s.serial.c_str(), 8);
    return buf;
}

int capi20_fileno(unsigned applId)
{
    State &s = S();
    std::lock_guard g(s.lock);
    return applId == s.applId ? s.sockets[0] : -1;
}

void capi20ext_set_driver(char *driver)
{
    State &s = S();
    std::lock_guard g(s.lock);
    Note(s, std::string("driver(") + driver + ")");
}

void capi20ext_set_host(char *host)
{
    State &s = S();
    std::lock_guard g(s.lock);
    Note(s, std::string("host(") + host + ")");
    s.host = host;
}

void capi20ext_set_port(int port)
{
    State &s = S();
    std::lock_guard g(s.lock);
    Note(s, "port(" + std::to_string(port) + ")");
    s.port = port;
}

void capi20ext_set_tracelevel(int level)
{
    State &s = S();
    std::lock_guard g(s.lock);
    Note(s, "trace(" + std::to_string(level) + ")");
}

// ---- control of the fake ----

void fake_reset(void)
{
    State &s = S();
    std::lock_guard g(s.lock);
    s.installed = 0;
    s.registerResult = 0;
    s.putResult = 0;
    s.applId = 0;
    s.registerCount = s.releaseCount = s.waitCount = 0;
    s.lost = false;
    CloseSockets(s);
    s.puts.clear();
    s.queue.clear();
    s.dataBlocks.clear();
    s.autoReplies.clear();
    s.log.clear();
    std::memset(s.profile, 0, sizeof s.profile);
    s.profile[0] = 1; // one controller
    s.manufacturer = "Fake CAPI";
    s.serial = "0815";
    s.host.clear();
    s.port = 0;
    s.unansweredOnto = State::kAnswered;
    const unsigned version[4] = {2, 0, 1, 7};
    std::memcpy(s.version, version, sizeof s.version);
    s.changed.notify_all();
}

void fake_set_installed(unsigned result)
{
    std::lock_guard g(S().lock);
    S().installed = result;
}

void fake_set_register_result(unsigned result)
{
    std::lock_guard g(S().lock);
    S().registerResult = result;
}

// The next registration goes to the remote server set, which never answers it: it returns 0x1008
// once its connection is shut down, 0x1007 when that did not happen within 30 s. With
// `descriptor` >= 0 its connection takes that descriptor number (closing what had it), as a
// number freed and taken again meanwhile would.
void fake_register_unanswered(int descriptor)
{
    std::lock_guard g(S().lock);
    S().unansweredOnto = descriptor < 0 ? -1 : descriptor;
}

void fake_set_put_result(unsigned result)
{
    std::lock_guard g(S().lock);
    S().putResult = result;
}

// What the information queries answer: manufacturer, serial number, CAPI and manufacturer version.
void fake_set_info(const char *manufacturer, const char *serial, const unsigned *version)
{
    State &s = S();
    std::lock_guard g(s.lock);
    s.manufacturer = manufacturer;
    s.serial = serial;
    std::memcpy(s.version, version, sizeof s.version);
}

void fake_set_profile(const unsigned char *profile)
{
    std::lock_guard g(S().lock);
    std::memcpy(S().profile, profile, 64);
}

// Queues a message for the registered application (its ApplID is filled in).
void fake_push(const unsigned char *msg, unsigned length)
{
    State &s = S();
    std::lock_guard g(s.lock);
    Bytes m(msg, msg + length);
    if (m.size() >= 4)
        SetWord(m.data() + 2, s.applId);
    Enqueue(s, m);
}

// Queues a DATA_B3_IND in the form the library hands out on 64-bit: 30 bytes, Data64 pointing at
// the payload, which stays valid until the next release.
void fake_push_data_b3_ind(unsigned ncci, unsigned handle, const unsigned char *data, unsigned length,
                           unsigned msgNumber)
{
    State &s = S();
    std::lock_guard g(s.lock);
    s.dataBlocks.emplace_back(data, data + length);
    s.dataBlocks.back().reserve(1); // an empty block, too, lies somewhere in the library's memory
    const uint64_t address = reinterpret_cast<uintptr_t>(s.dataBlocks.back().data());
    Bytes m(30, 0);
    SetWord(m.data(), 30);
    SetWord(m.data() + 2, s.applId);
    m[4] = 0x86;
    m[5] = 0x82;
    SetWord(m.data() + 6, msgNumber);
    std::memcpy(m.data() + 8, &ncci, 4);
    SetWord(m.data() + 16, length);
    SetWord(m.data() + 18, handle);
    std::memcpy(m.data() + 22, &address, 8);
    Enqueue(s, m);
}

// When a message with this command and subcommand is put, `reply` is queued with the put's
// message number.
void fake_auto_reply(unsigned command, unsigned subCommand, const unsigned char *reply, unsigned length)
{
    State &s = S();
    std::lock_guard g(s.lock);
    s.autoReplies.push_back({uint8_t(command), uint8_t(subCommand), Bytes(reply, reply + length)});
}

// The remote server goes away: end of stream on the application's socket, a wait that returns at
// once, fetches that find nothing and puts that fail.
void fake_lose_connection(void)
{
    State &s = S();
    std::lock_guard g(s.lock);
    s.lost = true;
    if (s.sockets[1] >= 0) {
        close(s.sockets[1]);
        s.sockets[1] = -1;
    }
    s.changed.notify_all();
}

unsigned fake_put_count(void)
{
    std::lock_guard g(S().lock);
    return unsigned(S().puts.size());
}

// Copies put number `index` into `out`; returns its length (0 when there is none).
unsigned fake_put_at(unsigned index, unsigned char *out, unsigned capacity)
{
    State &s = S();
    std::lock_guard g(s.lock);
    if (index >= s.puts.size())
        return 0;
    const Bytes &m = s.puts[index];
    std::memcpy(out, m.data(), std::min<size_t>(capacity, m.size()));
    return unsigned(m.size());
}

int fake_counter(const char *name)
{
    State &s = S();
    std::lock_guard g(s.lock);
    const std::string n = name;
    if (n == "register")
        return s.registerCount;
    if (n == "release")
        return s.releaseCount;
    if (n == "wait")
        return s.waitCount;
    if (n == "queue")
        return int(s.queue.size());
    if (n == "applid")
        return int(s.applId);
    if (n == "maxLogical")
        return int(s.registerArgs[0]);
    if (n == "maxBlocks")
        return int(s.registerArgs[1]);
    if (n == "maxLen")
        return int(s.registerArgs[2]);
    return -1;
}

// The calls noted so far (isinstalled, register, profile(n), driver(..), host(..), port(..),
// trace(..)), each followed by ";".
unsigned fake_log(char *out, unsigned capacity)
{
    State &s = S();
    std::lock_guard g(s.lock);
    const size_t n = std::min<size_t>(capacity - 1, s.log.size());
    std::memcpy(out, s.log.data(), n);
    out[n] = 0;
    return unsigned(n);
}

} // extern "C"
