#pragma once

// The virtual exchange of the sim_* targets: in memory (no port, no line-rate timers), its trace
// and complaints written nowhere, its application ids claimed.

#include "FuzzCheck.h"

#include "Exchange.h"

#include <cstdio>
#include <memory>
#include <string>

namespace SimFuzz {

inline std::unique_ptr<isdnsim::Exchange> QuietExchange(bool trace)
{
    static FILE *const null = std::fopen("/dev/null", "w");
    FUZZ_CHECK(null != nullptr);
    isdnsim::Options options;
    options.port = 0;
    options.rate = 0; // blocks cross the line at once: no timers needed
    options.trace = trace;
    options.traceOut = null;
    options.errorOut = null;
    auto exchange = std::make_unique<isdnsim::Exchange>(options);
    std::string error;
    FUZZ_CHECK(exchange->claimApplIds(&error));
    return exchange;
}

} // namespace SimFuzz
