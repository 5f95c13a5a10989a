#include "monitor/DInfoService.h"

#include "common/Errors.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>

#include <algorithm>

DInfoService::DInfoService(QObject *parent) : QObject(parent)
{
    m_restartTimer.setSingleShot(true);
    connect(&m_restartTimer, &QTimer::timeout, this, &DInfoService::Restart);
}

DInfoService::~DInfoService()
{
    Stop();
    for (const QPointer<DInfoClient> &client : m_ended)
        delete client.data();
}

QString DInfoService::NotInstalledText()
{
    return QCoreApplication::translate("DInfoService", "D-Info nicht installiert !");
}

bool DInfoService::StartProgram(DInfoClient &client, QString *failure)
{
    if (client.Start())
        return true;
    if (!client.Refusal().isEmpty())
        *failure = client.Refusal();
    else if (!client.WasAborted())
        *failure = QCoreApplication::translate("DInfoService", "Fehler beim Laden von DInfo ...");
    client.Stop(); // a program that came up too late, or never, is ended
    return false;
}

DInfoClient *DInfoService::MakeClient(QObject *parent)
{
    QString folder = Settings::Read(Settings::DInfoDir).trimmed();
    if (folder.isEmpty())
        folder = DefaultDInfoFolder();
    const int version = Settings::Read(Settings::DInfoVersion) == 1 ? 1 : 0;
    auto *client = new DInfoClient(folder, version, parent);
    // A new user's default folder gets the stand-in under the program file names.
    QString error;
    if (!ProvisionDInfoFolder(client->Folder(), &error))
        qWarning("%s", qPrintable(error));
    return client;
}

void DInfoService::SetRestartPauses(int firstMs, int longestMs)
{
    m_firstRestartMs = firstMs;
    m_longestRestartMs = longestMs;
    m_nextRestartMs = firstMs;
}

void DInfoService::Start()
{
    if (m_client || m_starting)
        return;
    // Started by hand: a restart still waiting is this start, and the pauses begin afresh.
    m_restartTimer.stop();
    m_nextRestartMs = m_firstRestartMs;
    m_lossTold = false;
    Connect(false);
}

DInfoService::Outcome DInfoService::Connect(bool restart)
{
    DropEnded();
    DInfoClient *client = MakeClient(this);
    if (!client->ProgramExists()) {
        delete client;
        if (restart)
            return Outcome::Failed; // it may come back (a program being installed anew)
        try {
            Settings::Write(Settings::RunDInfo, false);
        } catch (const IoError &e) {
            emit message(e.message());
        }
        emit message(NotInstalledText() +
                     QCoreApplication::translate("DInfoService", "\rFunktion wurde deaktiviert ."));
        return Outcome::Failed;
    }
    m_starting = client;
    QString failure;
    const bool started = StartProgram(*client, &failure);
    const bool stopped = !m_starting; // Stop() came meanwhile
    m_starting = nullptr;
    if (!started || stopped) {
        if (started)
            client->Stop();
        delete client;
        if (stopped)
            return Outcome::Stopped;
        // A restart was told already, when the program ended.
        if (!restart && !failure.isEmpty())
            emit message(failure);
        return Outcome::Failed;
    }
    m_client = client;
    // Queued: the conversation that tells it may still be delivering its socket's signal.
    connect(
        client, &DInfoClient::ended, this,
        [this, ended = QPointer<DInfoClient>(client)] {
            if (ended && ended == m_client)
                Lost();
        },
        Qt::QueuedConnection);
    emit runningChanged(true, client->Version().TrayIcon);
    return Outcome::Started;
}

void DInfoService::Lost()
{
    DInfoClient *client = m_client;
    m_client = nullptr;
    const bool trayIcon = client->Version().TrayIcon;
    // A search that waits on it returns first: it finds the conversation ended. What is left of
    // the program ends with the client.
    m_ended.emplace_back(client);
    DropEnded();
    emit runningChanged(false, trayIcon);
    if (!m_lossTold) {
        m_lossTold = true;
        emit status(
            QCoreApplication::translate("DInfoService", "D-Info wurde beendet und wird neu gestartet ..."));
    }
    m_restartTimer.start(m_nextRestartMs);
    m_nextRestartMs = std::min(2 * m_nextRestartMs, m_longestRestartMs);
}

void DInfoService::Restart()
{
    if (m_client || m_starting)
        return;
    if (Connect(true) == Outcome::Failed) {
        m_restartTimer.start(m_nextRestartMs);
        m_nextRestartMs = std::min(2 * m_nextRestartMs, m_longestRestartMs);
    }
}

void DInfoService::Stop()
{
    m_restartTimer.stop();
    m_nextRestartMs = m_firstRestartMs;
    m_lossTold = false;
    if (m_starting) {
        // Stopped while it starts: the start ends, and no connection is set up.
        m_starting->Abort();
        m_starting = nullptr;
    }
    if (!m_client)
        return;
    DInfoClient *client = m_client;
    m_client = nullptr;
    // Ends a waiting search too; failures to close the program are of no concern here.
    client->Stop();
    const bool trayIcon = client->Version().TrayIcon;
    m_ended.emplace_back(client);
    DropEnded();
    emit runningChanged(false, trayIcon);
}

void DInfoService::DropEnded()
{
    for (auto it = m_ended.begin(); it != m_ended.end();) {
        if (*it && (*it)->Searching()) {
            ++it;
            continue;
        }
        delete it->data();
        it = m_ended.erase(it);
    }
}

DInfoSearch DInfoService::LookUp(const QString &number, QString &name)
{
    DInfoSearch search;
    if (!m_client) {
        search.Outcome = DInfoOutcome::NoProgram;
        return search;
    }
    // The search goes to the connection's program directly: an open search window keeps what
    // the user typed and saw.
    const QPointer<DInfoClient> client = m_client;
    name = number;
    search = client->Search(number);
    if (search.found())
        name = search.Name;
    if (client && client == m_client) {
        if (search.Outcome == DInfoOutcome::NoProgram && !client->IsOpen()) {
            // Ended before it could tell (or without a conversation to tell it).
            Lost();
        } else if (search.Outcome == DInfoOutcome::Found || search.Outcome == DInfoOutcome::NotFound) {
            // It serves: a later end is told again and waited for briefly.
            m_nextRestartMs = m_firstRestartMs;
            m_lossTold = false;
        }
    }
    DropEnded();
    return search;
}
