// The capture writer against a raw fwrite of the same bytes, in one run:
// counter values and 16-frame samples, plus cookie lookups that hit.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture_writer.h"
#include "capture/packed_encoding.h"

namespace {

using vantric::CaptureWriter;
using vantric::capture::EncodePacked;
using vantric::capture::Widen32;
using vantric::capture::Widen64;

constexpr size_t kPattern = 4096;  // distinct records, cycled
constexpr int64_t kIterations = 20'000'000;

std::string BenchDirectory(const char* name) {
    auto path = std::filesystem::temp_directory_path() / (std::string("vt_bench_") + name);
    std::filesystem::remove_all(path);
    return path.string() + "/";
}

struct CounterValue {
    uint64_t time;
    uint32_t counter;
    uint64_t value;
};

std::vector<CounterValue> CounterPattern() {
    std::vector<CounterValue> out;
    for (size_t i = 0; i < kPattern; ++i) {
        out.push_back({1'000'000 + i * 997, static_cast<uint32_t>(i % 5), 1 + (i * 7919) % 5000});
    }
    return out;
}

struct Sample {
    uint64_t time;
    uint32_t cookie, pid, tid;
    uint32_t cookies[16];
    uint64_t addresses[16];
};

std::vector<Sample> SamplePattern() {
    std::vector<Sample> out(kPattern);
    for (size_t i = 0; i < kPattern; ++i) {
        Sample& s = out[i];
        s.time = 5'000'000 + i * 1000;
        s.cookie = 2 + static_cast<uint32_t>(i % 7);
        s.pid = 400 + static_cast<uint32_t>(i % 3);
        s.tid = s.pid + static_cast<uint32_t>(i % 2);
        for (int f = 0; f < 16; ++f) {
            s.cookies[f] = 2 + static_cast<uint32_t>((i + f) % 7);
            s.addresses[f] = 0x400000 + (i * 64 + f * 4096) % 0x100000;
        }
    }
    return out;
}

// The bytes the writer produces for each record, encoded once up front.
template <typename Encode>
std::vector<std::vector<uint8_t>> Encoded(size_t count, Encode encode) {
    std::vector<std::vector<uint8_t>> out(count);
    for (size_t i = 0; i < count; ++i) encode(i, out[i]);
    return out;
}

void Put(std::vector<uint8_t>& out, int64_t value) {
    uint8_t bytes[10];
    size_t size = EncodePacked(value, bytes);
    out.insert(out.end(), bytes, bytes + size);
}

int64_t TotalBytes(const std::vector<std::vector<uint8_t>>& records, int64_t iterations) {
    int64_t total = 0;
    for (int64_t i = 0; i < iterations; ++i)
        total += static_cast<int64_t>(records[i % kPattern].size());
    return total;
}

void RawFwrite(benchmark::State& state, const std::vector<std::vector<uint8_t>>& records,
               const char* name) {
    std::string dir = BenchDirectory(name);
    std::filesystem::create_directories(dir);
    std::FILE* file = std::fopen((dir + "raw").c_str(), "wb");
    size_t i = 0;
    for (auto _ : state) {
        const std::vector<uint8_t>& record = records[i++ % kPattern];
        std::fwrite(record.data(), 1, record.size(), file);
    }
    std::fclose(file);
    state.SetBytesProcessed(TotalBytes(records, state.iterations()));
    std::filesystem::remove_all(dir);
}

void BM_CounterValue_Writer(benchmark::State& state) {
    std::vector<CounterValue> pattern = CounterPattern();
    std::vector<std::vector<uint8_t>> records =
        Encoded(kPattern, [&](size_t i, std::vector<uint8_t>& out) {
            Put(out, Widen64(pattern[i].time));
            Put(out, 0);
            Put(out, Widen32(pattern[i].counter + 3));
            Put(out, Widen64(pattern[i].value));
        });
    std::string dir = BenchDirectory("counter_writer");
    {
        CaptureWriter writer;
        writer.open(dir, 1);
        size_t i = 0;
        for (auto _ : state) {
            const CounterValue& v = pattern[i++ % kPattern];
            writer.writeCounterValue(0, v.time, v.counter, v.value);
        }
    }
    state.SetBytesProcessed(TotalBytes(records, state.iterations()));
    std::filesystem::remove_all(dir);
}

void BM_CounterValue_RawFwrite(benchmark::State& state) {
    std::vector<CounterValue> pattern = CounterPattern();
    RawFwrite(state,
              Encoded(kPattern,
                      [&](size_t i, std::vector<uint8_t>& out) {
                          Put(out, Widen64(pattern[i].time));
                          Put(out, 0);
                          Put(out, Widen32(pattern[i].counter + 3));
                          Put(out, Widen64(pattern[i].value));
                      }),
              "counter_raw");
}

std::vector<std::vector<uint8_t>> EncodedSamples(const std::vector<Sample>& pattern) {
    return Encoded(kPattern, [&](size_t i, std::vector<uint8_t>& out) {
        const Sample& s = pattern[i];
        Put(out, Widen64(s.time));
        Put(out, Widen32(s.cookie));
        Put(out, Widen32(s.pid));
        Put(out, Widen32(s.tid));
        for (int f = 0; f < 16; ++f) {
            Put(out, Widen32(s.cookies[f]));
            Put(out, Widen64(s.addresses[f]));
        }
        Put(out, 1);
    });
}

void BM_Sample16_Writer(benchmark::State& state) {
    std::vector<Sample> pattern = SamplePattern();
    std::string dir = BenchDirectory("sample_writer");
    {
        CaptureWriter writer;
        writer.open(dir, 1);
        size_t i = 0;
        for (auto _ : state) {
            const Sample& s = pattern[i++ % kPattern];
            writer.writeSample(0, s.time, s.cookie, s.pid, s.tid, s.cookies, s.addresses);
        }
    }
    state.SetBytesProcessed(TotalBytes(EncodedSamples(pattern), state.iterations()));
    std::filesystem::remove_all(dir);
}

void BM_Sample16_RawFwrite(benchmark::State& state) {
    std::vector<Sample> pattern = SamplePattern();
    RawFwrite(state, EncodedSamples(pattern), "sample_raw");
}

// Hits for a 40-byte name: the hash over the name and the set lookup.
void BM_CookieFor_Hit40(benchmark::State& state) {
    std::string dir = BenchDirectory("cookie");
    const std::string name = "/usr/lib/aarch64-linux-gnu/libexample.so";  // 40 bytes
    {
        CaptureWriter writer;
        writer.open(dir, 4);
        writer.cookieFor(1, 300, 300, 0, name);
        uint64_t time = 0;
        for (auto _ : state) {
            benchmark::DoNotOptimize(writer.cookieFor(1, 300, 300, ++time, name));
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_CounterValue_Writer)->Iterations(kIterations);
BENCHMARK(BM_CounterValue_RawFwrite)->Iterations(kIterations);
BENCHMARK(BM_Sample16_Writer)->Iterations(kIterations / 10);
BENCHMARK(BM_Sample16_RawFwrite)->Iterations(kIterations / 10);
BENCHMARK(BM_CookieFor_Hit40);
