// Software counters: counters the program feeds itself (the OS drivers' CPU
// activity), written to the capture like user counters but never subscribed
// to a trace source.
#include "time/time_source.h"
#include "counters/counter_set.h"
#include "counters/counter_value.h"

namespace vantric {

CounterCallbackContext* CounterSet::AddSoftwareCounter(
    const std::string& title, const std::string& name, const std::string& type,
    const std::string& display, const std::string& units, bool averageSelection, bool perCpu,
    uint64_t startTime, uint64_t endTime, bool percentage, float multiplier, bool averageCores,
    uint64_t interval, bool derived, const std::string& renderingType) {
    if (timeSource_ == nullptr || writer_ == nullptr) return nullptr;
    const uint32_t key = AddCounter(title, name, type, display, units, averageSelection, perCpu,
                                    percentage, multiplier, averageCores, derived, renderingType);
    CounterRecord& record =
        AddRecord(kSoftwareComponent, key, interval, startTime, endTime, title, std::string());
    contexts_.push_back(
        std::make_unique<CounterCallbackContext>(*writer_, record, *timeSource_, 0));
    return contexts_.back().get();
}

void CounterSet::AddToSoftwareCounter(CounterCallbackContext* context, uint64_t amount,
                                      uint32_t core) {
    if (context == nullptr) return;
    const uint64_t time = context->timeSource->now(0);
    CounterRecord& record = *context->record;
    if (time < record.startTime || time >= record.endTime) return;
    record.count += amount;
    if (record.count >= record.interval) WriteCounterValue(*context, time, core);
}

}  // namespace vantric
