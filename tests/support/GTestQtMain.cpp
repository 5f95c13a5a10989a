// Entry point of the core test executables: a QCoreApplication (for event processing and
// file helpers) and temporary HOME/XDG folders for the whole run; tests that need a clean
// folder of their own make another TestEnv.
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

// An ASSERT_ in a helper only returns from the helper, and the test would run on into what the
// helper did not set up. A fatal failure on the test's own thread therefore ends the whole test
// at once: GoogleTest reports the assertion, then catches this exception at the test's edge.
// Elsewhere (a CAPI or worker thread) the failure is recorded as usual: throwing there would end
// the process.
class StopTestOnFatalFailure : public ::testing::EmptyTestEventListener
{
public:
    void OnTestStart(const ::testing::TestInfo &) override { m_stopped = false; }
    void OnTestPartResult(const ::testing::TestPartResult &result) override
    {
        // GoogleTest reports the caught exception as a fatal failure too: that one passes.
        if (!result.fatally_failed() || m_stopped || std::this_thread::get_id() != m_testThread)
            return;
        m_stopped = true;
        throw std::runtime_error("the test stopped at its first fatal failure (above)");
    }

private:
    const std::thread::id m_testThread = std::this_thread::get_id();
    bool m_stopped = false;
};

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    TestEnv env;
    ::testing::UnitTest::GetInstance()->listeners().Append(new StopTestOnFatalFailure);
    return RUN_ALL_TESTS();
}
