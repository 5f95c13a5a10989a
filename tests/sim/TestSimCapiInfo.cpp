// The manufacturer, version and serial number the exchange is told on its command line, read
// back through the real libcapi20. Only its `rcapi` driver asks the server for them (the
// `fritzbox` driver answers with constants of its own), so this executable selects that one.
#include "CapiClient.h"
#include "SimProcess.h"

#include <capi20.h>
#include <gtest/gtest.h>

#include <string>

using namespace isdnsim;

TEST(SimCapiInfo, QueriesAnswerWithTheCommandLineValues)
{
    SimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.start(ISDNSIM_EXE,
                          {"--manufacturer", "Teles AG", "--capi-version", "2.1", "--manufacturer-version",
                           "3.11", "--serial", "000001a"},
                          &error))
        << error;
    selectRemoteCapi(sim.port(), "rcapi");
    ASSERT_EQ(capi20_isinstalled(), 0u);
    for (unsigned controller : {0u, 1u}) {
        SCOPED_TRACE(controller);
        unsigned char text[64] = {};
        ASSERT_NE(capi20_get_manufacturer(controller, text), nullptr);
        EXPECT_STREQ(reinterpret_cast<char *>(text), "Teles AG");
        unsigned version[4] = {};
        ASSERT_NE(capi20_get_version(controller, reinterpret_cast<unsigned char *>(version)), nullptr);
        EXPECT_EQ(version[0], 2u);
        EXPECT_EQ(version[1], 1u);
        EXPECT_EQ(version[2], 3u);
        EXPECT_EQ(version[3], 11u);
        unsigned char serial[8] = {};
        ASSERT_NE(capi20_get_serial_number(controller, serial), nullptr);
        EXPECT_STREQ(reinterpret_cast<char *>(serial), "000001a");
    }
}

// Values CAPI cannot hand out whole are refused when the exchange starts, not cut short later.
TEST(SimCapiInfo, ValuesTooLongForCapiAreRefused)
{
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--serial", "0000001A"},
          std::vector<std::string>{"--manufacturer", std::string(64, 'x')},
          std::vector<std::string>{"--capi-version", "2"}}) {
        SimProcess sim;
        std::string error;
        EXPECT_FALSE(sim.start(ISDNSIM_EXE, args, &error, 20000, true)) << args[0];
    }
}
