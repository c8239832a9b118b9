// OnBranch of the bare-metal driver: every branch of every core reaches it,
// so the answers of its two caches must cost next to nothing. Each figure
// comes with the baseline of an empty virtual OnBranch in the same run.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "capture/capture_writer.h"
#include "json/json_value.h"
#include "kvhost.h"
#include "os/baremetal/baremetal_driver.h"

namespace {

using vantric::BareMetalDriver;
using vantric::OSDriver;

// main 1000-10ff calls alpha 2000-20ff from 0x1010; alpha returns from 0x2050.
struct Rig {
    explicit Rig(bool activity) {
        directory = std::filesystem::temp_directory_path() /
                    ("vt_bench_baremetal_" + std::to_string(activity));
        std::filesystem::create_directories(directory);
        const std::string symbols = (directory / "app.sym").string();
        std::ofstream(symbols) << "main 1000 10ff\nalpha 2000 20ff\n";
        capture.open((directory / "bench.rcf").string() + "/", 1);

        vq::JSONValue settings = vq::JSONValue::makeObject();
        settings["app-name"] = vq::JSONValue("bench");
        settings["app-proc-id"] = vq::JSONValue(1);
        settings["symbol-info-files"] = vq::JSONValue(symbols.c_str());
        settings["report-function-activity"] = vq::JSONValue(activity);
        driver = std::make_unique<BareMetalDriver>(capture, 100, settings);
        driver->Init(&core.debug(), 1, true);
    }
    ~Rig() {
        driver.reset();
        capture.close();
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    std::filesystem::path directory;
    kvhost::Processor core{"cpu", {.is64 = true}, 0};
    vantric::CaptureWriter capture;
    std::unique_ptr<BareMetalDriver> driver;
};

void BM_EmptyOnBranch(benchmark::State& state) {
    vantric::CaptureWriter capture;
    std::unique_ptr<OSDriver> base = std::make_unique<OSDriver>(capture);
    OSDriver* driver = base.get();
    benchmark::DoNotOptimize(driver);
    uint64_t time = 0;
    for (auto _ : state) driver->OnBranch(nullptr, 0, 0x1010, 0x1030, true, ++time);
}
BENCHMARK(BM_EmptyOnBranch);

// A branch to an address already classified as no function start.
void BM_OnBranchCachedNonFunctionTarget(benchmark::State& state) {
    Rig rig(false);
    OSDriver* driver = rig.driver.get();
    benchmark::DoNotOptimize(driver);
    driver->OnBranch(nullptr, 0, 0x1010, 0x1030, true, 0);  // classifies 0x1030
    uint64_t time = 0;
    for (auto _ : state) driver->OnBranch(nullptr, 0, 0x1010, 0x1030, true, ++time);
}
BENCHMARK(BM_OnBranchCachedNonFunctionTarget);

// A call of a function start already in the target cache. The stack is
// emptied every 1024 calls (a clear of plain records) so that it stays small.
void BM_OnBranchCachedCall(benchmark::State& state) {
    Rig rig(false);
    OSDriver* driver = rig.driver.get();
    benchmark::DoNotOptimize(driver);
    driver->OnBranch(nullptr, 0, 0x1010, 0x2000, true, 0);  // caches alpha
    uint64_t time = 0;
    for (auto _ : state) {
        driver->OnBranch(nullptr, 0, 0x1010, 0x2000, true, ++time);
        if ((time & 1023) == 0) driver->OnException();
    }
}
BENCHMARK(BM_OnBranchCachedCall);

// A cached call and its cached return, with or without function activity
// (which writes one activity record per pair to the capture).
void BM_OnBranchCallReturnPair(benchmark::State& state) {
    Rig rig(state.range(0) != 0);
    OSDriver* driver = rig.driver.get();
    benchmark::DoNotOptimize(driver);
    uint64_t time = 0;
    driver->OnBranch(nullptr, 0, 0x500, 0x1000, true, ++time);   // main
    driver->OnBranch(nullptr, 0, 0x1010, 0x2000, true, ++time);  // alpha
    driver->OnBranch(nullptr, 0, 0x2050, 0x1014, true, ++time);  // classifies the return
    for (auto _ : state) {
        driver->OnBranch(nullptr, 0, 0x1010, 0x2000, true, ++time);
        driver->OnBranch(nullptr, 0, 0x2050, 0x1014, true, ++time);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_OnBranchCallReturnPair)->Arg(0)->Arg(1);

}  // namespace
