#pragma once

#include "common/Utils.h"

// Tests and benchmarks wait for what another thread or process does with a generous ceiling: it
// only ends a wait that would otherwise never end, so a slow machine never fails a test.
inline bool WaitUntil(const std::function<bool()> &done, int ceilingMs = 20000)
{
    return WaitFor(done, ceilingMs);
}
