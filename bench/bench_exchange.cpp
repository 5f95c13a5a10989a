// The virtual exchange under the real libcapi20: how quickly a ring is answered with an alert
// (1,000 calls), and how closely the B channel keeps its line rate (10 s of data one way).
//
// ring_alert_p50_ms / _p99_ms: from the exchange's CONNECT_IND to its receipt of the ALERT_REQ,
// as the control interface reports the two events. line_rate_bytes_per_s: payload delivered per
// second at the receiving application; line_rate_ratio: that over 8,000 bytes/s.
#include "CapiClient.h"
#include "ControlClient.h"
#include "SimProcess.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace isdnsim;
using Clock = std::chrono::steady_clock;

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench_exchange: %s\n", what);
    std::exit(1);
}

Message next(CapiClient &app, uint8_t command, uint8_t subcommand)
{
    Message m;
    for (;;) {
        if (!app.get(&m, 10000))
            fail("no message from the exchange");
        if (m.command == command && m.subcommand == subcommand)
            return m;
        // Anything else that needs an answer gets one.
        if (m.subcommand == SubInd && (m.command == CmdDisconnect || m.command == CmdConnectActive ||
                                       m.command == CmdConnectB3Active || m.command == CmdDisconnectB3))
            app.put(app.response(m.command, m).dword(uint32_t(m.num(0))).finish());
    }
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

void ringAlert(uint16_t port, int calls)
{
    CapiClient phone;
    if (phone.registerApp() != 0)
        fail("register failed");
    phone.put(phone.request(CmdListen).dword(1).dword(0).dword(0x1FFF03FF).dword(0).empty().empty().finish());
    next(phone, CmdListen, SubConf);

    // The application: alert every ring, answer every clearing.
    std::atomic<bool> stop{false};
    std::thread app([&] {
        Message m;
        while (!stop) {
            if (!phone.get(&m, 100))
                continue;
            if (m.command == CmdConnect && m.subcommand == SubInd)
                phone.put(phone.request(CmdAlert).dword(uint32_t(m.num(0))).structure(kUseBChannel).finish());
            else if (m.command == CmdDisconnect && m.subcommand == SubInd)
                phone.put(phone.response(CmdDisconnect, m).dword(uint32_t(m.num(0))).finish());
        }
    });

    ControlClient line;
    std::string error, l;
    if (!line.connect("127.0.0.1", port, &error))
        fail(error.c_str());
    std::vector<double> ms;
    ms.reserve(size_t(calls));
    for (int i = 0; i < calls; ++i) {
        if (!line.sendLine("CALL from=0301234567 to=4711 cip=16"))
            fail("control connection lost");
        while (line.readLine(&l, 10000)) {
            if (l.rfind("ALERTED", 0) == 0) {
                // The exchange times it: from putting out the CONNECT_IND to taking in the ALERT_REQ.
                ms.push_back(std::stod(lineValue(l, "after_ms")));
                line.sendLine("HANGUP");
            }
            if (l.rfind("END", 0) == 0)
                break;
        }
        if (l.rfind("END", 0) != 0)
            fail("a call did not end");
    }
    stop = true;
    app.join();
    std::printf("ring_alert_p50_ms: %.3f\n", percentile(ms, 0.50));
    std::printf("ring_alert_p99_ms: %.3f\n", percentile(ms, 0.99));
}

void lineRate(double seconds)
{
    CapiClient a, b;
    if (a.registerApp(2, 7, 2048) != 0 || b.registerApp(2, 7, 2048) != 0)
        fail("register failed");
    b.put(b.request(CmdListen).dword(1).dword(0).dword(1u << 2).dword(0).empty().empty().finish());
    next(b, CmdListen, SubConf);
    a.put(a.connectRequest(2, Bytes{0x80, '1'}, Bytes{0x00, 0xA0}));
    const uint32_t plci = uint32_t(next(a, CmdConnect, SubConf).num(0));
    const Message ind = next(b, CmdConnect, SubInd);
    b.put(b.connectResponse(ind, 0));
    next(a, CmdConnectActive, SubInd);
    a.put(a.request(CmdConnectB3).dword(plci).empty().finish());
    const uint32_t ncciA = uint32_t(next(a, CmdConnectB3, SubConf).num(0));
    const Message b3 = next(b, CmdConnectB3, SubInd);
    b.put(b.response(CmdConnectB3, b3).dword(uint32_t(b3.num(0))).word(0).empty().finish());
    next(a, CmdConnectB3Active, SubInd);
    next(b, CmdConnectB3Active, SubInd);

    // Receiver: answers every block at once and notes when each arrived.
    std::atomic<bool> stop{false};
    std::vector<std::pair<double, double>> arrivals; // seconds, bytes delivered so far
    const auto t0 = Clock::now();
    std::thread receiver([&] {
        Message m;
        double total = 0;
        while (!stop) {
            if (!b.get(&m, 100))
                continue;
            if (m.command != CmdDataB3 || m.subcommand != SubInd)
                continue;
            total += double(m.payload.size());
            arrivals.emplace_back(std::chrono::duration<double>(Clock::now() - t0).count(), total);
            b.put(b.response(CmdDataB3, m).dword(uint32_t(m.num(0))).word(uint16_t(m.num(3))).finish());
        }
    });
    // Sender: keeps up to seven blocks unconfirmed.
    const Bytes block(512, 0x5A);
    int outstanding = 0;
    uint16_t handle = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    Message m;
    while (Clock::now() < end) {
        while (outstanding < 7) {
            a.put(a.request(CmdDataB3)
                      .dword(ncciA)
                      .dword(0)
                      .word(uint16_t(block.size()))
                      .word(handle++)
                      .word(0)
                      .finish(),
                  block);
            ++outstanding;
        }
        if (a.get(&m, 100) && m.command == CmdDataB3 && m.subcommand == SubConf)
            --outstanding;
    }
    stop = true;
    receiver.join();
    // The slope of bytes over arrival time (least squares), so that one late wake-up of this
    // process does not count as a slow line.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = double(arrivals.size());
    for (const auto &[x, y] : arrivals) {
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double den = n * sxx - sx * sx;
    const double rate = n > 2 && den > 0 ? (n * sxy - sx * sy) / den : 0;
    std::printf("line_rate_bytes_per_s: %.1f\n", rate);
    std::printf("line_rate_ratio: %.4f\n", rate / 8000.0);
}

} // namespace

int main()
{
    SimProcess sim;
    std::string error;
    if (!sim.start(ISDNSIM_EXE, {}, &error, 20000, true))
        fail(error.c_str());
    selectRemoteCapi(sim.port());
    ringAlert(sim.port(), 1000);
    lineRate(10.0);
    return 0;
}
