// The program's CAPI binding over the real libcapi20 against an exchange whose kernel delays
// its acknowledgements (isdnsim --no-quickack), as an ordinary router's TCP stack does.
#include "CapiMessage.h"
#include "SimProcess.h"
#include "capi/CapiBinding.h"
#include "capi/CapiCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <poll.h>
#include <vector>

using namespace isdnsim;

// A response the exchange takes without a word (here DISCONNECT_RESP) followed at once by a
// request: the request must go out at once. With Nagle's algorithm on it waits until the
// response is acknowledged, and a plain peer acknowledges it only after its delayed-ACK timer
// (40 ms or more), so every round would take that long.
TEST(SimPlainTcp, RequestAfterUnconfirmedResponseIsNotHeldBack)
{
    SimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.start(ISDNSIM_EXE, {"--no-quickack"}, &error)) << error;
    auto binding = CreateCapiBinding();
    ASSERT_TRUE(binding->Load(CapiLibraryFileName()));
    binding->SetQuiet();
    ASSERT_TRUE(binding->SelectRemote(QStringLiteral("127.0.0.1"), sim.port()));
    ASSERT_EQ(binding->Installed(), 0u);
    uint32_t applId = 0;
    ASSERT_EQ(binding->Register(0, 2, 7, 2048, applId), 0u);

    uint16_t number = 1;
    auto put = [&](const Bytes &message) {
        std::array<uint8_t, Capi::MessageBufferBytes> buffer{};
        std::copy(message.begin(), message.end(), buffer.begin());
        return binding->PutMessage(applId, buffer.data());
    };
    // Rounds enough to leave the kernel's initial quick-acknowledgement phase far behind.
    std::vector<double> ms;
    for (int round = 0; round < 30; ++round) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(
            put(MessageBuilder(uint16_t(applId), CmdDisconnect, SubResp, number++).dword(0x101).finish()),
            0u);
        ASSERT_EQ(put(MessageBuilder(uint16_t(applId), CmdListen, SubReq, number++)
                          .dword(1)
                          .dword(0)
                          .dword(0)
                          .dword(0)
                          .empty()
                          .empty()
                          .finish()),
                  0u);
        pollfd reply = {binding->FileNo(applId), POLLIN, 0};
        ASSERT_EQ(::poll(&reply, 1, 5000), 1);
        std::array<uint8_t, Capi::MessageBufferBytes> buffer{};
        size_t length = 0;
        ASSERT_EQ(binding->GetMessage(applId, buffer.data(), length), 0u);
        const Message conf = parseMessage(buffer.data(), length);
        ASSERT_EQ(messageName(conf.command, conf.subcommand), messageName(CmdListen, SubConf));
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    binding->Release(applId);
    std::sort(ms.begin(), ms.end());
    // Half the shortest delayed acknowledgement: a held request cannot come in under it.
    EXPECT_LT(ms[ms.size() / 2], 20.0)
        << "median of " << ms.size() << " rounds; slowest " << ms.back() << " ms";
}
