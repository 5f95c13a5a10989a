// TCapi20 through the real libcapi20 against a CAPI server that misbehaves on purpose: frames
// that are cut, too long or malformed, ten thousand rings in a row, data blocks whose lengths
// lie, requests never confirmed, and half a frame followed by silence. The component stays up,
// answers what it can, keeps the log short, never holds the main thread, and releases.
#include "HostilePeer.h"
#include "capi/Capi20.h"
#include "common/Clock.h"
#include "support/MessageThread.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>

using hostile::HostilePeer;
using isdnsim::Bytes;
using isdnsim::MessageBuilder;

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif

namespace {

HostilePeer &peer()
{
    static HostilePeer p;
    return p;
}

// The largest pause of the main thread's event loop while it lives.
class LoopWatch
{
public:
    LoopWatch()
    {
        m_clock.start();
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_timer.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_longest = 0;
};

struct Station
{
    std::unique_ptr<TCapi20> capi = std::make_unique<TCapi20>();
    std::atomic<int> rings{0};
    std::atomic<int> bConnects{0};
    std::atomic<uint32_t> ringResult{RingResult::Busy};
    std::mutex lock;
    std::vector<uint32_t> errors;
    std::vector<std::string> blocks;      // what OnReceive was given
    std::vector<uint32_t> transferErrors; // what OnTransferError was given

    Station()
    {
        capi->SetRemoteCapi(QStringLiteral("127.0.0.1:%1").arg(peer().port()));
        capi->OnRing = [this](TCapi20 *, const TCallDaten &) {
            ++rings;
            return ringResult.load();
        };
        capi->OnBConnect = [this](TCapi20 *, int) { ++bConnects; };
        capi->OnReceive = [this](TCapi20 *, int, const char *data, uint32_t count) {
            std::lock_guard g(lock);
            blocks.emplace_back(data, count);
        };
        capi->OnError = [this](TCustomCapi20 *, uint32_t, uint32_t, uint32_t n) {
            std::lock_guard g(lock);
            errors.push_back(n);
        };
        capi->OnTransferError = [this](TCapi20 *, const QString &, uint32_t n) {
            std::lock_guard g(lock);
            transferErrors.push_back(n);
        };
        capi->Loaded();
        EXPECT_TRUE(capi->Registered()) << std::hex << capi->LastError();
        capi->Listen(ServiceBit::All);
    }
    bool hasError(uint32_t n)
    {
        std::lock_guard g(lock);
        return std::find(errors.begin(), errors.end(), n) != errors.end();
    }
};

Bytes message(uint8_t command, uint32_t id, uint16_t number = 1)
{
    return HostilePeer::frame(
        MessageBuilder(peer().applId(), command, isdnsim::SubInd, number).dword(id).empty().finish());
}

Bytes connectInd(uint16_t number, uint32_t plci, uint16_t cip = 16)
{
    return HostilePeer::frame(MessageBuilder(peer().applId(), isdnsim::CmdConnect, isdnsim::SubInd, number)
                                  .dword(plci)
                                  .word(cip)
                                  .structure(isdnsim::calledPartyNumber("4711"))
                                  .structure(isdnsim::callingPartyNumber("0301234567"))
                                  .empty()
                                  .empty()
                                  .structure(isdnsim::bearerCapability(cip))
                                  .empty()
                                  .structure(isdnsim::highLayerCompatibility(cip))
                                  .structure(Bytes{0x02, 0, 0, 0, 0, 0, 0})
                                  .finish());
}

// A data block of `payload` whose message says it is `claimed` bytes long.
Bytes dataInd(uint32_t ncci, uint16_t handle, const std::string &payload, size_t claimed)
{
    Bytes m = MessageBuilder(peer().applId(), isdnsim::CmdDataB3, isdnsim::SubInd, handle)
                  .dword(ncci)
                  .dword(0)
                  .word(uint16_t(claimed))
                  .word(handle)
                  .word(0)
                  .finish();
    m.insert(m.end(), payload.begin(), payload.end());
    return HostilePeer::frame(m);
}

// One frame of the file-transfer protocol.
std::string transferFrame(uint8_t code, const std::string &payload)
{
    return std::string{char(0xFF), char(code)} + payload;
}

// The lines the program logs about dropped frames, while it lives.
class DropLog
{
public:
    DropLog() { s_previous = qInstallMessageHandler(&DropLog::take); }
    ~DropLog() { qInstallMessageHandler(s_previous); }
    std::vector<QString> lines()
    {
        std::lock_guard g(s_lock);
        return s_lines;
    }

private:
    static void take(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (text.startsWith(QLatin1String("CAPI:")) && text.contains(QLatin1String("dropped"))) {
            std::lock_guard g(s_lock);
            s_lines.push_back(text);
        }
        s_previous(type, context, text);
    }
    static inline std::mutex s_lock;
    static inline std::vector<QString> s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

// The PLCIs of the application's CONNECT_RESPs.
std::vector<uint32_t> answeredPlcis()
{
    std::vector<uint32_t> plcis;
    for (const hostile::Received &r : peer().received())
        if (r.command == isdnsim::CmdConnect && r.subcommand == isdnsim::SubResp)
            plcis.push_back(isdnsim::rd32(&r.message[8]));
    return plcis;
}

class SimHostile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer().ready());
        peer().confirm = true;
        peer().answerRegister = true;
    }
    void TearDown() override { Clock::setTickSource({}); }
};

} // namespace

TEST_F(SimHostile, UnreadableFramesAreDroppedAndEveryRingIsAnswered)
{
    Station s;
    const size_t answered = answeredPlcis().size();
    LoopWatch watch;

    Bytes tooShort = HostilePeer::frame(Bytes{4, 0, 1, 0});
    Bytes cut = connectInd(1, 0x101);
    isdnsim::wr16(&cut[3], uint16_t(cut.size() + 40)); // the message claims more than its frame
    Bytes tooLong(5000, 0x11);
    isdnsim::wr16(tooLong.data(), 5000);
    tooLong[4] = isdnsim::CmdConnect;
    tooLong[5] = isdnsim::SubInd;
    // Whole frames of readable length whose content is wrong: a number that runs past the
    // message, and a command nobody knows.
    const Bytes garbled =
        HostilePeer::frame(MessageBuilder(peer().applId(), isdnsim::CmdConnect, isdnsim::SubInd, 2)
                               .dword(0x102)
                               .word(16)
                               .byte(200)
                               .finish());
    for (const Bytes &b : {tooShort, cut, HostilePeer::frame(tooLong), garbled, message(0x77, 1)})
        peer().send(b);
    // Ten thousand rings in a row (a thousand under ThreadSanitizer, which makes each hand-over
    // to the main thread many times slower: the interleavings are the same).
    constexpr uint32_t kRings = kThreadSanitizer ? 1000 : 10000;
    for (uint32_t i = 0; i < kRings; ++i)
        peer().send(connectInd(uint16_t(i), 0x1000 + i));

    ASSERT_TRUE(WaitUntil([&] { return answeredPlcis().size() >= answered + 1 + kRings; }, 300000))
        << answeredPlcis().size() - answered;
    const std::vector<uint32_t> plcis = answeredPlcis();
    EXPECT_EQ(plcis.size(), answered + 1 + kRings);
    EXPECT_EQ(plcis[answered], 0x102u);
    EXPECT_EQ(plcis.back(), 0x1000 + kRings - 1);
    EXPECT_EQ(s.rings, int(1 + kRings));
    EXPECT_TRUE(s.capi->Registered());
    EXPECT_FALSE(s.hasError(CapiError::ERR_CONNECTION_LOST));
    // A hang, not a slow machine: the rings' handlers run in the main thread one at a time.
    EXPECT_LT(watch.longestMs(), 5000);
}

// A flood of frames that cannot be read is one line in the log, and one more with the count of
// each later interval in which frames were dropped.
TEST_F(SimHostile, DroppedFramesAreLoggedWithTheirCountNotOneByOne)
{
    std::atomic<qint64> now{1000000};
    Clock::setTickSource([&] { return now.load(); });
    DropLog log;
    Station s;
    const Bytes unreadable = HostilePeer::frame(Bytes{4, 0, 1, 0});
    for (int i = 0; i < 1000; ++i)
        peer().send(unreadable);
    peer().send(connectInd(1, 0x401));
    ASSERT_TRUE(WaitUntil([&] { return !answeredPlcis().empty() && answeredPlcis().back() == 0x401; }));
    ASSERT_EQ(log.lines().size(), 1u);

    now += 3600000;
    peer().send(unreadable);
    peer().send(connectInd(2, 0x402));
    ASSERT_TRUE(WaitUntil([&] { return answeredPlcis().back() == 0x402; }));
    const std::vector<QString> lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[1].contains(QLatin1String(" 1000 "))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QLatin1String("1001"))) << lines[1].toStdString();
    EXPECT_TRUE(s.capi->Registered());
}

// A block whose length lies, or that is longer than registered, is dropped unread and still
// answered, so that it does not keep one of the peer's window slots for good; the file it
// belonged to fails and is not kept.
TEST_F(SimHostile, DataBlocksWhoseLengthsLieAreAnsweredButNeverTaken)
{
    Station s;
    QTemporaryDir received;
    s.capi->ReceivePath = received.path();
    s.ringResult = RingResult::Accept;
    constexpr uint32_t plci = 0x201, ncci = 0x10201;
    peer().send(connectInd(1, plci, 2));
    ASSERT_TRUE(WaitUntil([&] { return answeredPlcis().size() > 0 && answeredPlcis().back() == plci; }));
    peer().send(message(isdnsim::CmdConnectActive, plci, 2));
    peer().send(message(isdnsim::CmdConnectB3, ncci, 3));
    peer().send(message(isdnsim::CmdConnectB3Active, ncci, 4));
    ASSERT_TRUE(WaitUntil([&] { return s.bConnects == 1; }));

    const size_t responses = peer().count(isdnsim::CmdDataB3, isdnsim::SubResp);
    const std::string name = transferFrame(0x01, "a.txt"), size = transferFrame(0x02, "10");
    peer().send(dataInd(ncci, 1, name, name.size()));
    peer().send(dataInd(ncci, 2, size, size.size()));
    const std::string lying = transferFrame(0x03, std::string(10, 'a')),
                      data = transferFrame(0x03, std::string(10, 'e'));
    peer().send(dataInd(ncci, 3, lying, 100));
    peer().send(dataInd(ncci, 4, std::string(100, 'b'), 10));
    peer().send(dataInd(ncci, 5, std::string(3000, 'c'), 3000)); // beyond the registered 2048
    // The file's size is right again without the lost block: it must not be kept all the same.
    peer().send(dataInd(ncci, 6, data, data.size()));
    peer().send(dataInd(ncci, 7, "HALLO", 5));
    peer().send(dataInd(ncci, 8, std::string(2048, 'd'), 2048));
    peer().send(dataInd(ncci, 9, transferFrame(0x04, ""), 2));
    ASSERT_TRUE(WaitUntil([&] {
        return peer().count(isdnsim::CmdDataB3, isdnsim::SubResp) == responses + 9;
    })) << peer().count(isdnsim::CmdDataB3, isdnsim::SubResp) - responses;
    std::vector<uint16_t> handles;
    for (const hostile::Received &r : peer().received())
        if (r.command == isdnsim::CmdDataB3 && r.subcommand == isdnsim::SubResp) {
            EXPECT_EQ(isdnsim::rd32(&r.message[8]), ncci);
            handles.push_back(isdnsim::rd16(&r.message[12]));
        }
    EXPECT_EQ(std::vector<uint16_t>(handles.end() - 9, handles.end()),
              (std::vector<uint16_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // A block is handled after its answer.
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard g(s.lock);
        return s.blocks.size() == 6;
    }));
    std::lock_guard g(s.lock);
    EXPECT_EQ(s.blocks[2], data);
    EXPECT_EQ(s.blocks[3], "HALLO");
    EXPECT_EQ(s.blocks[4], std::string(2048, 'd'));
    EXPECT_EQ(s.transferErrors, (std::vector<uint32_t>{CapiError::ERR_TRANSFER_INCOMPLETE}));
    EXPECT_TRUE(QDir(received.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(s.capi->Registered());
}

TEST_F(SimHostile, StallsAndMissingConfirmationsNeverHoldTheMainThread)
{
    // A registration nobody answers fails in its time, and the next one works.
    peer().answerRegister = false;
    {
        TCapi20 unanswered;
        unanswered.SetRemoteCapi(QStringLiteral("127.0.0.1:%1").arg(peer().port()));
        unanswered.Loaded();
        EXPECT_FALSE(unanswered.Registered());
        EXPECT_NE(unanswered.LastError(), 0u);
    }
    peer().answerRegister = true;

    peer().confirm = false;
    Station s;
    LoopWatch watch;
    // A dial nobody confirms gives up in its time; the main thread works on meanwhile.
    EXPECT_FALSE(s.capi->Dial(QStringLiteral("4711"), QString(), 6));
    EXPECT_LT(watch.longestMs(), 5000);

    // Half a frame, then silence: the main thread still puts at once.
    Bytes half = connectInd(1, 0x301);
    half.resize(half.size() / 2);
    peer().send(half);
    ASSERT_TRUE(WaitUntil([&] { return !peer().unsentBytes(); }));
    DelayMs(100);
    QElapsedTimer put;
    put.start();
    s.capi->Listen(ServiceBit::All);
    s.capi->Disconnect();
    EXPECT_LT(put.elapsed(), 5000);
    EXPECT_TRUE(s.capi->Registered());
    // Meanwhile the message thread waits for the rest of the frame: it does not look again and
    // again.
    const long wakeUps = MessageThreadWakeUps();
    ASSERT_GE(wakeUps, 0);
    DelayMs(2000);
    EXPECT_LT(MessageThreadWakeUps() - wakeUps, 20);

    // A frame that never ends: the connection is given up as lost, and everything ends.
    Clock::setTickSource([] { return QDateTime::currentMSecsSinceEpoch() + 3600000; });
    ASSERT_TRUE(WaitUntil([&] { return s.hasError(CapiError::ERR_CONNECTION_LOST); }));
    EXPECT_FALSE(s.capi->Registered());
    EXPECT_EQ(s.rings, 0);
    s.capi.reset();
}
