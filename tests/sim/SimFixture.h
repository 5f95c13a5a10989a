#pragma once

// One isdnsim process per test executable (the libcapi20 keeps one remote selection per
// process), a CAPI application helper and a control-interface helper.

#include "CapiClient.h"
#include "ControlClient.h"
#include "SimProcess.h"

#include <capiutils.h>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace simtest {

using namespace isdnsim;

inline SimProcess &server()
{
    static SimProcess process;
    return process;
}

// Starts the exchange with the given options and points the library at it.
inline void startServer(const std::vector<std::string> &args)
{
    std::string error;
    ASSERT_TRUE(server().start(ISDNSIM_EXE, args, &error)) << error;
    selectRemoteCapi(server().port());
}

// Polls `done` until it holds (at most 20 s): for effects of messages that travel on another
// connection than the question.
inline bool eventually(const std::function<bool()> &done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline std::unique_ptr<ControlClient> control()
{
    auto c = std::make_unique<ControlClient>();
    std::string error;
    EXPECT_TRUE(c->connect("127.0.0.1", server().port(), &error)) << error;
    return c;
}

// Waits for the next message of the given kind, failing on anything else.
inline Message expectMessage(CapiClient &app, uint8_t command, uint8_t subcommand, int timeoutMs = 5000)
{
    Message m;
    if (!app.get(&m, timeoutMs)) {
        ADD_FAILURE() << "no message; expected " << messageName(command, subcommand)
                      << (app.serverGone() ? " (exchange gone)" : "");
        return m;
    }
    EXPECT_TRUE(m.ok()) << describe(m);
    EXPECT_EQ(messageName(m.command, m.subcommand), messageName(command, subcommand)) << describe(m);
    if (m.command != CmdDataB3) {
        // The library's own decoder reads every message and encodes the same bytes again: the
        // exchange's layouts are complete (its decoder has no bounds checks and would read on).
        const Bytes &raw = app.lastRaw();
        _cmsg cmsg{};
        capi_message2cmsg(&cmsg, const_cast<uint8_t *>(raw.data()));
        uint8_t again[2048] = {};
        capi_cmsg2message(&cmsg, again);
        EXPECT_EQ(Bytes(again, again + rd16(again)), raw) << describe(m);
    }
    return m;
}

// No message within the time (for checking that nothing else arrives).
inline void expectQuiet(CapiClient &app, int ms = 100)
{
    Message m;
    EXPECT_FALSE(app.get(&m, ms)) << "unexpected " << describe(m);
}

// The CIP value as the library's own decoder reads it from a raw message.
inline int cmsgCIP(const Bytes &raw)
{
    _cmsg cmsg{};
    capi_message2cmsg(&cmsg, const_cast<uint8_t *>(raw.data()));
    return cmsg.CIPValue;
}

inline Bytes additionalInfo()
{
    return kUseBChannel;
}

inline void listen(CapiClient &app, uint32_t cipMask, uint16_t expectedInfo = 0, uint32_t controller = 1)
{
    ASSERT_EQ(app.put(app.request(CmdListen)
                          .dword(controller)
                          .dword(0)
                          .dword(cipMask)
                          .dword(0)
                          .empty()
                          .empty()
                          .finish()),
              0u);
    const Message conf = expectMessage(app, CmdListen, SubConf);
    EXPECT_EQ(conf.num(0), controller);
    EXPECT_EQ(conf.num(1), expectedInfo);
}

inline Bytes bProtocol()
{
    return kDefaultBProtocol;
}

inline void respond(CapiClient &app, const Message &ind, uint8_t command)
{
    ASSERT_EQ(app.put(app.response(command, ind).dword(uint32_t(ind.num(0))).finish()), 0u);
}

inline void connectResp(CapiClient &app, const Message &ind, uint16_t reject)
{
    ASSERT_EQ(app.put(app.connectResponse(ind, reject, Bytes{0x00, 0x80, '4', '7', '1', '1'})), 0u);
}

} // namespace simtest
