// Cost of one Linux sample on the sampling path, against the frame walk
// alone as the baseline: kernel samples add the record write, user samples
// add per frame a tree search, a dentry walk and a cached cookie lookup.
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

    Setup()
        : cpu("cluster0.cpu0", kvhost::ProcessorOptions{true, true}, 1),
          image(cpu, kvhost::KernelLayout::Debian510CloudArm64()),
          capture(vantric::CaptureWriter::kDefaultRotationRecords, errors, messages) {
        directory = std::filesystem::temp_directory_path() /
                    ("vt_linux_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory);
        task = image.AddProcess(812, "bash", "/usr/bin/bash");
        for (uint64_t i = 0; i < 64; ++i) {
            const uint64_t start = 0x10000000 + i * 0x100000;
            image.MapFile(task, start, start + 0x80000, "/usr/lib/aarch64-linux-gnu/libfoo.so", i);
        }
        std::vector<uint64_t> returns;
        for (uint64_t i = 0; i < kDepth; ++i) returns.push_back(0x10000000 + i * 0x700000 + 0x40);
        regs = image.WriteFrameRecords(image.NewUserStack(), returns);
        const auto files = image.WriteSettingsFiles(directory, {12, true, 0, 0});
        vq::JSONValue settings = vq::JSONValue::makeObject();
        settings["system-map-file"] = vq::JSONValue(files.systemMap.string().c_str());
        settings["linux-offsets-64"] = vq::JSONValue(image.OffsetsText().c_str());
        settings["pageshift"] = vq::JSONValue(uint64_t{12});
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

void BM_UserSample(benchmark::State& state) {
    Setup s;
    uint64_t time = 2;
    for (auto _ : state) {
        s.driver->OnSample(&s.cpu.debug(), 0, 0x10000010, 0x10000020, s.regs.fp, s.regs.sp, true,
                           true, true, time++);
    }
}
BENCHMARK(BM_UserSample);

}  // namespace
