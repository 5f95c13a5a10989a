// libcapi20 (libcapi20.so.3), loaded at run time with dlopen.

#include "capi/CapiBinding.h"
#include "capi/CapiCodec.h"
#include "capi/CapiErrors.h"
#include "common/Clock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <set>
#include <string>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

std::recursive_mutex &CapiBinding::LibraryLock()
{
    static std::recursive_mutex lock;
    return lock;
}

QString CapiLibraryFileName()
{
    return QStringLiteral("libcapi20.so.3");
}

namespace {

extern "C" {
using RegisterFn = unsigned (*)(unsigned, unsigned, unsigned, unsigned *);
using ReleaseFn = unsigned (*)(unsigned);
using PutMessageFn = unsigned (*)(unsigned, unsigned char *);
using GetMessageFn = unsigned (*)(unsigned, unsigned char **);
using WaitForMessageFn = unsigned (*)(unsigned, struct timeval *);
using GetProfileFn = unsigned (*)(unsigned, unsigned char *);
using GetTextFn = unsigned char *(*)(unsigned, unsigned char *);
using InstalledFn = unsigned (*)();
using FilenoFn = int (*)(unsigned);
using SetTextFn = void (*)(char *);
using SetIntFn = void (*)(int);
}

// Strings handed to capi20ext_set_driver/_host must outlive the call: the library may keep the
// pointer. They live as long as the process.
char *KeepString(std::string &slot, const QString &text)
{
    slot = text.toStdString();
    return slot.data();
}

// libcapi20's remote drivers leave Nagle's algorithm on their TCP connection. Then a small
// message that follows one the server does not answer (CONNECT_RESP, DISCONNECT_RESP, ...) is held
// back until that one is acknowledged, and an ordinary TCP stack such as a router's delays the
// acknowledgement by 40 ms or more: a ring's answer or a data call's set-up would wait that long.
// The local CAPI device is no socket and stays as it is.
bool IsTcpSocket(int fd)
{
    int protocol = 0;
    socklen_t size = sizeof protocol;
    return fd >= 0 && getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &size) == 0 &&
           protocol == IPPROTO_TCP;
}

void DisableNagleOnTcp(int fd)
{
    if (!IsTcpSocket(fd))
        return;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// The remote driver reads a frame (0x80, a 16-bit length L, L bytes) with blocking reads once any
// of it has arrived, and into a buffer of this many bytes.
constexpr std::size_t kRemoteFrameBytes = 4096;
constexpr std::size_t kRemoteFrameHeader = 3;
// A frame that stays incomplete this long: the server stopped in the middle of it.
constexpr qint64 kStalledFrameMs = 10000;

// What the next frame on a remote CAPI connection is.
enum class NextFrame
{
    Whole,   // the library may fetch it (or the stream's end or an error, which it reports)
    Nothing, // no byte is there
    Partial, // still on its way
    Refused, // whole, but nothing the library or the component could take: removed unread
    Broken,  // the stream is out of step: nothing after this can be read
};

// A data block that was removed unread: what its answer (DATA_B3_RESP) names.
struct DroppedBlock
{
    uint32_t ncci = 0;
    uint16_t handle = 0;
    uint16_t number = 0; // the message number, which the answer repeats
};

// Whether a whole frame is there, and whether it is one the library can take: the library would
// wait inside its lock (every other thread's call with it) for a frame cut short, read a longer
// one past its buffer, and a message longer than its frame, or a data block whose length
// disagrees with its frame, hands the component bytes that were never sent. A data block longer than the
// registration allows would not fit the library's block buffer. A refused frame that carries a
// data block's NCCI and handle gives them in `dropped`.
NextFrame InspectFrame(int fd, std::size_t maxDataLength, std::optional<DroppedBlock> &dropped)
{
    dropped.reset();
    uint8_t head[kRemoteFrameHeader];
    const ssize_t n = recv(fd, head, sizeof head, MSG_PEEK | MSG_DONTWAIT);
    if (n <= 0)
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? NextFrame::Nothing : NextFrame::Whole;
    if (head[0] != 0x80)
        return NextFrame::Broken;
    if (std::size_t(n) < sizeof head)
        return NextFrame::Partial;
    const std::size_t length = std::size_t(head[1]) | std::size_t(head[2]) << 8;
    static std::vector<uint8_t> frame(kRemoteFrameHeader + 0xFFFF); // under the library lock
    const ssize_t got = recv(fd, frame.data(), kRemoteFrameHeader + length, MSG_PEEK | MSG_DONTWAIT);
    if (got < ssize_t(kRemoteFrameHeader + length))
        return NextFrame::Partial;
    const uint8_t *message = frame.data() + kRemoteFrameHeader;
    const std::size_t own = length >= 2 ? Capi::ReadWord(message, length, 0) : 0;
    bool fits = kRemoteFrameHeader + length <= kRemoteFrameBytes && own >= Capi::HeaderBytes && own <= length;
    // Bytes behind another message are never read; behind a data block they are its data.
    if (fits && message[4] == Capi::CMD_DATA_B3 && message[5] == Capi::SUB_IND)
        fits =
            own >= 22 && length - own == Capi::ReadWord(message, length, 16) && length - own <= maxDataLength;
    if (fits)
        return NextFrame::Whole;
    if (length >= 20 && message[4] == Capi::CMD_DATA_B3 && message[5] == Capi::SUB_IND)
        dropped = DroppedBlock{Capi::ReadDword(message, length, 8), Capi::ReadWord(message, length, 18),
                               Capi::ReadWord(message, length, 6)};
    recv(fd, frame.data(), kRemoteFrameHeader + length, MSG_DONTWAIT);
    return NextFrame::Refused;
}

// Answers a data block that was removed unread, so that it does not keep one of the server's
// window slots (MaxBDataBlocks) for good. Written to the connection directly, as one frame: the
// library never saw the block, and would take its handle for one of its own buffers. Under the
// library lock, so that no frame of the library's can come between.
void AnswerDroppedBlock(int fd, uint32_t applId, const DroppedBlock &block)
{
    uint8_t frame[kRemoteFrameHeader + Capi::MessageBufferBytes];
    const std::size_t length =
        Capi::BuildMessage(frame + kRemoteFrameHeader, uint16_t(applId), Capi::CMD_DATA_B3, Capi::SUB_RESP,
                           block.number, Capi::DataB3Resp(block.ncci, block.handle));
    if (length == 0)
        return;
    frame[0] = 0x80;
    frame[1] = uint8_t(length);
    frame[2] = uint8_t(length >> 8);
    const std::size_t total = kRemoteFrameHeader + length;
    std::size_t sent = 0;
    while (sent < total) {
        const ssize_t n = send(fd, frame + sent, total - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the connection is gone: its loss is seen by the next wait
        sent += std::size_t(n);
    }
}

// Frames that cannot be read are logged at most once in this while, with how many there were.
constexpr qint64 kDropLogIntervalMs = 60000;

// How long a remote server may take to answer a registration.
constexpr int kRegisterAnswerMs = 10000;

// The inode of the socket behind the descriptor `name` of the open folder /proc/self/fd, read
// from its link ("socket:[inode]") without touching the descriptor; 0 for anything else.
ino_t SocketInodeOf(int procFds, const char *name)
{
    char target[64];
    const ssize_t n = readlinkat(procFds, name, target, sizeof target - 1);
    if (n <= 0)
        return 0;
    target[n] = 0;
    unsigned long long inode = 0;
    return std::sscanf(target, "socket:[%llu]", &inode) == 1 ? ino_t(inode) : 0;
}

// Calls `visit(fd, inode)` for every descriptor of this process that is a socket.
template<typename Visit> void ForEachSocket(Visit &&visit)
{
    DIR *fds = opendir("/proc/self/fd");
    if (fds == nullptr)
        return;
    while (const dirent *entry = readdir(fds)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != 0 || fd == dirfd(fds))
            continue;
        if (const ino_t inode = SocketInodeOf(dirfd(fds), entry->d_name))
            visit(int(fd), inode);
    }
    closedir(fds);
}

std::set<ino_t> OpenSockets()
{
    std::set<ino_t> found;
    ForEachSocket([&](int, ino_t inode) { found.insert(inode); });
    return found;
}

// The IPv4 addresses of a host name or address (the remote driver speaks IPv4 only); empty when
// it cannot be resolved.
std::set<in_addr_t> AddressesOf(const std::string &host)
{
    std::set<in_addr_t> found;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0)
        return found;
    for (const addrinfo *a = list; a != nullptr; a = a->ai_next)
        found.insert(reinterpret_cast<const sockaddr_in *>(a->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(list);
    return found;
}

// Shuts down the TCP connections to the server (one of `addresses`, any when none is known, at
// `port`) that are not among the sockets `before`. A connection is known by its socket's inode,
// never by its descriptor number, which may have been closed and given to something else since;
// and it is shut down through a duplicate of the descriptor that is checked to hold that very
// socket, so that a number taken over meanwhile is never the one shut down.
void ShutDownNewConnections(const std::set<ino_t> &before, const std::set<in_addr_t> &addresses, int port)
{
    std::vector<std::pair<int, ino_t>> fresh;
    ForEachSocket([&](int fd, ino_t inode) {
        if (before.count(inode) == 0)
            fresh.emplace_back(fd, inode);
    });
    for (const auto &[fd, inode] : fresh) {
        const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
            continue;
        struct stat status;
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        if (fstat(copy, &status) == 0 && S_ISSOCK(status.st_mode) && status.st_ino == inode &&
            IsTcpSocket(copy) && getpeername(copy, reinterpret_cast<sockaddr *>(&peer), &size) == 0 &&
            peer.sin_family == AF_INET && ntohs(peer.sin_port) == port &&
            (addresses.empty() || addresses.count(peer.sin_addr.s_addr) != 0))
            shutdown(copy, SHUT_RDWR);
        close(copy);
    }
}

// While a registration with a remote server runs: a server that has not answered within
// kRegisterAnswerMs has the connection the library opened for it shut down, so that the
// library's wait ends (with an error) instead of holding its lock, and every caller with it,
// for good. Only the registration runs into the library meanwhile (it holds the library lock),
// so the one new connection to the server is the library's; another component's probe of the
// same port on another host is told apart by the address.
class AnswerDeadline
{
public:
    AnswerDeadline(const std::string &host, int port)
    {
        if (port <= 0)
            return;
        m_watch = std::thread([this, host, port, before = OpenSockets()] {
            std::unique_lock guard(m_lock);
            if (m_changed.wait_for(guard, std::chrono::milliseconds(kRegisterAnswerMs),
                                   [this] { return m_done; }))
                return;
            // Resolved only now: a registration that is answered never waits for a name server.
            ShutDownNewConnections(before, AddressesOf(host), port);
        });
    }
    ~AnswerDeadline()
    {
        if (!m_watch.joinable())
            return;
        {
            std::lock_guard guard(m_lock);
            m_done = true;
        }
        m_changed.notify_all();
        m_watch.join();
    }
    AnswerDeadline(const AnswerDeadline &) = delete;
    AnswerDeadline &operator=(const AnswerDeadline &) = delete;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_done = false;
    std::thread m_watch;
};

class LinuxCapiBinding final : public CapiBinding
{
public:
    ~LinuxCapiBinding() override
    {
        if (m_handle != nullptr) {
            std::lock_guard guard(LibraryLock());
            dlclose(m_handle);
        }
    }

    bool Load(const QString &path) override
    {
        static std::once_flag sigpipe;
        // A put after a remote server went away would otherwise end the process.
        std::call_once(sigpipe, [] { std::signal(SIGPIPE, SIG_IGN); });
        std::lock_guard guard(LibraryLock());
        if (m_handle != nullptr)
            return true;
        m_handle = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle == nullptr)
            return false;
        resolve(m_register, "capi20_register");
        resolve(m_release, "capi20_release");
        resolve(m_put, "capi20_put_message");
        resolve(m_get, "capi20_get_message");
        resolve(m_wait, "capi20_waitformessage");
        resolve(m_profile, "capi20_get_profile");
        resolve(m_manufacturer, "capi20_get_manufacturer");
        resolve(m_version, "capi20_get_version");
        resolve(m_serial, "capi20_get_serial_number");
        resolve(m_installed, "capi20_isinstalled");
        resolve(m_fileno, "capi20_fileno");
        resolve(m_setDriver, "capi20ext_set_driver");
        resolve(m_setHost, "capi20ext_set_host");
        resolve(m_setPort, "capi20ext_set_port");
        resolve(m_setTraceLevel, "capi20ext_set_tracelevel");
        return true;
    }

    bool IsLoaded() const override { return m_handle != nullptr; }

    bool SelectRemote(const QString &host, int port) override
    {
        std::lock_guard guard(LibraryLock());
        if (m_setDriver == nullptr || m_setHost == nullptr || m_setPort == nullptr)
            return false;
        static std::string driver, hostName;
        m_setDriver(KeepString(driver, QStringLiteral("fritzbox")));
        m_setHost(KeepString(hostName, host));
        m_setPort(port);
        m_remoteHost = host.toStdString();
        m_remotePort = port;
        return true;
    }

    void SelectLocal() override
    {
        std::lock_guard guard(LibraryLock());
        if (m_remotePort == 0 || m_setDriver == nullptr)
            return; // the library was never sent elsewhere
        // The library picks the driver named here when it next opens its control connection,
        // which the release of its last application closed; the local device's driver is
        // "standard". A REMOTE line of the user's ~/.capi20rc still wins, as at the start.
        static std::string driver;
        m_setDriver(KeepString(driver, QStringLiteral("standard")));
        m_remoteHost.clear();
        m_remotePort = 0;
    }

    void SetQuiet() override
    {
        std::lock_guard guard(LibraryLock());
        if (m_setTraceLevel != nullptr)
            m_setTraceLevel(0);
    }

    uint32_t Installed() override
    {
        std::lock_guard guard(LibraryLock());
        return m_installed != nullptr ? m_installed() : CapiError::ERR_CAPI_NOT_INSTALLED;
    }

    uint32_t Register(uint32_t /*messageBufferSize: the library sizes its own buffers*/,
                      uint32_t maxLogicalConnection, uint32_t maxBDataBlocks, uint32_t maxBDataLen,
                      uint32_t &applId) override
    {
        std::lock_guard guard(LibraryLock());
        if (m_register == nullptr)
            return CapiError::ERR_DLL_NOT_LOADED;
        unsigned id = 0;
        // The library waits for the server's answer without a time limit, inside the lock.
        const AnswerDeadline deadline(m_remoteHost, m_remotePort);
        const unsigned result = m_register(maxLogicalConnection, maxBDataBlocks, maxBDataLen, &id);
        applId = id;
        // Each registration has a connection of its own.
        if (result == 0 && m_fileno != nullptr) {
            const int fd = m_fileno(id);
            DisableNagleOnTcp(fd);
            if (IsTcpSocket(fd)) {
                m_remote[id] = Remote();
                m_remote[id].maxDataLength = maxBDataLen;
                // Bytes waiting in the receive buffer are charged with the whole segment they came
                // in: over loopback one short remainder of a 64 KB segment can fill the default
                // buffer, and the rest of its frame, which is waited for before the library reads,
                // would never be let in. A larger buffer always has room for it.
                const int bytes = 1 << 20;
                setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
            }
        }
        return result;
    }

    uint32_t Release(uint32_t applId) override
    {
        std::lock_guard guard(LibraryLock());
        if (const auto remote = m_remote.find(applId); remote != m_remote.end()) {
            if (remote->second.dropsUnlogged > 0)
                LogDrops(remote->second);
            m_remote.erase(remote);
        }
        return m_release != nullptr ? m_release(applId) : CapiError::ERR_DLL_NOT_LOADED;
    }

    uint32_t PutMessage(uint32_t applId, uint8_t *message) override
    {
        std::lock_guard guard(LibraryLock());
        return m_put != nullptr ? m_put(applId, message) : CapiError::ERR_DLL_NOT_LOADED;
    }

    uint32_t GetMessage(uint32_t applId, uint8_t *buffer, std::size_t &length) override
    {
        length = 0;
        std::lock_guard guard(LibraryLock());
        if (m_get == nullptr)
            return CapiError::ERR_DLL_NOT_LOADED;
        if (!remoteFrameReady(applId))
            return Capi::CapiReceiveQueueEmpty;
        // The remote driver's fetch blocks on an empty queue: ask first, without waiting.
        if (m_wait != nullptr) {
            struct timeval none = {0, 0};
            if (m_wait(applId, &none) != Capi::CapiNoError)
                return Capi::CapiReceiveQueueEmpty;
        }
        unsigned char *message = nullptr;
        const unsigned result = m_get(applId, &message);
        if (result != Capi::CapiNoError)
            return result;
        if (message == nullptr)
            return Capi::CapiReceiveQueueEmpty;
        const std::size_t claimed = Capi::ReadWord(message, Capi::HeaderBytes, 0);
        length = std::min(std::max(claimed, Capi::HeaderBytes), Capi::MessageBufferBytes);
        std::memcpy(buffer, message, length);
        return Capi::CapiNoError;
    }

    int FileNo(uint32_t applId) override
    {
        std::lock_guard guard(LibraryLock());
        return m_fileno != nullptr ? m_fileno(applId) : -1;
    }

    bool GetProfile(uint32_t controller, std::array<uint8_t, 64> &buffer, uint32_t &result) override
    {
        std::lock_guard guard(LibraryLock());
        if (m_profile == nullptr)
            return false;
        result = m_profile(controller, buffer.data());
        return true;
    }

    bool GetManufacturer(uint32_t controller, std::array<char, 132> &buffer) override
    {
        return getText(m_manufacturer, controller, buffer);
    }

    bool GetVersion(uint32_t controller, std::array<uint32_t, 4> &version) override
    {
        std::lock_guard guard(LibraryLock());
        if (m_version == nullptr)
            return false;
        // Four 32-bit numbers; the buffer leaves room for a library that writes more.
        alignas(4) unsigned char buffer[64] = {};
        m_version(controller, buffer);
        for (int i = 0; i < 4; ++i)
            version[i] = Capi::ReadDword(buffer, sizeof buffer, std::size_t(4 * i));
        return true;
    }

    bool GetSerialNumber(uint32_t controller, std::array<char, 132> &buffer) override
    {
        return getText(m_serial, controller, buffer);
    }

    std::vector<uint32_t> TakeDroppedDataBlocks(uint32_t applId) override
    {
        std::lock_guard guard(LibraryLock());
        const auto remote = m_remote.find(applId);
        if (remote == m_remote.end())
            return {};
        return std::exchange(remote->second.droppedBlocks, {});
    }

    bool ConnectionLost(uint32_t applId) override
    {
        const int fd = FileNo(applId);
        if (fd < 0)
            return false;
        {
            std::lock_guard guard(LibraryLock());
            const auto remote = m_remote.find(applId);
            if (remote != m_remote.end() &&
                (remote->second.broken || (remote->second.partialSince >= 0 &&
                                           Clock::ticks() - remote->second.partialSince >= kStalledFrameMs)))
                return true;
        }
        char byte;
        const ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return n == 0; // a socket at its end; a device file answers ENOTSOCK
    }

private:
    // A remote connection's state between fetches.
    struct Remote
    {
        std::size_t maxDataLength = 0;
        qint64 partialSince = -1; // when the frame now on its way was first seen incomplete
        bool broken = false;      // out of step: taken for a lost connection
        // The NCCIs of the data blocks dropped (and answered) since the component last asked.
        std::vector<uint32_t> droppedBlocks;
        // Frames that could not be read: in all, those not yet logged, and when the last line was.
        long long drops = 0;
        long long dropsUnlogged = 0;
        qint64 lastDropLog = -1;
    };

    // One line for every frame dropped while none was logged for kDropLogIntervalMs, with the
    // frames it stands for: a server that sends nothing else cannot flood the log.
    static void NoteDrop(Remote &remote)
    {
        ++remote.drops;
        ++remote.dropsUnlogged;
        const qint64 now = Clock::ticks();
        if (remote.lastDropLog >= 0 && now - remote.lastDropLog < kDropLogIntervalMs)
            return;
        LogDrops(remote);
        remote.lastDropLog = now;
    }
    static void LogDrops(Remote &remote)
    {
        qWarning("CAPI: dropped %lld frame(s) of the remote server that could not be read (%lld on this "
                 "connection)",
                 remote.dropsUnlogged, remote.drops);
        remote.dropsUnlogged = 0;
    }

    // Whether the library may fetch from a remote connection now (always for a local CAPI);
    // frames it cannot take are removed first. Under the library lock.
    bool remoteFrameReady(uint32_t applId)
    {
        const auto remote = m_remote.find(applId);
        if (remote == m_remote.end() || m_fileno == nullptr)
            return true;
        const int fd = m_fileno(applId);
        std::optional<DroppedBlock> dropped;
        for (;;) {
            switch (InspectFrame(fd, remote->second.maxDataLength, dropped)) {
            case NextFrame::Whole:
                remote->second.partialSince = -1;
                return true;
            case NextFrame::Refused:
                NoteDrop(remote->second);
                if (dropped) {
                    AnswerDroppedBlock(fd, applId, *dropped);
                    remote->second.droppedBlocks.push_back(dropped->ncci);
                }
                remote->second.partialSince = -1;
                continue;
            case NextFrame::Nothing:
                remote->second.partialSince = -1;
                return false;
            case NextFrame::Partial:
                if (remote->second.partialSince < 0)
                    remote->second.partialSince = Clock::ticks();
                return false;
            case NextFrame::Broken:
                remote->second.broken = true;
                return false;
            }
        }
    }

    template<typename Fn> void resolve(Fn &fn, const char *name)
    {
        fn = reinterpret_cast<Fn>(dlsym(m_handle, name));
    }

    bool getText(GetTextFn fn, uint32_t controller, std::array<char, 132> &buffer)
    {
        buffer.fill(0);
        std::lock_guard guard(LibraryLock());
        if (fn == nullptr)
            return false;
        fn(controller, reinterpret_cast<unsigned char *>(buffer.data()));
        buffer.back() = 0;
        return true;
    }

    void *m_handle = nullptr;
    RegisterFn m_register = nullptr;
    ReleaseFn m_release = nullptr;
    PutMessageFn m_put = nullptr;
    GetMessageFn m_get = nullptr;
    WaitForMessageFn m_wait = nullptr;
    GetProfileFn m_profile = nullptr;
    GetTextFn m_manufacturer = nullptr;
    GetTextFn m_version = nullptr;
    GetTextFn m_serial = nullptr;
    InstalledFn m_installed = nullptr;
    FilenoFn m_fileno = nullptr;
    SetTextFn m_setDriver = nullptr;
    SetTextFn m_setHost = nullptr;
    SetIntFn m_setPort = nullptr;
    SetIntFn m_setTraceLevel = nullptr;
    std::map<uint32_t, Remote> m_remote; // registered applications on a TCP connection
    std::string m_remoteHost;            // the remote server as given
    int m_remotePort = 0;                // the remote server's port; 0: the local CAPI
};

} // namespace

std::unique_ptr<CapiBinding> CreateCapiBinding()
{
    return std::make_unique<LinuxCapiBinding>();
}
