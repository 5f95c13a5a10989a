#include "SimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace isdnsim {

SimProcess::~SimProcess()
{
    kill(SIGTERM);
    if (!m_dir.empty()) {
        std::remove((m_dir + "/port").c_str());
        ::rmdir(m_dir.c_str());
    }
}

bool SimProcess::start(const std::string &executable, const std::vector<std::string> &extraArgs,
                       std::string *error, int timeoutMs, bool quiet)
{
    char tmpl[] = "/tmp/isdnsim-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        *error = std::string("mkdtemp: ") + std::strerror(errno);
        return false;
    }
    m_dir = tmpl;
    const std::string portFile = m_dir + "/port";
    std::vector<std::string> args = {executable,    "serve",  "--port",           "0",
                                     "--port-file", portFile, "--die-with-parent"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    const int rc = ::posix_spawn(&m_pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        *error = executable + ": " + std::strerror(rc);
        m_pid = -1;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (FILE *f = std::fopen(portFile.c_str(), "r")) {
            unsigned port = 0;
            const bool ok = std::fscanf(f, "%u", &port) == 1;
            std::fclose(f);
            if (ok && port > 0 && port < 65535) {
                m_port = uint16_t(port);
                return true;
            }
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            *error = "isdnsim ended before it listened";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    *error = "isdnsim did not write its port file in time";
    kill(SIGKILL);
    return false;
}

void SimProcess::kill(int signal)
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, signal);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

} // namespace isdnsim
