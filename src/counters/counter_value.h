// Writing one counter value: the rare end of counting, shared by trace-source
// and software counters and kept out of line of their per-event paths.
#pragma once

#include <cstdint>

#include "counters/counter_callback_context.h"

namespace vantric {

// Writes the record's count for `core` at `time` and starts counting again.
[[gnu::noinline]] void WriteCounterValue(CounterCallbackContext& context, uint64_t time,
                                         uint32_t core);

}  // namespace vantric
