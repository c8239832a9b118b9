// The instance's counters. Every counter the profiler shows is described once
// here, whoever created it (user counters, software counters, built-in
// counters), and identified everywhere else by its key.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "counters/counter_description.h"

namespace vantric {

class CounterSet {
public:
    CounterSet() = default;
    CounterSet(const CounterSet&) = delete;
    CounterSet& operator=(const CounterSet&) = delete;

    // Finds or creates the description of the counter `name` of `type` and
    // returns its key. A counter is identified by name followed directly by
    // type; when it exists already the other arguments are ignored. New keys
    // are 0, 1, 2, ... in creation order.
    uint32_t AddCounter(const std::string& title, const std::string& name,
                        const std::string& type, const std::string& display,
                        const std::string& units, bool averageSelection, bool perCpu,
                        bool percentage, float multiplier, bool averageCores, bool derived,
                        const std::string& renderingType);

    // Every description, in creation order.
    const std::vector<CounterDescription>& descriptions() const { return descriptions_; }

private:
    std::map<std::string, uint32_t> descriptionKeys_;
    std::vector<CounterDescription> descriptions_;
    uint32_t nextKey_ = 0;
};

}  // namespace vantric
