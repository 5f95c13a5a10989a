#pragma once

// The file-transfer protocol between two copies of the program over one B3 link: every frame is
// one data block, 0xFF, a code byte, then the payload (text payloads are plain 8-bit characters
// in the ANSI set, delimited by the block's length).

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace Transfer {

constexpr uint8_t FrameMark = 0xFF;
enum Code : uint8_t
{
    FileName = 0x01,
    FileSize = 0x02,
    FileData = 0x03,
    FileEnd = 0x04,
    FileRequest = 0x14,
    ListRequest = 0x1E,
    ListEntry = 0x1F,
};

// Received blocks are handled in a work buffer of this size (longer ones are cut); files are
// read into a staging block of this size.
constexpr int WorkBytes = 2048;
constexpr int StagingBytes = 8196;
// Receivers report at most this many characters of a file name.
constexpr int ReportedNameLength = 12;
// Requests from the other side that may wait while a transfer runs.
constexpr int MaxQueuedRequests = 16;
// File requests of this side that are remembered until they are answered.
constexpr int MaxOpenRequests = 64;
// Entries of the other side's file list that are reported for one request of this side; what
// comes beyond them is left out.
constexpr int MaxListEntries = 4096;

QByteArray Frame(uint8_t code, const QByteArray &payload);
// A text payload: up to its first zero byte.
QByteArray TextPayload(const uint8_t *payload, int length);

// The name under which a received file is stored inside the receive folder: the plain name part
// of what the sender gave (no folders, no drive). Empty when nothing usable is left ("", ".",
// "..").
QString SafeReceiveName(const QString &received);
// True for a name without any folder or drive part that is neither "." nor "..".
bool IsPlainName(const QString &name);
// True for a plain name a received file may take: not hidden (".bashrc", ".capi20rc"), no shared
// library ("libcapi20.so.3"), no desktop entry (what an autostart folder runs), and none of the
// files the program itself reads or runs (its data and settings files, the directory program).
// Compared without regard to case.
bool IsReceivableName(const QString &name);
// The name `name` takes when the n-th file of that name is received: "name (n).ext".
QString NumberedName(const QString &name, int n);
// The hidden file a received file is written to until it is whole, beside `target` (so that no
// file list offers it); null when it cannot be created.
std::unique_ptr<QFile> CreatePartFile(const QString &target);
// Syncs the part file and gives it the name of `target`, or when that is taken the first free
// NumberedName, never replacing a file; returns the path it took. Empty when it cannot be
// stored (the part file is removed then).
QString StorePartFile(QFile &part, const QString &target);
// Closes and removes a part file.
void DiscardPartFile(QFile &part);
// A size payload: decimal digits only, and within range.
std::optional<int64_t> ParseSize(const QByteArray &payload);

// The plain, visible files directly in `folder` (no symbolic links), in the file system's order.
QFileInfoList ListableFiles(const QString &folder);
// The file a request names: a listable file of `folder` whose name is `requested`, or failing
// that whose name in lower case is `requested` in lower case (the list shows lower-case names).
// Empty when there is none or the request is not a plain name.
QString ResolveRequest(const QString &folder, const QString &requested);
// One entry of the file list: "name [date time, Größe : size]" with the name in lower case, the
// date in the locale's short and the time in its long format.
QString FileListLine(const QFileInfo &file, const QLocale &locale = QLocale::system());

} // namespace Transfer

class TCapi20;
enum TTransferBlock : uint8_t;

// The file-transfer protocol of one CAPI component (TCapi20), which owns it and drives it: the
// component hands it every data block received on a B3 link and tells it when a link goes down;
// it sends its frames through the component's data path and reports through the component's
// events (OnSendFile, OnReceiveFile, OnReceiveFileList, OnTransferError). It receives into the
// component's ReceivePath and offers the files of its SendPath.
class FileTransfer
{
public:
    explicit FileTransfer(TCapi20 &capi);
    ~FileTransfer();
    FileTransfer(const FileTransfer &) = delete;
    FileTransfer &operator=(const FileTransfer &) = delete;

    // A data block received on NCCI (at most WorkBytes long): a frame is handled, anything
    // else ignored.
    void HandleBlock(int NCCI, const uint8_t *Data, int Count);
    // The B3 link NCCI went down: the file being received on it is dropped, and the requests of
    // this side are no longer waited for.
    void LinkDown(int NCCI);
    // A data block received on NCCI was lost: the file being received on it fails, and its
    // frames up to its end are ignored.
    void BlockLost(int NCCI);
    // See TCapi20::SendFile, SendFileList and SendCommand.
    void SendFile(const QString &Path);
    void SendFileList();
    void SendCommand(uint8_t Kind, const QString &Text);

private:
    enum class Receive
    {
        Idle,      // no file announced
        Receiving, // name frame seen, temporary file open
        Skipping,  // the current file failed or was refused: its frames are ignored up to its end
    };

    void HandleFrame(int NCCI, uint8_t Code, const uint8_t *Payload, int Length);
    void ReceiveName(int NCCI, const QByteArray &Payload);
    void ReceiveSize(const QByteArray &Payload);
    void ReceiveFileData(const uint8_t *Payload, int Length);
    // Runs `Step` on the file being received (under the receive lock) and reports the result.
    void ReceiveStep(const std::function<uint32_t()> &Step, TTransferBlock Block);
    void ReceiveEnd();
    void ServeFileRequest(const QByteArray &Payload);
    // Whether a list entry of the other side is still reported (at most MaxListEntries for each
    // list request of this side).
    bool TakeListEntry();
    // Ends the file being received without keeping it (a failure, or its link went down).
    void AbandonReceive(uint32_t ErrorNumber, bool OnlyForNcci = false, int NCCI = -1);
    void RunTransfer(const std::function<void()> &Job, const QString &What);
    void SendFileNow(const QString &Path);
    void SendFileListNow();
    bool SendFrame(int NCCI, uint8_t Code, const QByteArray &Payload);
    void TransferFailed(uint32_t ErrorNumber, uint8_t SubCommand, const QString &Filename);
    void FireSendFile(const QString &Filename, int64_t Size, int64_t Progress, TTransferBlock Block);
    void FireReceiveFile(const QString &Filename, int64_t Size, int64_t Progress, TTransferBlock Block);

    TCapi20 &m_capi;

    std::mutex m_receiveLock; // the receive fields below
    Receive m_receive = Receive::Idle;
    int m_receiveNcci = -1;
    QString m_receiveName;      // as reported (at most 12 characters)
    int64_t m_receiveSize = -1; // -1 until its size frame came
    int64_t m_receiveDone = 0;
    // Written under a hidden name beside its final one until it is whole.
    std::unique_ptr<QFile> m_receiveFile;
    QString m_receiveTarget; // the name it is to be stored under
    // Files this side asked for and the other side has not yet begun or refused, oldest first.
    std::deque<QString> m_requested;
    // List entries received since this side last asked for the list (counted up to one beyond
    // the cap).
    int m_listEntries = 0;

    // One transfer at a time: the fields below serialise the sends.
    std::mutex m_sendLock;
    bool m_sending = false;
    std::thread::id m_sender; // the thread running the sends while `m_sending`
    std::deque<std::function<void()>> m_queued;
};
