// What the Linux driver needs from the counter set to count CPU activity:
// create a software counter and add to it. The counter set's software
// counters satisfy it through a small adapter; tests pass a recording fake.
#pragma once

#include <cstdint>
#include <string>

namespace vantric {

struct SoftwareCounterSettings {
    std::string title;
    std::string name;
    std::string type;
    std::string display;
    std::string units;
    bool averageSelection = false;
    bool perCpu = false;
    uint64_t startTime = 0;
    uint64_t endTime = ~uint64_t{0};
    bool percentage = false;
    float multiplier = 1.0f;
    bool averageCores = false;
    uint64_t interval = 1;
    bool derived = false;
    std::string renderingType;
};

class SoftwareCounterSink {
public:
    // The set's own handle of one counter, opaque to the driver.
    using Counter = void*;

    virtual ~SoftwareCounterSink() = default;
    // Creates the counter; null when the set cannot create one (yet).
    virtual Counter AddSoftwareCounter(const SoftwareCounterSettings& counter) = 0;
    // Adds `amount` for `core` at the current time. Called on the sampling
    // path, so it must not allocate.
    virtual void AddToSoftwareCounter(Counter counter, uint64_t amount, uint32_t core) = 0;
};

}  // namespace vantric
