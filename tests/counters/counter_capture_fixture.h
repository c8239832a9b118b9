// A counter set wired as the instance wires it, over the substitute host: a
// real capture writer in a scratch directory, a time source on the host's
// scheduler (1 tick = 1 ns), and a way to read back the counter values the
// capture ended up with.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_writer.h"
#include "time/time_source.h"
#include "counters/counter_set.h"
#include "kvhost.h"
#include "kv_test_support.h"
#include "rcf/capture_check.h"
#include "rcf/capture_reader.h"

namespace vantric::testing {

struct CounterValue {
    uint64_t time;
    uint32_t core;
    uint32_t key;  // as written: the counter number + 3
    uint64_t value;
    bool operator==(const CounterValue&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const CounterValue& v) {
    return out << "{time " << v.time << ", core " << v.core << ", key " << v.key << ", value "
               << v.value << "}";
}

class CounterCaptureTest : public ::testing::Test {
protected:
    static constexpr uint32_t kCores = 2;

    CounterCaptureTest() : writer(CaptureWriter::kDefaultRotationRecords, writerErrors, writerMessages) {
        directory = (scratch.path() / "counters.rcf").string() + "/";
        writer.open(directory, kCores);
        timeSource.connect(&sim.scheduler(), nullptr);
        counters.SetCaptureWriter(&writer);
        counters.SetTimeSource(&timeSource);
    }

    // A counter fed by `source` of `component` with interval `interval` and
    // the window [start, end).
    void AddCounter(const std::string& component, const std::string& source,
                    const std::string& condition = "", uint64_t interval = 1,
                    uint64_t start = 0, uint64_t end = UINT64_MAX,
                    const std::string& name = "Events") {
        ASSERT_TRUE(counters.AddTraceSourceCounter(component, source, condition, "Title", name,
                                                   "", "Display", "units", true, false, start,
                                                   end, false, 1.0f, false, interval))
            << counters.errorText();
    }

    bool Register(kvhost::TraceComponent& component, uint32_t core) {
        return counters.RegisterCountersForComponent(&component, core, component.name());
    }

    // Emits one event of `source` at simulated time `ticks`.
    void EmitAt(kvhost::TraceSource& source, uint64_t ticks,
                std::initializer_list<kvhost::NamedValue> values = {}) {
        sim.SetTicks(ticks);
        source.Emit(values);
    }

    // Releases the counters, completes the capture and reads it back.
    rcf::Capture Finish() {
        counters.ReleaseCounters();
        writer.close();
        rcf::Capture capture;
        EXPECT_TRUE(rcf::ReadCapture(directory, capture));
        // Complete and consistent, every value's key described in captured.xml.
        for (const std::string& problem : rcf::CheckCapture(capture)) ADD_FAILURE() << problem;
        return capture;
    }

    static std::vector<CounterValue> Values(const rcf::Capture& capture) {
        std::vector<CounterValue> values;
        for (const rcf::Frame& frame : capture.frames) {
            for (const rcf::Record& record : frame.records) {
                const auto* v = std::get_if<rcf::CounterValueRecord>(&record.body);
                if (v) values.push_back({v->time, v->core, v->key, v->value});
            }
        }
        return values;
    }

    std::vector<CounterValue> FinishValues() { return Values(Finish()); }

    kvhost::TempDirectory scratch;
    kvhost::Simulation sim;
    std::ostringstream writerErrors;
    std::ostringstream writerMessages;
    std::string directory;
    CaptureWriter writer;
    TimeSource timeSource;
    CounterSet counters;
};

}  // namespace vantric::testing
