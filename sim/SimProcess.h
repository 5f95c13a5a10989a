#pragma once

// Starts the isdnsim executable as a child process ("serve --port 0 --port-file ...") and waits
// for its port; the destructor ends it. For tests and benchmarks.

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace isdnsim {

class SimProcess
{
public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Runs `executable serve --port 0 --port-file <tmp> extraArgs...`; false with a message when
    // it does not come up within timeoutMs.
    // quiet sends the exchange's own output to /dev/null.
    bool start(const std::string &executable, const std::vector<std::string> &extraArgs, std::string *error,
               int timeoutMs = 20000, bool quiet = false);
    void kill(int signal); // sends a signal and reaps the process
    bool running() const { return m_pid > 0; }
    uint16_t port() const { return m_port; }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
    std::string m_dir;
};

} // namespace isdnsim
