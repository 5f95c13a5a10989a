#pragma once

// TCapi20 components on the real libcapi20, talking to one isdnsim process per test executable
// (the library keeps one remote selection per process). The main thread must keep processing
// events while it waits: the ring and B3 handlers run there.

#include "ControlClient.h"
#include "SimProcess.h"
#include "capi/Capi20.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace comptest {

inline isdnsim::SimProcess &server()
{
    static isdnsim::SimProcess process;
    return process;
}

// A registered component with its events recorded.
struct Station
{
    std::unique_ptr<TCapi20> capi = std::make_unique<TCapi20>();
    std::mutex lock;
    std::vector<uint32_t> errors;
    std::vector<uint32_t> disconnects;  // OnDisconnect reasons
    std::vector<uint32_t> bDisconnects; // OnBDisconnect reasons
    std::atomic<int> bConnects{0};
    std::atomic<uint32_t> ringResult{RingResult::Ignore};
    std::vector<TCallDaten> rings;

    explicit Station(uint16_t listenMask = 0)
    {
        capi->SetRemoteCapi(QStringLiteral("127.0.0.1:%1").arg(server().port()));
        capi->OnError = [this](TCustomCapi20 *, uint32_t, uint32_t, uint32_t n) {
            std::lock_guard g(lock);
            errors.push_back(n);
        };
        capi->OnDisconnect = [this](TCapi20 *, uint32_t reason) {
            std::lock_guard g(lock);
            disconnects.push_back(reason);
        };
        capi->OnBDisconnect = [this](TCapi20 *, int, uint32_t reason) {
            std::lock_guard g(lock);
            bDisconnects.push_back(reason);
        };
        capi->OnBConnect = [this](TCapi20 *, int) { ++bConnects; };
        capi->OnRing = [this](TCapi20 *, const TCallDaten &d) {
            std::lock_guard g(lock);
            rings.push_back(d);
            return ringResult.load();
        };
        capi->Loaded();
        EXPECT_TRUE(capi->Registered()) << "error 0x" << std::hex << capi->LastError();
        if (listenMask)
            Listen(listenMask);
    }
    // The component is gone before the records its handlers write to.
    ~Station() { capi.reset(); }

    // Listens and waits until the exchange has taken the request: requests of different
    // applications travel on different connections, so a dial could otherwise overtake it.
    void Listen(uint16_t mask);
    size_t count(const std::vector<uint32_t> &v)
    {
        std::lock_guard g(lock);
        return v.size();
    }
    bool hasError(uint32_t n)
    {
        std::lock_guard g(lock);
        return std::find(errors.begin(), errors.end(), n) != errors.end();
    }
};

inline std::unique_ptr<isdnsim::ControlClient> control()
{
    auto c = std::make_unique<isdnsim::ControlClient>();
    std::string error;
    EXPECT_TRUE(c->connect("127.0.0.1", server().port(), &error)) << error;
    return c;
}

// Reads lines of a control connection, processing events meanwhile, until one starts with
// `prefix`; returns it ("" on timeout). Lines passed on the way go to `seen`.
inline std::string AwaitLine(isdnsim::ControlClient &c, const std::string &prefix,
                             std::vector<std::string> *seen = nullptr, int ceilingMs = 20000)
{
    std::string line, found;
    WaitUntil(
        [&] {
            while (c.readLine(&line, 0)) {
                if (seen)
                    seen->push_back(line);
                if (line.rfind(prefix, 0) == 0) {
                    found = line;
                    return true;
                }
            }
            return false;
        },
        ceilingMs);
    return found;
}

// Events of the exchange that contain `text`.
inline int CountEvents(const std::string &text)
{
    int n = 0;
    for (const auto &l : control()->request("EVENTS", 5000))
        n += l.find(text) != std::string::npos;
    return n;
}

inline void Station::Listen(uint16_t mask)
{
    const std::string key = "listen appl=" + std::to_string(capi->ApplID()) + " ";
    const int before = CountEvents(key);
    capi->Listen(mask);
    EXPECT_TRUE(WaitUntil([&] { return CountEvents(key) > before; }));
}

} // namespace comptest
