// Runs through the host's path with the empty plug-in and with bad input.
#include "scenario_run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fstream>

#include "capture_verifier.h"
#include "kv_test_support.h"
#include "parameter_args.h"
#include "rcf/capture_reader.h"

namespace simhost {
namespace {

TEST(EmptyPlugin, TakesTheSameParametersAndWritesNothing) {
    PluginLibrary empty;
    std::string error;
    ASSERT_TRUE(empty.Load(VT_BINARY_DIR "/EmptyTrace.so", error)) << error;
    EXPECT_STREQ(empty.factory()->PluginKind(), "TRACE");
    const ParameterTable table = ReadParameterTable(*empty.factory());
    ASSERT_EQ(table.size(), 10u);
    EXPECT_STREQ(table[7].name, "config");

    kvhost::TempDirectory dir;
    Options options;
    options.cores = 2;
    options.instructions = 200000;
    options.assignments = {"output-directory=" + dir.path().string()};
    RunResult result;
    ASSERT_TRUE(RunScenario(empty, options, false, result, error)) << error;
    EXPECT_GT(result.events, 400u);  // at least the PERIODIC events
    EXPECT_EQ(result.instructions, 400000u);
    EXPECT_FALSE(std::filesystem::exists(result.capturePath));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "simhost-linux" / "System.map"));
}

TEST(RunScenario, WritesTheInputFilesAUserWould) {
    PluginLibrary empty;
    std::string error;
    ASSERT_TRUE(empty.Load(VT_BINARY_DIR "/EmptyTrace.so", error)) << error;
    kvhost::TempDirectory dir;
    for (const char* scenario : {"linux", "baremetal"}) {
        Options options;
        options.scenario = scenario;
        options.cores = 1;
        options.instructions = 10000;
        options.workDir = (dir.path() / scenario).string();
        options.assignments = {"output-directory=" + dir.path().string()};
        RunResult result;
        ASSERT_TRUE(RunScenario(empty, options, false, result, error)) << error;
        EXPECT_TRUE(std::filesystem::exists(dir.path() / scenario / "config.json")) << scenario;
    }
    for (const char* file : {"System.map", "linux.json", "offsets.txt", "counters.json"}) {
        EXPECT_TRUE(std::filesystem::exists(dir.path() / "linux" / file)) << file;
    }
    for (const char* file : {"app.sym", "dsp.sym", "baremetal.json"}) {
        EXPECT_TRUE(std::filesystem::exists(dir.path() / "baremetal" / file)) << file;
    }
}

TEST(RunScenario, ReportsWhatStopsIt) {
    PluginLibrary plugin;
    std::string error;
    ASSERT_TRUE(plugin.Load(VT_BINARY_DIR "/VantricTrace.so", error)) << error;
    kvhost::TempDirectory dir;
    Options options;
    options.cores = 1;
    options.instructions = 10000;
    options.assignments = {"output-directory=" + dir.path().string(), "bogus=1"};
    RunResult result;
    EXPECT_FALSE(RunScenario(plugin, options, false, result, error));
    EXPECT_EQ(error, "unknown parameter 'bogus'");

    options.assignments = {"output-directory=" + dir.path().string(), "config=/nonexistent/config.json"};
    EXPECT_FALSE(RunScenario(plugin, options, false, result, error));
    EXPECT_EQ(error, "the plug-in did not create an instance (see its messages above)");

    options.assignments = {"output-directory=/proc/no-such-place"};
    EXPECT_FALSE(RunScenario(plugin, options, false, result, error));
    EXPECT_NE(error.find("cannot create /proc/no-such-place/simhost-linux"), std::string::npos) << error;
}

TEST(RunScenario, ReplacesTheDataOfAnEarlierCaptureOnly) {
    PluginLibrary plugin;
    std::string error;
    ASSERT_TRUE(plugin.Load(VT_BINARY_DIR "/VantricTrace.so", error)) << error;
    kvhost::TempDirectory dir;
    Options options;
    options.instructions = 300000;
    options.assignments = {"output-directory=" + dir.path().string()};
    options.cores = 4;
    RunResult first;
    ASSERT_TRUE(RunScenario(plugin, options, false, first, error)) << error;
    std::ofstream(std::filesystem::path(first.capturePath) / "notes.txt") << "mine";

    options.cores = 1;  // fewer cores: fewer data files than the first run left
    RunResult second;
    ASSERT_TRUE(RunScenario(plugin, options, false, second, error)) << error;
    vantric::rcf::Capture capture;
    ASSERT_TRUE(vantric::rcf::ReadCapture(second.capturePath, capture));
    for (const auto& frame : capture.frames) EXPECT_LE(frame.core.value_or(0), 0u) << frame.fileName;
    const VerifyReport report = VerifyCapture(capture, second.scenario->truth());
    EXPECT_TRUE(report.ok()) << report.Table();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(second.capturePath) / "notes.txt"));
}

}  // namespace
}  // namespace simhost
