// The counters file: one user counter per element of its JSON array.
#include "counters/counter_entry.h"
#include "counters/counter_set.h"

namespace vantric {

bool CounterSet::ReadCountersConfig(const std::string& path) {
    vq::JSONValue document;
    if (!ReadCounterFile(path, document, errorText_)) return false;

    bool result = true;
    for (uint64_t i = 0; i < document.size(); ++i) {
        std::optional<CounterEntry> entry =
            ReadCounterEntry(document.at(i), i + 1, CounterFileKind::kCounters, errorText_);
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

}  // namespace vantric
