// Agent callbacks on their common path, against an empty callback dispatched
// by the same host model in the same run: INST inside the window without a
// sample, PERIODIC below the sampling threshold, and a direct branch of a
// Linux subsystem that misses both task symbols (every branch of the target).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "capture/capture_writer.h"
#include "core/core_table.h"
#include "core/subsystem_agent.h"
#include "counters/counter_set.h"
#include "json/json_value.h"
#include "kernel_image.h"
#include "kvhost.h"
#include "time/time_source.h"

namespace {

void EmptyCallback(void* userData, ZVT::EventClass*, const uint8_t* record) {
    benchmark::DoNotOptimize(userData);
    benchmark::DoNotOptimize(record);
}

struct Fixture {
    explicit Fixture(uint32_t kernelType, bool periodic = false) {
        simulation.SetTickSeconds(1e-9);
        simulation.SetTicks(1000);
        cores.resize(1);
        cpu = &simulation.AddProcessor("cpu0", true);
        if (kernelType == vantric::SubsystemAgent::kLinux) WriteLinuxSettings();
        vantric::SubsystemAgent::Settings settings{
            time, capture, counters, kernelType, uint64_t{1} << 62, cores, 0, UINT64_MAX,
            periodic, !periodic, configuration, 100, 1};
        agent = std::make_unique<vantric::SubsystemAgent>(settings);
        agent->registerCore(cpu, 0);
        time.connect(&simulation.scheduler(), cores.debugOf(0));
    }
    ~Fixture() {
        if (!directory.empty()) std::filesystem::remove_all(directory);
    }

    void WriteLinuxSettings() {
        image = std::make_unique<kvhost::KernelImage>(*cpu,
                                                      kvhost::KernelLayout::Debian510CloudArm64());
        directory = std::filesystem::temp_directory_path() /
                    ("vt_agent_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory);
        const auto files = image->WriteSettingsFiles(directory, {12, true, 0, 0});
        configuration["system-map-file"] = vq::JSONValue(files.systemMap.string().c_str());
        configuration["linux-offsets-64"] = vq::JSONValue(image->OffsetsText().c_str());
        configuration["pageshift"] = vq::JSONValue(uint64_t{12});
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
    vantric::CoreTable cores;
    vq::JSONValue configuration = vq::JSONValue::makeObject();
    std::filesystem::path directory;
    std::unique_ptr<kvhost::KernelImage> image;
    kvhost::Processor* cpu = nullptr;
    std::unique_ptr<vantric::SubsystemAgent> agent;
};

void BM_InstEmptyCallback(benchmark::State& state) {
    Fixture f(vantric::SubsystemAgent::kUnsupported);
    kvhost::TraceSource& source = f.EmptySource("INST");
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_InstEmptyCallback);

void BM_InstInWindowNoSample(benchmark::State& state) {
    Fixture f(vantric::SubsystemAgent::kUnsupported);
    kvhost::TraceSource& source = f.cpu->Source("INST");
    source.SetInteger(0, 0x1000);
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_InstInWindowNoSample);

void BM_PeriodicEmptyCallback(benchmark::State& state) {
    Fixture f(vantric::SubsystemAgent::kUnsupported, true);
    kvhost::TraceSource& source = f.EmptySource("PERIODIC");
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_PeriodicEmptyCallback);

void BM_PeriodicBelowThreshold(benchmark::State& state) {
    Fixture f(vantric::SubsystemAgent::kUnsupported, true);
    kvhost::TraceSource& source = f.cpu->Source("PERIODIC");
    source.SetInteger(0, 12345);
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_PeriodicBelowThreshold);

void BM_BranchEmptyCallback(benchmark::State& state) {
    Fixture f(vantric::SubsystemAgent::kLinux);
    kvhost::TraceSource& source = f.EmptySource("BRA_DIR");
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_BranchEmptyCallback);

void BM_LinuxBranchToOtherTarget(benchmark::State& state) {
    Fixture f(vantric::SubsystemAgent::kLinux);
    kvhost::TraceSource& source = f.cpu->Source("BRA_DIR");
    source.SetInteger(0, 0xFFFF000008001000);
    source.SetInteger(1, 0xFFFF000008002000);
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_LinuxBranchToOtherTarget);

// The floor set by the host: a callback that only converts the time.
void TimeOnlyCallback(void* userData, ZVT::EventClass*, const uint8_t*) {
    benchmark::DoNotOptimize(static_cast<vantric::TimeSource*>(userData)->now(0));
}

void BM_TimeConversionOnly(benchmark::State& state) {
    Fixture f(vantric::SubsystemAgent::kUnsupported);
    kvhost::Processor& other = f.simulation.AddProcessor("baseline", true);
    kvhost::TraceSource& source = other.Source("INST");
    source.CreateEventClass(0)->RegisterCallback(TimeOnlyCallback, &f.time);
    for (auto _ : state) source.Dispatch();
}
BENCHMARK(BM_TimeConversionOnly);

}  // namespace
