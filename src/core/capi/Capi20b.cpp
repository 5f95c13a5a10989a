#include "capi/Capi20b.h"

#include "common/Clock.h"
#include "common/Utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <exception>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

using namespace CapiError;

namespace {
// The wait of ProcessPending on the message thread.
constexpr int kPendingWaitMs = 5;
// With a library that offers no descriptor to wait on, the thread looks for messages this often.
constexpr int kNoDescriptorSliceMs = 50;
// A frame still on its way keeps the descriptor readable: the thread looks again after a pause
// that starts here and doubles while nothing can be fetched, up to the longest one.
constexpr int kFirstStallPauseMs = 2;
constexpr int kLongestStallPauseMs = 500;
} // namespace

// What a message thread waits on: the application's descriptor in the library, and its own
// wake-up (an eventfd), which a release signals instead of putting anything on the line. Once
// signalled it stays readable, so every later wait of that thread returns at once.
struct TCustomCapi20::ThreadControl
{
    ThreadControl() : wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~ThreadControl()
    {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
    ThreadControl(const ThreadControl &) = delete;
    ThreadControl &operator=(const ThreadControl &) = delete;
    void WakeUp() const
    {
        if (wakeFd >= 0)
            ::eventfd_write(wakeFd, 1);
    }

    std::atomic<bool> terminate{false};
    std::atomic<std::thread::id> id{};
    uint32_t applId = 0;
    int capiFd = -1;
    const int wakeFd;
    // The next pause while a frame stays incomplete; 0 while none does. The thread's own.
    mutable int stallPauseMs = 0;
};

// One run of a method in the main thread, waited for by the message thread.
struct TCustomCapi20::HandOver
{
    enum State
    {
        Pending,
        Running,
        Done,
        Cancelled
    };
    std::mutex lock;
    std::condition_variable changed;
    State state = Pending;
    std::function<void()> method;
    std::exception_ptr failure;
};

namespace {
// On a message thread: its control block and its component (null on every other thread).
thread_local const void *t_control = nullptr;
thread_local const TCustomCapi20 *t_owner = nullptr;
} // namespace

TCustomCapi20::TCustomCapi20() : TCustomCapi20(CreateCapiBinding()) {}

TCustomCapi20::TCustomCapi20(std::unique_ptr<CapiBinding> binding)
    : m_binding(std::move(binding)), m_libraryName(CapiLibraryFileName())
{}

TCustomCapi20::~TCustomCapi20()
{
    Shutdown();
}

void TCustomCapi20::Shutdown()
{
    m_destroying = true;
    ReleaseApplication();
    if (t_owner == this) { // the registering thread took the message thread's part
        t_owner = nullptr;
        t_control = nullptr;
    }
    // Destroyed from inside a hand-over (a handler on the main thread ends the component): the
    // message thread waits for that handler, which will not return before this object is gone.
    // It is let go at once, and ends, since it finds the component unregistered.
    CancelHandOvers(true);
    JoinEndedThreads();
}

// ---- properties ----

// A different value of a registration parameter takes effect at once: release, then register
// with the new values.
void TCustomCapi20::SetRegistrationValue(int &field, int value)
{
    if (value == field)
        return;
    field = value;
    if (m_bindAttempted)
        RegisterApplication();
}

void TCustomCapi20::SetLogicalConnection(int value)
{
    SetRegistrationValue(m_logicalConnection, value);
}

void TCustomCapi20::SetBDataBlocks(int value)
{
    SetRegistrationValue(m_bDataBlocks, value);
}

void TCustomCapi20::SetBDataBlockSize(int value)
{
    SetRegistrationValue(m_bDataBlockSize, value);
}

uint32_t TCustomCapi20::MessageBufferSize() const
{
    return uint32_t(m_bDataBlockSize) * uint32_t(m_logicalConnection + 1);
}

bool TCustomCapi20::IsMessageThread() const
{
    // A thread that dispatches for its caller is the main thread inside a hand-over.
    return t_owner == this && !(m_dispatchOnCaller && *m_handOverDepth > 0);
}

// ---- library ----

QString TCustomCapi20::FindLibrary(const QString &Name)
{
    if (Name.contains(QLatin1Char('/')))
        return QFileInfo::exists(Name) ? Name : QString();
    // Only the system loader's folders: the current folder and the program's folder may hold
    // files that someone else put there (received files among them).
    return Name;
}

QString TCustomCapi20::RemoteCapiSetting(const QString &settingValue)
{
    if (qEnvironmentVariableIsSet("RUFWART_CAPI_REMOTE"))
        return qEnvironmentVariable("RUFWART_CAPI_REMOTE").trimmed();
    return settingValue.trimmed();
}

bool TCustomCapi20::ParseRemoteCapi(const QString &text, QString *host, int *port)
{
    static const QRegularExpression hostPort(QStringLiteral("^([A-Za-z0-9._-]+):([0-9]{1,5})$"));
    const QRegularExpressionMatch m = hostPort.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    const int number = m.captured(2).toInt();
    if (number < 1 || number > 65534)
        return false;
    if (host)
        *host = m.captured(1);
    if (port)
        *port = number;
    return true;
}

void TCustomCapi20::Loaded()
{
    BindLibrary();
}

void TCustomCapi20::BindLibrary()
{
    if (m_bindAttempted.exchange(true))
        return;
    const QString path = FindLibrary(m_libraryName);
    if (!path.isEmpty())
        m_binding->Load(path);
    if (!CapiReady())
        return;
    ReadProfiles();
    if (m_autoRegister)
        RegisterApplication();
}

void TCustomCapi20::ReadProfiles()
{
    std::array<uint8_t, 64> profile{};
    uint32_t result = 0;
    if (m_binding->GetProfile(0, profile, result) && result == 0)
        m_controllerCount = Capi::ReadWord(profile.data(), profile.size(), 0);
    m_binding->GetProfile(1, profile, result);
}

// The remote server (when one is set) must be chosen before the library is first asked whether
// CAPI is installed; the library's own trace output is always silenced. An address cleared since
// a registration with a remote server takes the library back to the local CAPI.
bool TCustomCapi20::SelectDriver()
{
    m_binding->SetQuiet();
    if (m_remoteCapi.isEmpty()) {
        m_binding->SelectLocal();
        return true;
    }
    QString host;
    int port = 0;
    if (!ParseRemoteCapi(m_remoteCapi, &host, &port) || !m_binding->SelectRemote(host, port)) {
        RaiseError(0, 0, ERR_REMOTE_INVALID);
        return false;
    }
    return true;
}

// The library connects to a remote server with a blocking connect, inside the library lock: for an
// address that does not answer that takes the network's connect time-out (minutes), and every
// other call into the library waits as long. Asked first, a server that cannot be reached fails
// within RemoteAnswerMs, and the library only goes to a server that has just taken a connection.
bool TCustomCapi20::RemoteCapiAnswers() const
{
    QString host;
    int port = 0;
    if (!ParseRemoteCapi(m_remoteCapi, &host, &port))
        return false;
    QTcpSocket probe;
    probe.connectToHost(host, quint16(port), QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
    const bool answered = probe.waitForConnected(m_remoteAnswerMs);
    probe.abort();
    return answered;
}

// A loaded library, the remote server chosen (when one is set) and answering (when asked), and
// CAPI installed; each failure is raised.
bool TCustomCapi20::CapiReady()
{
    if (!m_binding->IsLoaded()) {
        RaiseError(0, 0, ERR_DLL_NOT_LOADED);
        return false;
    }
    if (!SelectDriver())
        return false;
    if (!m_remoteCapi.isEmpty() && m_remoteAnswerMs > 0 && !RemoteCapiAnswers()) {
        RaiseError(0, 0, ERR_CAPI_NOT_INSTALLED);
        return false;
    }
    if (m_binding->Installed() != 0) {
        RaiseError(0, 0, ERR_CAPI_NOT_INSTALLED);
        return false;
    }
    return true;
}

// ---- registration ----

void TCustomCapi20::RegisterApplication()
{
    ReleaseApplication();
    JoinEndedThreads();
    m_connectionLost = false;
    if (!CapiReady())
        return;
    uint32_t applId = 0;
    const uint32_t result = m_binding->Register(MessageBufferSize(), uint32_t(m_logicalConnection),
                                                uint32_t(m_bDataBlocks), uint32_t(m_bDataBlockSize), applId);
    if (result != 0) {
        RaiseError(0, 0, result);
        return;
    }
    m_applId = applId;
    m_messageNumber = 0;
    m_lastError = 0;
    StartThread();
}

void TCustomCapi20::StartThread()
{
    auto control = std::make_shared<ThreadControl>();
    control->applId = m_applId;
    control->capiFd = m_binding->FileNo(m_applId);
    std::lock_guard guard(m_threadLock);
    if (m_thread.joinable())
        m_endedThreads.push_back(std::move(m_thread));
    // The registration and its thread's control block become current together (see
    // ReleaseApplication), and before the thread starts: it ends when it finds the component
    // unregistered.
    m_control = control;
    m_registered = true;
    if (m_dispatchOnCaller) {
        control->id = std::this_thread::get_id();
        t_control = control.get();
        t_owner = this;
        return;
    }
    m_thread = std::thread([this, control] { ThreadBody(control); });
}

void TCustomCapi20::ReleaseApplication()
{
    // The registration this release ends is the one current now, known by its thread's control
    // block. Another thread may register anew while this one is under way (the user starts
    // listening while the message thread releases a lost connection): that registration is not
    // this release's to end.
    std::shared_ptr<ThreadControl> control;
    {
        std::lock_guard guard(m_threadLock);
        if (!m_registered)
            return;
        control = m_control;
    }
    if (!m_destroying) {
        try {
            BeforeRelease();
        } catch (...) {
            RaiseError(0, 0, ERR_HANDLER_FAILED);
        }
    }
    {
        // Taking the registration and marking its thread as ending are one step: whoever looks
        // under the lock sees both or neither. The destructor relies on it: finding the
        // registration already taken (by a lost connection's release on the message thread), it
        // joins the thread only if that thread is marked as ending, and a thread left joinable
        // would end the program.
        std::lock_guard guard(m_threadLock);
        if (m_control != control || !m_registered.exchange(false))
            return; // released meanwhile (by the other thread), or registered anew
        control->terminate = true;
    }
    const uint32_t applId = control->applId;
    CancelHandOvers(m_destroying);
    // The thread's wait returns before the release (nothing goes on the line for it).
    control->WakeUp();
    const bool onMessageThread = control->id.load() == std::this_thread::get_id();
    // Inside a hand-over the message thread waits for this very call to return, so it can only be
    // joined later; on the message thread itself it ends when this call returns.
    if (!onMessageThread && (*m_handOverDepth == 0 || m_destroying)) {
        std::thread thread;
        {
            std::lock_guard guard(m_threadLock);
            if (m_control == control)
                thread = std::move(m_thread);
        }
        if (thread.joinable())
            thread.join();
    }
    m_binding->Release(applId);
}

void TCustomCapi20::JoinEndedThreads()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard guard(m_threadLock);
        if (m_control && m_control->terminate && m_thread.joinable())
            m_endedThreads.push_back(std::move(m_thread));
        threads.swap(m_endedThreads);
    }
    for (std::thread &thread : threads) {
        if (thread.get_id() == std::this_thread::get_id() || (*m_handOverDepth > 0 && !m_destroying)) {
            std::lock_guard guard(m_threadLock);
            m_endedThreads.push_back(std::move(thread));
            continue;
        }
        thread.join();
    }
}

// ---- the message thread ----

void TCustomCapi20::ThreadBody(const std::shared_ptr<ThreadControl> &control)
{
    control->id = std::this_thread::get_id();
    t_control = control.get();
    t_owner = this;
    pthread_setname_np(pthread_self(), "rufwart-capi");
    while (!control->terminate && !m_destroying && m_registered) {
        const uint32_t waited = WaitForSignal(*control, -1);
        if (control->terminate || m_destroying || !m_registered)
            break;
        try {
            if (!DrainAfterWait(control->applId, waited))
                break;
        } catch (...) {
            RaiseError(0, 0, ERR_HANDLER_FAILED);
        }
    }
    t_control = nullptr;
    t_owner = nullptr;
}

// Waits until the library has a message for the thread's application (its descriptor is
// readable: 0), the thread is woken up, or `timeoutMs` passed (-1: no limit); 0x1104 when nothing
// came. No library call happens here, so the library lock is not held: puts and fetches of
// other threads go on meanwhile.
uint32_t TCustomCapi20::WaitForSignal(const ThreadControl &control, int timeoutMs)
{
    pollfd fds[2] = {{control.wakeFd, POLLIN, 0}, {control.capiFd, POLLIN, 0}};
    const bool descriptor = control.capiFd >= 0;
    int timeout = timeoutMs;
    if (!descriptor) // look again now and then
        timeout = timeoutMs < 0 ? kNoDescriptorSliceMs : std::min(timeoutMs, kNoDescriptorSliceMs);
    int ready = 0;
    do {
        ready = ::poll(fds, descriptor ? 2 : 1, timeout);
    } while (ready < 0 && errno == EINTR);
    if (fds[0].revents != 0)
        return Capi::CapiReceiveQueueEmpty; // woken up: the caller looks at its flags
    if (!descriptor)
        return Capi::CapiNoError; // a fetch tells
    return (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 ? Capi::CapiNoError
                                                                : Capi::CapiReceiveQueueEmpty;
}

// Shared by the thread body and the waits that run on the message thread (ProcessPending): a
// descriptor that is readable without a message is either a remote server at its end, which
// releases, or a frame still on its way, which must not turn the caller's loop into a busy one.
// False when the connection was lost.
bool TCustomCapi20::DrainAfterWait(uint32_t applId, uint32_t waited)
{
    const auto *control = static_cast<const ThreadControl *>(t_control);
    int fetched = 0;
    if (waited == Capi::CapiNoError)
        fetched = DrainMessages();
    if (fetched > 0 || waited == Capi::CapiReceiveQueueEmpty) {
        if (control != nullptr)
            control->stallPauseMs = 0;
        return true;
    }
    // A handler that waits while the loss is being released drains here again: that release is
    // already under way and must not start over inside itself.
    const bool lost = m_binding->ConnectionLost(applId);
    if (lost && !m_losingConnection.exchange(true)) {
        LoseConnection();
        m_losingConnection = false;
        return false;
    }
    if (lost || control == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kFirstStallPauseMs));
        return true;
    }
    // A frame on its way. A release ends the pause at once.
    const int pause = std::max(control->stallPauseMs, kFirstStallPauseMs);
    control->stallPauseMs = std::min(2 * pause, kLongestStallPauseMs);
    pollfd wake = {control->wakeFd, POLLIN, 0};
    while (::poll(&wake, 1, pause) < 0 && errno == EINTR) {
    }
    return true;
}

void TCustomCapi20::LoseConnection()
{
    m_connectionLost = true;
    ReleaseApplication();
    RaiseError(0, 0, ERR_CONNECTION_LOST);
}

int TCustomCapi20::DrainMessages()
{
    const auto *control = static_cast<const ThreadControl *>(t_control);
    int fetched = 0;
    while (!m_destroying && m_registered && !(control && control->terminate)) {
        uint32_t commandId = 0, subCommand = 0, msgId = 0;
        IndicationDatenType daten;
        const uint32_t result = FetchMessage(commandId, subCommand, msgId, daten);
        // Blocks the binding dropped on the way to this message come before it.
        for (const uint32_t ncci : m_binding->TakeDroppedDataBlocks(m_applId)) {
            try {
                HandleDroppedDataBlock(ncci);
            } catch (...) {
                RaiseError(Capi::CMD_DATA_B3, Capi::SUB_IND, ERR_HANDLER_FAILED);
            }
        }
        if (result != 0)
            break;
        ++fetched;
        DispatchOne(commandId, subCommand, msgId, daten);
    }
    return fetched;
}

void TCustomCapi20::DispatchOne(uint32_t commandId, uint32_t subCommand, uint32_t msgId,
                                IndicationDatenType &daten)
{
    try {
        if (MessageDump)
            MessageDump(this, commandId, subCommand, daten);
        if (MessageReceived)
            MessageReceived(this, commandId, subCommand, msgId, daten);
        else
            HandleMessage(commandId, subCommand, daten, msgId);
    } catch (...) {
        RaiseError(commandId, subCommand, ERR_HANDLER_FAILED);
    }
}

void TCustomCapi20::HandleMessage(uint32_t, uint32_t, IndicationDatenType &, uint32_t) {}

// ---- putting and fetching ----

bool TCustomCapi20::PutMessage(uint8_t command, uint8_t subCommand, uint16_t msgNumber,
                               const CapiParams &params)
{
    uint32_t result = ERR_NOT_REGISTERED;
    {
        std::lock_guard guard(CapiBinding::LibraryLock());
        if (m_registered) {
            uint8_t message[Capi::MessageBufferBytes];
            if (Capi::BuildMessage(message, uint16_t(m_applId), command, subCommand, msgNumber, params) == 0)
                result = Capi::CapiMsgOSResourceErr;
            else
                result = m_binding->PutMessage(m_applId, message);
        }
    }
    if (result != 0) {
        RaiseError(command, subCommand == Capi::SUB_REQ ? 0x80 : 0x81, result);
        return false;
    }
    return true;
}

bool TCustomCapi20::PutRequest(uint8_t Command, const CapiParams &Params)
{
    const uint32_t number = m_messageNumber.fetch_add(1);
    return PutMessage(Command, Capi::SUB_REQ, uint16_t(number), Params);
}

bool TCustomCapi20::PutResponse(uint8_t Command, uint32_t MsgID, const CapiParams &Params)
{
    return PutMessage(Command, Capi::SUB_RESP, uint16_t(MsgID), Params);
}

uint32_t TCustomCapi20::FetchMessage(uint32_t &CommandID, uint32_t &SubCommand, uint32_t &MsgID,
                                     IndicationDatenType &Daten)
{
    Daten.Clear();
    uint32_t result = ERR_NOT_REGISTERED;
    {
        std::lock_guard guard(CapiBinding::LibraryLock());
        if (m_registered) {
            uint8_t message[Capi::MessageBufferBytes];
            std::size_t length = 0;
            result = m_binding->GetMessage(m_applId, message, length);
            if (result == 0) {
                const Capi::Header header = Capi::DecodeMessage(message, length, Daten);
                CommandID = header.Command;
                SubCommand = header.SubCommand;
                MsgID = header.MsgNumber;
            }
        }
    }
    if (result == ERR_NOT_REGISTERED)
        RaiseError(0, 0, ERR_NOT_REGISTERED);
    return result;
}

// ---- threads meeting ----

namespace {
// A hand-over reaches the main thread through Qt's posted-event queue, whose locks ThreadSanitizer
// cannot see (Qt is not instrumented). These mark that edge for it: everything the message thread
// did before posting happens before the hand-over runs. Nothing in other builds.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
void PostedHere(void *tag)
{
    __tsan_release(tag);
}
void ReceivedHere(void *tag)
{
    __tsan_acquire(tag);
}
#else
void PostedHere(void *) {}
void ReceivedHere(void *) {}
#endif
} // namespace

void TCustomCapi20::CallInMainThread(const std::function<void()> &Method)
{
    if (!IsMessageThread()) {
        Method();
        return;
    }
    auto handOver = std::make_shared<HandOver>();
    handOver->method = Method;
    {
        std::lock_guard guard(m_handOverLock);
        const auto *control = static_cast<const ThreadControl *>(t_control);
        if (!m_registered || control->terminate)
            return; // releasing: nobody would run it
        m_handOvers.push_back(handOver);
    }
    // The method may destroy the component: after it, only what the closure holds is used.
    auto run = [depth = m_handOverDepth, handOver] {
        ReceivedHere(handOver.get());
        {
            std::lock_guard guard(handOver->lock);
            if (handOver->state != HandOver::Pending)
                return; // cancelled: the component may be gone
            handOver->state = HandOver::Running;
        }
        ++*depth;
        std::exception_ptr failure;
        try {
            handOver->method();
        } catch (...) {
            failure = std::current_exception();
        }
        --*depth;
        std::lock_guard guard(handOver->lock);
        if (handOver->state == HandOver::Running) {
            handOver->failure = failure;
            handOver->state = HandOver::Done;
        }
        handOver->changed.notify_all();
    };
    PostedHere(handOver.get());
    if (MainThreadPost)
        MainThreadPost(run);
    else if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, run, Qt::QueuedConnection);
    else
        run();
    std::exception_ptr failure;
    {
        std::unique_lock guard(handOver->lock);
        handOver->changed.wait(guard, [&] {
            return handOver->state == HandOver::Done || handOver->state == HandOver::Cancelled;
        });
        failure = handOver->failure;
    }
    {
        std::lock_guard guard(m_handOverLock);
        m_handOvers.remove(handOver);
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TCustomCapi20::CancelHandOvers(bool alsoRunning)
{
    std::lock_guard guard(m_handOverLock);
    for (const auto &handOver : m_handOvers) {
        std::lock_guard inner(handOver->lock);
        if (handOver->state == HandOver::Pending || (alsoRunning && handOver->state == HandOver::Running)) {
            handOver->state = HandOver::Cancelled;
            handOver->changed.notify_all();
        }
    }
}

void TCustomCapi20::ProcessPending()
{
    if (IsMessageThread()) {
        const auto *control = static_cast<const ThreadControl *>(t_control);
        if (!m_registered || control == nullptr || control->terminate)
            return;
        const uint32_t waited = WaitForSignal(*control, m_dispatchOnCaller ? 0 : kPendingWaitMs);
        if (m_registered && !control->terminate && !m_destroying)
            DrainAfterWait(control->applId, waited);
        return;
    }
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::processEvents();
    if (!m_dispatchOnCaller) // nothing else would run meanwhile
        QThread::msleep(1);
}

void TCustomCapi20::DispatchPending()
{
    if (!m_dispatchOnCaller || !IsMessageThread())
        return;
    try {
        ProcessPending();
    } catch (...) {
        RaiseError(0, 0, ERR_HANDLER_FAILED);
    }
}

bool TCustomCapi20::WaitWhilePending(const std::function<bool()> &done, int64_t timeoutMs)
{
    const int64_t start = Clock::ticks();
    while (!done()) {
        if (!m_registered || Clock::ticks() - start >= timeoutMs)
            return done();
        ProcessPending();
    }
    return true;
}

void TCustomCapi20::RaiseError(uint32_t CommandID, uint32_t SubCommand, uint32_t ErrorNumber)
{
    m_lastError = ErrorNumber;
    if (!OnError)
        return;
    try {
        OnError(this, CommandID, SubCommand, ErrorNumber);
    } catch (...) {
        qWarning("CAPI: the error handler failed on error 0x%x", unsigned(ErrorNumber));
    }
}

// ---- information queries ----

bool TCustomCapi20::TextQueryAllowed()
{
    if (m_binding->Installed() != 0) {
        RaiseError(0, 0, ERR_CAPI_NOT_INSTALLED);
        return false;
    }
    return true;
}

QString TCustomCapi20::QueryManufacturer()
{
    std::array<char, 132> buffer{};
    if (!TextQueryAllowed() || !m_binding->GetManufacturer(0, buffer))
        return QString();
    // The controller's texts are in the ANSI set (0x80 is the euro sign).
    return DecodeAnsi(QByteArrayView(buffer.data()));
}

QString TCustomCapi20::QueryVersion()
{
    std::array<uint32_t, 4> v{};
    if (TextQueryAllowed())
        m_binding->GetVersion(0, v);
    return QStringLiteral("%1.%2 / %3.%4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
}

QString TCustomCapi20::QuerySerialNumber()
{
    std::array<char, 132> buffer{};
    if (!TextQueryAllowed() || !m_binding->GetSerialNumber(0, buffer))
        return QString();
    return DecodeAnsi(QByteArrayView(buffer.data()));
}

uint32_t TCustomCapi20::QueryProfile(uint32_t Controller, std::array<uint8_t, 64> &Buffer)
{
    uint32_t result = 0;
    if (m_binding->GetProfile(Controller, Buffer, result))
        return result;
    Buffer.fill(9);
    return ERR_DLL_NOT_LOADED;
}
