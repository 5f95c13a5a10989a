#include "monitor/DInfoService.h"

#include "common/Errors.h"
#include "settings/SettingsStore.h"

DInfoService::DInfoService(QObject *parent) : QObject(parent) {}

DInfoService::~DInfoService()
{
    Stop();
    for (const QPointer<DInfoClient> &client : m_ended)
        delete client.data();
}

QString DInfoService::NotInstalledText()
{
    return QStringLiteral("D-Info nicht installiert !");
}

bool DInfoService::StartProgram(DInfoClient &client, QString *failure)
{
    if (client.Start())
        return true;
    if (!client.Refusal().isEmpty())
        *failure = client.Refusal();
    else if (!client.WasAborted())
        *failure = QStringLiteral("Fehler beim Laden von DInfo ...");
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

void DInfoService::Start()
{
    if (m_client || m_starting)
        return;
    DropEnded();
    DInfoClient *client = MakeClient(this);
    if (!client->ProgramExists()) {
        delete client;
        try {
            Settings::Write(Settings::RunDInfo, false);
        } catch (const IoError &e) {
            emit message(e.message());
        }
        emit message(NotInstalledText() + QStringLiteral("\rFunktion wurde deaktiviert ."));
        return;
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
        if (!stopped && !failure.isEmpty())
            emit message(failure);
        return;
    }
    m_client = client;
    emit runningChanged(true, client->Version().TrayIcon);
}

void DInfoService::Stop()
{
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
    DropEnded();
    return search;
}
