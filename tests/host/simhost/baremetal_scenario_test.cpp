// The bare-metal scenario on its own (no plug-in): symbol files, and a call
// record that forms a proper call tree with main at its root.
#include "baremetal_scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "kv_test_support.h"

namespace simhost {
namespace {

std::string FirstLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST(BareMetalScenario, WritesSymbolFilesAndSettings) {
    kvhost::TempDirectory dir;
    ScenarioOptions options;
    options.cores = 1;
    options.workDir = dir.path();
    BareMetalScenario scenario(options);
    EXPECT_EQ(scenario.Prepare(), std::vector<std::string>{"config=" + (dir.path() / "config.json").string()});
    EXPECT_EQ(FirstLine(dir.path() / "dsp.sym"), "fir_step 80000 80120");
    EXPECT_EQ(FirstLine(dir.path() / "app.sym"), "adc_read 80500 80620");
    std::ifstream in(dir.path() / "baremetal.json");
    std::stringstream settings;
    settings << in.rdbuf();
    for (const char* key : {"\"operating-system\": \"none\"", "\"app-name\": \"motor_ctrl\"",
                            "\"app-proc-id\": 100", "\"report-function-activity\": true",
                            "\"sampling-frequency\": 50000"}) {
        EXPECT_NE(settings.str().find(key), std::string::npos) << key;
    }
}

TEST(BareMetalScenario, CallsFormATreeUnderMain) {
    kvhost::TempDirectory dir;
    ScenarioOptions options;
    options.cores = 2;
    options.instructions = 600000;
    options.workDir = dir.path();
    BareMetalScenario scenario(options);
    scenario.Prepare();
    scenario.Run({});
    const GroundTruth& truth = scenario.truth();
    for (uint32_t core = 0; core < 2; ++core) {
        std::vector<TruthCall> calls;
        for (const TruthCall& c : truth.calls) {
            if (c.core == core) calls.push_back(c);
        }
        ASSERT_GT(calls.size(), 100u);
        // Sorted by start, longest first: every interval lies within the
        // innermost open one or after it.
        std::sort(calls.begin(), calls.end(), [](const TruthCall& a, const TruthCall& b) {
            return a.start != b.start ? a.start < b.start : a.duration > b.duration;
        });
        EXPECT_EQ(calls.front().function, "main");
        std::vector<uint64_t> ends;
        for (const TruthCall& c : calls) {
            while (!ends.empty() && ends.back() <= c.start) ends.pop_back();
            if (!ends.empty()) {
                EXPECT_LE(c.start + c.duration, ends.back()) << c.function;
            }
            ends.push_back(c.start + c.duration);
        }
        EXPECT_EQ(truth.coreInstructions.at(core), 600000u);
    }
    size_t periodic = 0;
    for (const auto& [key, stacks] : truth.periodicStacks) {
        for (const auto& stack : stacks) {
            ++periodic;
            ASSERT_GE(stack.size(), 2u);
            EXPECT_EQ(stack.back(), 0x1000u);  // main, called from the reset code
        }
    }
    EXPECT_EQ(periodic, 2u * 600000u / 1000u);
}

}  // namespace
}  // namespace simhost
