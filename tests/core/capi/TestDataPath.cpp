// The B3 data path of TCapi20 against the fake libcapi20: the window of two unconfirmed blocks,
// the transmit ring's flow control, the receive ring and the command frames.

#include "FakeCapi.h"
#include "capi/Capi20.h"
#include "capi/Transfer.h"
#include "common/Clock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <limits>
#include <memory>

namespace {

constexpr uint32_t kPlci = 0x0101;
constexpr uint32_t kNcci = 0x00010101;

class DataPathTest : public ::testing::Test
{
protected:
    FakeCapi fake;
    std::unique_ptr<TCapi20> capi = std::make_unique<TCapi20>();

    void SetUp() override
    {
        capi->SetLibraryName(QString(FAKE_CAPI_PATH));
        capi->OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::Accept; };
    }
    void Start(int buffers)
    {
        capi->SetBuffers(buffers);
        capi->Loaded();
        ASSERT_TRUE(capi->Registered());
        Deliver(Message(0x02, 0x82, 0x4001, Cat({Le32(kPlci), {16, 0}, {0}, {0}, {0, 0, 0, 0, 0, 0}})));
        Deliver(Message(0x03, 0x82, 0x4002, Le32(kPlci)));
        Deliver(Message(0x82, 0x82, 0x4003, Cat({Le32(kNcci), {0x00}})));
        Deliver(Message(0x83, 0x82, 0x4004, Cat({Le32(kNcci), {0x00}})));
        ASSERT_EQ(capi->CurrentNCCI(), int(kNcci));
    }
    void Deliver(const Bytes &message) { ASSERT_TRUE(DeliverTo(fake, *capi, message)); }
    void Confirm(uint16_t handle, uint16_t info = 0)
    {
        Deliver(Message(0x86, 0x81, 0,
                        Cat({Le32(kNcci), {uint8_t(handle), 0, uint8_t(info), uint8_t(info >> 8)}})));
    }
    // The DATA_B3_REQs put so far: handle and payload.
    std::vector<std::pair<uint16_t, Bytes>> DataRequests() const
    {
        std::vector<std::pair<uint16_t, Bytes>> out;
        for (const Bytes &m : fake.PutsOf(0x86, 0x80)) {
            const uint16_t length = Capi::ReadWord(m.data(), m.size(), 16);
            const uint16_t handle = Capi::ReadWord(m.data(), m.size(), 18);
            const size_t header = Capi::ReadWord(m.data(), m.size(), 0);
            out.emplace_back(handle, Bytes(m.begin() + long(header), m.begin() + long(header + length)));
        }
        return out;
    }
};

Bytes Filled(size_t n, uint8_t value)
{
    return Bytes(n, value);
}

} // namespace

TEST_F(DataPathTest, AtMostTwoBlocksUnconfirmedAndSendDataWaitsForAFreeEntry)
{
    Start(2);
    const Bytes a = Filled(2048, 'a'), b = Filled(2048, 'b'), c = Filled(100, 'c');
    EXPECT_EQ(capi->SendData(int(kNcci), a.data(), int(a.size())), 2048);
    EXPECT_EQ(capi->SendData(int(kNcci), b.data(), int(b.size())), 2048);
    ASSERT_EQ(DataRequests().size(), 2u);
    EXPECT_EQ(capi->Channel(1).Outstanding, 2);
    EXPECT_EQ(capi->Channel(1).QueuedBytes, 4096);

    // Both entries are taken and none is confirmed: the third block waits.
    std::atomic<bool> returned{false};
    auto third = std::async(std::launch::async, [&] {
        const int n = capi->SendData(int(kNcci), c.data(), int(c.size()));
        returned = true;
        return n;
    });
    QThread::msleep(100);
    EXPECT_FALSE(returned);
    EXPECT_EQ(DataRequests().size(), 2u);

    std::atomic<int> sent{0};
    capi->OnSend = [&](TCapi20 *, int ncci) {
        if (ncci == int(kNcci))
            ++sent;
    };
    Confirm(1);
    ASSERT_TRUE(WaitUntil([&] { return returned.load(); }));
    EXPECT_EQ(third.get(), 100);
    EXPECT_EQ(sent, 1);
    ASSERT_TRUE(WaitUntil([&] { return DataRequests().size() == 3; }));
    const auto requests = DataRequests();
    EXPECT_EQ(requests[0], std::make_pair(uint16_t(1), a));
    EXPECT_EQ(requests[1], std::make_pair(uint16_t(2), b));
    EXPECT_EQ(requests[2], std::make_pair(uint16_t(1), c));
    Confirm(2);
    Confirm(1);
    EXPECT_EQ(capi->Channel(1).Outstanding, 0);
    EXPECT_EQ(capi->Channel(1).QueuedBytes, 0);
}

TEST_F(DataPathTest, FourBuffersQueueTwoBeyondTheWindowAndAnErrorConfirmationStillFrees)
{
    Start(4);
    std::vector<uint32_t> errors;
    std::mutex lock;
    capi->OnError = [&](TCustomCapi20 *, uint32_t, uint32_t, uint32_t n) {
        std::lock_guard g(lock);
        errors.push_back(n);
    };
    // One call longer than a buffer is split into blocks of BufferSize.
    const Bytes big = Filled(4 * 2048, 'x');
    EXPECT_EQ(capi->SendData(int(kNcci), big.data(), int(big.size())), int(big.size()));
    EXPECT_EQ(DataRequests().size(), 2u);
    EXPECT_EQ(capi->Channel(1).QueuedBytes, 4 * 2048);
    Confirm(1, 0x300C); // refused: reported, freed, not sent again
    ASSERT_TRUE(WaitUntil([&] { return DataRequests().size() == 3; }));
    EXPECT_EQ(DataRequests()[2].first, 3);
    {
        std::lock_guard g(lock);
        EXPECT_EQ(errors, std::vector<uint32_t>{0x300C});
    }
    // A confirmation for an entry that is not out changes nothing.
    Confirm(4);
    EXPECT_EQ(capi->Channel(1).Outstanding, 2);
    Confirm(2);
    Confirm(3);
    Confirm(4);
    EXPECT_EQ(DataRequests().size(), 4u);
    EXPECT_EQ(capi->Channel(1).QueuedBytes, 0);
}

// A send handler that throws is reported; the next block still goes out.
TEST_F(DataPathTest, ThrowingSendHandlerDoesNotHoldBackTheNextBlock)
{
    Start(4);
    auto failures = std::make_shared<std::atomic<int>>(0);
    capi->OnError = [failures](TCustomCapi20 *, uint32_t, uint32_t, uint32_t n) {
        if (n == CapiError::ERR_HANDLER_FAILED)
            ++*failures;
    };
    capi->OnSend = [](TCapi20 *, int) { throw std::runtime_error("send"); };
    const Bytes a = Filled(3 * 2048, 'a');
    EXPECT_EQ(capi->SendData(int(kNcci), a.data(), int(a.size())), int(a.size()));
    ASSERT_EQ(DataRequests().size(), 2u);
    Confirm(1);
    EXPECT_TRUE(WaitUntil([&] { return DataRequests().size() == 3; }));
    EXPECT_EQ(failures->load(), 1);
}

// The registered block size bounds every block both ways, also when it was lowered after the
// buffer size was set: bigger blocks are refused by the network, and a received block lies in a
// library buffer of the registered size.
TEST_F(DataPathTest, BlocksNeverExceedTheRegisteredBlockSize)
{
    capi->SetBDataBlockSize(512);
    Start(2);
    EXPECT_EQ(capi->Channel(1).BufferSize, 512);
    const Bytes a = Filled(1000, 'a');
    EXPECT_EQ(capi->SendData(int(kNcci), a.data(), int(a.size())), 1000);
    const auto requests = DataRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].second.size(), 512u);
    EXPECT_EQ(requests[1].second.size(), 488u);

    auto received = std::make_shared<std::atomic<uint32_t>>(0);
    capi->OnReceive = [received](TCapi20 *, int, const char *, uint32_t n) { *received = n; };
    fake.PushDataB3Ind(kNcci, 9, Filled(2048, 'b'), 0x4100); // a peer beyond the limit
    ASSERT_TRUE(WaitUntil([&] { return received->load() != 0; }));
    EXPECT_EQ(received->load(), 512u);
}

// The library copies a block behind its 30-byte request into the 2176-byte message buffer and
// reads at most 2173 bytes of both: a larger block size must not make it write past the buffer.
TEST_F(DataPathTest, BlocksFitTheMessageBufferWhateverTheBlockSize)
{
    capi->SetBDataBlockSize(4096);
    capi->SetBufferSize(4096);
    Start(2);
    const int size = capi->Channel(1).BufferSize;
    EXPECT_EQ(size_t(size), Capi::MaxDataB3Payload);
    const Bytes a = Filled(4096, 'a');
    EXPECT_EQ(capi->SendData(int(kNcci), a.data(), int(a.size())), 4096);
    const auto requests = DataRequests();
    ASSERT_EQ(requests.size(), 2u);
    for (const Bytes &m : fake.PutsOf(0x86, 0x80))
        EXPECT_LE(Capi::ReadWord(m.data(), m.size(), 0) + Capi::ReadWord(m.data(), m.size(), 16), 2173);
    EXPECT_EQ(requests[0].second.size() + requests[1].second.size(), 4096u);
}

// A send that waits for a free entry ends when no confirmation comes for 30 s (reported), and
// when the link goes down.
TEST_F(DataPathTest, AWaitingSendEndsWithoutConfirmationOrLink)
{
    Start(1);
    std::atomic<int> timeouts{0};
    capi->OnError = [&](TCustomCapi20 *, uint32_t, uint32_t, uint32_t n) {
        if (n == CapiError::ERR_SEND_TIMEOUT)
            ++timeouts;
    };
    const Bytes a = Filled(10, 'a');
    EXPECT_EQ(capi->SendData(int(kNcci) + 1, a.data(), 10), 0);
    EXPECT_EQ(capi->SendData(int(kNcci), a.data(), 10), 10);
    {
        std::atomic<qint64> now{0};
        Clock::setTickSource([&now] { return now += 100; });
        EXPECT_EQ(capi->SendData(int(kNcci), a.data(), 10), 0);
        Clock::setTickSource(nullptr);
        EXPECT_GE(now, 30000);
        EXPECT_EQ(timeouts, 1);
    }
    auto waiting = std::async(std::launch::async, [&] { return capi->SendData(int(kNcci), a.data(), 10); });
    QThread::msleep(50);
    Deliver(Message(0x84, 0x82, 0x4005, Cat({Le32(kNcci), {0, 0}})));
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), 10); // the count asked for, though the rest was dropped
    EXPECT_EQ(DataRequests().size(), 1u);
    EXPECT_EQ(capi->SendData(int(kNcci), a.data(), 10), 0);
}

// A file sent from the main thread waits while the message thread serves a request of the
// other side, but not for ever: after 30 s it is reported as not sent.
TEST_F(DataPathTest, ASendWaitingForAnotherTransferEndsAfterAWhile)
{
    Start(1);
    QTemporaryDir dir;
    for (const char *name : {"a.txt", "b.txt"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    capi->SendPath = dir.path() + QLatin1Char('/');
    // Shared with the handler, which the message thread may still run after the test.
    auto failures = std::make_shared<std::vector<std::pair<QString, uint32_t>>>();
    auto failuresLock = std::make_shared<std::mutex>();
    capi->OnTransferError = [failures, failuresLock](TCapi20 *, const QString &name, uint32_t n) {
        std::lock_guard g(*failuresLock);
        failures->emplace_back(name, n);
    };
    // The list takes two frames; the only entry is out after the first, and no confirmation comes.
    fake.PushDataB3Ind(kNcci, 7, {0xFF, 0x1E}, 0x4100);
    ASSERT_TRUE(WaitUntil([&] { return DataRequests().size() == 1; }));
    // Time runs on the main thread only: the list's own wait never ends.
    std::atomic<qint64> now{0};
    Clock::setTickSource(
        [&now] { return QThread::currentThread() == qApp->thread() ? now += 100 : qint64(0); });
    capi->SendFile(dir.filePath("a.txt"));
    Clock::setTickSource(nullptr);
    EXPECT_GE(now, 30000);
    std::lock_guard g(*failuresLock);
    EXPECT_EQ(*failures, (std::vector<std::pair<QString, uint32_t>>{
                             {dir.filePath("a.txt"), CapiError::ERR_TRANSFER_BUSY}}));
    EXPECT_EQ(DataRequests().size(), 1u);
}

// A send that waits on the message thread itself (a reply to what was received) drains the queue
// there; a remote server that vanishes meanwhile must end the wait, not leave it spinning.
TEST_F(DataPathTest, VanishedServerEndsASendWaitingOnTheMessageThread)
{
    Start(1);
    // Shared with the handlers, which may still run when a failed assertion leaves early.
    auto lost = std::make_shared<std::atomic<int>>(0);
    auto replied = std::make_shared<std::atomic<bool>>(false);
    capi->OnError = [lost](TCustomCapi20 *, uint32_t, uint32_t, uint32_t n) {
        if (n == CapiError::ERR_CONNECTION_LOST)
            ++*lost;
    };
    capi->OnReceive = [replied](TCapi20 *sender, int ncci, const char *, uint32_t) {
        const Bytes reply = Filled(10, 'r');
        sender->SendData(ncci, reply.data(), 10);
        sender->SendData(ncci, reply.data(), 10); // the only entry is out: waits here
        *replied = true;
    };
    fake.PushDataB3Ind(kNcci, 7, Filled(5, 'q'), 0x4100);
    ASSERT_TRUE(WaitUntil([&] { return DataRequests().size() == 1; }));
    QThread::msleep(20);
    EXPECT_FALSE(*replied);

    fake.loseConnection();
    ASSERT_TRUE(WaitUntil([&] { return lost->load() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return replied->load(); }));
    EXPECT_FALSE(capi->Registered());
    EXPECT_EQ(fake.Counter("release"), 1);
    // Nothing keeps waiting on the dead connection.
    const int waits = fake.Counter("wait");
    QThread::msleep(50);
    EXPECT_EQ(fake.Counter("wait"), waits);
}

// Empty blocks are answered but not stored: the blocks around them arrive whole and in order.
TEST_F(DataPathTest, ReceivedBlocksGoThroughTheRingAndAreAnswered)
{
    Start(2);
    std::vector<std::string> blocks;
    std::mutex lock;
    capi->OnReceive = [&](TCapi20 *, int, const char *data, uint32_t n) {
        std::lock_guard g(lock);
        blocks.emplace_back(data, n);
    };
    const std::vector<size_t> lengths = {0, 100, 101, 0, 0, 102, 103, 104, 0};
    for (size_t i = 0; i < lengths.size(); ++i)
        fake.PushDataB3Ind(kNcci, uint16_t(20 + i), Bytes(lengths[i], uint8_t('0' + i)),
                           uint16_t(0x4100 + i));
    ASSERT_TRUE(WaitUntil([&] { return fake.PutsOf(0x86, 0x83).size() == lengths.size(); }));
    {
        std::lock_guard g(lock);
        std::vector<std::string> expected;
        for (size_t i = 0; i < lengths.size(); ++i)
            if (lengths[i] > 0)
                expected.emplace_back(lengths[i], char('0' + i));
        EXPECT_EQ(blocks, expected);
    }
    const auto responses = fake.PutsOf(0x86, 0x83);
    for (size_t i = 0; i < lengths.size(); ++i)
        EXPECT_EQ(Capi::ReadWord(responses[i].data(), 14, 12), 20 + i);
    const B3Channel ch = capi->Channel(1);
    EXPECT_EQ(ch.UnreadBytes, 0);
    EXPECT_EQ(ch.ReceiveRead, ch.ReceiveWrite);
    char buffer[16];
    EXPECT_EQ(capi->ReceiveData(int(kNcci), buffer, sizeof buffer), 0);
}

// The other copy takes every received block into a 2048-byte buffer: a frame must never be
// longer, whatever block size this side registered.
TEST_F(DataPathTest, FileFramesFitTheOtherSidesBuffer)
{
    capi->SetBDataBlockSize(4096);
    capi->SetBufferSize(4096);
    Start(2);
    fake.AutoReply(0x86, 0x80, Message(0x86, 0x81, 0, Bytes(8, 0)));
    QTemporaryDir dir;
    const Bytes content = Filled(5000, 'f');
    QFile file(dir.filePath("five.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char *>(content.data()), qint64(content.size()));
    file.close();
    capi->SendFile(file.fileName());
    Bytes data;
    for (const auto &[handle, frame] : DataRequests()) {
        EXPECT_LE(frame.size(), 2048u);
        if (frame.size() >= 2 && frame[1] == 0x03)
            data.insert(data.end(), frame.begin() + 2, frame.end());
    }
    EXPECT_EQ(data, content);
}

TEST_F(DataPathTest, CommandsAreTheirTwoByteFrames)
{
    Start(2);
    capi->SendCommand(0, QString());
    capi->SendCommand(1, QStringLiteral("Größe.txt"));
    capi->SendCommand(2, QStringLiteral("nothing"));
    const auto requests = DataRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].second, (Bytes{0xFF, 0x1E}));
    EXPECT_EQ(requests[1].second, (Bytes{0xFF, 0x14, 'G', 'r', 0xF6, 0xDF, 'e', '.', 't', 'x', 't'}));
}

// Entries of the other side's file list are taken up to a cap for each request of this side: a
// peer that sends them without end cannot fill this side's memory and its list window.
TEST_F(DataPathTest, TheOtherSidesFileListEndsAtItsCap)
{
    Start(2);
    std::atomic<int> entries{0};
    capi->OnReceiveFileList = [&](TCapi20 *, const QString &item) {
        EXPECT_EQ(item, QStringLiteral("a.txt"));
        ++entries;
    };
    const Bytes entry = {0xFF, 0x1F, 'a', '.', 't', 'x', 't'};
    // In rounds that the message thread has taken before the next: the fake's descriptor holds
    // one byte for each queued message.
    auto receive = [&](int count) {
        for (int i = 0; i < count; i += 64) {
            for (int j = i; j < std::min(count, i + 64); ++j)
                fake.PushDataB3Ind(kNcci, 1, entry, uint16_t(j));
            Deliver(Message(0x05, 0x81, 1, Le32(1)));
        }
    };
    capi->SendCommand(0, QString());
    receive(Transfer::MaxListEntries + 100);
    EXPECT_EQ(entries, Transfer::MaxListEntries);
    capi->SendCommand(0, QString());
    receive(3);
    EXPECT_EQ(entries, Transfer::MaxListEntries + 3);
}

TEST(TransferPercent, WholePercentWithoutOverflowForAnySize)
{
    constexpr int64_t max = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(TransferPercent(1, 3), 33);
    EXPECT_EQ(TransferPercent(4092, 5000), 81);
    EXPECT_EQ(TransferPercent(max - 1, max), 99);
    EXPECT_EQ(TransferPercent(max / 2, max), 49);
    EXPECT_EQ(TransferPercent(int64_t(3) << 40, int64_t(4) << 40), 75);
    EXPECT_EQ(TransferPercent(-5, 10), 0);
    EXPECT_EQ(TransferPercent(11, 10), 100); // a file that grew while it was sent
    EXPECT_EQ(TransferPercent(0, 0), 100);   // nothing announced: nothing left to wait for
}
