// One user or software counter as it counts: which description it feeds,
// when it counts, how often it writes a value, and, for a user counter,
// where its events come from. Every component that feeds a user counter
// counts into the same record.
#pragma once

#include <cstdint>
#include <string>

namespace vantric {

struct CounterRecord {
    uint32_t key = 0;       // of its CounterDescription
    uint64_t count = 0;     // events (or amounts) counted since the last value written
    uint64_t interval = 1;  // a value is written once `count` reaches this
    uint64_t startTime = 0;            // ns; events before it are not counted
    uint64_t endTime = UINT64_MAX;     // ns; events at or after it are not counted
    // User counters only:
    std::string component;   // "*" for every component
    std::string sourceName;  // trace source
    std::string condition;   // condition text; empty counts every event
};

}  // namespace vantric
