// File transfer between two TCapi20 components through the real libcapi20 and the virtual
// exchange (unthrottled): one in server mode with a send folder, one dialling it. The dialling
// side also acts as a hostile peer that sends crafted frames with SendData.

#include "capi/Capi20.h"
#include "sim/ComponentFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <random>

using namespace CapiError;

namespace {

isdnsim::SimProcess &Exchange()
{
    return comptest::server();
}

QByteArray RandomBytes(qsizetype n, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray bytes(n, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random());
    return bytes;
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList FilesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

struct FileEvent
{
    QString name;
    int64_t size;
    int64_t progress;
    TTransferBlock block;
    bool operator==(const FileEvent &) const = default;
};

std::ostream &operator<<(std::ostream &out, const FileEvent &e)
{
    return out << e.name.toStdString() << "," << e.size << "," << e.progress << "," << int(e.block);
}

// One component with its folders and everything its events reported.
class Peer
{
public:
    explicit Peer(bool server)
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("send"));
        QDir(m_dir.path()).mkpath(QStringLiteral("receive"));
        capi->SetRemoteCapi(QStringLiteral("127.0.0.1:%1").arg(Exchange().port()));
        capi->SendPath = SendDir() + QLatin1Char('/');
        capi->ReceivePath = ReceiveDir() + QLatin1Char('/');
        capi->OnError = [this](TCustomCapi20 *, uint32_t, uint32_t, uint32_t number) {
            std::lock_guard g(lock);
            errors.push_back(number);
        };
        capi->OnTransferError = [this](TCapi20 *, const QString &name, uint32_t number) {
            std::lock_guard g(lock);
            failures.emplace_back(name, number);
        };
        capi->OnSendFile = [this](TCapi20 *, const QString &name, int64_t size, int64_t progress,
                                  TTransferBlock b) {
            std::lock_guard g(lock);
            sent.push_back({name, size, progress, b});
        };
        capi->OnReceiveFile = [this](TCapi20 *, const QString &name, int64_t size, int64_t progress,
                                     TTransferBlock b) {
            {
                std::lock_guard g(lock);
                received.push_back({name, size, progress, b});
            }
            if (AfterReceiveEvent)
                AfterReceiveEvent(b);
        };
        capi->OnReceiveFileList = [this](TCapi20 *, const QString &item) {
            std::lock_guard g(lock);
            items.push_back(item);
        };
        capi->OnReceive = [this](TCapi20 *, int, const char *data, uint32_t count) {
            std::lock_guard g(lock);
            ++blockCount;
            if (KeepBlocks)
                blocks.emplace_back(data, count);
        };
        if (server)
            capi->OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::Accept; };
        capi->Loaded();
    }
    ~Peer() { capi.reset(); }

    QString SendDir() const { return m_dir.path() + QStringLiteral("/send"); }
    QString ReceiveDir() const { return m_dir.path() + QStringLiteral("/receive"); }
    QString Root() const { return m_dir.path(); }

    template<typename T> T Copy(const T &field)
    {
        std::lock_guard g(lock);
        return field;
    }
    size_t CountOf(const std::vector<FileEvent> &events, TTransferBlock block)
    {
        std::lock_guard g(lock);
        return size_t(std::count_if(events.begin(), events.end(),
                                    [&](const FileEvent &e) { return e.block == block; }));
    }

    std::unique_ptr<TCapi20> capi = std::make_unique<TCapi20>();
    std::mutex lock;
    std::vector<FileEvent> sent, received;
    std::vector<QString> items;
    std::vector<std::string> blocks;
    int blockCount = 0;
    std::atomic<bool> KeepBlocks{true};
    std::vector<std::pair<QString, uint32_t>> failures;
    std::vector<uint32_t> errors;
    std::function<void(TTransferBlock)> AfterReceiveEvent;

private:
    QTemporaryDir m_dir;
};

class TransferTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        ASSERT_TRUE(Exchange().start(ISDNSIM_EXE, {"--rate", "0"}, &error, 20000, true)) << error;
    }

    void SetUp() override { Connect(); }
    // The server listens for data calls and the client dials it, up to both B3 links.
    void Connect()
    {
        ASSERT_TRUE(server->capi->Registered());
        ASSERT_TRUE(client->capi->Registered());
        std::atomic<bool> listening{false};
        server->capi->MessageDump = [&](TCustomCapi20 *, uint32_t command, uint32_t sub,
                                        IndicationDatenType &) {
            if (command == Capi::CMD_LISTEN && sub == Capi::SUB_CONF)
                listening = true;
        };
        server->capi->Listen(ServiceBit::Data64K);
        ASSERT_TRUE(WaitUntil([&] { return listening.load(); }));
        server->capi->MessageDump = nullptr;
        ASSERT_TRUE(client->capi->Dial(QStringLiteral("4711"), QString(), 6));
        ASSERT_TRUE(WaitUntil([&] {
            return server->capi->CallState() == 3 && client->capi->CallState() == 3 &&
                   server->capi->CurrentNCCI() != -1 && client->capi->CurrentNCCI() != -1;
        }));
    }
    void TearDown() override
    {
        client->capi->Disconnect();
        WaitUntil([&] { return server->capi->CallState() == 0; }, 10000);
    }

    // The client sends one crafted frame.
    void Frame(uint8_t code, const QByteArray &payload)
    {
        const QByteArray frame = QByteArray(1, char(0xFF)) + char(code) + payload;
        ASSERT_EQ(client->capi->SendData(client->capi->CurrentNCCI(), frame.constData(), int(frame.size())),
                  int(frame.size()));
    }
    // The client sends a whole, well-formed file and waits until the server has stored it.
    void SendWholeFile(const QString &name, const QByteArray &content)
    {
        const size_t ends = server->CountOf(server->received, tbFileEnd);
        Frame(0x01, name.toLatin1());
        Frame(0x02, QByteArray::number(content.size()));
        Frame(0x03, content);
        Frame(0x04, {});
        ASSERT_TRUE(WaitUntil([&] { return server->CountOf(server->received, tbFileEnd) == ends + 1; }));
    }
    // Asks the server for a file and waits for its end (or failure) on the client.
    void Fetch(const QString &name, size_t expectedEnds)
    {
        client->capi->SendCommand(1, name);
        ASSERT_TRUE(WaitUntil([&] { return client->CountOf(client->received, tbFileEnd) == expectedEnds; }))
            << name.toStdString();
    }

    std::unique_ptr<Peer> server = std::make_unique<Peer>(true);
    std::unique_ptr<Peer> client = std::make_unique<Peer>(false);
};

} // namespace

TEST_F(TransferTest, FileListOffersThePlainVisibleFilesOfTheSendFolder)
{
    WriteFile(server->SendDir() + "/Alpha.TXT", "12345");
    WriteFile(server->SendDir() + "/empty.dat", "");
    WriteFile(server->SendDir() + "/.hidden", "h");
    QDir(server->SendDir()).mkdir("sub");
    QFile::link(server->SendDir() + "/Alpha.TXT", server->SendDir() + "/link.txt");
    const QDateTime stamp(QDate(2021, 3, 4), QTime(5, 6, 7));
    {
        QFile alpha(server->SendDir() + "/Alpha.TXT");
        ASSERT_TRUE(alpha.open(QIODevice::ReadWrite));
        ASSERT_TRUE(alpha.setFileTime(stamp, QFileDevice::FileModificationTime));
    }

    client->capi->SendCommand(0, QString());
    // The list has no end frame; the file that follows it marks its end.
    Fetch("empty.dat", 1);
    std::vector<QString> items = client->Copy(client->items);
    std::sort(items.begin(), items.end());
    const QLocale locale = QLocale::system();
    const QString alphaLine = "alpha.txt [" + locale.toString(stamp.date(), QLocale::ShortFormat) + " " +
                              locale.toString(stamp.time(), QLocale::LongFormat) + ", Größe : 5]";
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], alphaLine);
    EXPECT_TRUE(items[1].startsWith("empty.dat [")) << items[1].toStdString();
    EXPECT_TRUE(items[1].endsWith(", Größe : 0]")) << items[1].toStdString();
}

TEST_F(TransferTest, FetchedFilesArriveWithTheirEventsAndFrames)
{
    const QByteArray five = RandomBytes(5000, 1);
    WriteFile(server->SendDir() + "/empty.dat", "");
    WriteFile(server->SendDir() + "/Five.BIN", five);

    Fetch("empty.dat", 1);
    ASSERT_TRUE(WaitUntil([&] { return server->CountOf(server->sent, tbFileEnd) == 1; }));
    const QString emptyPath = server->SendDir() + "/empty.dat";
    EXPECT_EQ(server->Copy(server->sent), (std::vector<FileEvent>{{emptyPath, 0, 0, tbFileName},
                                                                  {emptyPath, 0, 0, tbFileSize},
                                                                  {emptyPath, 0, 0, tbFileEnd}}));
    EXPECT_EQ(client->Copy(client->received), (std::vector<FileEvent>{{"empty.dat", 0, 0, tbFileName},
                                                                      {"empty.dat", 0, 0, tbFileSize},
                                                                      {"empty.dat", 0, 0, tbFileEnd}}));
    EXPECT_EQ(ReadFile(client->ReceiveDir() + "/empty.dat"), QByteArray());

    // Asked for by its listed (lower-case) name; stored under the sender's own name.
    Fetch("five.bin", 2);
    std::vector<size_t> dataFrames;
    for (const std::string &b : client->Copy(client->blocks))
        if (b.size() >= 2 && uint8_t(b[0]) == 0xFF && b[1] == 0x03)
            dataFrames.push_back(b.size() - 2);
    EXPECT_EQ(dataFrames, (std::vector<size_t>{2046, 2046, 908}));
    const auto received = client->Copy(client->received);
    ASSERT_EQ(received.size(), 9u);
    EXPECT_EQ(received[3], (FileEvent{"Five.BIN", 0, 0, tbFileName}));
    EXPECT_EQ(received[4], (FileEvent{"Five.BIN", 5000, 0, tbFileSize}));
    EXPECT_EQ(received[5], (FileEvent{"Five.BIN", 5000, 2046, tbFileData}));
    EXPECT_EQ(received[7], (FileEvent{"Five.BIN", 5000, 5000, tbFileData}));
    EXPECT_EQ(received[8], (FileEvent{"Five.BIN", 5000, 5000, tbFileEnd}));
    EXPECT_EQ(ReadFile(client->ReceiveDir() + "/Five.BIN"), five);
    EXPECT_EQ(FilesIn(client->ReceiveDir()), (QStringList{"Five.BIN", "empty.dat"}));
}

TEST_F(TransferTest, LargeRandomFilesArriveByteIdenticalAndRequestsNeverMix)
{
    client->KeepBlocks = false;
    const QByteArray big = RandomBytes(10 * 1024 * 1024, 2);
    const QByteArray other = RandomBytes(300000, 3);
    WriteFile(server->SendDir() + "/big.bin", big);
    WriteFile(server->SendDir() + "/other.bin", other);
    // The second request arrives while the first file is being sent: it waits its turn.
    client->capi->SendCommand(1, "big.bin");
    client->capi->SendCommand(1, "other.bin");
    ASSERT_TRUE(WaitUntil([&] { return client->CountOf(client->received, tbFileEnd) == 2; }, 240000));
    EXPECT_TRUE(ReadFile(client->ReceiveDir() + "/big.bin") == big);
    EXPECT_TRUE(ReadFile(client->ReceiveDir() + "/other.bin") == other);
    EXPECT_TRUE(client->Copy(client->failures).empty());
    EXPECT_EQ(client->CountOf(client->received, tbFileError), 0u);
}

TEST_F(TransferTest, SendingTheOtherWayWithALongName)
{
    const QByteArray content = RandomBytes(7000, 4);
    const QString path = client->SendDir() + "/a-rather-long-name.txt";
    WriteFile(path, content);
    client->capi->SendFile(path); // returns when every block is confirmed
    const auto sent = client->Copy(client->sent);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), (FileEvent{path, 7000, 7000, tbFileEnd}));
    ASSERT_TRUE(WaitUntil([&] { return server->CountOf(server->received, tbFileEnd) == 1; }));
    EXPECT_EQ(server->Copy(server->received).back(), (FileEvent{"a-rather-lon", 7000, 7000, tbFileEnd}));
    EXPECT_EQ(ReadFile(server->ReceiveDir() + "/a-rather-long-name.txt"), content);
    // A path without a file sends nothing.
    client->capi->SendFile(client->SendDir() + "/none.txt");
    EXPECT_EQ(client->Copy(client->sent).size(), sent.size());
}

// A receiver registered with smaller blocks than the sender's: the network refuses every data
// block. The sender reports the file as failed, and the receiver, short of the announced size,
// keeps nothing.
TEST_F(TransferTest, RefusedBlocksFailTheFileOnBothSides)
{
    client->capi->Disconnect();
    ASSERT_TRUE(WaitUntil([&] { return server->capi->CallState() == 0; }));
    server->capi->SetBDataBlockSize(512);
    ASSERT_NO_FATAL_FAILURE(Connect());
    const QString path = client->SendDir() + "/photo.jpg";
    WriteFile(path, RandomBytes(7000, 6));
    client->capi->SendFile(path);
    EXPECT_EQ(client->Copy(client->sent).back().block, tbFileError);
    EXPECT_EQ(client->CountOf(client->sent, tbFileEnd), 0u);
    EXPECT_EQ(client->Copy(client->failures).back(), std::make_pair(path, ERR_TRANSFER_NOT_SENT));
    ASSERT_TRUE(WaitUntil([&] { return server->CountOf(server->received, tbFileError) == 1; }));
    EXPECT_EQ(server->CountOf(server->received, tbFileEnd), 0u);
    EXPECT_EQ(server->Copy(server->failures),
              (std::vector<std::pair<QString, uint32_t>>{{"photo.jpg", ERR_TRANSFER_INCOMPLETE}}));
    EXPECT_TRUE(FilesIn(server->ReceiveDir()).isEmpty());
}

TEST_F(TransferTest, BlocksThatAreNoFramesOnlyReachOnReceive)
{
    const int ncci = client->capi->CurrentNCCI();
    EXPECT_EQ(client->capi->SendData(ncci, "hello", 5), 5);
    EXPECT_EQ(client->capi->SendData(ncci, "\xFF\x55x", 3), 3);
    EXPECT_EQ(client->capi->SendData(ncci, "\xFF", 1), 1);
    EXPECT_EQ(client->capi->SendData(ncci, "done", 4), 4);
    ASSERT_TRUE(WaitUntil([&] { return server->Copy(server->blockCount) == 4; }));
    EXPECT_EQ(server->Copy(server->blocks), (std::vector<std::string>{"hello", "\xFF\x55x", "\xFF", "done"}));
    EXPECT_TRUE(server->Copy(server->received).empty());
    EXPECT_TRUE(server->Copy(server->sent).empty());
    EXPECT_TRUE(server->Copy(server->errors).empty());
    EXPECT_TRUE(FilesIn(server->ReceiveDir()).isEmpty());
}

TEST_F(TransferTest, LinkCutMidTransferFailsTheSendAndKeepsNoHalfFile)
{
    client->KeepBlocks = false;
    WriteFile(server->SendDir() + "/big.bin", RandomBytes(4 * 1024 * 1024, 5));
    WriteFile(client->ReceiveDir() + "/big.bin", "old");
    // The client hangs up as soon as the first data block is in.
    std::atomic<bool> cut{false};
    client->AfterReceiveEvent = [&](TTransferBlock b) {
        if (b == tbFileData && !cut.exchange(true))
            client->capi->Disconnect();
    };
    client->capi->SendCommand(1, "big.bin");
    ASSERT_TRUE(WaitUntil([&] { return server->CountOf(server->sent, tbFileError) == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return client->CountOf(client->received, tbFileError) == 1; }));
    const auto sent = server->Copy(server->sent);
    EXPECT_EQ(sent.back().block, tbFileError);
    EXPECT_LT(sent.back().progress, 4 * 1024 * 1024);
    EXPECT_EQ(server->CountOf(server->sent, tbFileEnd), 0u);
    EXPECT_EQ(client->CountOf(client->received, tbFileEnd), 0u);
    EXPECT_EQ(client->Copy(client->failures).back(),
              std::make_pair(QString("big.bin"), ERR_TRANSFER_LINK_LOST));
    EXPECT_EQ(ReadFile(client->ReceiveDir() + "/big.bin"), QByteArray("old"));
    EXPECT_EQ(FilesIn(client->ReceiveDir()), QStringList{"big.bin"});
}

// Received files stay inside the receive folder, and none can pass for a file the program (or
// the shell, or the desktop) reads, loads or runs.
TEST_F(TransferTest, ReceivedNamesStayInsideTheReceiveFolder)
{
    SendWholeFile("../escape.txt", "abc");
    SendWholeFile("C:\\windows\\drive.txt", "d");
    SendWholeFile("/tmp/absolute.txt", "e");
    SendWholeFile("C:D:twice.txt", "t");
    const std::vector<const char *> refused = {
        "..",
        ".",
        "",
        "folder/",
        ".bashrc",
        "sub/.capi20rc",
        "libcapi20.so.3",
        "libx.so",
        "ANRUF.DAT",
        "anruf2.dat",
        "Zahlwerk.ini",
        "dinfo32.exe",
        "dinfowin.exe",
        "dinfo.prz",
        "rufwart",
        "x.desktop",
    };
    for (const char *name : refused) {
        Frame(0x01, name);
        Frame(0x02, "1");
        Frame(0x03, "x");
        Frame(0x04, {});
    }
    SendWholeFile("last.txt", "z");
    EXPECT_EQ(FilesIn(server->ReceiveDir()),
              (QStringList{"absolute.txt", "drive.txt", "escape.txt", "last.txt", "twice.txt"}));
    EXPECT_EQ(ReadFile(server->ReceiveDir() + "/escape.txt"), QByteArray("abc"));
    EXPECT_FALSE(QFile::exists(server->Root() + "/escape.txt"));
    std::vector<std::pair<QString, uint32_t>> expected;
    for (const char *name : refused)
        expected.emplace_back(QString::fromLatin1(name), ERR_TRANSFER_NAME_REFUSED);
    EXPECT_EQ(server->Copy(server->failures), expected);
    EXPECT_EQ(server->Copy(server->errors), std::vector<uint32_t>(refused.size(), ERR_TRANSFER_NAME_REFUSED));
}

TEST_F(TransferTest, FileRequestsOutsideTheSendFolderAreRefused)
{
    WriteFile(server->Root() + "/secret.txt", "secret");
    QDir(server->SendDir()).mkdir("sub");
    WriteFile(server->SendDir() + "/sub/inner.txt", "inner");
    WriteFile(server->SendDir() + "/.hidden", "hidden");
    QFile::link(server->Root() + "/secret.txt", server->SendDir() + "/link.txt");
    WriteFile(server->SendDir() + "/ok.txt", "fine");
    const QStringList refused = {"../secret.txt",  "sub/inner.txt", "sub", server->Root() + "/secret.txt",
                                 ".hidden",        "link.txt",      "..",  "",
                                 "sub\\inner.txt", "missing.txt"};
    for (const QString &name : refused)
        client->capi->SendCommand(1, name);
    Fetch("OK.TXT", 1);
    const auto failures = server->Copy(server->failures);
    ASSERT_EQ(failures.size(), size_t(refused.size()));
    for (int i = 0; i < refused.size(); ++i)
        EXPECT_EQ(failures[size_t(i)], std::make_pair(refused[i], ERR_TRANSFER_REQUEST_REFUSED));
    // The client learns of each refusal (a bare end frame answers it), so it need not wait.
    EXPECT_EQ(client->Copy(client->failures), failures);
    EXPECT_EQ(FilesIn(client->ReceiveDir()), QStringList{"ok.txt"});
    EXPECT_EQ(server->CountOf(server->sent, tbFileName), 1u);
}

// A file being received is out of sight until it is whole, and then it never replaces a file
// that is there: it takes the next free name "name (n).ext".
TEST_F(TransferTest, ExistingFilesAreNeverOverwritten)
{
    WriteFile(server->ReceiveDir() + "/keep.txt", "old");
    Frame(0x01, "keep.txt");
    Frame(0x02, "8");
    Frame(0x03, "new data");
    ASSERT_TRUE(WaitUntil([&] { return server->CountOf(server->received, tbFileData) == 1; }));
    EXPECT_EQ(QDir(server->ReceiveDir()).entryList(QDir::Files), QStringList{"keep.txt"});
    EXPECT_EQ(ReadFile(server->ReceiveDir() + "/keep.txt"), QByteArray("old"));
    // The next file begins before this one ended: the part received is dropped.
    SendWholeFile("other.txt", "other");
    EXPECT_EQ(server->CountOf(server->received, tbFileError), 1u);
    EXPECT_EQ(server->Copy(server->failures),
              (std::vector<std::pair<QString, uint32_t>>{{"keep.txt", ERR_TRANSFER_INCOMPLETE}}));
    EXPECT_EQ(FilesIn(server->ReceiveDir()), (QStringList{"keep.txt", "other.txt"}));
    SendWholeFile("keep.txt", "new data");
    EXPECT_EQ(server->Copy(server->received).back(), (FileEvent{"keep (1).txt", 8, 8, tbFileEnd}));
    SendWholeFile("keep.txt", "newer");
    SendWholeFile("README", "r");
    SendWholeFile("README", "r2");
    EXPECT_EQ(ReadFile(server->ReceiveDir() + "/keep.txt"), QByteArray("old"));
    EXPECT_EQ(ReadFile(server->ReceiveDir() + "/keep (1).txt"), QByteArray("new data"));
    EXPECT_EQ(ReadFile(server->ReceiveDir() + "/keep (2).txt"), QByteArray("newer"));
    EXPECT_EQ(ReadFile(server->ReceiveDir() + "/README (1)"), QByteArray("r2"));
    EXPECT_EQ(FilesIn(server->ReceiveDir()),
              (QStringList{"README", "README (1)", "keep (1).txt", "keep (2).txt", "keep.txt", "other.txt"}));
}

// A file beyond the receive cap or the free space is refused at its size frame; one that
// announces no size at the cap as its data passes it.
TEST_F(TransferTest, FilesBeyondTheCapOrTheFreeSpaceAreRefused)
{
    server->capi->MaxReceiveSize = 1000;
    Frame(0x01, "big.bin");
    Frame(0x02, "1001");
    Frame(0x03, QByteArray(500, 'b'));
    Frame(0x04, {});
    Frame(0x01, "unsized.bin");
    Frame(0x03, QByteArray(600, 'u'));
    Frame(0x03, QByteArray(600, 'u'));
    Frame(0x04, {});
    SendWholeFile("fits.bin", QByteArray(1000, 'f'));
    server->capi->MaxReceiveSize = 0; // no cap: the free space still limits
    Frame(0x01, "huge.bin");
    Frame(0x02, "999999999999999999");
    Frame(0x04, {});
    ASSERT_TRUE(WaitUntil([&] { return server->Copy(server->failures).size() == 3; }));
    EXPECT_EQ(server->Copy(server->failures), (std::vector<std::pair<QString, uint32_t>>{
                                                  {"big.bin", ERR_TRANSFER_TOO_LARGE},
                                                  {"unsized.bin", ERR_TRANSFER_TOO_LARGE},
                                                  {"huge.bin", ERR_TRANSFER_NO_SPACE},
                                              }));
    EXPECT_EQ(FilesIn(server->ReceiveDir()), QStringList{"fits.bin"});
}

TEST_F(TransferTest, BadFramesAndWriteFailuresAreReportedAndTransfersGoOn)
{
    Frame(0x01, "bad.txt");
    Frame(0x02, "12x");
    Frame(0x03, "abc");
    Frame(0x04, {});
    for (int i = 0; i < 3; ++i)
        Frame(0x03, "stray data");
    Frame(0x02, "5");
    Frame(0x04, {});
    // Fewer or more bytes than announced, or no size at all: not the whole file.
    Frame(0x01, "short.txt");
    Frame(0x02, "8");
    Frame(0x03, "new");
    Frame(0x04, {});
    Frame(0x01, "long.txt");
    Frame(0x02, "2");
    Frame(0x03, "abc");
    Frame(0x04, {});
    Frame(0x01, "unsized.txt");
    Frame(0x03, "abc");
    Frame(0x04, {});
    // The receive folder vanishes before the end frame: the file cannot be stored.
    Frame(0x01, "gone.txt");
    Frame(0x02, "3");
    Frame(0x03, "abc");
    ASSERT_TRUE(WaitUntil([&] { return server->CountOf(server->received, tbFileData) == 3; }));
    ASSERT_TRUE(QDir(server->ReceiveDir()).removeRecursively());
    Frame(0x04, {});
    ASSERT_TRUE(WaitUntil([&] { return server->CountOf(server->received, tbFileError) == 5; }));
    // A receive folder that is missing when a file begins.
    Frame(0x01, "nowhere.txt");
    Frame(0x03, "abc");
    Frame(0x04, {});
    ASSERT_TRUE(WaitUntil([&] { return server->Copy(server->failures).size() == 7; }));
    ASSERT_TRUE(QDir(server->Root()).mkdir("receive"));
    SendWholeFile("fine.txt", "fine");

    EXPECT_EQ(server->Copy(server->failures), (std::vector<std::pair<QString, uint32_t>>{
                                                  {"bad.txt", ERR_TRANSFER_BAD_SIZE},
                                                  {"", ERR_TRANSFER_NO_FILE},
                                                  {"short.txt", ERR_TRANSFER_INCOMPLETE},
                                                  {"long.txt", ERR_TRANSFER_BAD_SIZE},
                                                  {"unsized.txt", ERR_TRANSFER_INCOMPLETE},
                                                  {"gone.txt", ERR_TRANSFER_WRITE},
                                                  {"nowhere.txt", ERR_TRANSFER_WRITE},
                                              }));
    EXPECT_EQ(server->Copy(server->received).back(), (FileEvent{"fine.txt", 4, 4, tbFileEnd}));
    EXPECT_EQ(FilesIn(server->ReceiveDir()), QStringList{"fine.txt"});
    EXPECT_TRUE(server->capi->Registered());
}
