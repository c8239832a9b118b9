// One element of a counter file (the counters file or the counter defaults
// file) with every default applied.
#pragma once

#include <cstdint>
#include <string>

namespace vantric {

struct CounterFileEntry {
    uint64_t startTime = 0;
    uint64_t endTime = UINT64_MAX;
    std::string component;  // as given; empty means every component
    std::string sourceName;
    std::string condition;
    std::string title;
    std::string name;
    std::string type;
    std::string display;
    std::string units = "units";
    bool averageSelection = true;
    bool perCpu = false;
    uint64_t messageInterval = 1;
};

}  // namespace vantric
