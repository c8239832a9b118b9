// The counter defaults file: per trace source, the counter settings that the
// discovery listing suggests to a user writing a counters file. Same keys
// and meaning as the counters file, without "Component", "CounterName" and
// "Type" (the listing makes those from the component and source names).
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>

namespace vantric {

struct CounterDefaults {
    uint64_t startTime = 0;
    uint64_t endTime = UINT64_MAX;
    std::string sourceName;  // "ZVTSrcName", the key of its entry
    std::string condition;
    std::string title;
    std::string display;
    std::string units = "units";
    bool averageSelection = true;
    bool perCpu = false;
    uint32_t messageInterval = 1;
};

// By trace source name; a later entry for the same source replaces an earlier one.
using CounterDefaultsMap = std::map<std::string, CounterDefaults>;

// Reads the defaults file at `path` into `defaults`. Every refused entry and
// an unreadable or malformed file is explained on `errors`, one line each;
// the result is true only when every entry was accepted.
bool ReadCounterDefaults(const std::string& path, CounterDefaultsMap& defaults,
                         std::ostream& errors);

}  // namespace vantric
