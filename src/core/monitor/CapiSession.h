#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class TCapi20;

// The program's connection to the ISDN adapter: owns the CAPI component, registers beside the
// main thread (a remote CAPI server takes what the network takes), listens for the services in
// the settings and tells whether it listens. Registration and listening run on the main thread's
// word (StartListen, StopListen); the worker's report comes back to the main thread.
//
// Set the component's handlers (Capi()) before Start(): its threads read them.
class CapiSession : public QObject
{
    Q_OBJECT
public:
    // What the status line says about listening.
    enum class ListenState
    {
        Off,      // not listening
        Starting, // registering first: listening follows
        On,       // the listen request is out
    };
    Q_ENUM(ListenState)

    // How long a remote CAPI server may take to take a connection before registering gives up.
    static constexpr int kRemoteAnswerMs = 5000;

    explicit CapiSession(QObject *parent = nullptr);
    // Waits for a registration under way and releases.
    ~CapiSession() override;

    TCapi20 &Capi() const { return *m_capi; }

    // Binds the CAPI library and registers, beside the main thread. Once.
    void Start();
    // The services to listen for depend on server mode (data calls) and on whether calls are
    // shown in the notification window; they count from the next listen request.
    void SetServerMode(bool serverMode, bool showExtWin);

    // Listens for the chosen services. Not registered yet, it registers first: listenStateChanged
    // says Starting until the registration reports.
    void StartListen();
    void StopListen();
    // A registration runs beside the main thread and has not reported yet.
    bool Registering() const { return m_registering; }
    // Waits, the events going on, until a registration under way has reported.
    void WaitForRegistration();
    // Registers anew at the address in force when it differs from the component's (not while a
    // registration runs); true when it did.
    bool UseRemoteCapiInForce();
    // The end: waits for a registration under way, stops listening and releases. Reports that
    // come later change nothing.
    void Close();

    // The CAPI-over-TCP address in force: RUFWART_CAPI_REMOTE, else the stored setting.
    static QString RemoteInForce();

    // What the status line says about a listening state, and about a failure to listen.
    static QString ListenStateText(ListenState state);
    static QString ListenFailedText();

signals:
    void listenStateChanged(CapiSession::ListenState state);
    // No CAPI to listen on: not installed, the registration failed, or the network refused the
    // listen request. listenStateChanged(Off) follows.
    void listenFailed();

private:
    void BeginRegistration();
    void FinishRegistration();
    void RegistrationDone();
    void ListenNow();
    void ListenRefused();

    std::unique_ptr<TCapi20> m_capi;
    bool m_started = false;
    bool m_closed = false;
    bool m_serverMode = false;
    bool m_showExtWin = false;
    // StartListen was the last word (not StopListen): the registration's report listens.
    bool m_listenWanted = false;
    // StartListen or StopListen was called: before that the report does nothing.
    bool m_listenDecided = false;
    bool m_registering = false;
    std::thread m_registration;
    // Errors the component reported outside its message thread; a listen request that could not
    // be put shows here.
    std::atomic<int> m_capiErrors{0};
    // Listen requests the network refused (counted on the message thread), and how many of them
    // have been told.
    std::atomic<int> m_listenRefusals{0};
    int m_listenRefusalsTold = 0;
};
