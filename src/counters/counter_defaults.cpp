#include "counters/counter_defaults.h"

#include "counters/counter_file_reader.h"

namespace vantric {

bool ReadCounterDefaults(const std::string& path, CounterDefaultsMap& defaults,
                         std::ostream& errors) {
    CounterFileReader reader(CounterFileReader::Kind::kDefaults, errors);
    if (!reader.Open(path)) return false;

    bool result = true;
    for (uint64_t i = 0; i < reader.size(); ++i) {
        std::optional<CounterFileEntry> entry = reader.Entry(i);
        if (!entry) {
            result = false;
            continue;
        }
        CounterDefaults& slot = defaults[entry->sourceName];
        slot.startTime = entry->startTime;
        slot.endTime = entry->endTime;
        slot.sourceName = entry->sourceName;
        slot.condition = std::move(entry->condition);
        slot.title = std::move(entry->title);
        slot.display = std::move(entry->display);
        slot.units = std::move(entry->units);
        slot.averageSelection = entry->averageSelection;
        slot.perCpu = entry->perCpu;
        slot.messageInterval = static_cast<uint32_t>(entry->messageInterval);
    }
    return result;
}

}  // namespace vantric
