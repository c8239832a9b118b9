#include "counters/software_counters.h"

#include "time/time_source.h"

namespace vantric {

SoftwareCounters::SoftwareCounters() = default;
SoftwareCounters::~SoftwareCounters() = default;

CounterCallbackContext& SoftwareCounters::Add(const CounterRecord& record, CaptureWriter& writer,
                                              TimeSource& timeSource) {
    records_.push_back(std::make_unique<CounterRecord>(record));
    contexts_.push_back(
        std::make_unique<CounterCallbackContext>(writer, *records_.back(), timeSource, 0));
    return *contexts_.back();
}

void SoftwareCounters::AddAmount(CounterCallbackContext* context, uint64_t amount, uint32_t core) {
    if (context == nullptr) return;
    const uint64_t time = context->timeSource->now(0);
    CounterRecord& record = *context->record;
    if (time < record.startTime || time >= record.endTime) return;
    record.count += amount;
    if (record.count >= record.interval) context->WriteValue(time, core);
}

void SoftwareCounters::Clear() {
    contexts_.clear();
    records_.clear();
}

}  // namespace vantric
