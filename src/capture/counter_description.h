// How one counter is shown by the profiler: one counter element of
// captured.xml. The capture writer reads these; the counter set creates them.
#pragma once

#include <cstdint>
#include <string>

namespace vantric {

struct CounterDescription {
    uint32_t key = 0;  // counter number; capture records carry key + 3
    std::string title;
    std::string name;
    std::string type;
    std::string display;
    std::string units;
    bool averageSelection = false;
    bool perCpu = false;
    bool percentage = false;
    float multiplier = 1.0f;
    bool averageCores = false;
    std::string renderingType;
    bool derived = false;
};

}  // namespace vantric
