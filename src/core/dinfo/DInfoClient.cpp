#include "dinfo/DInfoClient.h"

#include "common/Clock.h"
#include "common/FileStamp.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "dinfo/DdeConversation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr DInfoVersion kVersions[2] = {
    {0, "dinfowin.exe", 10000, "D-Info", "3.0", nullptr, false},
    {1, "dinfo32.exe", 20000, "dinfo32", "dinfo", "siebenundneunzig", true},
};
constexpr int kAdviseTimeoutMs = 1000;
constexpr int kCloseReplyMs = 500;
constexpr int kProcessEndMs = 1500;
int g_testStartMs = 0;
int g_testAnswerMs = 0;

// Why a program must not be run from `path` (the D-Info folder or the program file), judged where
// its links lead; empty when nothing speaks against it. Whoever may change it could put a program
// of theirs in its place: only the user and root may own it, and only the owner may write it.
QString untrusted(const QString &path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    struct stat info
    {
    };
    if (real.isEmpty() || ::stat(QFile::encodeName(real).constData(), &info) != 0)
        return QString(); // not there: the start fails on its own
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return QCoreApplication::translate(
                   "DInfoClient",
                   "D-Info wird nicht gestartet:\r%1 kann auch von anderen Benutzern geändert werden.")
            .arg(real);
    if (info.st_uid != ::geteuid() && info.st_uid != 0)
        return QCoreApplication::translate("DInfoClient",
                                           "D-Info wird nicht gestartet:\r%1 gehört einem anderen Benutzer.")
            .arg(real);
    return QString();
}

// Clears a flag when the scope ends.
struct FlagGuard
{
    bool &flag;
    ~FlagGuard() { flag = false; }
};
} // namespace

const DInfoVersion &DInfoVersion::of(int index)
{
    return kVersions[index == 1 ? 1 : 0];
}

bool DInfoSearch::failed() const
{
    switch (Outcome) {
    case DInfoOutcome::Found:
    case DInfoOutcome::NotFound:
    case DInfoOutcome::Aborted:
    case DInfoOutcome::Busy:
        return false;
    default:
        return true;
    }
}

DInfoClient::DInfoClient(const QString &folder, int versionIndex, QObject *parent)
    : QObject(parent), m_folder(folder), m_version(DInfoVersion::of(versionIndex)),
      m_startTimeoutMs(g_testStartMs > 0 ? g_testStartMs : m_version.StartTimeoutMs),
      m_answerTimeoutMs(g_testAnswerMs > 0 ? g_testAnswerMs : kAnswerTimeoutMs)
{
    if (!m_folder.isEmpty() && !m_folder.endsWith(QLatin1Char('/')))
        m_folder += QLatin1Char('/');
}

DInfoClient::~DInfoClient()
{
    m_aborted = true;
    if (m_process && m_process->state() != QProcess::NotRunning) {
        // Stop() was not called: the program of ours must not outlive us.
        m_process->kill();
        m_process->waitForFinished(500);
    }
}

void DInfoClient::SetTimeoutsForTests(int startMs, int answerMs)
{
    g_testStartMs = startMs;
    g_testAnswerMs = answerMs;
}

QString DInfoClient::ProgramFile() const
{
    return m_folder + QString::fromLatin1(m_version.Exe);
}

QString DInfoClient::AnswerFile() const
{
    return m_folder + QString::fromLatin1(DInfoAnswer::kFileName);
}

bool DInfoClient::ProgramExists() const
{
    const QFileInfo info(ProgramFile());
    return info.exists() && info.isFile();
}

bool DInfoClient::IsOpen() const
{
    return m_conversation && m_conversation->IsOpen();
}

bool DInfoClient::OpenConversation()
{
    if (!m_conversation) {
        m_conversation = new DdeConversation(this);
        connect(m_conversation, &DdeConversation::ended, this, &DInfoClient::ended);
    }
    return m_conversation->Open(QString::fromLatin1(m_version.Service), QString::fromLatin1(m_version.Topic));
}

QString DInfoClient::Untrusted() const
{
    QString reason = untrusted(m_folder);
    if (reason.isEmpty())
        reason = untrusted(ProgramFile());
    return reason;
}

bool DInfoClient::Start()
{
    if (IsOpen())
        return true;
    m_refusal = Untrusted();
    if (!m_refusal.isEmpty())
        return false;
    for (int i = 1; i <= 5; ++i)
        QFile::remove(m_folder + QStringLiteral("network.%1").arg(i));
    EndProcess();

    m_process = new QProcess(this);
    m_process->setProgram(ProgramFile());
    m_process->setArguments({QStringLiteral("/DDE")});
    m_process->setWorkingDirectory(m_folder);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->start();

    // The program is there once its endpoint accepts a connection. A program that cannot be
    // started, or ends with an error before that, is not waited for any longer; one that ends
    // without an error may have handed over to a copy that runs already.
    QProcess *process = m_process;
    const auto gaveUp = [process] {
        if (process->error() == QProcess::FailedToStart)
            return true;
        return process->state() == QProcess::NotRunning &&
               (process->exitStatus() == QProcess::CrashExit || process->exitCode() != 0);
    };
    m_aborted = false;
    WaitFor([&] { return m_aborted || OpenConversation() || gaveUp(); }, m_startTimeoutMs);
    if (m_aborted || (!IsOpen() && !OpenConversation()))
        return false;
    if (m_version.AdviseItem) {
        // D-Info 97 wants an advise link and one request of its item before it serves; neither
        // the value nor later notifications are used.
        const QString item = QString::fromLatin1(m_version.AdviseItem);
        m_conversation->StartAdvise(item, kAdviseTimeoutMs);
        m_conversation->Request(item, kAdviseTimeoutMs);
    }
    return IsOpen();
}

DInfoSearch DInfoClient::Search(const QString &number)
{
    DInfoSearch result;
    if (m_searching) {
        result.Outcome = DInfoOutcome::Busy;
        return result;
    }
    const QString request = DInfoAnswer::Request(number);
    if (request.size() > DInfoAnswer::kMaxRequest) {
        result.Outcome = DInfoOutcome::TooLong;
        return result;
    }
    m_searching = true;
    m_aborted = false;
    const FlagGuard searching{m_searching};

    // A conversation the program ended (it was closed or restarted) is opened once more.
    if (!IsOpen() && !OpenConversation()) {
        result.Outcome = DInfoOutcome::NoProgram;
        return result;
    }
    // The file's state is taken before the request goes out, so an answer that comes at once
    // is not taken for the old file.
    const QString answerFile = AnswerFile();
    FileStamp before = FileStamp::Of(answerFile);
    if (!m_conversation->Execute(request)) {
        result.Outcome = DInfoOutcome::NoProgram;
        return result;
    }

    const qint64 sent = Clock::ticks();
    for (;;) {
        bool changed = false;
        WaitFor(
            [&] {
                if (m_aborted || m_conversation->ExecuteRefused())
                    return true;
                const FileStamp now = FileStamp::Of(answerFile);
                changed = now.Exists && now != before;
                return changed || m_conversation->Ended();
            },
            int(std::max<qint64>(0, m_answerTimeoutMs - (Clock::ticks() - sent))));
        if (m_aborted) {
            result.Outcome = DInfoOutcome::Aborted;
            return result;
        }
        if (changed) {
            DInfoAnswer::FileText text;
            bool stale = false;
            if (!ReadAnswer(request, &text, &stale)) {
                result.Outcome = m_aborted ? DInfoOutcome::Aborted : DInfoOutcome::Unreadable;
                return result;
            }
            if (stale) {
                // The answer to an earlier request that came late: wait on for ours.
                before = FileStamp::Of(answerFile);
                if (Clock::ticks() - sent < m_answerTimeoutMs)
                    continue;
                result.Outcome = DInfoOutcome::TimedOut;
                return result;
            }
            result.Name = DInfoAnswer::ParseLine(text.AnswerLine);
            result.Outcome = result.Name.isEmpty() ? DInfoOutcome::NotFound : DInfoOutcome::Found;
            return result;
        }
        if (m_conversation->ExecuteRefused()) {
            result.Outcome = DInfoOutcome::Refused;
            result.Detail = m_conversation->Refusal();
            return result;
        }
        result.Outcome = m_conversation->Ended() ? DInfoOutcome::NoProgram : DInfoOutcome::TimedOut;
        return result;
    }
}

bool DInfoClient::ReadAnswer(const QString &request, DInfoAnswer::FileText *text, bool *stale)
{
    const QString answerFile = AnswerFile();
    for (int attempt = 1; attempt <= kReadAttempts; ++attempt) {
        const FileStamp before = FileStamp::Of(answerFile);
        if (DInfoAnswer::ReadFile(answerFile, text)) {
            // A file still being written (by a program that does not replace it in one step)
            // is read again once it has settled.
            if (FileStamp::Of(answerFile) != before)
                continue;
            *stale = text->FirstLine.startsWith(QLatin1String("R;")) && text->FirstLine != request;
            return true;
        }
        if (attempt == kReadAttempts)
            break;
        WaitFor([this] { return m_aborted; }, kReadRetryMs);
        if (m_aborted)
            return false;
    }
    return false;
}

void DInfoClient::Abort()
{
    m_aborted = true;
}

void DInfoClient::Stop()
{
    Abort();
    if (m_conversation) {
        if (m_conversation->IsOpen())
            m_conversation->RequestClose(kCloseReplyMs);
        m_conversation->Close();
    }
    EndProcess();
}

void DInfoClient::EndProcess()
{
    if (!m_process)
        return;
    QProcess *process = m_process;
    m_process = nullptr;
    if (process->state() != QProcess::NotRunning) {
        WaitFor([process] { return process->state() == QProcess::NotRunning; }, kProcessEndMs);
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(500)) {
                process->kill();
                process->waitForFinished(500);
            }
        }
    }
    process->deleteLater();
}

QString DefaultDInfoFolder()
{
    return Paths::dataDir() + QStringLiteral("dinfo/");
}

QString StandInProgram()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/rufwart-dinfo");
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

bool ProvisionDInfoFolder(const QString &folder, QString *error)
{
    if (QDir::cleanPath(folder) != QDir::cleanPath(DefaultDInfoFolder()))
        return true;
    const QString standIn = StandInProgram();
    if (standIn.isEmpty()) {
        if (error)
            *error = QCoreApplication::translate("DInfoClient", "rufwart-dinfo liegt nicht neben %1")
                         .arg(QCoreApplication::applicationFilePath());
        return false;
    }
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QCoreApplication::translate("DInfoClient", "%1 kann nicht angelegt werden").arg(folder);
        return false;
    }
    // The folder is the program's own, and what it runs must be changeable by the user alone: one
    // made under a mask that lets the group write is closed to it.
    struct stat info
    {
    };
    const QByteArray folderPath = QFile::encodeName(folder);
    if (::stat(folderPath.constData(), &info) == 0 && info.st_uid == ::geteuid() &&
        (info.st_mode & (S_IWGRP | S_IWOTH)))
        ::chmod(folderPath.constData(), info.st_mode & 07755);
    for (const DInfoVersion &version : kVersions) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(version.Exe));
        const QFileInfo info(path);
        if (info.exists())
            continue; // a program file of the user's, or our link
        if (info.isSymLink())
            QFile::remove(path); // a link whose target went away (a moved build)
        if (!QFile::link(standIn, path)) {
            if (error)
                *error =
                    QCoreApplication::translate("DInfoClient", "%1 kann nicht angelegt werden").arg(path);
            return false;
        }
    }
    return true;
}
