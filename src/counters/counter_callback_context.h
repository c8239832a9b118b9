// What one counter callback needs on every event: the record it counts into,
// where time and values go, and what was fixed when it was registered (the
// condition's field bindings and the LOCAL_TIME field's place in the record).
// One per (counter record, component) registration of a user counter and one
// per software counter; CounterCallbacks and SoftwareCounters own them.
#pragma once

#include <cstdint>
#include <sstream>

#include "counters/counter_record.h"
#include "expression/compiled_condition.h"
#include "expression/expression_tree.h"
#include "expression/variable_db.h"
#include "util/event_field.h"

namespace vantric {

class CaptureWriter;
class TimeSource;

struct CounterCallbackContext {
    CounterCallbackContext(CaptureWriter& writer, CounterRecord& record, TimeSource& timeSource,
                           uint32_t core)
        : writer(&writer), record(&record), timeSource(&timeSource), core(core) {}
    CounterCallbackContext(const CounterCallbackContext&) = delete;
    CounterCallbackContext& operator=(const CounterCallbackContext&) = delete;

    // Writes the record's count for `core` at `time` and starts counting
    // again: the rare end of counting, kept out of line of the per-event
    // paths.
    [[gnu::noinline]] void WriteValue(uint64_t time, uint32_t valueCore);

    // Read on every event, so kept together at the front.
    CaptureWriter* writer;
    CounterRecord* record;  // shared with the other contexts of the same counter
    TimeSource* timeSource;
    uint32_t core;
    // The event's tick offset. Its index stays "none" when the source has no
    // LOCAL_TIME (a host may give a present LOCAL_TIME value index 0).
    EventField localTime;
    ExpressionParserN::ExpressionTreeT condition;  // empty: every event counts
    // The condition's flat form, when it has one; otherwise the tree answers.
    ExpressionParserN::CompiledCondition compiled;

    // The fields the condition names; its evaluators are bound through it.
    ExpressionParserN::ZVTVariableDBT variables;
    // Messages of the binding routine for this registration.
    std::ostringstream messages;
};

}  // namespace vantric
