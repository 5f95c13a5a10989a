#pragma once

#include "dinfo/DInfoAnswer.h"

#include <QObject>
#include <QString>

class DdeConversation;
class QProcess;

// The two versions of the directory program the look-up can drive.
struct DInfoVersion
{
    int Index;          // 0 "D-Info 3.0", 1 "D-Info 97" (ISDN_DInfoVersion)
    const char *Exe;    // program file name in the D-Info folder
    int StartTimeoutMs; // how long its endpoint may take to accept a connection
    const char *Service;
    const char *Topic;
    const char *AdviseItem; // item of an advise link, or null
    bool TrayIcon;          // shown in the notification area while it runs

    // The version of a setting's index; anything but 1 is D-Info 3.0.
    static const DInfoVersion &of(int index);
};

// How a reverse search ended.
enum class DInfoOutcome
{
    Found,      // the answer named somebody
    NotFound,   // the answer named nobody
    Aborted,    // Abort() ended the wait
    NoProgram,  // no conversation: the program is not running or ended (the execute cannot be sent)
    Refused,    // the program refused the request
    TimedOut,   // no answer within the answer time
    Unreadable, // the answer file changed but could not be read, also after the retries
    TooLong,    // the request would exceed kMaxRequest characters: not sent
    Busy,       // another search of this client is still waiting
};

struct DInfoSearch
{
    DInfoOutcome Outcome = DInfoOutcome::NotFound;
    QString Name;   // the parsed name when Found
    QString Detail; // the program's refusal, for a message
    bool found() const { return Outcome == DInfoOutcome::Found; }
    // Whether the look-up itself failed (and not merely found nobody, was aborted or had to give
    // way to a search already waiting).
    bool failed() const;
};

// Drives one directory program: starts it with "/DDE" in its folder, waits for its endpoint,
// holds the conversation, sends one reverse search after the other and reads each answer from
// the answer file, and closes the program again. The waits keep processing the thread's events,
// so calls are still answered and windows stay alive meanwhile; a search can be aborted.
class DInfoClient : public QObject
{
    Q_OBJECT
public:
    // `folder` ends with "/".
    DInfoClient(const QString &folder, int versionIndex, QObject *parent = nullptr);
    ~DInfoClient() override;

    const DInfoVersion &Version() const { return m_version; }
    QString Folder() const { return m_folder; }
    QString ProgramFile() const;
    QString AnswerFile() const;
    bool ProgramExists() const;

    // Why the program must not be run, for the user; empty when nothing speaks against it. The
    // folder and the program file, each judged where its links lead, must belong to the user or
    // to root and be writable by their owner only: whoever else may change them could put a
    // program of theirs in its place.
    QString Untrusted() const;

    // Deletes the lock files "network.1" to "network.5", starts the program and waits until
    // its endpoint accepts a connection, at most the version's start time (less when the program
    // cannot be started or ends with an error first). For D-Info 97 it then sets up the advise
    // link and requests the item once. True when the conversation is open. A program that must
    // not be run (Untrusted()) is not started; Refusal() then says why.
    bool Start();
    QString Refusal() const { return m_refusal; }
    bool IsOpen() const;

    // One reverse search for `number`.
    DInfoSearch Search(const QString &number);
    bool Searching() const { return m_searching; }
    // Ends a search or a start that is waiting (abort button, program end); harmless otherwise.
    void Abort();
    // Abort() has ended the last start or search.
    bool WasAborted() const { return m_aborted; }

    // Asks the program to close and ends the conversation; a program of ours that does not end
    // within a moment is ended. Failures are ignored.
    void Stop();

    // The bounds of a search: how long to wait for the answer file, and how often and how far
    // apart to try reading it.
    static constexpr int kAnswerTimeoutMs = 10000;
    static constexpr int kReadAttempts = 5;
    static constexpr int kReadRetryMs = 500;
    // Tests shorten the start and answer times of the clients made after the call; 0 restores
    // the version's start time and kAnswerTimeoutMs.
    static void SetTimeoutsForTests(int startMs, int answerMs);

signals:
    // The program ended the open conversation: it died, or closed (also when Stop() asked it to).
    void ended();

private:
    bool OpenConversation();
    bool ReadAnswer(const QString &request, DInfoAnswer::FileText *text, bool *stale);
    void EndProcess();

    QString m_folder;
    const DInfoVersion &m_version;
    DdeConversation *m_conversation = nullptr;
    QProcess *m_process = nullptr;
    bool m_searching = false;
    bool m_aborted = false;
    QString m_refusal;
    int m_startTimeoutMs;
    int m_answerTimeoutMs;
};

// The per-user D-Info folder used when ISDN_DInfoDir is empty: <data folder>/dinfo/.
QString DefaultDInfoFolder();
// The stand-in directory program shipped with this program (beside its executable), or empty
// when it is not there.
QString StandInProgram();
// Puts the stand-in into the default folder under both versions' program file names (as links),
// unless a program file of that name is already there. Does nothing for any other folder.
// False, with the reason, when the folder or a link cannot be made.
bool ProvisionDInfoFolder(const QString &folder, QString *error = nullptr);
