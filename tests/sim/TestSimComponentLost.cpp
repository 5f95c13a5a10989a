// TCapi20 through the real libcapi20 when the exchange disappears mid-call: both components
// report the lost connection, release, and nothing waits forever.
#include "ComponentFixture.h"

#include <csignal>

using namespace comptest;

TEST(SimComponentLost, ExchangeDisappearingMidCallIsReported)
{
    std::string error;
    ASSERT_TRUE(server().start(ISDNSIM_EXE, {}, &error)) << error;
    Station a, b(ServiceBit::Data64K);
    b.ringResult = RingResult::Accept;
    ASSERT_TRUE(a.capi->Dial(QStringLiteral("4711"), QString(), 6));
    ASSERT_TRUE(WaitUntil([&] { return a.capi->CallState() == 3 && b.capi->CallState() == 3; }));

    server().kill(SIGKILL);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] {
        return a.hasError(CapiError::ERR_CONNECTION_LOST) && b.hasError(CapiError::ERR_CONNECTION_LOST);
    }));
    EXPECT_FALSE(a.capi->Registered());
    EXPECT_FALSE(b.capi->Registered());
    // Clearing a call on a lost line returns; the release reported the end of both links.
    a.capi->Disconnect();
    b.capi->Disconnect();
    EXPECT_EQ(a.capi->CallState(), 0);
    EXPECT_EQ(b.capi->CallState(), 0);
    a.capi.reset();
    b.capi.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}
