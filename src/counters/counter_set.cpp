#include "counters/counter_set.h"

namespace vantric {

uint32_t CounterSet::AddCounter(const std::string& title, const std::string& name,
                                const std::string& type, const std::string& display,
                                const std::string& units, bool averageSelection, bool perCpu,
                                bool percentage, float multiplier, bool averageCores,
                                bool derived, const std::string& renderingType) {
    // Name and type are joined without a separator, so "AB"+"X" and "A"+"BX"
    // are one counter; the profiler files counters the same way.
    std::string identity = name + type;
    auto found = descriptionKeys_.find(identity);
    if (found != descriptionKeys_.end()) return found->second;

    CounterDescription description;
    description.key = nextKey_;
    description.title = title;
    description.name = name;
    description.type = type;
    description.display = display;
    description.units = units;
    description.averageSelection = averageSelection;
    description.perCpu = perCpu;
    description.percentage = percentage;
    description.multiplier = multiplier;
    description.averageCores = averageCores;
    description.renderingType = renderingType;
    description.derived = derived;
    descriptions_.push_back(std::move(description));
    descriptionKeys_.emplace(std::move(identity), nextKey_);
    return nextKey_++;
}

}  // namespace vantric
