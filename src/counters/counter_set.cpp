#include "counters/counter_set.h"

#include <algorithm>

namespace vantric {
namespace {

// A counter's own window narrowed to the trace window; an empty result keeps
// end == start, which counts nothing.
struct Window {
    uint64_t start;
    uint64_t end;
};
Window Clip(uint64_t startTime, uint64_t endTime, uint64_t windowStart, uint64_t windowEnd) {
    const uint64_t start = std::max(startTime, windowStart);
    return {start, std::max(std::min(endTime, windowEnd), start)};
}

}  // namespace

CounterSet::CounterSet() = default;
CounterSet::~CounterSet() = default;

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

CounterRecord& CounterSet::AddRecord(const std::string& component, uint32_t key,
                                    uint64_t interval, uint64_t startTime, uint64_t endTime,
                                    const std::string& sourceName,
                                    const std::string& condition) {
    const Window window = Clip(startTime, endTime, windowStart_, windowEnd_);
    auto record = std::make_unique<CounterRecord>();
    record->key = key;
    record->interval = interval;
    record->startTime = window.start;
    record->endTime = window.end;
    record->component = component;
    record->sourceName = sourceName;
    record->condition = condition;
    RecordList& list = records_[component];
    list.push_back(std::move(record));
    return *list.back();
}

bool CounterSet::AddTraceSourceCounter(const std::string& component,
                                       const std::string& sourceName,
                                       const std::string& condition, const std::string& title,
                                       const std::string& name, const std::string& type,
                                       const std::string& display, const std::string& units,
                                       bool averageSelection, bool perCpu, uint64_t startTime,
                                       uint64_t endTime, bool percentage, float multiplier,
                                       bool averageCores, uint64_t interval) {
    // Callbacks are subscribed per component as components are registered; a
    // counter added later would silently miss the components already done.
    if (registered_) {
        errorText_ << "Cannot add counters after ZVT callback registeration";
        return false;
    }
    const uint32_t key = AddCounter(title, name, type, display, units, averageSelection, perCpu,
                                    percentage, multiplier, averageCores, false, std::string());
    AddRecord(component.empty() ? kEveryComponent : component, key, interval, startTime, endTime,
              sourceName, condition);
    return true;
}

}  // namespace vantric
