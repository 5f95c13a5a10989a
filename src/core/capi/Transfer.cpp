// The file-transfer protocol of a CAPI component: handling received frames, sending files and
// the file list, and the requests of the other side.

#include "capi/Transfer.h"

#include "capi/Capi20.h"
#include "common/Clock.h"
#include "common/Utils.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStorageInfo>

#include <array>
#include <cstring>
#include <unistd.h>
#include <vector>

using namespace CapiError;
using namespace Transfer;

namespace {
// How long a finished send waits for the confirmation of its last blocks before it calls the
// send failed (two blocks take half a second at line rate).
constexpr int64_t kSentTimeoutMs = 30000;
// How long a send of this side waits for a transfer that runs for the other side.
constexpr int64_t kTransferWaitMs = 30000;
} // namespace

// ---- protocol helpers ----

QByteArray Transfer::Frame(uint8_t code, const QByteArray &payload)
{
    QByteArray frame;
    frame.reserve(payload.size() + 2);
    frame.append(char(FrameMark));
    frame.append(char(code));
    frame.append(payload);
    return frame;
}

QByteArray Transfer::TextPayload(const uint8_t *payload, int length)
{
    if (length <= 0)
        return {};
    const void *zero = std::memchr(payload, 0, size_t(length));
    const int n = zero != nullptr ? int(static_cast<const uint8_t *>(zero) - payload) : length;
    return QByteArray(reinterpret_cast<const char *>(payload), n);
}

QString Transfer::SafeReceiveName(const QString &received)
{
    QString name = received;
    const qsizetype cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        name = name.mid(cut + 1);
    // Every drive: what is left of "C:D:x" must not begin with one either.
    while (name.size() >= 2 && name[1] == QLatin1Char(':') && name[0].isLetter())
        name = name.mid(2);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    return name;
}

bool Transfer::IsPlainName(const QString &name)
{
    return !name.isEmpty() && SafeReceiveName(name) == name;
}

bool Transfer::IsReceivableName(const QString &name)
{
    static const QRegularExpression refused(
        QStringLiteral(
            "^\\.|\\.so(\\.[0-9.]*)?$|\\.desktop$|"
            "^(anruf2?\\.dat|updtemp\\.dat|zahlwerk\\.ini|dinfo\\.prz|dinfowin\\.exe|dinfo32\\.exe|"
            "rufwart|rufwart-dinfo|readme\\.txt|himmel\\.bmp)$"),
        QRegularExpression::CaseInsensitiveOption);
    return IsPlainName(name) && !refused.match(name).hasMatch();
}

QString Transfer::NumberedName(const QString &name, int n)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString number = QStringLiteral(" (%1)").arg(n);
    return dot > 0 ? name.left(dot) + number + name.mid(dot) : name + number;
}

std::unique_ptr<QFile> Transfer::CreatePartFile(const QString &target)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        auto part = std::make_unique<QFile>(
            info.dir().filePath(QStringLiteral(".%1.%2.part")
                                    .arg(info.fileName())
                                    .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
        if (part->open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return part;
        if (part->exists())
            continue; // that name is taken: another one
        return nullptr;
    }
    return nullptr;
}

QString Transfer::StorePartFile(QFile &part, const QString &target)
{
    bool ok = part.flush() && ::fsync(part.handle()) == 0;
    part.close();
    ok = ok && part.error() == QFileDevice::NoError;
    const QFileInfo info(target);
    for (int n = 0; ok && n < 1000; ++n) {
        const QString candidate = n == 0 ? target : info.dir().filePath(NumberedName(info.fileName(), n));
        if (RenameNoReplace(part.fileName(), candidate))
            return candidate;
        if (!QFileInfo::exists(candidate))
            break; // not because the name is taken
    }
    part.remove();
    return {};
}

void Transfer::DiscardPartFile(QFile &part)
{
    part.close();
    part.remove();
}

std::optional<int64_t> Transfer::ParseSize(const QByteArray &payload)
{
    const QByteArray text = payload.trimmed();
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    return text.toLongLong();
}

QFileInfoList Transfer::ListableFiles(const QString &folder)
{
    if (folder.isEmpty())
        return {};
    return QDir(folder).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::NoSort);
}

QString Transfer::ResolveRequest(const QString &folder, const QString &requested)
{
    if (!IsPlainName(requested))
        return {};
    const QFileInfoList files = ListableFiles(folder);
    for (const QFileInfo &file : files)
        if (file.fileName() == requested)
            return file.filePath();
    const QString lower = requested.toLower();
    for (const QFileInfo &file : files)
        if (file.fileName().toLower() == lower)
            return file.filePath();
    return {};
}

QString Transfer::FileListLine(const QFileInfo &file, const QLocale &locale)
{
    const QDateTime changed = file.lastModified();
    return file.fileName().toLower() + QStringLiteral(" [") +
           locale.toString(changed.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(changed.time(), QLocale::LongFormat) + QStringLiteral(", Größe : ") +
           QString::number(file.size()) + QLatin1Char(']');
}

int TransferPercent(int64_t Progress, int64_t Size)
{
    if (Size <= 0 || Progress >= Size)
        return 100;
    if (Progress <= 0)
        return 0;
    return int(static_cast<__int128>(Progress) * 100 / Size);
}

// ---- the component ----

FileTransfer::FileTransfer(TCapi20 &capi) : m_capi(capi) {}

FileTransfer::~FileTransfer() = default;

// ---- events ----

void FileTransfer::TransferFailed(uint32_t ErrorNumber, uint8_t SubCommand, const QString &Filename)
{
    m_capi.RaiseError(Capi::CMD_DATA_B3, SubCommand, ErrorNumber);
    if (m_capi.OnTransferError)
        m_capi.OnTransferError(&m_capi, Filename, ErrorNumber);
}

void FileTransfer::FireSendFile(const QString &Filename, int64_t Size, int64_t Progress, TTransferBlock Block)
{
    if (m_capi.OnSendFile)
        m_capi.OnSendFile(&m_capi, Filename, Size, Progress, Block);
}

void FileTransfer::FireReceiveFile(const QString &Filename, int64_t Size, int64_t Progress,
                                   TTransferBlock Block)
{
    if (m_capi.OnReceiveFile)
        m_capi.OnReceiveFile(&m_capi, Filename, Size, Progress, Block);
}

// ---- receiving ----

void FileTransfer::HandleBlock(int NCCI, const uint8_t *Data, int Count)
{
    if (Count >= 2 && Data[0] == FrameMark)
        HandleFrame(NCCI, Data[1], Data + 2, Count - 2);
}

void FileTransfer::LinkDown(int NCCI)
{
    {
        std::lock_guard guard(m_receiveLock);
        m_listEntries = 0;
    }
    AbandonReceive(ERR_TRANSFER_LINK_LOST, true, NCCI);
}

void FileTransfer::BlockLost(int NCCI)
{
    {
        std::lock_guard guard(m_receiveLock);
        if (m_receive != Receive::Receiving || m_receiveNcci != NCCI)
            return;
    }
    AbandonReceive(ERR_TRANSFER_INCOMPLETE);
}

bool FileTransfer::TakeListEntry()
{
    bool take = false, first = false;
    {
        std::lock_guard guard(m_receiveLock);
        take = m_listEntries < MaxListEntries;
        first = m_listEntries == MaxListEntries;
        if (m_listEntries <= MaxListEntries)
            ++m_listEntries;
    }
    if (first)
        qWarning("CAPI: the other side's file list goes on beyond %d entries; the rest is left out",
                 MaxListEntries);
    return take;
}

void FileTransfer::HandleFrame(int NCCI, uint8_t Code, const uint8_t *Payload, int Length)
{
    switch (Code) {
    case FileName:
        ReceiveName(NCCI, TextPayload(Payload, Length));
        break;
    case FileSize:
        ReceiveSize(TextPayload(Payload, Length));
        break;
    case FileData:
        ReceiveFileData(Payload, Length);
        break;
    case FileEnd:
        ReceiveEnd();
        break;
    case FileRequest:
        ServeFileRequest(TextPayload(Payload, Length));
        break;
    case ListRequest:
        RunTransfer([this] { SendFileListNow(); }, QString());
        break;
    case ListEntry:
        if (TakeListEntry() && m_capi.OnReceiveFileList)
            m_capi.OnReceiveFileList(&m_capi, DecodeAnsi(TextPayload(Payload, Length)));
        break;
    default:
        break; // only OnReceive saw it
    }
}

// The temporary file is dropped; its frames up to the end frame are ignored, unless the link is
// gone (then nothing more comes).
void FileTransfer::AbandonReceive(uint32_t ErrorNumber, bool OnlyForNcci, int NCCI)
{
    QString name;
    int64_t size = 0, done = 0;
    {
        std::lock_guard guard(m_receiveLock);
        if (OnlyForNcci)
            m_requested.clear(); // a link went down: no answer comes any more
        if (OnlyForNcci && m_receiveNcci != NCCI)
            return;
        const bool receiving = m_receive == Receive::Receiving;
        m_receive = OnlyForNcci ? Receive::Idle : Receive::Skipping;
        if (!receiving)
            return;
        if (m_receiveFile)
            DiscardPartFile(*m_receiveFile);
        m_receiveFile.reset();
        name = m_receiveName;
        size = std::max<int64_t>(m_receiveSize, 0);
        done = m_receiveDone;
    }
    TransferFailed(ErrorNumber, Capi::SUB_IND, name);
    FireReceiveFile(name, size, done, tbFileError);
}

void FileTransfer::ReceiveName(int NCCI, const QByteArray &Payload)
{
    AbandonReceive(ERR_TRANSFER_INCOMPLETE);
    {
        std::lock_guard guard(m_receiveLock);
        if (!m_requested.empty())
            m_requested.pop_front(); // the oldest request is being answered
    }
    const QString given = DecodeAnsi(Payload);
    const QString name = SafeReceiveName(given);
    if (!IsReceivableName(name)) {
        TransferFailed(ERR_TRANSFER_NAME_REFUSED, Capi::SUB_IND, given);
        return;
    }
    // Written beside its final name and put there only by the end frame, never over a file
    // that is there: a cut transfer leaves nothing, and nothing is replaced.
    const QString target = m_capi.ReceivePath.isEmpty() ? QString() : QDir(m_capi.ReceivePath).filePath(name);
    std::unique_ptr<QFile> file = target.isEmpty() ? nullptr : CreatePartFile(target);
    if (!file) {
        TransferFailed(ERR_TRANSFER_WRITE, Capi::SUB_IND, name);
        return;
    }
    const QString reported = name.left(ReportedNameLength);
    {
        std::lock_guard guard(m_receiveLock);
        m_receive = Receive::Receiving;
        m_receiveNcci = NCCI;
        m_receiveName = reported;
        m_receiveSize = -1;
        m_receiveDone = 0;
        m_receiveFile = std::move(file);
        m_receiveTarget = target;
    }
    FireReceiveFile(reported, 0, 0, tbFileName);
}

// Runs `Step` on the file being received (under the receive lock) and reports the result with
// `Block`; a step that fails gives its error number (0 for success), which ends the file. A
// frame with no file announced is reported once for the whole stray file.
void FileTransfer::ReceiveStep(const std::function<uint32_t()> &Step, TTransferBlock Block)
{
    QString name;
    int64_t size = 0, done = 0;
    uint32_t failure = 0;
    {
        std::lock_guard guard(m_receiveLock);
        switch (m_receive) {
        case Receive::Skipping:
            return;
        case Receive::Idle:
            m_receive = Receive::Skipping;
            break;
        case Receive::Receiving:
            failure = Step();
            name = m_receiveName;
            size = std::max<int64_t>(m_receiveSize, 0);
            done = m_receiveDone;
            break;
        }
    }
    if (name.isEmpty())
        TransferFailed(ERR_TRANSFER_NO_FILE, Capi::SUB_IND, QString());
    else if (failure != 0)
        AbandonReceive(failure);
    else
        FireReceiveFile(name, size, done, Block);
}

void FileTransfer::ReceiveSize(const QByteArray &Payload)
{
    const std::optional<int64_t> size = ParseSize(Payload);
    ReceiveStep(
        [&] {
            if (!size)
                return ERR_TRANSFER_BAD_SIZE;
            const int64_t cap = m_capi.MaxReceiveSize;
            if (cap > 0 && *size > cap)
                return ERR_TRANSFER_TOO_LARGE;
            if (*size > QStorageInfo(QFileInfo(m_receiveTarget).absolutePath()).bytesAvailable())
                return ERR_TRANSFER_NO_SPACE;
            m_receiveSize = *size;
            return uint32_t(0);
        },
        tbFileSize);
}

void FileTransfer::ReceiveFileData(const uint8_t *Payload, int Length)
{
    ReceiveStep(
        [&] {
            if (m_receiveSize >= 0 && m_receiveDone + Length > m_receiveSize)
                return ERR_TRANSFER_BAD_SIZE; // more than announced
            const int64_t cap = m_capi.MaxReceiveSize;
            if (cap > 0 && m_receiveDone + Length > cap)
                return ERR_TRANSFER_TOO_LARGE; // announced none, and goes on and on
            if (m_receiveFile->write(reinterpret_cast<const char *>(Payload), Length) != Length)
                return ERR_TRANSFER_WRITE;
            m_receiveDone += Length;
            return uint32_t(0);
        },
        tbFileData);
}

void FileTransfer::ReceiveEnd()
{
    QString name;
    int64_t size = 0, done = 0;
    bool complete = false, stored = false;
    std::optional<QString> refused;
    {
        std::lock_guard guard(m_receiveLock);
        if (m_receive != Receive::Receiving) {
            // An end frame with no file begun answers a request of ours: the other side refused
            // it (an end frame after a file that failed only ends that file).
            if (m_receive == Receive::Idle && !m_requested.empty()) {
                refused = m_requested.front();
                m_requested.pop_front();
            }
            m_receive = Receive::Idle;
        }
    }
    if (refused) {
        TransferFailed(ERR_TRANSFER_REQUEST_REFUSED, Capi::SUB_IND, *refused);
        return;
    }
    {
        std::lock_guard guard(m_receiveLock);
        if (m_receive != Receive::Receiving)
            return;
        // Only the whole file is kept: every byte its size frame announced.
        complete = m_receiveSize >= 0 && m_receiveDone == m_receiveSize;
        name = m_receiveName;
        if (complete) {
            const QString path = StorePartFile(*m_receiveFile, m_receiveTarget);
            stored = !path.isEmpty();
            if (stored)
                name = QFileInfo(path).fileName().left(ReportedNameLength); // the name it took
        } else {
            DiscardPartFile(*m_receiveFile);
        }
        m_receiveFile.reset();
        m_receive = Receive::Idle;
        size = std::max<int64_t>(m_receiveSize, 0);
        done = m_receiveDone;
    }
    if (stored) {
        FireReceiveFile(name, size, done, tbFileEnd);
    } else {
        TransferFailed(complete ? ERR_TRANSFER_WRITE : ERR_TRANSFER_INCOMPLETE, Capi::SUB_IND, name);
        FireReceiveFile(name, size, done, tbFileError);
    }
}

// Only files the list would offer are sent: a plain name of a file directly in SendPath.
void FileTransfer::ServeFileRequest(const QByteArray &Payload)
{
    const QString requested = DecodeAnsi(Payload);
    const QString path = ResolveRequest(m_capi.SendPath, requested);
    if (path.isEmpty()) {
        TransferFailed(ERR_TRANSFER_REQUEST_REFUSED, Capi::SUB_IND, requested);
        // A bare end frame tells the asking side, in turn with the files it asked for before.
        // (A copy that does not know this answer ignores it: no file is open there.)
        RunTransfer([this] { SendFrame(m_capi.CurrentNCCI(), Transfer::FileEnd, {}); }, requested);
        return;
    }
    SendFile(path);
}

// ---- sending ----

void FileTransfer::SendFile(const QString &Path)
{
    RunTransfer([this, Path] { SendFileNow(Path); }, Path);
}

void FileTransfer::SendFileList()
{
    RunTransfer([this] { SendFileListNow(); }, QString());
}

void FileTransfer::SendCommand(uint8_t Kind, const QString &Text)
{
    if (Kind > 1)
        return;
    {
        std::lock_guard guard(m_receiveLock);
        if (Kind == 0) {
            m_listEntries = 0; // a new list begins
        } else {
            m_requested.push_back(Text);
            if (int(m_requested.size()) > MaxOpenRequests)
                m_requested.pop_front();
        }
    }
    SendFrame(m_capi.CurrentNCCI(), Kind == 0 ? ListRequest : FileRequest, EncodeAnsi(Text));
}

bool FileTransfer::SendFrame(int NCCI, uint8_t Code, const QByteArray &Payload)
{
    const QByteArray frame = Frame(Code, Payload.left(m_capi.FrameCapacity(NCCI)));
    return m_capi.SendData(NCCI, frame.constData(), int(frame.size())) == int(frame.size());
}

// One transfer at a time per component, so that the frames of two files never mix. A transfer
// asked for while another runs is queued when the asking thread cannot wait for it (the message
// thread, or the thread running the transfer), and runs when that one is done; any other thread
// waits for its turn, at most kTransferWaitMs. `What` names the file for a report.
void FileTransfer::RunTransfer(const std::function<void()> &Job, const QString &What)
{
    const int64_t start = Clock::ticks();
    for (;;) {
        {
            std::lock_guard guard(m_sendLock);
            if (!m_sending) {
                m_sending = true;
                m_sender = std::this_thread::get_id();
                break;
            }
            if (m_capi.IsMessageThread() || m_sender == std::this_thread::get_id()) {
                if (int(m_queued.size()) < MaxQueuedRequests) {
                    m_queued.push_back(Job);
                    return;
                }
            }
        }
        if (m_capi.IsMessageThread() || m_sender == std::this_thread::get_id() ||
            Clock::ticks() - start >= kTransferWaitMs) {
            TransferFailed(ERR_TRANSFER_BUSY, Capi::SUB_REQ, What);
            return;
        }
        if (!m_capi.Registered())
            return;
        m_capi.ProcessPending();
    }
    std::function<void()> job = Job;
    for (;;) {
        try {
            job();
        } catch (...) {
            m_capi.RaiseError(Capi::CMD_DATA_B3, Capi::SUB_REQ, ERR_HANDLER_FAILED);
        }
        std::lock_guard guard(m_sendLock);
        if (m_queued.empty()) {
            m_sending = false;
            return;
        }
        job = std::move(m_queued.front());
        m_queued.pop_front();
    }
}

void FileTransfer::SendFileNow(const QString &Path)
{
    const QFileInfo info(Path);
    if (!info.isFile())
        return;
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly)) {
        TransferFailed(ERR_TRANSFER_READ, Capi::SUB_REQ, Path);
        return;
    }
    const int ncci = m_capi.CurrentNCCI();
    // A block that CAPI refuses is lost: the file is not sent whole.
    const int refusedBefore = m_capi.RefusedBlocks(ncci);
    auto sendFailed = [&] { return !m_capi.LinkHolds(ncci) || m_capi.RefusedBlocks(ncci) != refusedBefore; };
    bool failed = !SendFrame(ncci, Transfer::FileName, EncodeAnsi(info.fileName()));
    FireSendFile(Path, 0, 0, tbFileName);
    const int64_t size = file.size();
    failed = !SendFrame(ncci, Transfer::FileSize, QByteArray::number(qint64(size))) || failed;
    FireSendFile(Path, size, 0, tbFileSize);

    const int capacity = m_capi.FrameCapacity(ncci);
    std::vector<char> block(StagingBytes);
    int64_t progress = 0;
    while (!file.atEnd() && !failed) {
        const qint64 n = file.read(block.data() + 2, capacity);
        if (n < 0) {
            // No end frame: the other side must not keep what it has as the whole file.
            TransferFailed(ERR_TRANSFER_READ, Capi::SUB_REQ, Path);
            FireSendFile(Path, size, progress, tbFileError);
            return;
        }
        if (n == 0)
            break;
        block[0] = char(FrameMark);
        block[1] = char(Transfer::FileData);
        if (m_capi.SendData(ncci, block.data(), int(n) + 2) != int(n) + 2 || sendFailed())
            failed = true;
        progress += n;
        FireSendFile(Path, size, progress, tbFileData);
    }
    // The end frame goes out in any case: the other side compares what it got with the size.
    SendFrame(ncci, Transfer::FileEnd, {});
    // Done means every block confirmed, not merely queued.
    if (!failed) {
        m_capi.WaitWhilePending([&] { return !m_capi.LinkHolds(ncci) || m_capi.QueuedBytes(ncci) == 0; },
                                kSentTimeoutMs);
        failed = sendFailed() || m_capi.QueuedBytes(ncci) != 0;
    }
    if (failed)
        TransferFailed(m_capi.LinkHolds(ncci) ? ERR_TRANSFER_NOT_SENT : ERR_TRANSFER_LINK_LOST, Capi::SUB_REQ,
                       Path);
    FireSendFile(Path, size, progress, failed ? tbFileError : tbFileEnd);
}

void FileTransfer::SendFileListNow()
{
    const int ncci = m_capi.CurrentNCCI();
    const QLocale locale = QLocale::system();
    for (const QFileInfo &file : ListableFiles(m_capi.SendPath))
        if (!SendFrame(ncci, ListEntry, EncodeAnsi(FileListLine(file, locale))))
            break;
}
