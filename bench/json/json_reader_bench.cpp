// Reading a counters file of about 1 MB: an array of counter objects as the
// counters file holds them, indented like a hand-written file. Baselines in
// the same run: the bare character walk through the stream buffer, and the
// same walk through the reader's virtual character steps.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "json/json_stream_reader.h"

namespace {

std::string countersDocument(std::size_t targetBytes) {
    std::string text = "[\n";
    for (unsigned i = 0; text.size() < targetBytes; ++i) {
        if (i > 0) text += ",\n";
        const std::string n = std::to_string(i);
        text += "  {\n"
                "    \"ZVTSrcName\": \"INST\",\n"
                "    \"Name\": \"x" + n + "\",\n"
                "    \"Component\": \"cluster0.cpu" + std::to_string(i % 8) + "\",\n"
                "    \"Condition\": \"PC >= 0x8000 && PC < 0x9000\",\n"
                "    \"Title\": \"Instructions\",\n"
                "    \"CounterName\": \"inst_" + n + "\",\n"
                "    \"Display\": \"Accumulate\",\n"
                "    \"Units\": \"instructions\",\n"
                "    \"AverageSelection\": true,\n"
                "    \"PerCpu\": false,\n"
                "    \"StartTime\": 0,\n"
                "    \"EndTime\": 18446744073709551615,\n"
                "    \"Ratio\": 0.25,\n"
                "    \"MessageInterval\": 1\n"
                "  }";
    }
    return text + "\n]\n";
}

const std::string& document() {
    static const std::string text = countersDocument(1 << 20);
    return text;
}

void BM_ParseCountersFile(benchmark::State& state) {
    const std::string& text = document();
    for (auto _ : state) {
        std::istringstream input(text);
        vq::JSONStreamReader reader(input);
        vq::JSONValue value;
        if (!vq::parseJSON(reader, value)) state.SkipWithError("document did not parse");
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseCountersFile)->Unit(benchmark::kMillisecond);

void BM_BaselineStreamBufferWalk(benchmark::State& state) {
    const std::string& text = document();
    for (auto _ : state) {
        std::istringstream input(text);
        std::streambuf* buffer = input.rdbuf();
        unsigned sum = 0;
        for (int c = buffer->sbumpc(); c != EOF; c = buffer->sbumpc()) sum += static_cast<unsigned>(c);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_BaselineStreamBufferWalk)->Unit(benchmark::kMillisecond);

void BM_BaselineReaderCharacterWalk(benchmark::State& state) {
    const std::string& text = document();
    for (auto _ : state) {
        std::istringstream input(text);
        vq::JSONStreamReader stream(input);
        vq::JSONReader& reader = stream;  // through the virtual steps, as the grammar calls them
        unsigned sum = 0;
        while (!reader.eof()) {
            reader.peek();
            if (reader.eof()) break;
            sum += static_cast<unsigned char>(reader.get());
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_BaselineReaderCharacterWalk)->Unit(benchmark::kMillisecond);

}  // namespace
