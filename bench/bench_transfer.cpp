// bench_transfer: a 1 MB random file fetched from one TCapi20 component by another through the
// real libcapi20 and the virtual exchange, once at line rate (64 kbit/s) and unthrottled.
//
//   bench_transfer [--unthrottled-only]
//
// Prints transfer_bytes_per_s and transfer_line_ratio (file bytes delivered per second at line
// rate, and their ratio to the line's 8,000 bytes/s), unthrottled_mb_per_s, and the CPU time of
// the sending and the receiving component's message thread per MB (unthrottled).

#include "SimProcess.h"
#include "capi/Capi20.h"

#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

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
};

// One exchange at `rate`, two components, `rounds` fetches of the file. Returns false on failure.
bool Run(int argc, char **argv, const char *rate, int rounds, Result &result)
{
    QCoreApplication app(argc, argv);
    isdnsim::SimProcess exchange;
    std::string error;
    if (!exchange.start(ISDNSIM_EXE, {"--rate", rate}, &error, 20000, true)) {
        std::fprintf(stderr, "isdnsim: %s\n", error.c_str());
        return false;
    }
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("send");
    QDir(dir.path()).mkpath("receive");
    {
        std::mt19937 random(42);
        QByteArray bytes(kFileBytes, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random());
        QFile file(dir.path() + "/send/file.bin");
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    const QString remote = QStringLiteral("127.0.0.1:%1").arg(exchange.port());
    auto server = std::make_unique<TCapi20>();
    auto client = std::make_unique<TCapi20>();
    for (TCapi20 *capi : {server.get(), client.get()}) {
        capi->SetRemoteCapi(remote);
        capi->SendPath = dir.path() + "/send/";
        capi->ReceivePath = dir.path() + "/receive/";
    }
    std::atomic<bool> listening{false};
    server->MessageDump = [&](TCustomCapi20 *, uint32_t c, uint32_t s, IndicationDatenType &) {
        if (c == Capi::CMD_LISTEN && s == Capi::SUB_CONF)
            listening = true;
    };
    server->OnRing = [](TCapi20 *, const TCallDaten &) { return RingResult::Accept; };
    std::atomic<double> senderStart{0}, senderCpu{0}, receiverStart{0}, receiverCpu{0};
    std::atomic<int> ends{0}, failures{0};
    server->OnSendFile = [&](TCapi20 *, const QString &, int64_t, int64_t, TTransferBlock b) {
        if (b == tbFileName)
            senderStart = ThreadCpuSeconds();
        else if (b == tbFileEnd || b == tbFileError)
            senderCpu = senderCpu + (ThreadCpuSeconds() - senderStart);
    };
    client->OnReceiveFile = [&](TCapi20 *, const QString &, int64_t, int64_t, TTransferBlock b) {
        if (b == tbFileName)
            receiverStart = ThreadCpuSeconds();
        if (b == tbFileEnd) {
            receiverCpu = receiverCpu + (ThreadCpuSeconds() - receiverStart);
            ++ends;
        }
        if (b == tbFileError)
            ++failures;
    };
    server->Loaded();
    client->Loaded();
    server->Listen(ServiceBit::Data64K);
    if (!WaitUntil([&] { return listening.load(); }, 10000) || !client->Dial("4711", QString(), 6) ||
        !WaitUntil([&] { return server->CurrentNCCI() != -1 && client->CurrentNCCI() != -1; }, 10000)) {
        std::fprintf(stderr, "no B channel connection\n");
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    for (int round = 1; round <= rounds; ++round) {
        client->SendCommand(1, "file.bin");
        if (!WaitUntil([&] { return ends == round || failures > 0; }, 600000) || failures > 0) {
            std::fprintf(stderr, "transfer failed\n");
            return false;
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.senderCpu = senderCpu;
    result.receiverCpu = receiverCpu;
    QFile received(dir.path() + "/receive/file.bin");
    QFile sent(dir.path() + "/send/file.bin");
    if (!received.open(QIODevice::ReadOnly) || !sent.open(QIODevice::ReadOnly) ||
        received.readAll() != sent.readAll()) {
        std::fprintf(stderr, "received file differs\n");
        return false;
    }
    client->Disconnect();
    return true;
}

// Each run in a process of its own: the library keeps one remote server per process.
bool RunInChild(int argc, char **argv, const char *rate, int rounds, Result &result)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        Result r;
        const bool ok = Run(argc, argv, rate, rounds, r);
        if (ok && write(pipeFds[1], &r, sizeof r) != ssize_t(sizeof r))
            _exit(1);
        _exit(ok ? 0 : 1);
    }
    close(pipeFds[1]);
    Result r;
    const bool got = read(pipeFds[0], &r, sizeof r) == ssize_t(sizeof r);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    result = r;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const bool unthrottledOnly = argc > 1 && std::strcmp(argv[1], "--unthrottled-only") == 0;
    Result fast;
    if (!RunInChild(argc, argv, "0", kUnthrottledRounds, fast))
        return 1;
    const double megabytes = double(kFileBytes) * kUnthrottledRounds / (1024.0 * 1024.0);
    std::printf("unthrottled_mb_per_s: %.2f\n", megabytes / fast.seconds);
    std::printf("cpu_s_per_mb_sender: %.4f\n", fast.senderCpu / megabytes);
    std::printf("cpu_s_per_mb_receiver: %.4f\n", fast.receiverCpu / megabytes);
    std::fflush(stdout);
    if (unthrottledOnly)
        return 0;
    Result line;
    if (!RunInChild(argc, argv, "64000", 1, line))
        return 1;
    const double rate = double(kFileBytes) / line.seconds;
    std::printf("transfer_bytes_per_s: %.1f\n", rate);
    std::printf("transfer_line_ratio: %.4f\n", rate / kLineBytesPerSecond);
    return 0;
}
