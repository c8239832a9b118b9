#include "counters/counter_set.h"

#include <algorithm>

#include "capture/capture_writer.h"
#include "counters/counter_file_reader.h"
#include "time/time_source.h"

namespace vantric {

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

    const auto key = static_cast<uint32_t>(descriptions_.size());
    CounterDescription description;
    description.key = key;
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
    descriptionKeys_.emplace(std::move(identity), key);
    return key;
}

CounterRecord CounterSet::MakeRecord(uint32_t key, uint64_t interval, uint64_t startTime,
                                     uint64_t endTime) const {
    CounterRecord record;
    record.key = key;
    record.interval = interval;
    // An empty intersection keeps end == start, which counts nothing.
    record.startTime = std::max(startTime, windowStart_);
    record.endTime = std::max(std::min(endTime, windowEnd_), record.startTime);
    return record;
}

bool CounterSet::ReadCountersConfig(const std::string& path) {
    CounterFileReader reader(CounterFileReader::Kind::kCounters, errorText_);
    if (!reader.Open(path)) return false;

    bool result = true;
    for (uint64_t i = 0; i < reader.size(); ++i) {
        std::optional<CounterFileEntry> entry = reader.Entry(i);
        // A value is written every "MessageInterval" counted events; the
        // values are plain counts, never percentages.
        if (!entry || !AddTraceSourceCounter(entry->component, entry->sourceName, entry->condition,
                                             entry->title, entry->name, entry->type,
                                             entry->display, entry->units,
                                             entry->averageSelection, entry->perCpu,
                                             entry->startTime, entry->endTime,
                                             /*percentage=*/false, /*multiplier=*/1.0f,
                                             /*averageCores=*/false, entry->messageInterval)) {
            result = false;
        }
    }
    return result;
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
    if (callbacks_.registered()) {
        errorText_ << "Cannot add counters after ZVT callback registeration";
        return false;
    }
    const uint32_t key = AddCounter(title, name, type, display, units, averageSelection, perCpu,
                                    percentage, multiplier, averageCores, false, std::string());
    CounterRecord record = MakeRecord(key, interval, startTime, endTime);
    record.component = component;
    record.sourceName = sourceName;
    record.condition = condition;
    callbacks_.Add(std::move(record));
    return true;
}

bool CounterSet::RegisterCountersForComponent(ZVT::ComponentTraceInterface* componentTrace,
                                              uint32_t core, const std::string& componentName) {
    return callbacks_.Register(componentTrace, core, componentName, writer_, timeSource_);
}

CounterCallbackContext* CounterSet::AddSoftwareCounter(
    const std::string& title, const std::string& name, const std::string& type,
    const std::string& display, const std::string& units, bool averageSelection, bool perCpu,
    uint64_t startTime, uint64_t endTime, bool percentage, float multiplier, bool averageCores,
    uint64_t interval, bool derived, const std::string& renderingType) {
    if (timeSource_ == nullptr || writer_ == nullptr) return nullptr;
    const uint32_t key = AddCounter(title, name, type, display, units, averageSelection, perCpu,
                                    percentage, multiplier, averageCores, derived, renderingType);
    return &software_.Add(MakeRecord(key, interval, startTime, endTime), *writer_, *timeSource_);
}

void CounterSet::ReleaseCounters() {
    if (writer_ != nullptr && writer_->isOpen()) {
        const uint64_t endTime = timeSource_ != nullptr ? timeSource_->lastSimulatedTime() : 0;
        writer_->writeDescriptions(0, endTime, descriptions_);
    }
    callbacks_.Clear();
    software_.Clear();
}

}  // namespace vantric
