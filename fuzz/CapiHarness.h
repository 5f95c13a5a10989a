#pragma once

// The CAPI component of the fuzz targets on a library in memory: FuzzCapiLibrary stands in for
// libcapi20 behind the binding interface, CapiHarness owns one component on it, registered, and
// plays the main thread. The component's dispatcher runs either on the fuzzing thread itself
// (fast, every finding reproducible from its input alone) or on its own message thread as in the
// program (for the interplay of the two threads).
//
// The library answers every request as a network that accepts everything would (each
// confirmation ahead of anything still queued, so a handler waiting for one never waits long) and
// hands out the messages an input puts into its queue. After each step the harness waits until
// the component has handled everything. With a message thread, that means the thread sleeps in
// its top-level wait again; the kernel tells where a thread waits (/proc/self/task/TID/syscall:
// poll with no time limit), so the component needs no hook of its own for that.

#if !defined(__linux__) || !defined(__x86_64__)
#error "CapiHarness reads the poll system call of x86-64 Linux from /proc"
#endif

#include "FuzzSupport.h"

#include "capi/Capi20.h"
#include "capi/CapiCodec.h"
#include "common/Clock.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace CapiFuzz {

inline void PutWord(Bytes &b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

inline void PutDword(Bytes &b, uint32_t v)
{
    PutWord(b, uint16_t(v));
    PutWord(b, uint16_t(v >> 16));
}

// A message: header (ApplID 1) and parameters.
inline Bytes Message(uint8_t command, uint8_t subCommand, uint16_t number, const Bytes &params)
{
    Bytes m;
    PutWord(m, uint16_t(Capi::HeaderBytes + params.size()));
    PutWord(m, 1);
    m.push_back(command);
    m.push_back(subCommand);
    PutWord(m, number);
    m.insert(m.end(), params.begin(), params.end());
    return m;
}

// What the library saw put: command, subcommand, message number and the first parameter.
struct Put
{
    uint8_t Command;
    uint8_t SubCommand;
    uint16_t Number;
    uint32_t First;
};

class FuzzCapiLibrary : public CapiBinding
{
public:
    // How the network answers: confirmations of these kinds carry an error Info.
    bool RefuseConnect = false;
    bool RefuseConnectB3 = false;
    bool RefuseData = false;
    // Notes which thread fetches (for a harness that waits for the message thread to sleep).
    bool TrackThread = true;

    FuzzCapiLibrary() : m_event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) { FUZZ_CHECK(m_event >= 0); }
    ~FuzzCapiLibrary() override { ::close(m_event); }

    // Queues a message as the network delivers it. A DATA_B3_IND of the 30-byte form points at a
    // block of the registered MaxBDataLen bytes that starts with `data`, as the library's does.
    void Deliver(Bytes message, const Bytes &data = {})
    {
        if (message.size() < Capi::HeaderBytes)
            message.resize(Capi::HeaderBytes);
        const uint16_t claimed = uint16_t(message[0] | message[1] << 8);
        if (message[4] == Capi::CMD_DATA_B3 && message[5] == Capi::SUB_IND && claimed >= 30) {
            auto block = std::make_unique<Bytes>(std::max<uint32_t>(m_maxBDataLen, 1), 0);
            std::copy_n(data.begin(), std::min(data.size(), block->size()), block->begin());
            if (message.size() < 30)
                message.resize(30);
            const auto address = reinterpret_cast<uintptr_t>(block->data());
            std::memset(message.data() + 12, 0, 4);
            for (int i = 0; i < 8; ++i)
                message[22 + size_t(i)] = uint8_t(uint64_t(address) >> (8 * i));
            m_blocks.push_back(std::move(block));
        }
        std::lock_guard guard(m_lock);
        m_queue.push_back(std::move(message));
        Signal();
    }

    // The end of the connection to a remote CAPI server: the descriptor wakes the thread with
    // nothing queued.
    void LoseConnection()
    {
        std::lock_guard guard(m_lock);
        m_lost = true;
        Signal();
    }

    bool QueueEmpty()
    {
        std::lock_guard guard(m_lock);
        return m_queue.empty() && !m_lost;
    }
    // Waits at most `limit` for the message thread to find the queue empty.
    void WaitDrained(std::chrono::microseconds limit)
    {
        std::unique_lock guard(m_lock);
        m_drained.wait_for(guard, limit);
    }
    pid_t MessageThread() const { return m_thread; }
    std::vector<Put> Puts()
    {
        std::lock_guard guard(m_lock);
        return m_puts;
    }
    // The indications handed out, counted per command and message number.
    std::map<std::pair<uint8_t, uint16_t>, int> Indications()
    {
        std::lock_guard guard(m_lock);
        return m_indications;
    }

    // ---- CapiBinding ----
    bool Load(const QString &) override { return true; }
    bool IsLoaded() const override { return true; }
    bool SelectRemote(const QString &, int) override { return true; }
    void SetQuiet() override {}
    uint32_t Installed() override { return 0; }
    uint32_t Register(uint32_t, uint32_t, uint32_t, uint32_t maxBDataLen, uint32_t &applId) override
    {
        m_maxBDataLen = maxBDataLen;
        applId = 1;
        return 0;
    }
    uint32_t Release(uint32_t) override { return 0; }

    uint32_t PutMessage(uint32_t, uint8_t *message) override
    {
        const uint8_t command = message[4];
        const uint8_t sub = message[5];
        const auto number = uint16_t(message[6] | message[7] << 8);
        const uint32_t first = Capi::ReadDword(message, Capi::MessageBufferBytes, 8);
        std::lock_guard guard(m_lock);
        m_puts.push_back({command, sub, number, first});
        if (sub != Capi::SUB_REQ)
            return 0;
        // The answers go ahead of what is queued, in this order.
        std::vector<Bytes> answers;
        auto conf = [&](uint32_t id, uint16_t info) {
            Bytes p;
            PutDword(p, id);
            PutWord(p, info);
            answers.push_back(Message(command, Capi::SUB_CONF, number, p));
        };
        switch (command) {
        case Capi::CMD_CONNECT:
            conf(0x201, RefuseConnect ? 0x2003 : 0);
            break;
        case Capi::CMD_CONNECT_B3:
            conf(first | 0x10000, RefuseConnectB3 ? 0x2004 : 0);
            break;
        case Capi::CMD_DATA_B3: {
            Bytes p;
            PutDword(p, first);
            PutWord(p, uint16_t(message[18] | message[19] << 8)); // the handle
            PutWord(p, RefuseData ? 0x300C : 0);
            answers.push_back(Message(command, Capi::SUB_CONF, number, p));
            break;
        }
        case Capi::CMD_DISCONNECT_B3: {
            conf(first, 0);
            Bytes p;
            PutDword(p, first);
            PutWord(p, 0);
            p.push_back(0);
            answers.push_back(Message(command, Capi::SUB_IND, m_indication++, p));
            break;
        }
        case Capi::CMD_DISCONNECT: {
            conf(first, 0);
            Bytes p;
            PutDword(p, first);
            PutWord(p, 0x3490);
            answers.push_back(Message(command, Capi::SUB_IND, m_indication++, p));
            break;
        }
        default:
            conf(first, 0);
        }
        m_queue.insert(m_queue.begin(), answers.begin(), answers.end());
        Signal();
        return 0;
    }

    uint32_t GetMessage(uint32_t, uint8_t *buffer, std::size_t &length) override
    {
        if (TrackThread)
            m_thread = pid_t(::syscall(SYS_gettid));
        std::lock_guard guard(m_lock);
        length = 0;
        if (m_queue.empty()) {
            // Nothing more to tell until the next message; a connection at its end stays readable.
            eventfd_t drained;
            if (!m_lost)
                ::eventfd_read(m_event, &drained);
            m_drained.notify_all();
            return Capi::CapiReceiveQueueEmpty;
        }
        const Bytes message = std::move(m_queue.front());
        m_queue.pop_front();
        // As the binding copies from the library: the length the header claims, within the buffer.
        std::memset(buffer, 0, Capi::MessageBufferBytes);
        std::memcpy(buffer, message.data(), std::min(message.size(), Capi::MessageBufferBytes));
        length =
            std::min(std::max<std::size_t>(Capi::ReadWord(buffer, Capi::HeaderBytes, 0), Capi::HeaderBytes),
                     Capi::MessageBufferBytes);
        if (buffer[5] == Capi::SUB_IND)
            ++m_indications[{buffer[4], Capi::ReadWord(buffer, Capi::HeaderBytes, 6)}];
        return 0;
    }

    int FileNo(uint32_t) override { return m_event; }
    bool GetProfile(uint32_t, std::array<uint8_t, 64> &buffer, uint32_t &result) override
    {
        buffer.fill(0);
        buffer[0] = 1;
        result = 0;
        return true;
    }
    bool GetManufacturer(uint32_t, std::array<char, 132> &buffer) override
    {
        std::strcpy(buffer.data(), "fuzz");
        return true;
    }
    bool GetVersion(uint32_t, std::array<uint32_t, 4> &version) override
    {
        version = {2, 0, 0, 1};
        return true;
    }
    bool GetSerialNumber(uint32_t, std::array<char, 132> &buffer) override
    {
        std::strcpy(buffer.data(), "0");
        return true;
    }
    bool ConnectionLost(uint32_t) override
    {
        std::lock_guard guard(m_lock);
        return m_lost;
    }

private:
    void Signal() { ::eventfd_write(m_event, 1); }

    std::mutex m_lock;
    std::condition_variable m_drained;
    std::deque<Bytes> m_queue;
    std::vector<Put> m_puts;
    std::map<std::pair<uint8_t, uint16_t>, int> m_indications;
    bool m_lost = false;
    const int m_event;
    std::atomic<pid_t> m_thread{0};
    uint32_t m_maxBDataLen = 2048;
    uint16_t m_indication = 0x4000;
    std::vector<std::unique_ptr<Bytes>> m_blocks; // the B3 data the library holds
};

// How a harness runs the component.
enum class Dispatch
{
    // The fuzzing thread dispatches as the message thread and runs the hand-overs at once, as
    // the main thread: nothing waits for another thread, and one input costs microseconds.
    OnFuzzingThread,
    // The component's own message thread, with the fuzzing thread as the main thread: the two
    // threads meet as in the program, at the cost of a wait for the other at every step.
    OnMessageThread,
};

// A component on the library above, registered, with the harness as its main thread.
class CapiHarness
{
public:
    // The component's clock runs as the monotonic one, except that a wait which nothing can end any
    // more finds its time limit passed at once: the network has said all it will, and the other of
    // the two threads does nothing (the message thread sleeps in its top-level wait, or the main
    // thread waits for it in WaitIdle). A dial, a release or a send the network never confirms
    // then costs a moment instead of the limit's seconds, and runs the same code.
    // On the fuzzing thread, a wait finds its limit passed as soon as nothing is queued.
    explicit CapiHarness(Dispatch dispatch) : m_dispatch(dispatch)
    {
        auto library = std::make_unique<FuzzCapiLibrary>();
        Library = library.get();
        Capi = std::make_unique<TCapi20>(std::move(library));
        if (dispatch == Dispatch::OnFuzzingThread) {
            Capi->SetDispatchOnCaller(true);
            Library->TrackThread = false;
            Capi->MainThreadPost = [](const std::function<void()> &run) { run(); };
        }
        Clock::setTickSource([this, main = std::this_thread::get_id()] {
            // Cheapest first: the queue, then the other thread (its state comes from /proc).
            if (Library->QueueEmpty() &&
                (m_dispatch == Dispatch::OnFuzzingThread || std::this_thread::get_id() == main
                     ? ThreadSleeps()
                     : m_mainWaits && pid_t(::syscall(SYS_gettid)) == Library->MessageThread()))
                m_skipped += kSkipMs;
            using namespace std::chrono;
            return qint64(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count()) +
                   m_skipped;
        });
    }
    ~CapiHarness()
    {
        Capi.reset();
        Clock::setTickSource({});
    }

    // Binds and registers; false when that failed.
    bool Start()
    {
        Capi->Loaded();
        return Capi->Registered();
    }

    // Waits until the message thread has handled everything queued and sleeps in its top-level
    // wait (poll of its two descriptors with no time limit), or has ended.
    void WaitIdle()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        if (m_dispatch == Dispatch::OnFuzzingThread) {
            while (Capi->Registered() && !Library->QueueEmpty()) {
                FUZZ_CHECK(std::chrono::steady_clock::now() < deadline); // the component hangs
                Capi->DispatchPending();
            }
            return;
        }
        m_mainWaits = true;
        for (;;) {
            if (!Capi->Registered() || (Library->QueueEmpty() && ThreadSleeps())) {
                m_mainWaits = false;
                return;
            }
            FUZZ_CHECK(std::chrono::steady_clock::now() < deadline); // the component hangs
            // Not spinning: the message thread needs the processor more than this one does.
            Library->WaitDrained(std::chrono::microseconds(50));
        }
    }

    FuzzCapiLibrary *Library = nullptr;
    std::unique_ptr<TCapi20> Capi;

private:
    const Dispatch m_dispatch;
    static constexpr qint64 kSkipMs = 60 * 60 * 1000; // beyond every time limit of the component
    std::atomic<qint64> m_skipped{0};
    std::atomic<bool> m_mainWaits{false}; // in WaitIdle

    bool ThreadSleeps() const
    {
        const pid_t tid = Library->MessageThread();
        if (tid == 0)
            return true; // it never fetched: nothing reached it yet
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/task/%d/syscall", int(tid));
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly))
            return true; // the thread has ended
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        // poll(fds, 2, -1): the top-level wait; a nested wait has a time limit.
        return fields.size() > 3 && fields[0] == "7" && fields[2] == "0x2" && fields[3] == "0xffffffff";
    }
};

} // namespace CapiFuzz
