#pragma once

#include "dinfo/DInfoClient.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <vector>

// The standing connection to the telephone-directory program while "Anrufer bei Anruf aus D-Info
// ermitteln" is on: starts the program of the folder and version in the settings, keeps its
// conversation open and looks the numbers of unknown callers up. The manual search window borrows
// the connection's client while it runs (Client()); without one it starts a program of its own.
//
// A program that ends on its own (it crashed, or someone closed it) is started again after a
// pause, which doubles with every start that comes to nothing (the program does not come up, or
// ends again before it has answered a search) up to a longest pause of a minute; the user is told
// once (status). A start by hand, Stop() and an answered search begin afresh.
//
// A client that ends while a search still waits on it (further up the stack, in a wait that keeps
// the events going) is kept until that search has returned, and deleted afterwards.
class DInfoService : public QObject
{
    Q_OBJECT
public:
    explicit DInfoService(QObject *parent = nullptr);
    ~DInfoService() override;

    // Starts the connection, unless it runs. When the program file is missing, the look-up is
    // switched off in the settings and the user is told so (message()); a program that does not
    // come up is told too, a start that Stop() broke off is not.
    void Start();
    // Ends the connection; a start or a search that waits for the program ends with it, and an
    // ended program is not started again.
    void Stop();
    bool Running() const { return m_client != nullptr; }
    // Start() waits for the program to come up.
    bool Starting() const { return m_starting != nullptr; }
    // The connection's client while it runs, else null.
    DInfoClient *Client() const { return m_client; }

    // The look-up of a ring: while the connection runs, `name` becomes `number` and then the
    // found name, if any; otherwise `name` stays. The outcome tells a failed look-up (no
    // connection, the program gone, a refused request, no answer in time) from one that found
    // nobody; a failure never puts any text but the number into `name`.
    DInfoSearch LookUp(const QString &number, QString &name);

    // Deletes the clients of ended connections whose last search has returned. The manual search
    // window calls it when it is done with a borrowed client.
    void DropEnded();

    // The first and the longest pause before an ended program is started again.
    void SetRestartPauses(int firstMs, int longestMs);
    static constexpr int kFirstRestartMs = 1000;
    static constexpr int kLongestRestartMs = 60000;

    // A client for the folder and version in the settings (the default folder, empty setting,
    // gets the stand-in program first).
    static DInfoClient *MakeClient(QObject *parent);
    // Starts the program of `client` and waits for it. A start that fails (and that Abort() did
    // not break off) ends the program and puts the text to tell the user into `failure`.
    static bool StartProgram(DInfoClient &client, QString *failure);
    // What the user is told when the program file is missing.
    static QString NotInstalledText();

signals:
    // The connection started (true) or ended (false); `trayIcon` tells whether its program is
    // one that shows itself in the notification area while it runs.
    void runningChanged(bool running, bool trayIcon);
    // A text for the user: the program is missing, did not come up, or a setting could not be
    // written.
    void message(const QString &text);
    // A line for the status line: the program ended on its own and is started again.
    void status(const QString &text);

private:
    enum class Outcome
    {
        Started,
        Failed,
        Stopped, // Stop() came while it started
    };
    // Starts the program; a restart changes no setting and tells nothing.
    Outcome Connect(bool restart);
    // The program ended on its own: the connection is lost, and comes back after a pause.
    void Lost();
    void Restart();

    QPointer<DInfoClient> m_client;
    QPointer<DInfoClient> m_starting;
    std::vector<QPointer<DInfoClient>> m_ended;

    QTimer m_restartTimer;
    int m_firstRestartMs = kFirstRestartMs;
    int m_longestRestartMs = kLongestRestartMs;
    int m_nextRestartMs = kFirstRestartMs;
    bool m_lossTold = false;
};
