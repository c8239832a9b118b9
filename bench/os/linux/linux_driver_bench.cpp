// Cost of one Linux sample on the sampling path, against the frame walk
// alone as the baseline: kernel samples add the record write, user samples
// add per frame an area search, a dentry walk and a cached cookie lookup.
// User samples and the area search alone run with the areas in a red-black
// tree and in a maple tree, for address spaces of 64 and 1024 areas.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

#include "capture/capture_writer.h"
#include "kernel_image.h"
#include "os/frame_walker.h"
#include "os/linux/linux_driver.h"

namespace {

using vantric::LinuxDriver;

class NullActivity : public vantric::SoftwareCounterSink {
public:
    Counter AddSoftwareCounter(const vantric::SoftwareCounterSettings&) override { return &count; }
    void AddToSoftwareCounter(Counter, uint64_t amount, uint32_t) override { count += amount; }
    uint64_t count = 0;
};

struct Setup {
    static constexpr uint32_t kDepth = 8;

    explicit Setup(bool maple = false, uint64_t areas = 64)
        : cpu("cluster0.cpu0", kvhost::ProcessorOptions{true, true}, 1),
          image(cpu, maple ? kvhost::KernelLayout::Synthetic64Maple() : kvhost::KernelLayout::Synthetic64()),
          capture(vantric::CaptureWriter::kDefaultRotationRecords, errors, messages) {
        directory = std::filesystem::temp_directory_path() /
                    ("vt_linux_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory);
        task = image.AddProcess(812, "bash", "/usr/bin/bash");
        const uint64_t file = image.File("/usr/lib/aarch64-linux-gnu/libfoo.so");
        for (uint64_t i = 0; i < areas; ++i) {
            const uint64_t start = 0x10000000 + i * 0x100000;
            image.MapFileObject(task, start, start + 0x80000, file, i);
        }
        std::vector<uint64_t> returns;
        for (uint64_t i = 0; i < kDepth; ++i) returns.push_back(0x10000000 + i * 0x700000 + 0x40);
        regs = image.WriteFrameRecords(image.NewUserStack(), returns);
        const auto files = image.WriteSettingsFiles(directory, {12, true, 0, 0});
        vq::JSONValue settings = vq::JSONValue::makeObject();
        settings["system-map-file"] = vq::JSONValue(files.systemMap.string().c_str());
        settings["linux-offsets-64"] = vq::JSONValue(image.OffsetsText().c_str());
        settings["pageshift"] = vq::JSONValue(uint64_t{12});
        if (maple) {
            settings["memory-areas"] = vq::JSONValue("maple-tree");
            settings["maple-tree-offsets"] = vq::JSONValue(image.layout().MapleText().c_str());
        }
        driver = std::make_unique<LinuxDriver>(capture, kDepth, settings, &activity);
        capture.open((directory / "bench.rcf").string() + "/", 1);
        driver->Init(&cpu.debug(), 1, true);
        image.EnterSwitchTo(0, task);
        driver->OnBranch(&cpu.debug(), 0, 0, image.switchToAddress(), true, 1);
    }
    ~Setup() {
        driver.reset();
        capture.close();
        std::filesystem::remove_all(directory);
    }

    kvhost::Processor cpu;
    kvhost::KernelImage image;
    std::filesystem::path directory;
    std::ostringstream errors;
    std::ostringstream messages;
    vantric::CaptureWriter capture;
    NullActivity activity;
    std::unique_ptr<LinuxDriver> driver;
    uint64_t task = 0;
    kvhost::KernelImage::StackPointers regs;
};

void BM_FrameWalkOnly(benchmark::State& state) {
    Setup s;
    std::vector<uint64_t> stack;
    stack.reserve(Setup::kDepth);
    const uint32_t space = s.cpu.MemorySpaceId("Guest");
    for (auto _ : state) {
        vantric::FrameWalker::Walk(Setup::kDepth, &s.cpu.debug(), space, 0x10000010, 0x10000020,
                                   s.regs.fp, s.regs.sp, true, stack);
        benchmark::DoNotOptimize(stack.data());
    }
}
BENCHMARK(BM_FrameWalkOnly);

void BM_KernelSample(benchmark::State& state) {
    Setup s;
    uint64_t time = 2;
    for (auto _ : state) {
        s.driver->OnSample(&s.cpu.debug(), 0, 0x10000010, 0x10000020, s.regs.fp, s.regs.sp, false,
                           true, true, time++);
    }
}
BENCHMARK(BM_KernelSample);

// Arguments: 0 red-black tree or 1 maple tree, then the number of areas.
void BM_UserSample(benchmark::State& state) {
    Setup s(state.range(0) != 0, static_cast<uint64_t>(state.range(1)));
    uint64_t time = 2;
    for (auto _ : state) {
        s.driver->OnSample(&s.cpu.debug(), 0, 0x10000010, 0x10000020, s.regs.fp, s.regs.sp, true,
                           true, true, time++);
    }
}
BENCHMARK(BM_UserSample)->ArgsProduct({{0, 1}, {64, 1024}});

// One search per area, each for an address inside it.
void BM_FindMemoryArea(benchmark::State& state) {
    const auto areas = static_cast<uint64_t>(state.range(1));
    Setup s(state.range(0) != 0, areas);
    const uint64_t mm = s.image.MmOf(s.task);
    uint64_t i = 0;
    for (auto _ : state) {
        const uint64_t address = 0x10000000 + (i++ % areas) * 0x100000 + 0x40;
        benchmark::DoNotOptimize(s.driver->FindMemoryArea(&s.cpu.debug(), mm, address, true));
    }
}
BENCHMARK(BM_FindMemoryArea)->ArgsProduct({{0, 1}, {64, 1024}});

}  // namespace
