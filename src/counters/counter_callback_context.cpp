#include "counters/counter_callback_context.h"

#include "capture/capture_writer.h"

namespace vantric {

void CounterCallbackContext::WriteValue(uint64_t time, uint32_t valueCore) {
    // A capture that failed to open has no files to write into; counting
    // goes on so the interval keeps its phase.
    if (writer->isOpen()) writer->writeCounterValue(valueCore, time, record->key, record->count);
    record->count = 0;
}

}  // namespace vantric
