// isdnsim: the virtual exchange (serve) and its test caller (call, status, events).

#include "CapiMessage.h"
#include "ControlClient.h"
#include "Exchange.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

using namespace isdnsim;

namespace {

Exchange *g_exchange = nullptr;

void onSignal(int)
{
    if (g_exchange)
        g_exchange->stop();
}

int usage(FILE *out)
{
    std::fputs("usage:\n"
               "  isdnsim serve [--port N] [--port-file F] [--rate BITS_PER_S] [--ring-timeout-ms N]\n"
               "                [--line-number DIGITS] [--no-quickack] [--trace] [--die-with-parent]\n"
               "                [--manufacturer TEXT] [--capi-version MAJOR.MINOR]\n"
               "                [--manufacturer-version MAJOR.MINOR] [--serial TEXT]\n"
               "  isdnsim call [--server HOST:PORT] --from DIGITS --to DIGITS [--service NAME|CIP]\n"
               "               [--hangup-after-ms N]\n"
               "  isdnsim status [--server HOST:PORT]\n"
               "  isdnsim events [--server HOST:PORT] [--since N]\n"
               "services: telephony, analog, fax3, fax4, data64, data56, speech, or a CIP value 0..31\n",
               out);
    return out == stdout ? 0 : 2;
}

bool number(const char *text, long max, long *out)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || errno || v < 0 || v > max)
        return false;
    *out = v;
    return true;
}

// "major.minor", two decimal numbers.
bool version(const std::string &text, uint32_t out[2])
{
    const size_t dot = text.find('.');
    long major = 0, minor = 0;
    if (dot == std::string::npos || !number(text.substr(0, dot).c_str(), 999999999, &major) ||
        !number(text.substr(dot + 1).c_str(), 999999999, &minor))
        return false;
    out[0] = uint32_t(major);
    out[1] = uint32_t(minor);
    return true;
}

bool writePortFile(const std::string &path, uint16_t port, std::string *error)
{
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    FILE *f = std::fopen(tmp.c_str(), "w");
    if (!f) {
        *error = tmp + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(f, "%u\n", port);
    const bool ok = std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
    std::fclose(f);
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        *error = path + ": " + std::strerror(errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

int serve(const std::vector<std::string> &args)
{
    Options opt;
    std::string portFile;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const bool hasValue = i + 1 < args.size();
        long v = 0;
        if (a == "--trace") {
            opt.trace = true;
        } else if (a == "--no-quickack") {
            opt.quickAck = false;
        } else if (a == "--die-with-parent") {
            // Started by a test or benchmark: do not outlive it, however it ends.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() == 1)
                return 1;
        } else if (a == "--port" && hasValue && number(args[i + 1].c_str(), 65534, &v)) {
            opt.port = uint16_t(v);
            ++i;
        } else if (a == "--port-file" && hasValue) {
            portFile = args[++i];
        } else if (a == "--rate" && hasValue && number(args[i + 1].c_str(), 100000000, &v)) {
            opt.rate = uint32_t(v);
            ++i;
        } else if (a == "--ring-timeout-ms" && hasValue && number(args[i + 1].c_str(), 86400000, &v)) {
            opt.ringTimeoutMs = int(v);
            ++i;
        } else if (a == "--line-number" && hasValue) {
            opt.lineNumber = args[++i];
        } else if (a == "--manufacturer" && hasValue) {
            opt.manufacturer = args[++i];
            // CAPI hands the manufacturer out in 64 bytes, the serial number in 8, each ending
            // in a zero: anything longer would reach an application cut short.
            if (opt.manufacturer.size() > 63) {
                std::fprintf(stderr, "isdnsim serve: --manufacturer takes at most 63 characters\n");
                return 2;
            }
        } else if (a == "--serial" && hasValue) {
            opt.serialNumber = args[++i];
            if (opt.serialNumber.size() > 7) {
                std::fprintf(stderr, "isdnsim serve: --serial takes at most 7 characters\n");
                return 2;
            }
        } else if (a == "--capi-version" && hasValue && version(args[i + 1], opt.capiVersion)) {
            ++i;
        } else if (a == "--manufacturer-version" && hasValue &&
                   version(args[i + 1], opt.manufacturerVersion)) {
            ++i;
        } else {
            std::fprintf(stderr, "isdnsim serve: bad argument %s\n", a.c_str());
            return usage(stderr);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    Exchange exchange(opt);
    std::string error;
    if (!exchange.listen(&error)) {
        std::fprintf(stderr, "isdnsim: cannot listen: %s\n", error.c_str());
        return 1;
    }
    if (!portFile.empty() && !writePortFile(portFile, exchange.port(), &error)) {
        std::fprintf(stderr, "isdnsim: cannot write the port file: %s\n", error.c_str());
        return 1;
    }
    g_exchange = &exchange;
    struct sigaction sa
    {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::fprintf(stderr, "isdnsim: exchange listening on 127.0.0.1:%u (B channel %s)\n", exchange.port(),
                 opt.rate ? (std::to_string(opt.rate) + " bit/s").c_str() : "unthrottled");
    exchange.run();
    g_exchange = nullptr;
    return 0;
}

bool connectTo(const std::string &server, ControlClient &client)
{
    std::string host, error;
    uint16_t port = 0;
    if (!parseServer(server, &host, &port)) {
        std::fprintf(stderr, "isdnsim: bad server address %s (HOST:PORT)\n", server.c_str());
        return false;
    }
    if (!client.connect(host, port, &error)) {
        std::fprintf(stderr, "isdnsim: cannot reach the exchange: %s\n", error.c_str());
        return false;
    }
    return true;
}

int call(const std::vector<std::string> &args)
{
    std::string server = "127.0.0.1:5031", from, to, service = "telephony";
    long hangup = -1;
    bool haveTo = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "isdnsim call: %s needs a value\n", a.c_str());
            return usage(stderr);
        }
        const std::string &v = args[++i];
        if (a == "--server")
            server = v;
        else if (a == "--from")
            from = v;
        else if (a == "--to") {
            to = v;
            haveTo = true;
        } else if (a == "--service")
            service = v;
        else if (a == "--hangup-after-ms" && number(v.c_str(), 86400000, &hangup)) {
        } else {
            std::fprintf(stderr, "isdnsim call: bad argument %s %s\n", a.c_str(), v.c_str());
            return usage(stderr);
        }
    }
    const int cip = cipForService(service);
    if (cip < 0) {
        std::fprintf(stderr, "isdnsim call: unknown service %s\n", service.c_str());
        return usage(stderr);
    }
    if (!haveTo) {
        std::fprintf(stderr, "isdnsim call: --to is required\n");
        return usage(stderr);
    }
    ControlClient client;
    if (!connectTo(server, client))
        return 2;
    std::string line =
        "CALL from=" + (from.empty() ? std::string("-") : from) + " to=" + to + " cip=" + std::to_string(cip);
    if (hangup >= 0)
        line += " hangup_after_ms=" + std::to_string(hangup);
    if (!client.sendLine(line)) {
        std::fprintf(stderr, "isdnsim: the exchange closed the connection\n");
        return 2;
    }
    CallReport report;
    std::string l;
    while (!report.complete && client.readLine(&l, -1)) {
        if (l.rfind("ERROR", 0) == 0) {
            std::fprintf(stderr, "isdnsim: %s\n", l.c_str());
            return 2;
        }
        report.add(l);
    }
    if (!report.complete) {
        std::fprintf(stderr, "isdnsim: the exchange went away during the call\n");
        return 2;
    }
    for (const std::string &s : report.format())
        std::printf("%s\n", s.c_str());
    std::printf("summary: call from %s to %s (CIP %d) offered to %d application%s, result: %s\n",
                from.empty() ? "(no number)" : from.c_str(), to.c_str(), cip, report.offered,
                report.offered == 1 ? "" : "s", report.result.c_str());
    return report.offered > 0 ? 0 : 1;
}

int query(const std::vector<std::string> &args, const std::string &command)
{
    std::string server = "127.0.0.1:5031", line = command;
    for (size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "--server")
            server = args[i + 1];
        else if (args[i] == "--since" && command == "EVENTS")
            line += " since=" + args[i + 1];
        else
            return usage(stderr);
    }
    if (args.size() % 2)
        return usage(stderr);
    ControlClient client;
    if (!connectTo(server, client))
        return 2;
    const auto lines = client.request(line, 10000);
    if (lines.empty()) {
        std::fprintf(stderr, "isdnsim: no answer from the exchange\n");
        return 2;
    }
    for (const auto &l : lines)
        std::printf("%s\n", l.c_str());
    return lines.back().rfind("ERROR", 0) == 0 ? 2 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage(stderr);
    const std::string mode = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (mode == "serve")
        return serve(args);
    if (mode == "call")
        return call(args);
    if (mode == "status")
        return query(args, "STATUS");
    if (mode == "events")
        return query(args, "EVENTS");
    if (mode == "--help" || mode == "-h" || mode == "help")
        return usage(stdout);
    std::fprintf(stderr, "isdnsim: unknown mode %s\n", mode.c_str());
    return usage(stderr);
}
