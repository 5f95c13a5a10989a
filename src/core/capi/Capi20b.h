#pragma once

// TCustomCapi20: the non-visual component through which the program reaches the ISDN adapter.
// It binds the CAPI 2.0 library at run time, registers the application, runs the message thread
// that waits for CAPI messages and hands each one to the dispatcher (HandleMessage, supplied by
// TCapi20), puts requests and responses, reports every failure through OnError, and answers the
// information queries.
//
// Use: construct, set the properties and events, then call Loaded() (the binding step; it also
// registers when AutoRegister is set). Errors are numbers (CapiErrors.h) given to OnError and
// kept in LastError(); the component raises no exceptions of its own.

#include "capi/CapiBinding.h"
#include "capi/CapiCodec.h"
#include "capi/CapiErrors.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TCustomCapi20;

using TCapiMessageEvent = std::function<void(TCustomCapi20 *Sender, uint32_t CommandID, uint32_t SubCommand,
                                             uint32_t MsgID, IndicationDatenType &Daten)>;
using TCapiDumpEvent = std::function<void(TCustomCapi20 *Sender, uint32_t CommandID, uint32_t SubCommand,
                                          IndicationDatenType &Daten)>;
using TCapiErrorEvent =
    std::function<void(TCustomCapi20 *Sender, uint32_t CommandID, uint32_t SubCommand, uint32_t ErrorNumber)>;

class TCustomCapi20
{
public:
    TCustomCapi20();
    // On another binding than the platform's (the fuzz target's library in memory).
    explicit TCustomCapi20(std::unique_ptr<CapiBinding> binding);
    virtual ~TCustomCapi20();
    TCustomCapi20(const TCustomCapi20 &) = delete;
    TCustomCapi20 &operator=(const TCustomCapi20 &) = delete;

    // ---- properties ----
    bool AutoRegister() const { return m_autoRegister; }
    void SetAutoRegister(bool value) { m_autoRegister = value; }
    int LogicalConnection() const { return m_logicalConnection; }
    void SetLogicalConnection(int value);
    int BDataBlocks() const { return m_bDataBlocks; }
    void SetBDataBlocks(int value);
    int BDataBlockSize() const { return m_bDataBlockSize; }
    void SetBDataBlockSize(int value);
    // When above 0, binding and registering first make sure that the remote CAPI server takes a
    // connection within this many milliseconds (ERR_CAPI_NOT_INSTALLED when it does not), so
    // that an address that does not answer fails in that time and not in the network's connect
    // time-out, during which the library holds its lock. 0 (the default): not asked.
    int RemoteAnswerMs() const { return m_remoteAnswerMs; }
    void SetRemoteAnswerMs(int value) { m_remoteAnswerMs = value; }
    // "host:port" of a remote CAPI server (CAPI over TCP); empty for the local CAPI. Takes effect
    // at the next binding or registration.
    QString RemoteCapi() const { return m_remoteCapi; }
    void SetRemoteCapi(const QString &value) { m_remoteCapi = value.trimmed(); }
    // The library to bind: a bare file name is left to the system loader (its library folders,
    // never the current folder); a name with a folder is taken as it is.
    QString LibraryName() const { return m_libraryName; }
    void SetLibraryName(const QString &value) { m_libraryName = value; }

    // When set, replaces the dispatcher for every fetched message.
    TCapiMessageEvent MessageReceived;
    // Sees every fetched message before it is dispatched.
    TCapiDumpEvent MessageDump;
    // Receives every error.
    TCapiErrorEvent OnError;

    // The host's hand-over to the main thread: runs the function there later (it must not wait
    // for it). Empty: posted to the Qt application object, or run at once when there is none.
    // CallInMainThread waits for the hand-over itself and gives up when the component releases.
    std::function<void(std::function<void()>)> MainThreadPost;

    // For a host that runs the dispatcher itself (the fuzz targets): no message thread is
    // started, the thread that registers takes its part, and DispatchPending() fetches and
    // dispatches what the library holds. A hand-over then runs at once through MainThreadPost,
    // and inside it that thread is the main thread. Set before registering.
    void SetDispatchOnCaller(bool value) { m_dispatchOnCaller = value; }
    // With SetDispatchOnCaller, on the registering thread: handles what has arrived, as one turn
    // of the message thread's loop would, without waiting.
    void DispatchPending();

    // ---- state ----
    bool Registered() const { return m_registered; }
    bool LibraryBound() const { return m_bindAttempted; }
    int ControllerCount() const { return m_controllerCount; }
    // True from the loss of the remote CAPI server's connection (ERR_CONNECTION_LOST) until the
    // next registration is attempted: what the library reports meanwhile is not the server's.
    bool ConnectionLost() const { return m_connectionLost; }
    uint32_t LastError() const { return m_lastError; }
    uint32_t MessageNumber() const { return m_messageNumber; }
    uint32_t ApplID() const { return m_applId; }
    // BDataBlockSize × (LogicalConnection + 1), as given to the register call.
    uint32_t MessageBufferSize() const;
    bool IsMessageThread() const;

    // ---- operations ----
    void Loaded(); // the loaded step: binds the library
    void BindLibrary();
    void RegisterApplication();
    void ReleaseApplication();
    bool PutRequest(uint8_t Command, const CapiParams &Params);
    bool PutResponse(uint8_t Command, uint32_t MsgID, const CapiParams &Params);
    uint32_t FetchMessage(uint32_t &CommandID, uint32_t &SubCommand, uint32_t &MsgID,
                          IndicationDatenType &Daten);
    void CallInMainThread(const std::function<void()> &Method);
    void ProcessPending();
    void RaiseError(uint32_t CommandID, uint32_t SubCommand, uint32_t ErrorNumber);

    // The controller's manufacturer and serial number are texts in the ANSI set (Windows-1252).
    QString QueryManufacturer();
    QString QueryVersion();
    QString QuerySerialNumber();
    // CAPI's result, or ERR_DLL_NOT_LOADED when the entry point is missing (the buffer then holds
    // the value 9 in all 64 bytes).
    uint32_t QueryProfile(uint32_t Controller, std::array<uint8_t, 64> &Buffer);

    // The path FindLibrary chooses for `name` (see LibraryName); empty when a name with a folder
    // does not exist. A bare name comes back unchanged for the loader.
    static QString FindLibrary(const QString &Name);
    // The remote CAPI text to use: RUFWART_CAPI_REMOTE when it is set, else the setting's value.
    static QString RemoteCapiSetting(const QString &settingValue);
    // Splits "host:port" of a CAPI-over-TCP server: a host name or address of letters, digits,
    // '.', '-' and '_', and a port from 1 to 65534; blanks around the whole are ignored. False for
    // anything else, the empty text included. The options page and the registration both use it.
    static bool ParseRemoteCapi(const QString &text, QString *host = nullptr, int *port = nullptr);

protected:
    // Called by ReleaseApplication before the registration goes (not while destroying).
    virtual void BeforeRelease() {}
    virtual void HandleMessage(uint32_t CommandID, uint32_t SubCommand, IndicationDatenType &Daten,
                               uint32_t MsgID);
    // A data block for NCCI could not be read and was dropped (and answered) by the binding: its
    // data is lost. On the message thread, in the order of the messages.
    virtual void HandleDroppedDataBlock(uint32_t /*NCCI*/) {}

    // Stops the message thread and releases; a derived class calls it first in its destructor so
    // that the dispatcher never runs on a half-destroyed object.
    void Shutdown();
    bool Destroying() const { return m_destroying; }
    // Calls ProcessPending until `done` holds, `timeoutMs` passed, or the component is no longer
    // registered; returns `done()`.
    bool WaitWhilePending(const std::function<bool()> &done, int64_t timeoutMs);

private:
    struct ThreadControl;
    struct HandOver;

    void SetRegistrationValue(int &field, int value);
    bool PutMessage(uint8_t command, uint8_t subCommand, uint16_t msgNumber, const CapiParams &params);
    bool SelectDriver();
    bool RemoteCapiAnswers() const;
    bool CapiReady();
    void ReadProfiles();
    void StartThread();
    void ThreadBody(const std::shared_ptr<ThreadControl> &control);
    int DrainMessages();
    uint32_t WaitForSignal(const ThreadControl &control, int timeoutMs);
    bool DrainAfterWait(uint32_t applId, uint32_t waited);
    void DispatchOne(uint32_t commandId, uint32_t subCommand, uint32_t msgId, IndicationDatenType &daten);
    void LoseConnection();
    // Lets the message thread go on without the hand-overs it waits for: those not yet begun (they
    // will not run), and with `alsoRunning` also the one that runs (its result is not used).
    void CancelHandOvers(bool alsoRunning = false);
    void JoinEndedThreads();
    bool TextQueryAllowed();

    std::unique_ptr<CapiBinding> m_binding;
    QString m_libraryName;
    QString m_remoteCapi;
    bool m_autoRegister = true;
    int m_logicalConnection = 4;
    int m_bDataBlocks = 4;
    int m_bDataBlockSize = 2048;
    int m_remoteAnswerMs = 0;
    bool m_dispatchOnCaller = false;

    std::atomic<bool> m_registered{false};
    std::atomic<bool> m_bindAttempted{false};
    std::atomic<bool> m_destroying{false};
    std::atomic<int> m_controllerCount{0};
    std::atomic<uint32_t> m_lastError{0};
    std::atomic<uint32_t> m_messageNumber{0};
    std::atomic<uint32_t> m_applId{0};

    std::mutex m_threadLock; // guards m_control, m_thread, m_endedThreads
    std::shared_ptr<ThreadControl> m_control;
    std::thread m_thread;
    std::vector<std::thread> m_endedThreads;

    std::mutex m_handOverLock;
    std::list<std::shared_ptr<HandOver>> m_handOvers;
    // The main thread inside a hand-over from the message thread (shared with the hand-overs,
    // which may outlive the component).
    std::shared_ptr<std::atomic<int>> m_handOverDepth = std::make_shared<std::atomic<int>>(0);
    std::atomic<bool> m_losingConnection{false}; // the message thread releases a lost connection
    std::atomic<bool> m_connectionLost{false};
};
