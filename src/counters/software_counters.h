// Counters the program feeds itself (the OS drivers' CPU activity): written
// to the capture like user counters, but counted by calls from the program
// instead of host trace events, so never subscribed to a trace source.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "counters/counter_callback_context.h"
#include "counters/counter_record.h"

namespace vantric {

class CaptureWriter;
class TimeSource;

class SoftwareCounters {
public:
    SoftwareCounters();
    ~SoftwareCounters();
    SoftwareCounters(const SoftwareCounters&) = delete;
    SoftwareCounters& operator=(const SoftwareCounters&) = delete;

    // A counter counting into a copy of `record`; its context stays valid
    // until Clear.
    CounterCallbackContext& Add(const CounterRecord& record, CaptureWriter& writer,
                                TimeSource& timeSource);

    // Adds `amount` at the current time, inside the record's window; writes
    // a value for `core` once the count reaches the interval. A null context
    // is ignored.
    static void AddAmount(CounterCallbackContext* context, uint64_t amount, uint32_t core);

    void Clear();

private:
    std::vector<std::unique_ptr<CounterRecord>> records_;
    std::vector<std::unique_ptr<CounterCallbackContext>> contexts_;
};

}  // namespace vantric
