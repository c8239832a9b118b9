// The per-event cost of a user counter that counts an event without writing
// a value, against a callback that does nothing, all dispatched by the same
// substitute host. Compare the three times of one run:
//   no condition                          <= 4x the empty callback
//   VALUE > 4096 && MODE == 1 (true)      <= 6x the empty callback
#include <benchmark/benchmark.h>

#include <cstdint>
#include <sstream>

#include "capture/capture_writer.h"
#include "time/time_source.h"
#include "counters/counter_set.h"
#include "kvhost.h"

namespace {

using vantric::CounterSet;

void EmptyCallback(void*, ZVT::EventClass*, const uint8_t*) {}

// One component with three identical sources: one per callback measured, so
// each dispatch calls exactly one callback.
class CounterBench {
public:
    CounterBench() : writer(vantric::CaptureWriter::kDefaultRotationRecords, sink, sink) {
        kvhost::TraceComponent& core = sim.AddTraceComponent("core");
        empty = &AddSource(core, "EMPTY");
        plain = &AddSource(core, "PLAIN");
        conditional = &AddSource(core, "CONDITIONAL");

        ZVT::EventClass* eventClass = empty->CreateEventClass(0x7);
        eventClass->RegisterCallback(&EmptyCallback, nullptr);

        timeSource.connect(&sim.scheduler(), nullptr);
        counters.SetCaptureWriter(&writer);  // never written: the interval is never reached
        counters.SetTimeSource(&timeSource);
        AddCounter("PLAIN", "");
        AddCounter("CONDITIONAL", "VALUE > 4096 && MODE == 1");
        ok = counters.RegisterCountersForComponent(&core, 0, "core");
    }

    kvhost::TraceSource* empty;
    kvhost::TraceSource* plain;
    kvhost::TraceSource* conditional;
    bool ok = false;

private:
    static kvhost::TraceSource& AddSource(kvhost::TraceComponent& core, const char* name) {
        kvhost::TraceSource& source = core.AddSource(
            name, "", {kvhost::Unsigned("VALUE", 8), kvhost::Unsigned("MODE", 1), kvhost::LocalTime()});
        source.SetInteger(0, 5000);
        source.SetInteger(1, 1);
        source.SetInteger(2, uint64_t(-2));
        return source;
    }
    void AddCounter(const char* source, const char* condition) {
        counters.AddTraceSourceCounter("core", source, condition, "Bench", source, "", "D", "u",
                                       true, false, 0, UINT64_MAX, false, 1.0f, false, UINT64_MAX);
    }

    kvhost::Simulation sim;
    std::ostringstream sink;
    vantric::CaptureWriter writer;
    vantric::TimeSource timeSource;
    CounterSet counters;
};

CounterBench& Bench() {
    static CounterBench bench;
    return bench;
}

void Run(benchmark::State& state, kvhost::TraceSource* source) {
    if (!Bench().ok) {
        state.SkipWithError("counter registration failed");
        return;
    }
    for (auto _ : state) source->Dispatch();
}

void BM_EmptyCallback(benchmark::State& state) { Run(state, Bench().empty); }
void BM_CounterNoCondition(benchmark::State& state) { Run(state, Bench().plain); }
void BM_CounterWithCondition(benchmark::State& state) { Run(state, Bench().conditional); }

BENCHMARK(BM_EmptyCallback);
BENCHMARK(BM_CounterNoCondition);
BENCHMARK(BM_CounterWithCondition);

}  // namespace
