// TCustomCapi20 against the fake libcapi20: binding, registration, the message thread, putting
// and fetching, the information queries and the remote CAPI selection.

#include "FakeCapi.h"
#include "capi/Capi20b.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace CapiError;

namespace {

struct Errors
{
    std::vector<uint32_t> numbers;
    std::mutex lock;
    void Attach(TCustomCapi20 &capi)
    {
        capi.OnError = [this](TCustomCapi20 *, uint32_t, uint32_t, uint32_t number) {
            std::lock_guard g(lock);
            numbers.push_back(number);
        };
    }
    int Count(uint32_t number)
    {
        std::lock_guard g(lock);
        return int(std::count(numbers.begin(), numbers.end(), number));
    }
    size_t Size()
    {
        std::lock_guard g(lock);
        return numbers.size();
    }
};

class BindingTest : public ::testing::Test
{
protected:
    FakeCapi fake;
    Errors errors;

    std::unique_ptr<TCustomCapi20> Make(bool bind = true, const QString &library = QString(FAKE_CAPI_PATH))
    {
        auto capi = std::make_unique<TCustomCapi20>();
        capi->SetLibraryName(library);
        errors.Attach(*capi);
        if (bind)
            capi->Loaded();
        return capi;
    }
};

sockaddr_in Address(const char *host, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, host, &a.sin_addr);
    return a;
}

// A listening socket at host:port (0: any free port, which `port` then receives); -1 when that
// address is taken.
int Listener(const char *host, int *port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Address(host, *port);
    socklen_t size = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
}

int Connected(const char *host, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = Address(host, port);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The next connection `listener` takes, within 20 s; -1 when none came.
int Accepted(int listener)
{
    pollfd p{listener, POLLIN, 0};
    return poll(&p, 1, 20000) == 1 ? accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
}

} // namespace

TEST_F(BindingTest, MissingLibraryRaisesOncePerAttemptAndNeverRegisters)
{
    auto capi = Make(true, QStringLiteral("libnosuchcapi20.so.3"));
    EXPECT_EQ(errors.Count(ERR_DLL_NOT_LOADED), 1);
    EXPECT_EQ(errors.Size(), 1u);
    EXPECT_TRUE(capi->LibraryBound());
    capi->Loaded(); // binding runs once
    EXPECT_EQ(errors.Count(ERR_DLL_NOT_LOADED), 1);
    capi->RegisterApplication();
    capi->RegisterApplication();
    EXPECT_EQ(errors.Count(ERR_DLL_NOT_LOADED), 3);
    EXPECT_FALSE(capi->Registered());
    EXPECT_FALSE(capi->PutRequest(0x05, CapiParams().Dword(1)));
    EXPECT_EQ(capi->LastError(), ERR_NOT_REGISTERED);
    std::array<uint8_t, 64> profile{};
    EXPECT_EQ(capi->QueryProfile(0, profile), ERR_DLL_NOT_LOADED);
    EXPECT_EQ(profile[0], 9);
    EXPECT_EQ(profile[63], 9);
    EXPECT_EQ(capi->QueryVersion(), QStringLiteral("0.0 / 0.0"));
}

// A file that lies in the current folder or beside the program (a folder files may be received
// into) is never loaded as the CAPI library: a bare name goes to the system loader, only a path
// set explicitly names a file.
TEST_F(BindingTest, LibraryIsTakenFromTheSystemOrAnExplicitPathOnly)
{
    QTemporaryDir dir;
    const QString name = QStringLiteral("libcapi20-cwd-test.so");
    ASSERT_TRUE(QFile::copy(fake.Path(), dir.filePath(name)));
    const QString besideProgram = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
    ASSERT_TRUE(QFile::copy(fake.Path(), besideProgram));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    EXPECT_EQ(TCustomCapi20::FindLibrary(name), name);
    auto capi = Make(true, name);
    QDir::setCurrent(previous);
    QFile::remove(besideProgram);
    EXPECT_EQ(errors.Count(ERR_DLL_NOT_LOADED), 1);
    EXPECT_FALSE(capi->Registered());

    auto explicitPath = Make(true, dir.filePath(name));
    EXPECT_TRUE(explicitPath->Registered());
    EXPECT_EQ(TCustomCapi20::FindLibrary(QStringLiteral("/no/such/folder/libcapi20.so.3")), QString());
}

TEST_F(BindingTest, CapiNotInstalled)
{
    fake.setInstalled(0x1009);
    auto capi = Make();
    EXPECT_EQ(errors.Count(ERR_CAPI_NOT_INSTALLED), 1);
    EXPECT_FALSE(capi->Registered());
    EXPECT_EQ(fake.Counter("register"), 0);
    EXPECT_EQ(capi->QueryVersion(), QStringLiteral("0.0 / 0.0"));
    EXPECT_EQ(capi->QueryManufacturer(), QString());
    EXPECT_EQ(capi->QuerySerialNumber(), QString());
    EXPECT_EQ(errors.Count(ERR_CAPI_NOT_INSTALLED), 4);
    // Installed later: a new registration succeeds.
    fake.setInstalled(0);
    capi->RegisterApplication();
    EXPECT_TRUE(capi->Registered());
    EXPECT_EQ(capi->QueryVersion(), QStringLiteral("2.0 / 1.7"));
    EXPECT_EQ(capi->QueryManufacturer(), QStringLiteral("Fake CAPI"));
    EXPECT_EQ(capi->QuerySerialNumber(), QStringLiteral("0815"));
}

// The library hands over the controller's texts as they are stored there: in the ANSI set.
TEST_F(BindingTest, InformationTextsAreWindows1252)
{
    const unsigned version[4] = {2, 0, 3, 1};
    fake.setInfo("Gr\xfc\xdf"
                 "e \x80 \x84"
                 "Box\x93",
                 "12\x9f\x8a", version);
    auto capi = Make();
    EXPECT_EQ(capi->QueryManufacturer(), QStringLiteral("Grüße € „Box“"));
    EXPECT_EQ(capi->QuerySerialNumber(), QStringLiteral("12ŸŠ"));
}

TEST_F(BindingTest, LibraryWithoutInstalledAndProfileEntryPoints)
{
    FakeCapi minimal(FAKE_CAPI_MIN_PATH);
    auto capi = Make(true, QString(FAKE_CAPI_MIN_PATH));
    EXPECT_EQ(errors.Count(ERR_DLL_NOT_LOADED), 0);
    EXPECT_EQ(errors.Count(ERR_CAPI_NOT_INSTALLED), 1);
    EXPECT_FALSE(capi->Registered());
    std::array<uint8_t, 64> profile{};
    capi->QueryProfile(1, profile);
    EXPECT_EQ(profile,
              (std::array<uint8_t, 64>{9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
                                       9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
                                       9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}));
}

TEST_F(BindingTest, BindingReadsProfilesAndRegistersWithDefaults)
{
    unsigned char profile[64] = {2, 0};
    fake.setProfile(profile);
    auto capi = Make();
    EXPECT_EQ(errors.Size(), 0u);
    EXPECT_TRUE(capi->Registered());
    EXPECT_EQ(capi->ControllerCount(), 2);
    EXPECT_NE(fake.Log().find("isinstalled;profile(0);profile(1);trace(0);isinstalled;register;"),
              std::string::npos)
        << fake.Log();
    EXPECT_EQ(capi->MessageBufferSize(), 10240u);
    EXPECT_EQ(fake.Counter("maxLogical"), 4);
    EXPECT_EQ(fake.Counter("maxBlocks"), 4);
    EXPECT_EQ(fake.Counter("maxLen"), 2048);
    EXPECT_EQ(capi->ApplID(), uint32_t(fake.Counter("applid")));
}

TEST_F(BindingTest, AutoRegisterOffOnlyBinds)
{
    auto capi = Make(false);
    capi->SetAutoRegister(false);
    capi->Loaded();
    EXPECT_FALSE(capi->Registered());
    EXPECT_EQ(fake.Counter("register"), 0);
}

TEST_F(BindingTest, ChangingBlockSizeReregistersOnlyOnARealChange)
{
    auto capi = Make();
    ASSERT_EQ(fake.Counter("register"), 1);
    capi->SetBDataBlockSize(2048);
    EXPECT_EQ(fake.Counter("register"), 1);
    capi->SetBDataBlockSize(1024);
    EXPECT_EQ(fake.Counter("register"), 2);
    EXPECT_EQ(fake.Counter("release"), 1);
    EXPECT_EQ(fake.Counter("maxLen"), 1024);
    EXPECT_EQ(capi->MessageBufferSize(), 1024u * 5);
    capi->SetLogicalConnection(2);
    EXPECT_EQ(fake.Counter("maxLogical"), 2);
    EXPECT_TRUE(capi->Registered());
}

TEST_F(BindingTest, RegisterFailureIsReportedAndLeavesUnregistered)
{
    fake.setRegisterResult(0x1007);
    auto capi = Make();
    EXPECT_EQ(errors.Count(0x1007), 1);
    EXPECT_FALSE(capi->Registered());
}

TEST_F(BindingTest, RequestsCountMessageNumbersEvenWhenAPutFails)
{
    auto capi = Make(false);
    capi->SetAutoRegister(false);
    capi->Loaded();
    EXPECT_FALSE(capi->PutRequest(0x05, CapiParams().Dword(1))); // not registered: still counted
    EXPECT_EQ(capi->MessageNumber(), 1u);
    capi->RegisterApplication();
    EXPECT_EQ(capi->MessageNumber(), 0u);
    fake.setPutResult(0x1103);
    EXPECT_FALSE(capi->PutRequest(0x05, CapiParams().Dword(1)));
    EXPECT_EQ(errors.Count(0x1103), 1);
    EXPECT_EQ(capi->LastError(), 0x1103u);
    fake.setPutResult(0);
    EXPECT_TRUE(capi->PutRequest(0x05, CapiParams().Dword(1)));
    EXPECT_TRUE(capi->PutResponse(0x03, 0x1234, CapiParams().Dword(7)));
    EXPECT_EQ(capi->MessageNumber(), 2u);
    const auto puts = fake.Puts();
    ASSERT_EQ(puts.size(), 3u);
    EXPECT_EQ(puts[0][6], 0);
    EXPECT_EQ(puts[1][6], 1);
    EXPECT_EQ(puts[2], Cat({Header(12, uint16_t(capi->ApplID()), 0x03, 0x83, 0x1234), Le32(7)}));
}

TEST_F(BindingTest, PutFailureCarriesCommandAndSubcommand)
{
    auto capi = Make();
    std::vector<std::array<uint32_t, 3>> seen;
    capi->OnError = [&](TCustomCapi20 *, uint32_t c, uint32_t s, uint32_t n) { seen.push_back({c, s, n}); };
    fake.setPutResult(0x1108);
    capi->PutRequest(0x02, CapiParams());
    capi->PutResponse(0x04, 1, CapiParams());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::array<uint32_t, 3>{0x02, 0x80, 0x1108}));
    EXPECT_EQ(seen[1], (std::array<uint32_t, 3>{0x04, 0x81, 0x1108}));
}

// The message thread sleeps until the library has a message for it: an idle program never
// wakes. The release wakes it without putting anything on the line.
TEST_F(BindingTest, AnIdleThreadSleepsAndTheReleaseWakesItWithoutAMessage)
{
    auto capi = Make();
    ASSERT_TRUE(capi->Registered());
    capi->PutRequest(0x05, CapiParams());
    std::atomic<int> seen{0};
    capi->MessageReceived = [&](TCustomCapi20 *, uint32_t, uint32_t, uint32_t, IndicationDatenType &) {
        ++seen;
    };
    fake.Push(Message(0x05, 0x81, 1, Le32(1)));
    ASSERT_TRUE(WaitUntil([&] { return seen == 1; }));
    const int waits = fake.Counter("wait");
    QThread::msleep(1200);
    EXPECT_EQ(fake.Counter("wait"), waits);

    capi->ReleaseApplication();
    EXPECT_FALSE(capi->Registered());
    EXPECT_EQ(fake.Counter("release"), 1);
    EXPECT_EQ(fake.putCount(), 1u);
    capi->ReleaseApplication();
    EXPECT_EQ(fake.Counter("release"), 1);
    EXPECT_EQ(fake.putCount(), 1u);
}

TEST_F(BindingTest, ReleaseWhileNotRegisteredDoesNothing)
{
    auto capi = Make(false);
    capi->ReleaseApplication();
    EXPECT_EQ(fake.Counter("release"), 0);
    EXPECT_EQ(fake.putCount(), 0u);
}

TEST_F(BindingTest, FetchWhileNotRegistered)
{
    auto capi = Make(false);
    uint32_t c = 0, s = 0, m = 0;
    IndicationDatenType d;
    d.Bytes[5] = 0x55;
    EXPECT_EQ(capi->FetchMessage(c, s, m, d), ERR_NOT_REGISTERED);
    EXPECT_EQ(d.Bytes[5], 0);
    EXPECT_EQ(errors.Count(ERR_NOT_REGISTERED), 1);
}

TEST_F(BindingTest, MessagesReachDumpAndReceivedHandlers)
{
    auto capi = Make();
    std::atomic<int> dumped{0};
    std::vector<std::array<uint32_t, 4>> received;
    std::mutex lock;
    capi->MessageDump = [&](TCustomCapi20 *, uint32_t, uint32_t, IndicationDatenType &) { ++dumped; };
    capi->MessageReceived = [&](TCustomCapi20 *, uint32_t c, uint32_t s, uint32_t m, IndicationDatenType &d) {
        std::lock_guard g(lock);
        received.push_back({c, s, m, d.Word(4)});
    };
    fake.Push(Message(0x05, 0x81, 77, Cat({Le32(1), {0x01, 0x20}})));
    fake.Push(Message(0x08, 0x82, 78, Cat({Le32(0x101), {0x18, 0x00}, {0x00}})));
    ASSERT_TRUE(WaitUntil([&] { return dumped == 2; }));
    std::lock_guard g(lock);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], (std::array<uint32_t, 4>{0x05, 0x81, 77, 0x2001}));
    EXPECT_EQ(received[1], (std::array<uint32_t, 4>{0x08, 0x82, 78, 0x0018}));
}

TEST_F(BindingTest, AThrowingHandlerDoesNotEndTheMessageThread)
{
    auto capi = Make();
    std::atomic<int> seen{0};
    capi->MessageReceived = [&](TCustomCapi20 *, uint32_t, uint32_t, uint32_t m, IndicationDatenType &) {
        ++seen;
        if (m == 1)
            throw std::runtime_error("handler failed");
    };
    fake.Push(Message(0x05, 0x81, 1, Le32(1)));
    ASSERT_TRUE(WaitUntil([&] { return errors.Count(ERR_HANDLER_FAILED) == 1; }));
    fake.Push(Message(0x05, 0x81, 2, Le32(1)));
    ASSERT_TRUE(WaitUntil([&] { return seen == 2; }));
    EXPECT_TRUE(capi->Registered());
}

TEST_F(BindingTest, CallInMainThreadRunsThereAndReleaseDoesNotDeadlock)
{
    auto capi = Make();
    std::atomic<bool> onMain{false};
    std::atomic<bool> inHandler{false};
    capi->MessageReceived = [&](TCustomCapi20 *sender, uint32_t, uint32_t, uint32_t m,
                                IndicationDatenType &) {
        if (m == 1) {
            sender->CallInMainThread([&] { onMain = QThread::currentThread() == qApp->thread(); });
        } else {
            inHandler = true;
            // The main thread is busy releasing and never runs this: the release must cancel it.
            sender->CallInMainThread([] { ADD_FAILURE() << "ran after the release"; });
        }
    };
    fake.Push(Message(0x05, 0x81, 1, Le32(1)));
    ASSERT_TRUE(WaitUntil([&] { return onMain.load(); }));
    fake.Push(Message(0x05, 0x81, 2, Le32(1)));
    while (!inHandler)
        QThread::msleep(1); // no event processing: the hand-over stays pending
    capi->ReleaseApplication();
    EXPECT_FALSE(capi->Registered());
    QCoreApplication::processEvents();
}

TEST_F(BindingTest, ReleaseFromInsideAHandOver)
{
    auto capi = Make();
    std::atomic<bool> done{false};
    capi->MessageReceived = [&](TCustomCapi20 *sender, uint32_t, uint32_t, uint32_t, IndicationDatenType &) {
        sender->CallInMainThread([&] {
            sender->ReleaseApplication();
            done = true;
        });
    };
    fake.Push(Message(0x05, 0x81, 1, Le32(1)));
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    EXPECT_FALSE(capi->Registered());
    capi->RegisterApplication(); // joins the ended thread and starts a new one
    EXPECT_TRUE(capi->Registered());
}

TEST_F(BindingTest, DestroyedFromInsideAHandOver)
{
    auto capi = Make();
    std::atomic<bool> done{false};
    capi->MessageReceived = [&](TCustomCapi20 *sender, uint32_t, uint32_t, uint32_t, IndicationDatenType &) {
        sender->CallInMainThread([&] {
            capi.reset();
            done = true;
        });
    };
    fake.Push(Message(0x05, 0x81, 1, Le32(1)));
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    EXPECT_EQ(fake.Counter("release"), 1);
}

TEST_F(BindingTest, RemoteCapiSelectsTheRemoteDriverBeforeAskingForCapi)
{
    auto capi = Make(false);
    capi->SetRemoteCapi(QStringLiteral("127.0.0.1:5000"));
    capi->Loaded();
    EXPECT_TRUE(capi->Registered());
    const std::string log = fake.Log();
    EXPECT_EQ(log.rfind("trace(0);driver(fritzbox);host(127.0.0.1);port(5000);isinstalled;", 0), 0u) << log;
}

TEST_F(BindingTest, LocalCapiStillSilencesTheLibrary)
{
    auto capi = Make();
    const std::string log = fake.Log();
    EXPECT_EQ(log.rfind("trace(0);isinstalled;", 0), 0u) << log;
    EXPECT_EQ(log.find("driver("), std::string::npos);
}

TEST_F(BindingTest, MalformedRemoteCapiIsRefused)
{
    for (const char *text : {"127.0.0.1", "127.0.0.1:", ":5000", "host:0", "host:65535", "host:abc",
                             "my host:5000", "a:b:5000"}) {
        fake.reset();
        auto capi = Make(false);
        capi->SetRemoteCapi(QString::fromLatin1(text));
        capi->Loaded();
        EXPECT_EQ(errors.Count(ERR_REMOTE_INVALID), 1) << text;
        errors.numbers.clear();
        EXPECT_FALSE(capi->Registered()) << text;
        EXPECT_EQ(fake.Log().find("isinstalled"), std::string::npos) << text;
    }
}

// The options page checks an address with the same function the registration uses, so what the
// page accepts is what the component can use.
TEST(RemoteCapiSetting, OneRuleForHostAndPort)
{
    QString host;
    int port = 0;
    ASSERT_TRUE(TCustomCapi20::ParseRemoteCapi(QStringLiteral(" my_host.lan:5031 "), &host, &port));
    EXPECT_EQ(host, QStringLiteral("my_host.lan"));
    EXPECT_EQ(port, 5031);
    EXPECT_TRUE(TCustomCapi20::ParseRemoteCapi(QStringLiteral("192.168.178.1:65534")));
    EXPECT_FALSE(TCustomCapi20::ParseRemoteCapi(QString()));
}

TEST(RemoteCapiSetting, EnvironmentOverridesTheSetting)
{
    qunsetenv("RUFWART_CAPI_REMOTE");
    EXPECT_EQ(TCustomCapi20::RemoteCapiSetting(QStringLiteral(" box:5000 ")), QStringLiteral("box:5000"));
    qputenv("RUFWART_CAPI_REMOTE", "127.0.0.1:6000");
    EXPECT_EQ(TCustomCapi20::RemoteCapiSetting(QStringLiteral("box:5000")), QStringLiteral("127.0.0.1:6000"));
    qunsetenv("RUFWART_CAPI_REMOTE");
}

// A registration that the remote server never answers is cut off at its deadline by shutting
// down the connection the library opened for it, and nothing else: neither another component's
// connection to another server on the same port, nor the connection whose descriptor number the
// registration's connection took over.
TEST_F(BindingTest, AnUnansweredRegistrationLosesItsOwnConnectionOnly)
{
    // The server at 127.0.0.1 takes connections and never answers; another one listens on the
    // same port at 127.0.0.2.
    int port = 0, server = -1, other = -1;
    for (int attempt = 0; attempt < 20 && other < 0; ++attempt) {
        port = 0;
        server = Listener("127.0.0.1", &port);
        other = Listener("127.0.0.2", &port);
        if (other < 0)
            close(server);
    }
    ASSERT_GE(other, 0);
    // A connection to the server from before the registration. Its descriptor number goes to the
    // registration's connection (the fake closes it first).
    const int before = Connected("127.0.0.1", port);
    ASSERT_GE(before, 0);
    const int beforeServed = Accepted(server);
    fake.registerUnanswered(before);
    auto capi = Make(false);
    capi->SetRemoteCapi(QStringLiteral("127.0.0.1:%1").arg(port));
    std::thread registering([&] { capi->Loaded(); });
    // Once the registration waits, another component connects to the other server.
    const int registrationServed = Accepted(server);
    const int probe = Connected("127.0.0.2", port);
    const int probeServed = Accepted(other);
    registering.join();
    EXPECT_GE(registrationServed, 0);
    EXPECT_FALSE(capi->Registered());
    EXPECT_EQ(capi->LastError(), 0x1008u) << "the registration's connection was not shut down";
    char byte;
    EXPECT_EQ(recv(probe, &byte, 1, MSG_PEEK | MSG_DONTWAIT), -1) << "another connection was shut down";
    EXPECT_EQ(errno, EAGAIN);
    for (int fd : {probe, probeServed, registrationServed, beforeServed, server, other})
        if (fd >= 0)
            close(fd);
}

TEST_F(BindingTest, VanishedRemoteServerIsReportedAndRegistrationCanStartAgain)
{
    auto capi = Make();
    ASSERT_TRUE(capi->Registered());
    EXPECT_FALSE(capi->ConnectionLost());
    fake.loseConnection();
    ASSERT_TRUE(WaitUntil([&] { return errors.Count(ERR_CONNECTION_LOST) == 1; }));
    EXPECT_FALSE(capi->Registered());
    EXPECT_TRUE(capi->ConnectionLost());
    EXPECT_EQ(fake.Counter("release"), 1);
    // No busy loop: the ended thread waits no more.
    const int waits = fake.Counter("wait");
    QThread::msleep(50);
    EXPECT_EQ(fake.Counter("wait"), waits);
    capi->RegisterApplication();
    EXPECT_TRUE(capi->Registered());
    EXPECT_FALSE(capi->ConnectionLost());
    EXPECT_EQ(errors.Count(ERR_CONNECTION_LOST), 1);
    std::atomic<int> seen{0};
    capi->MessageReceived = [&](TCustomCapi20 *, uint32_t, uint32_t, uint32_t, IndicationDatenType &) {
        ++seen;
    };
    fake.Push(Message(0x05, 0x81, 1, Le32(1)));
    ASSERT_TRUE(WaitUntil([&] { return seen == 1; }));
}

// Found by fuzzing: when the user started listening while the message thread was still releasing a
// lost connection, that release went on to end the new registration as well (its thread stopped,
// its application released) and the component stayed registered but deaf. A release ends only the
// registration it began with; here the new one is made from the release's first step, so that the
// moment is certain.
TEST_F(BindingTest, ARegistrationMadeWhileAReleaseIsUnderWayStays)
{
    class RegisteringAgain : public TCustomCapi20
    {
    protected:
        void BeforeRelease() override
        {
            if (std::exchange(m_once, false))
                RegisterApplication();
        }
        bool m_once = true;
    } capi;
    capi.SetLibraryName(QString(FAKE_CAPI_PATH));
    capi.Loaded();
    ASSERT_TRUE(capi.Registered());
    capi.ReleaseApplication();
    EXPECT_TRUE(capi.Registered());
    EXPECT_EQ(fake.Counter("register"), 2);
    EXPECT_EQ(fake.Counter("release"), 1);
    std::atomic<int> seen{0};
    capi.MessageReceived = [&](TCustomCapi20 *, uint32_t, uint32_t, uint32_t, IndicationDatenType &) {
        ++seen;
    };
    fake.Push(Message(0x05, 0x81, 1, Le32(1)));
    EXPECT_TRUE(WaitUntil([&] { return seen == 1; }));
}

TEST_F(BindingTest, DestroyingWhileRegisteredReleases)
{
    auto capi = Make();
    ASSERT_TRUE(capi->Registered());
    capi.reset();
    EXPECT_EQ(fake.Counter("release"), 1);
}
