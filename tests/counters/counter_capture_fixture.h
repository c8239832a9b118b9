// A counter set wired as the instance wires it, over the substitute host: a
// real capture writer in a scratch directory, a time source on the host's
// scheduler (1 tick = 1 ns), and the counter values the capture ended up
// with, read back.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "capture/capture_writer.h"
#include "counters/counter_set.h"
#include "kvhost.h"
#include "kv_test_support.h"
#include "rcf/capture_check.h"
#include "support/test_support.h"
#include "time/time_source.h"

namespace vantric::testing {

// A value record as written: time, core, key (the counter number + 3), value.
using CounterValue = std::tuple<uint64_t, uint32_t, uint32_t, uint64_t>;
using CounterValues = std::vector<CounterValue>;

class CounterCaptureTest : public ::testing::Test {
protected:
    CounterCaptureTest() : writer(CaptureWriter::kDefaultRotationRecords, output, output) {
        writer.open(directory, 2);
        timeSource.connect(&sim.scheduler(), nullptr);
        counters.SetCaptureWriter(&writer);
        counters.SetTimeSource(&timeSource);
    }

    // A counter fed by `source` of `component`, a value every `interval`
    // counted events in the window [start, end).
    void AddCounter(const std::string& component, const std::string& source,
                    const std::string& condition = "", uint64_t interval = 1, uint64_t start = 0,
                    uint64_t end = UINT64_MAX, const std::string& name = "Events") {
        ASSERT_TRUE(counters.AddTraceSourceCounter(component, source, condition, "Title", name, "",
                                                   "Display", "units", true, false, start, end,
                                                   false, 1.0f, false, interval));
    }
    bool Register(kvhost::TraceComponent& component, uint32_t core) {
        return counters.RegisterCountersForComponent(&component, core, component.name());
    }
    void EmitAt(kvhost::TraceSource& source, uint64_t ticks,
                std::initializer_list<kvhost::NamedValue> values = {}) {
        sim.SetTicks(ticks);
        source.Emit(values);
    }

    // Releases the counters, completes the capture and reads it back: it
    // must be complete and consistent, every value's key described.
    rcf::Capture Finish() {
        counters.ReleaseCounters();
        writer.close();
        rcf::Capture capture = ReadBack(directory);
        for (const std::string& problem : rcf::CheckCapture(capture)) ADD_FAILURE() << problem;
        return capture;
    }
    static CounterValues Values(const rcf::Capture& capture) {
        CounterValues values;
        for (const auto& v : RecordsOf<rcf::CounterValueRecord>(capture, 4)) {
            values.emplace_back(v.time, v.core, v.key, v.value);
        }
        return values;
    }
    CounterValues FinishValues() { return Values(Finish()); }

    TempDirectory scratch;
    std::string directory = scratch.capture("counters.rcf");
    kvhost::Simulation sim;
    std::ostringstream output;
    CaptureWriter writer;
    TimeSource timeSource;
    CounterSet counters;
};

}  // namespace vantric::testing
