#include "ApplIdPool.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace isdnsim {

ApplIdPool::~ApplIdPool()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

bool ApplIdPool::claim(std::string *error)
{
    struct stat st;
    const std::string dir = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    // Start at a block that depends on the process, so that servers started together rarely
    // compete for the same lock.
    const int start = int(::getpid() % kBlocks);
    std::string lastError;
    for (int i = 0; i < kBlocks; ++i) {
        const int block = (start + i) % kBlocks;
        const std::string path = dir + "/isdnsim-applids-" + std::to_string(block) + ".lock";
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            lastError = path + ": " + std::strerror(errno);
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        m_lockFd = fd;
        m_first = uint16_t(1 + block * kBlockSize);
        m_next = 0;
        m_used.assign(kBlockSize, false);
        return true;
    }
    if (error)
        *error =
            "no free block of application ids" + (lastError.empty() ? std::string() : " (" + lastError + ")");
    return false;
}

uint16_t ApplIdPool::acquire()
{
    for (uint16_t i = 0; i < m_used.size(); ++i) {
        const uint16_t k = uint16_t((m_next + i) % kBlockSize);
        if (!m_used[k]) {
            m_used[k] = true;
            m_next = uint16_t((k + 1) % kBlockSize);
            return uint16_t(m_first + k);
        }
    }
    return 0;
}

void ApplIdPool::release(uint16_t id)
{
    if (id >= m_first && id < m_first + kBlockSize)
        m_used[id - m_first] = false;
}

} // namespace isdnsim
