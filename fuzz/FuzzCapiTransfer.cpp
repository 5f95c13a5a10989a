// The file-transfer protocol as the other side of a data call may speak it: any blocks on an
// established B3 link, mixed with this side's requests, sends, and the link going down and up
// again. Received files land in the receive folder only, under a name they may take and only
// whole; nothing half-received is left behind once the component lets go; the send folder is
// never touched. The name rules themselves are checked on the input's text.
//
// Input: one byte of set-up (bit 0: a receive cap of 300 bytes), then records. A record with a
// first byte under 0xF0 is one received block of that many bytes; 0xF0 and above is a step of
// this side with one argument byte (at most kMaxSteps of them).

#include "CapiHarness.h"

#include "capi/Transfer.h"
#include "common/Utils.h"

#include <QDir>
#include <QMap>

using namespace CapiFuzz;

namespace {

constexpr int kMaxSteps = 8;
constexpr uint32_t kPlci = 0x101;
constexpr uint32_t kNcci = 0x10101;

QString g_base;

void removeBase()
{
    QDir(g_base).removeRecursively();
}

Bytes Dword(uint32_t v)
{
    Bytes b;
    PutDword(b, v);
    return b;
}

// The network's side of a B3 link coming up, as CONNECT_B3_IND and CONNECT_B3_ACTIVE_IND.
void LinkUp(FuzzCapiLibrary &library, uint16_t &number)
{
    library.Deliver(Message(Capi::CMD_CONNECT_B3, Capi::SUB_IND, number++, {0x01, 0x01, 0x01, 0x00, 0x00}));
    library.Deliver(
        Message(Capi::CMD_CONNECT_B3_ACTIVE, Capi::SUB_IND, number++, {0x01, 0x01, 0x01, 0x00, 0x00}));
}

// Name and size of every file directly in `folder`, hidden ones included.
QMap<QString, qint64> Files(const QString &folder)
{
    QMap<QString, qint64> files;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &f : entries)
        files.insert(f.fileName(), f.size());
    return files;
}

void CheckNames(const QString &text)
{
    const QString name = Transfer::SafeReceiveName(text);
    FUZZ_CHECK(name.isEmpty() || Transfer::IsPlainName(name));
    FUZZ_CHECK(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')));
    if (Transfer::IsReceivableName(name)) {
        FUZZ_CHECK(!name.startsWith(QLatin1Char('.')));
        const QString numbered = Transfer::NumberedName(name, 2);
        FUZZ_CHECK(Transfer::IsPlainName(numbered) && numbered != name);
    }
    if (const auto size = Transfer::ParseSize(text.toLatin1()))
        FUZZ_CHECK(*size >= 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    const QString root =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QByteArray pattern = (root + QStringLiteral("/rufwart-fuzz-transfer-XXXXXX")).toLocal8Bit();
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    g_base = QString::fromLocal8Bit(pattern);
    std::atexit(removeBase);
    QDir base(g_base);
    FUZZ_CHECK(base.mkdir(QStringLiteral("receive")) && base.mkdir(QStringLiteral("send")));
    // The send folder: a short file, one of several blocks, an empty one.
    const QList<QPair<QString, QByteArray>> files = {{QStringLiteral("Liste.txt"), QByteArray(100, 'l')},
                                                     {QString::fromUtf8("Groß.bin"), QByteArray(5000, 'g')},
                                                     {QStringLiteral("leer"), QByteArray()}};
    for (const auto &[name, bytes] : files) {
        QFile f(base.filePath(QStringLiteral("send/") + name));
        FUZZ_CHECK(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    CheckNames(DecodeAnsi(FuzzSupport::View(data, size)));

    const QString receive = g_base + QStringLiteral("/receive");
    const QString send = g_base + QStringLiteral("/send");
    for (const QString &name : QDir(receive).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(receive + QLatin1Char('/') + name);
    const QMap<QString, qint64> sendFiles = Files(send);

    CapiHarness h(Dispatch::OnFuzzingThread);
    TCapi20 &capi = *h.Capi;
    capi.ReceivePath = receive;
    capi.SendPath = send;
    capi.MaxReceiveSize = (data[0] & 1) ? 300 : 0;
    capi.OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::Accept; };
    capi.OnRequestBConnect = [](TCapi20 *) { return true; };
    // What the component says it stored, by the name it reports (at most 12 characters).
    QMultiMap<QString, int64_t> stored;
    capi.OnReceiveFile = [&](TCapi20 *, const QString &name, int64_t fileSize, int64_t done,
                             TTransferBlock block) {
        FUZZ_CHECK(name.size() <= Transfer::ReportedNameLength && done >= 0 && fileSize >= 0);
        if (block == tbFileEnd) {
            FUZZ_CHECK(done == fileSize);
            stored.insert(name, fileSize);
        }
    };
    capi.OnReceiveFileList = [](TCapi20 *, const QString &) {};
    FUZZ_CHECK(h.Start());

    // A data call from the other side, accepted, and its B3 link.
    uint16_t number = 1;
    Bytes ring = Dword(kPlci);
    PutWord(ring, 2); // unrestricted digital information
    ring.insert(ring.end(), 9, 0);
    h.Library->Deliver(Message(Capi::CMD_CONNECT, Capi::SUB_IND, number++, ring));
    h.Library->Deliver(Message(Capi::CMD_CONNECT_ACTIVE, Capi::SUB_IND, number++, Dword(kPlci)));
    LinkUp(*h.Library, number);
    h.WaitIdle();
    FUZZ_CHECK(capi.CurrentNCCI() == int(kNcci));

    size_t pos = 1;
    int steps = 0;
    uint16_t handle = 0;
    while (pos < size) {
        const uint8_t tag = data[pos++];
        if (tag < 0xF0) {
            const size_t length = std::min<size_t>(tag, size - pos);
            const Bytes block(data + pos, data + pos + length);
            pos += length;
            Bytes p = Dword(kNcci);
            PutDword(p, 0);
            PutWord(p, uint16_t(length));
            PutWord(p, handle++);
            PutWord(p, 0);
            p.resize(22); // the 30-byte form: the library points Data64 at the block
            h.Library->Deliver(Message(Capi::CMD_DATA_B3, Capi::SUB_IND, number++, p), block);
            continue;
        }
        const uint8_t arg = pos < size ? data[pos++] : 0;
        if (++steps > kMaxSteps)
            continue;
        h.WaitIdle();
        const QStringList names = sendFiles.keys();
        switch (tag) {
        case 0xF0:
            capi.SendCommand(0, QString());
            break;
        case 0xF1:
            capi.SendCommand(1, arg < names.size() ? names[arg] : QStringLiteral("fehlt%1").arg(arg));
            break;
        case 0xF2:
            capi.SendFile(send + QLatin1Char('/') + names[arg % names.size()]);
            break;
        case 0xF3:
            capi.SendFileList();
            break;
        case 0xF4: { // the other side ends the link
            Bytes p = Dword(kNcci);
            PutWord(p, 0);
            p.push_back(0);
            h.Library->Deliver(Message(Capi::CMD_DISCONNECT_B3, Capi::SUB_IND, number++, p));
            break;
        }
        case 0xF5:
            LinkUp(*h.Library, number);
            break;
        case 0xF6:
            capi.DisconnectB3(capi.CurrentNCCI());
            break;
        default:
            break;
        }
    }
    h.WaitIdle();
    capi.ReleaseApplication();

    // Only whole files with names they may take, each one reported; no part file left; nothing
    // outside the receive folder, and the send folder as it was.
    const QMap<QString, qint64> received = Files(receive);
    for (auto it = received.cbegin(); it != received.cend(); ++it) {
        FUZZ_CHECK(Transfer::IsReceivableName(it.key()));
        const QString reported = it.key().left(Transfer::ReportedNameLength);
        FUZZ_CHECK(stored.values(reported).contains(it.value()));
    }
    FUZZ_CHECK(Files(send) == sendFiles);
    FUZZ_CHECK(QDir(g_base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) ==
               QStringList({QStringLiteral("receive"), QStringLiteral("send")}));
    return 0;
}
