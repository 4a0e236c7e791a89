#pragma once

#include <cstdint>
#include <string>

#include "records/ProductionRecorder.h"

// A fleet's working days (two shifts, 06:00 to 22:00) as a watcher sees them, fed through
// `recorder` in time order: each machine hoops, sews a design (with the odd thread break), finishes and starts over; now and
// then one goes offline for a while. For pictures, demonstrations and benchmarks.
struct ProductionSampleSettings
{
    int machines = 3;
    std::string prefix = "127.0.0."; // machine n has address prefix + (101 + n)
    std::int64_t from = 0;           // milliseconds since 1970
    std::int64_t to = 0;
    std::uint32_t seed = 1;
};

// Returns the number of fleet events fed (transfers included).
std::int64_t feedProductionSample(ProductionRecorder& recorder,
                                  const ProductionSampleSettings& settings);
