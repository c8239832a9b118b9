// Agent callbacks on their common path, against an empty callback dispatched
// by the same host model in the same run: INST inside the window without a
// sample, and PERIODIC below the sampling threshold.
#include <benchmark/benchmark.h>

#include <memory>

#include "capture/capture_writer.h"
#include "core/per_core_state.h"
#include "core/subsystem_agent.h"
#include "time/time_source.h"
#include "counters/counter_set.h"
#include "json/json_value.h"
#include "kv_test_support.h"
#include "kvhost.h"
#include "os/os_driver.h"

namespace {

void EmptyCallback(void* userData, ZVT::EventClass*, const uint8_t* record) {
    benchmark::DoNotOptimize(userData);
    benchmark::DoNotOptimize(record);
}

struct Fixture {
    explicit Fixture(bool periodic) {
        simulation.SetTickSeconds(1e-9);
        simulation.SetTicks(1000);
        time.scheduler = &simulation.scheduler();
        perCore.resize(1);
        cpu = &simulation.AddProcessor("cpu0", true);
        vantric::SubsystemAgent::Settings settings{
            time, capture, counters, vantric::SubsystemAgent::kUnsupported,
            uint64_t{1} << 62, 1, perCore, 0, UINT64_MAX, periodic, !periodic, configuration, 100, 1};
        kvhost::StreamCapture quiet;
        agent = std::make_unique<vantric::SubsystemAgent>(settings, nullptr);
        agent->registerCore(cpu, 0);
    }

    // A second processor whose source carries only the empty callback.
    kvhost::TraceSource& EmptySource(const char* name) {
        kvhost::Processor& other = simulation.AddProcessor("baseline", true);
        kvhost::TraceSource& source = other.Source(name);
        source.CreateEventClass(0)->RegisterCallback(EmptyCallback, nullptr);
        return source;
    }

    kvhost::Simulation simulation;
    vantric::TimeSource time;
    vantric::CaptureWriter capture;
    vantric::CounterSet counters;
    vantric::PerCoreState perCore;
    vq::JSONValue configuration = vq::JSONValue::makeObject();
    kvhost::Processor* cpu = nullptr;
    std::unique_ptr<vantric::SubsystemAgent> agent;
};

void BM_InstEmptyCallback(benchmark::State& state) {
    Fixture f(false);
    kvhost::TraceSource& source = f.EmptySource("INST");
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_InstEmptyCallback);

void BM_InstInWindowNoSample(benchmark::State& state) {
    Fixture f(false);
    kvhost::TraceSource& source = f.cpu->Source("INST");
    source.SetInteger(0, 0x1000);
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_InstInWindowNoSample);

void BM_PeriodicEmptyCallback(benchmark::State& state) {
    Fixture f(true);
    kvhost::TraceSource& source = f.EmptySource("PERIODIC");
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_PeriodicEmptyCallback);

void BM_PeriodicBelowThreshold(benchmark::State& state) {
    Fixture f(true);
    kvhost::TraceSource& source = f.cpu->Source("PERIODIC");
    source.SetInteger(0, 12345);
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_PeriodicBelowThreshold);

}  // namespace

namespace {

// The floor set by the host: a callback that only converts the time.
void TimeOnlyCallback(void* userData, ZVT::EventClass*, const uint8_t*) {
    benchmark::DoNotOptimize(static_cast<vantric::TimeSource*>(userData)->now(0));
}

void BM_TimeConversionOnly(benchmark::State& state) {
    Fixture f(false);
    kvhost::Processor& other = f.simulation.AddProcessor("baseline", true);
    kvhost::TraceSource& source = other.Source("INST");
    source.CreateEventClass(0)->RegisterCallback(TimeOnlyCallback, &f.time);
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_TimeConversionOnly);

}  // namespace
