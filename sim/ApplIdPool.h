#pragma once

// ApplIDs are shared by every CAPI client of the machine, so each running exchange claims a
// block of ids of its own: an exclusive lock on one lock file per block (under /dev/shm, else
// /tmp). The lock goes away with the process, however it ends.

#include <cstdint>
#include <string>
#include <vector>

namespace isdnsim {

class ApplIdPool
{
public:
    static constexpr uint16_t kBlockSize = 32;
    static constexpr int kBlocks = 1023 / kBlockSize; // ids 1..992

    ApplIdPool() = default;
    ~ApplIdPool();
    ApplIdPool(const ApplIdPool &) = delete;
    ApplIdPool &operator=(const ApplIdPool &) = delete;

    // Claims a free block; false (with a message) when every block is taken.
    bool claim(std::string *error);
    // The next free id of the block, round robin so that a released id is not handed out again
    // at once; 0 when every id is in use.
    uint16_t acquire();
    void release(uint16_t id);
    uint16_t first() const { return m_first; }

private:
    int m_lockFd = -1;
    uint16_t m_first = 0;
    uint16_t m_next = 0;
    std::vector<bool> m_used;
};

} // namespace isdnsim
