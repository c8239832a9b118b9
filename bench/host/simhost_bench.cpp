// Events per second of the Linux (PERIODIC sampling) and bare-metal
// scenarios with VantricTrace.so and with the empty plug-in that subscribes
// to the same events; compare the two rates of a scenario (the target is
// the plug-in within 1.5x of the empty one on the Linux scenario).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "plugin_library.h"
#include "scenario_run.h"

namespace {

void RunWith(benchmark::State& state, const char* plugin, const char* scenario) {
    simhost::PluginLibrary library;
    std::string error;
    if (!library.Load(std::string(VT_BINARY_DIR) + "/" + plugin, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::filesystem::path out = std::filesystem::temp_directory_path() / "simhost_bench";
    simhost::Options options;
    options.scenario = scenario;
    options.cores = 4;
    options.instructions = 5000000;
    options.assignments = {"output-directory=" + out.string()};
    uint64_t events = 0;
    for (auto _ : state) {
        simhost::RunResult result;
        if (!simhost::RunScenario(library, options, false, result, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        state.SetIterationTime(result.seconds);
        events += result.events;
    }
    state.counters["events"] = benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
    std::error_code ec;
    std::filesystem::remove_all(out, ec);
}

void BM_LinuxEmpty(benchmark::State& state) { RunWith(state, "EmptyTrace.so", "linux"); }
void BM_LinuxVantricTrace(benchmark::State& state) { RunWith(state, "VantricTrace.so", "linux"); }
void BM_BareMetalEmpty(benchmark::State& state) { RunWith(state, "EmptyTrace.so", "baremetal"); }
void BM_BareMetalVantricTrace(benchmark::State& state) { RunWith(state, "VantricTrace.so", "baremetal"); }

BENCHMARK(BM_LinuxEmpty)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinuxVantricTrace)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareMetalEmpty)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareMetalVantricTrace)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
