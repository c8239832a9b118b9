// rcf report against the bare decoding of the same capture (what rcf dump
// does before printing), on a capture of 10^6 samples written by the
// plug-in's own writer. The heap's peak is counted per run: the report's
// model grows with distinct stacks and timeline events, not with samples,
// while keeping the decoded records (as rcf dump does) grows with them.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "capture/capture_writer.h"
#include "rcf/capture_reader.h"
#include "rcf/profile/profile_builder.h"
#include "rcf/report/report_writer.h"

namespace {
std::atomic<int64_t> g_heap{0};
std::atomic<int64_t> g_peak{0};
}  // namespace

// Counting replacements of the global allocation functions; free() is the
// right match for their malloc(), whatever g++ infers from the names.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    const int64_t now = g_heap += static_cast<int64_t>(malloc_usable_size(p));
    for (int64_t peak = g_peak; now > peak && !g_peak.compare_exchange_weak(peak, now);) {
    }
    return p;
}
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    g_heap -= static_cast<int64_t>(malloc_usable_size(p));
    std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

using namespace vantric::rcf;

constexpr int kSamples = 1'000'000;
constexpr int kStacks = 4096;  // distinct stacks, cycled
constexpr uint64_t kPeriod = 100'000;

// Two cores of a Linux-like run: 8-frame samples in 3 processes of 2
// threads, a switch every 50 samples, a counter value every 10 and an
// annotation every 1000.
const std::string& BenchCapture() {
    static const std::string directory = [] {
        const std::string dir = (std::filesystem::temp_directory_path() / "vt_bench_rcf_report.rcf/").string();
        std::filesystem::remove_all(dir);
        vantric::CaptureWriter writer;
        writer.open(dir, 2);
        uint32_t cookies[8];
        uint64_t addresses[8];
        for (int i = 0; i < kSamples; ++i) {
            const uint32_t core = static_cast<uint32_t>(i % 2);
            const uint64_t time = static_cast<uint64_t>(i / 2) * kPeriod + core * 7;
            const uint32_t pid = 300 + static_cast<uint32_t>((i / 100) % 3);
            const uint32_t tid = pid + static_cast<uint32_t>((i / 50) % 2);
            const uint64_t stack = (static_cast<uint64_t>(i) * 7919) % kStacks;
            for (int f = 0; f < 8; ++f) {
                cookies[f] = f < 3 ? 0 : 2 + static_cast<uint32_t>(f % 3);
                addresses[f] = (f < 3 ? 0xffff800008000000ull : 0x1000) + (stack >> f) * 64 + static_cast<uint64_t>(f) * 4096;
            }
            if (i % 50 < 2) writer.writeSwitch(core, time, 0, pid, tid, "worker", 0);
            writer.writeSample(core, time, 0, pid, tid, cookies, addresses);
            if (i % 10 == 0) writer.writeCounterValue(core, time, 0, static_cast<uint64_t>(i % 977));
            if (i % 1000 == 0) writer.writeAnnotation(core, tid, time, "openat(-100, \"/etc/passwd\", 0, 0)");
        }
        writer.writeDescriptions(0, static_cast<uint64_t>(kSamples / 2) * kPeriod, {});
        writer.close();
        return dir;
    }();
    return directory;
}

void CountPeak(benchmark::State& state, int64_t before) {
    state.counters["peak_heap_MB"] = static_cast<double>(g_peak - before) / (1 << 20);
    state.counters["samples"] = kSamples;
}

void BM_DecodeCapture(benchmark::State& state) {
    const std::string& dir = BenchCapture();
    g_peak = g_heap.load();
    const int64_t before = g_heap;
    for (auto _ : state) {
        Capture capture;
        size_t records = 0;
        VisitCapture(dir, capture, [&](const Frame& frame) { records += frame.records.size(); });
        benchmark::DoNotOptimize(records);
    }
    CountPeak(state, before);
}

// What rcf dump holds before it prints: every decoded record.
void BM_LoadCapture(benchmark::State& state) {
    const std::string& dir = BenchCapture();
    g_peak = g_heap.load();
    const int64_t before = g_heap;
    for (auto _ : state) {
        Capture capture;
        ReadCapture(dir, capture);
        benchmark::DoNotOptimize(capture.frames.size());
    }
    CountPeak(state, before);
}

void BM_ReportCapture(benchmark::State& state) {
    const std::string& dir = BenchCapture();
    const std::string page = (std::filesystem::temp_directory_path() / "vt_bench_report.html").string();
    g_peak = g_heap.load();
    const int64_t before = g_heap;
    for (auto _ : state) {
        ProfileBuilder builder(ProfileBuilder::Window{}, false);
        Capture capture;
        VisitCapture(dir, capture, [&](const Frame& frame) { builder.add(frame); });
        Symbolizer symbolizer;
        const Profile profile = builder.finish(capture, symbolizer);
        OutputStream out;
        out.open(page, false);
        WriteReport(profile, {"bench.rcf", nullptr}, out);
        out.close();
    }
    CountPeak(state, before);
    std::filesystem::remove(page);
}

}  // namespace

BENCHMARK(BM_DecodeCapture)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadCapture)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReportCapture)->Unit(benchmark::kMillisecond)->Iterations(3);
