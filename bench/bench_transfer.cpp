// bench_transfer: a 1 MB random file fetched from one TCapi20 component by another through the
// real libcapi20 and the virtual exchange, once at line rate (64 kbit/s) and unthrottled; and the
// set-up time of data calls.
//
//   bench_transfer [--unthrottled-only]
//
// Prints transfer_bytes_per_s and transfer_line_ratio (file bytes delivered per second at line
// rate, and their ratio to the line's 8,000 bytes/s), unthrottled_mb_per_s, and the CPU time of
// the sending and the receiving component's message thread per MB (unthrottled).
// data_call_setup_ms: the median over 20 data calls of the answering component's time from its
// CONNECT_IND to the call's first data block (the caller asks for the file list as soon as its
// B3 link is up). The _plain_tcp figures are the same against an exchange that delays its
// acknowledgements as an ordinary TCP stack does (isdnsim --no-quickack).

#include "SimProcess.h"
#include "capi/Capi20.h"

#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFileBytes = 1024 * 1024;
constexpr double kLineBytesPerSecond = 8000.0;
constexpr int kUnthrottledRounds = 5;

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Result
{
    double seconds = 0;
    double senderCpu = 0;
    double receiverCpu = 0;
    double setupMs = 0;
};

// An exchange started with `exchangeArgs`, a temporary folder with a 1 MB file to send, and two
// components on it: `server` listens for data calls and accepts them, `client` dials. What the
// components' handlers use must outlive them: the components go first.
struct Line
{
    isdnsim::SimProcess exchange;
    QTemporaryDir dir;
    std::atomic<bool> listening{false};
    // Every message the server receives, on its message thread.
    std::function<void(uint32_t command, uint32_t subcommand)> onServerMessage;
    std::unique_ptr<TCapi20> server = std::make_unique<TCapi20>();
    std::unique_ptr<TCapi20> client = std::make_unique<TCapi20>();

    bool Open(const std::vector<std::string> &exchangeArgs)
    {
        std::string error;
        if (!exchange.start(ISDNSIM_EXE, exchangeArgs, &error, 20000, true)) {
            std::fprintf(stderr, "isdnsim: %s\n", error.c_str());
            return false;
        }
        QDir(dir.path()).mkpath("send");
        QDir(dir.path()).mkpath("receive");
        std::mt19937 random(42);
        QByteArray bytes(kFileBytes, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random());
        QFile file(dir.path() + "/send/file.bin");
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
        const QString remote = QStringLiteral("127.0.0.1:%1").arg(exchange.port());
        for (TCapi20 *capi : {server.get(), client.get()}) {
            capi->SetRemoteCapi(remote);
            capi->SendPath = dir.path() + "/send/";
            capi->ReceivePath = dir.path() + "/receive/";
        }
        server->MessageDump = [this](TCustomCapi20 *, uint32_t c, uint32_t s, IndicationDatenType &) {
            if (c == Capi::CMD_LISTEN && s == Capi::SUB_CONF)
                listening = true;
            if (onServerMessage)
                onServerMessage(c, s);
        };
        server->OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::Accept; };
        server->Loaded();
        client->Loaded();
        server->Listen(ServiceBit::Data64K);
        return WaitUntil([&] { return listening.load(); }, 10000);
    }

    bool Dial()
    {
        if (!client->Dial("4711", QString(), 6) ||
            !WaitUntil([&] { return server->CurrentNCCI() != -1 && client->CurrentNCCI() != -1; }, 10000)) {
            std::fprintf(stderr, "no B channel connection\n");
            return false;
        }
        return true;
    }
};

// One exchange at `rate`, two components, `rounds` fetches of the file. Returns false on failure.
bool Run(int argc, char **argv, const std::vector<std::string> &exchangeArgs, int rounds, Result &result)
{
    QCoreApplication app(argc, argv);
    std::atomic<double> senderStart{0}, senderCpu{0}, receiverStart{0}, receiverCpu{0};
    std::atomic<int> ends{0}, failures{0};
    Line line;
    if (!line.Open(exchangeArgs))
        return false;
    line.server->OnSendFile = [&](TCapi20 *, const QString &, int64_t, int64_t, TTransferBlock b) {
        if (b == tbFileName)
            senderStart = ThreadCpuSeconds();
        else if (b == tbFileEnd || b == tbFileError)
            senderCpu = senderCpu + (ThreadCpuSeconds() - senderStart);
    };
    line.client->OnReceiveFile = [&](TCapi20 *, const QString &, int64_t, int64_t, TTransferBlock b) {
        if (b == tbFileName)
            receiverStart = ThreadCpuSeconds();
        if (b == tbFileEnd) {
            receiverCpu = receiverCpu + (ThreadCpuSeconds() - receiverStart);
            ++ends;
        }
        if (b == tbFileError)
            ++failures;
    };
    if (!line.Dial())
        return false;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 1; round <= rounds; ++round) {
        line.client->SendCommand(1, "file.bin");
        if (!WaitUntil([&] { return ends == round || failures > 0; }, 600000) || failures > 0) {
            std::fprintf(stderr, "transfer failed\n");
            return false;
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.senderCpu = senderCpu;
    result.receiverCpu = receiverCpu;
    QFile received(line.dir.path() + "/receive/file.bin");
    QFile sent(line.dir.path() + "/send/file.bin");
    if (!received.open(QIODevice::ReadOnly) || !sent.open(QIODevice::ReadOnly) ||
        received.readAll() != sent.readAll()) {
        std::fprintf(stderr, "received file differs\n");
        return false;
    }
    line.client->Disconnect();
    return true;
}

// Data calls one after the other at line rate; the median time from the server's CONNECT_IND to
// the first data block it receives in that call.
bool MeasureSetup(int argc, char **argv, const std::vector<std::string> &exchangeArgs, Result &result)
{
    constexpr int kCalls = 20;
    QCoreApplication app(argc, argv);
    std::mutex lock;
    std::chrono::steady_clock::time_point offered;
    bool waitingForData = false;
    std::vector<double> ms;
    Line line;
    line.onServerMessage = [&](uint32_t c, uint32_t s) {
        std::lock_guard guard(lock);
        if (c == Capi::CMD_CONNECT && s == Capi::SUB_IND) {
            offered = std::chrono::steady_clock::now();
            waitingForData = true;
        } else if (c == Capi::CMD_DATA_B3 && s == Capi::SUB_IND && waitingForData) {
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - offered)
                             .count());
            waitingForData = false;
        }
    };
    line.client->OnBConnect = [&](TCapi20 *capi, int) { capi->SendCommand(0, QString()); };
    if (!line.Open(exchangeArgs))
        return false;
    auto measured = [&] {
        std::lock_guard guard(lock);
        return ms.size();
    };
    for (int call = 1; call <= kCalls; ++call) {
        if (!line.Dial() || !WaitUntil([&] { return measured() == size_t(call); }, 10000)) {
            std::fprintf(stderr, "no data in call %d\n", call);
            return false;
        }
        line.client->Disconnect();
        if (!WaitUntil([&] { return line.client->CallState() == 0 && line.server->CallState() == 0; },
                       10000)) {
            std::fprintf(stderr, "call %d did not end\n", call);
            return false;
        }
    }
    std::lock_guard guard(lock);
    std::sort(ms.begin(), ms.end());
    result.setupMs = ms[ms.size() / 2];
    return true;
}

// A run in a process of its own: the library keeps one remote server per process.
class Child
{
public:
    bool Start(const std::function<bool(Result &)> &run)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        m_pid = fork();
        if (m_pid < 0) {
            close(fds[0]);
            close(fds[1]);
            return false;
        }
        if (m_pid == 0) {
            close(fds[0]);
            Result r;
            const bool ok = run(r);
            if (ok && write(fds[1], &r, sizeof r) != ssize_t(sizeof r))
                _exit(1);
            _exit(ok ? 0 : 1);
        }
        close(fds[1]);
        m_pipe = fds[0];
        return true;
    }

    bool Finish(Result &result)
    {
        if (m_pid <= 0)
            return false;
        Result r;
        const bool got = read(m_pipe, &r, sizeof r) == ssize_t(sizeof r);
        close(m_pipe);
        int status = 0;
        waitpid(m_pid, &status, 0);
        if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return false;
        result = r;
        return true;
    }

private:
    pid_t m_pid = -1;
    int m_pipe = -1;
};

bool RunInChild(const std::function<bool(Result &)> &run, Result &result)
{
    Child child;
    return child.Start(run) && child.Finish(result);
}

} // namespace

int main(int argc, char **argv)
{
    const bool unthrottledOnly = argc > 1 && std::strcmp(argv[1], "--unthrottled-only") == 0;
    const std::vector<std::string> quickAck = {"--rate", "64000"};
    const std::vector<std::string> plainTcp = {"--rate", "64000", "--no-quickack"};
    Result fast;
    if (!RunInChild([&](Result &r) { return Run(argc, argv, {"--rate", "0"}, kUnthrottledRounds, r); }, fast))
        return 1;
    const double megabytes = double(kFileBytes) * kUnthrottledRounds / (1024.0 * 1024.0);
    std::printf("unthrottled_mb_per_s: %.2f\n", megabytes / fast.seconds);
    std::printf("cpu_s_per_mb_sender: %.4f\n", fast.senderCpu / megabytes);
    std::printf("cpu_s_per_mb_receiver: %.4f\n", fast.receiverCpu / megabytes);
    std::fflush(stdout);
    if (unthrottledOnly)
        return 0;
    Result setup, setupPlain;
    if (!RunInChild([&](Result &r) { return MeasureSetup(argc, argv, quickAck, r); }, setup) ||
        !RunInChild([&](Result &r) { return MeasureSetup(argc, argv, plainTcp, r); }, setupPlain))
        return 1;
    std::printf("data_call_setup_ms: %.3f\n", setup.setupMs);
    std::printf("data_call_setup_ms_plain_tcp: %.3f\n", setupPlain.setupMs);
    std::fflush(stdout);
    // The two line-rate transfers run side by side: each takes over two minutes at 8,000
    // bytes/s and needs little of the machine.
    Child quick, plain;
    Result line, linePlain;
    quick.Start([&](Result &r) { return Run(argc, argv, quickAck, 1, r); });
    plain.Start([&](Result &r) { return Run(argc, argv, plainTcp, 1, r); });
    const bool quickDone = quick.Finish(line);
    if (!plain.Finish(linePlain) || !quickDone)
        return 1;
    const double rate = double(kFileBytes) / line.seconds;
    std::printf("transfer_bytes_per_s: %.1f\n", rate);
    std::printf("transfer_line_ratio: %.4f\n", rate / kLineBytesPerSecond);
    std::printf("transfer_line_ratio_plain_tcp: %.4f\n",
                double(kFileBytes) / linePlain.seconds / kLineBytesPerSecond);
    return 0;
}
