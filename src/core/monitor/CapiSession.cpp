#include "monitor/CapiSession.h"

#include "calls/ServiceSet.h"
#include "capi/Capi20.h"
#include "common/Utils.h"
#include "settings/SettingsStore.h"

#include <QMetaObject>

CapiSession::CapiSession(QObject *parent) : QObject(parent), m_capi(std::make_unique<TCapi20>())
{
    m_capi->SetRemoteCapi(RemoteInForce());
    m_capi->SetRemoteAnswerMs(kRemoteAnswerMs);
    // The library from the system's library folders, or from a path the user set.
    if (const QString library = Settings::Read(Settings::CapiLibrary); !library.isEmpty())
        m_capi->SetLibraryName(library);
    m_capi->OnError = [this](TCustomCapi20 *sender, uint32_t command, uint32_t subCommand, uint32_t) {
        if (command == Capi::CMD_LISTEN && subCommand == Capi::SUB_CONF) {
            // The network refused a listen request; its answer comes on the message thread.
            ++m_listenRefusals;
            QMetaObject::invokeMethod(
                this, [this] { ListenRefused(); }, Qt::QueuedConnection);
        } else if (!sender->IsMessageThread()) {
            ++m_capiErrors;
        }
    };
}

CapiSession::~CapiSession()
{
    Close();
}

void CapiSession::Start()
{
    if (m_started)
        return;
    m_started = true;
    BeginRegistration();
}

void CapiSession::SetServerMode(bool serverMode, bool showExtWin)
{
    m_serverMode = serverMode;
    m_showExtWin = showExtWin;
}

QString CapiSession::RemoteInForce()
{
    return TCustomCapi20::RemoteCapiSetting(Settings::Read(Settings::CapiRemote));
}

void CapiSession::StartListen()
{
    m_listenDecided = true;
    m_listenWanted = true;
    if (!m_registering && m_capi->Registered()) {
        ListenNow();
        return;
    }
    // Not registered yet: the registration runs beside the main thread, and its report listens.
    emit listenStateChanged(ListenState::Starting);
    if (!m_registering)
        BeginRegistration();
}

void CapiSession::ListenNow()
{
    quint16 services = ServiceSet::fromSetting(Settings::Read(Settings::Service));
    bool listening = m_capi->Registered();
    if (listening) {
        if (m_serverMode)
            services = ServiceSet::forServerMode(services, m_showExtWin);
        const int errorsBefore = m_capiErrors;
        m_capi->Listen(services);
        listening = m_capiErrors == errorsBefore && m_capi->Registered();
    }
    if (!listening) {
        emit listenFailed();
        emit listenStateChanged(ListenState::Off);
        return;
    }
    // The network's answer follows on the message thread; a refusal is told (ListenRefused).
    emit listenStateChanged(ListenState::On);
}

void CapiSession::StopListen()
{
    m_listenDecided = true;
    m_listenWanted = false;
    // Failures of either step change nothing here. A registration under way is released when
    // it reports.
    if (!m_registering && m_capi->Registered()) {
        m_capi->Listen(0);
        m_capi->ReleaseApplication();
    }
    emit listenStateChanged(ListenState::Off);
}

void CapiSession::BeginRegistration()
{
    // With a remote CAPI the library connects to the server, which takes what the network takes
    // (the component bounds it); the main thread works on meanwhile. Only atomic state of the
    // component is read there until the report (RegistrationDone) has come.
    m_registering = true;
    TCapi20 *capi = m_capi.get();
    m_registration = std::thread([this, capi] {
        // The first run binds the library, and binding registers (AutoRegister).
        if (capi->LibraryBound())
            capi->RegisterApplication();
        else
            capi->Loaded();
        QMetaObject::invokeMethod(
            this, [this] { RegistrationDone(); }, Qt::QueuedConnection);
    });
}

void CapiSession::FinishRegistration()
{
    if (m_registration.joinable())
        m_registration.join();
    m_registering = false;
}

void CapiSession::RegistrationDone()
{
    FinishRegistration();
    // Before the first word on listening the loaded options decide; after Close nothing is
    // wanted any more.
    if (!m_listenDecided || m_closed)
        return;
    if (UseRemoteCapiInForce())
        return; // another server was chosen meanwhile
    if (m_listenWanted)
        ListenNow(); // registered, or says that it is not
    else
        StopListen(); // listening was given up meanwhile
}

void CapiSession::WaitForRegistration()
{
    // The worker gives up within the time the component gives the server; the events go on.
    WaitFor([this] { return !m_registering; }, 6 * kRemoteAnswerMs);
}

bool CapiSession::UseRemoteCapiInForce()
{
    // A new address counts from the next registration; the environment variable still wins. A
    // registration under way reads the address: its report comes back here.
    const QString inForce = RemoteInForce();
    if (m_registering || inForce == m_capi->RemoteCapi())
        return false;
    const bool listen = m_listenWanted;
    StopListen();
    m_capi->SetRemoteCapi(inForce);
    if (listen)
        StartListen();
    return true;
}

void CapiSession::ListenRefused()
{
    // One message for the refusals so far; none once listening was given up or released since.
    const int refusals = m_listenRefusals.load();
    if (refusals == m_listenRefusalsTold)
        return;
    m_listenRefusalsTold = refusals;
    if (m_closed || m_registering || !m_listenWanted || !m_capi->Registered())
        return;
    emit listenFailed();
    emit listenStateChanged(ListenState::Off);
}

void CapiSession::Close()
{
    if (m_closed) {
        FinishRegistration();
        return;
    }
    m_closed = true;
    // A registration under way ends within the time the component gives the server.
    FinishRegistration();
    StopListen();
}

QString CapiSession::ListenStateText(ListenState state)
{
    switch (state) {
    case ListenState::Off:
        return QStringLiteral("Autom. Anruferkennung deaktiviert ...");
    case ListenState::Starting:
        return QStringLiteral("Autom. Anruferkennung wird aktiviert ...");
    case ListenState::On:
        break;
    }
    return QStringLiteral("Autom. Anruferkennung aktiviert ...");
}

QString CapiSession::ListenFailedText()
{
    return QStringLiteral("Capi20 nicht installiert !");
}
