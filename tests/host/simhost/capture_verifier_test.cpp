// The verifier against real captures: both scenarios run small through
// VantricTrace.so; the truth as recorded passes every check, and each check
// fails on its own planted fault in the truth or the capture.
#include "capture_verifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "scenario_run.h"
#include "support/test_support.h"

namespace simhost {
namespace {

namespace rcf = vantric::rcf;

// Both scenarios, run once on first use, in the first test's directory.
struct SmallRuns {
    SmallRuns() {
        std::string error;
        EXPECT_TRUE(library.Load(VT_BINARY_DIR "/VantricTrace.so", error)) << error;
        for (const auto& [scenario, cores, instructions] :
             {std::tuple<std::string, uint32_t, uint64_t>{"linux", 3, 3000000}, {"baremetal", 2, 1000000}}) {
            Options options;
            options.scenario = scenario;
            options.cores = cores;
            options.instructions = instructions;
            options.seed = 11;
            options.assignments = {"output-directory=" + (directory.path() / scenario).string()};
            EXPECT_TRUE(RunScenario(library, options, false, runs[scenario], error)) << error;
            captures[scenario] = vantric::testing::ReadBack(runs[scenario].capturePath);
        }
    }
    const GroundTruth& truth(const std::string& scenario) { return runs.at(scenario).scenario->truth(); }

    vantric::testing::TempDirectory directory;
    PluginLibrary library;
    std::map<std::string, RunResult> runs;
    std::map<std::string, rcf::Capture> captures;
};

SmallRuns& Runs() {
    static SmallRuns runs;
    return runs;
}

std::vector<std::string> Failing(const VerifyReport& report) {
    std::vector<std::string> names;
    for (const CheckRow& row : report.rows) {
        if (!row.ok) names.push_back(row.name);
    }
    return names;
}

TEST(CaptureVerifierTest, TheRecordedTruthPassesEveryCheckAndAnIncompleteCaptureFailsTheReaders) {
    for (const auto& [name, rows] : {std::pair<std::string, size_t>{"linux", 9}, {"baremetal", 5}}) {
        const VerifyReport report = VerifyCapture(Runs().captures.at(name), Runs().truth(name));
        EXPECT_TRUE(report.ok()) << report.Table();
        EXPECT_EQ(report.rows.size(), rows) << name;
    }
    rcf::Capture incomplete = Runs().captures.at("linux");
    incomplete.sessionXml.reset();
    EXPECT_EQ(Failing(VerifyCapture(incomplete, Runs().truth("linux"))), std::vector<std::string>{"rcf check"});
}

TEST(CaptureVerifierTest, EachCheckFailsOnItsPlantedFault) {
    // The scenario, the check that must fail (and no other), the fault planted in the truth.
    const std::tuple<std::string, std::string, std::function<void(GroundTruth&)>> cases[] = {
        {"linux", "switches", [](GroundTruth& t) { t.switches.pop_back(); }},
        {"linux", "switches", [](GroundTruth& t) { t.switches.front().state ^= 1; }},
        {"linux", "thread exits", [](GroundTruth& t) { t.exits.front().pid += 1; }},
        {"linux", "openat/execve annotations", [](GroundTruth& t) { t.syscalls.front().text += " "; }},
        {"linux", "openat/execve annotations", [](GroundTruth& t) { t.syscalls.back().tid = 4242; }},
        {"linux", "openat/execve annotations", [](GroundTruth& t) { t.syscalls.push_back(t.syscalls.front()); }},
        {"linux", "thread sample shares",
         [](GroundTruth& t) {  // the busiest thread's instructions credited to the kernel worker
             auto busiest = std::max_element(t.threads.begin(), t.threads.end(), [](auto& a, auto& b) {
                 return a.second.instructions < b.second.instructions;
             });
             t.threads.at(57).instructions += std::exchange(busiest->second.instructions, 0);
         }},
        {"linux", "user stack frames", [](GroundTruth& t) { t.threads.at(1200).mappings = {t.threads.at(1200).exePath}; }},
        {"linux", "user stack frames", [](GroundTruth& t) { t.threads.at(1200).exePath = "/usr/sbin/httpd"; }},
        {"linux", "samples per core", [](GroundTruth& t) { t.coreInstructions.at(1) += t.samplingInterval; }},
        {"linux", "counter 'Write refills'", [](GroundTruth& t) { t.counters.at(0).events += 1; }},
        {"linux", "thread names", [](GroundTruth& t) { t.threads.at(1201).name = "nginx-wrk"; }},
        {"baremetal", "function activity", [](GroundTruth& t) { t.calls.pop_back(); }},
        {"baremetal", "function activity", [](GroundTruth& t) { t.calls.front().duration += 1; }},
        {"baremetal", "function activity", [](GroundTruth& t) { t.calls.front().core ^= 1; }},
        {"baremetal", "call stacks of samples",
         [](GroundTruth& t) {  // main's call site
             for (auto& [key, stacks] : t.periodicStacks) {
                 for (auto& stack : stacks) stack.back() += 4;
             }
         }},
        {"baremetal", "switches", [](GroundTruth& t) { t.switches.front().tid = 1; }},
        {"baremetal", "samples per core", [](GroundTruth& t) { t.coreInstructions.at(0) -= t.samplingInterval; }},
    };
    for (const auto& [scenario, row, plant] : cases) {
        GroundTruth truth = Runs().truth(scenario);
        plant(truth);
        const VerifyReport report = VerifyCapture(Runs().captures.at(scenario), truth);
        EXPECT_EQ(Failing(report), std::vector<std::string>{row}) << scenario << "\n" << report.Table();
    }
}

TEST(SampleBound, GrowsWithTheCountAndShrinksWithTheShare) {
    EXPECT_DOUBLE_EQ(SampleBound(0, 0), 2.0);
    EXPECT_DOUBLE_EQ(SampleBound(100, 0), 42.0);
    EXPECT_DOUBLE_EQ(SampleBound(100, 0.75), 22.0);
    EXPECT_DOUBLE_EQ(SampleBound(100, 1.0), 2.0);
}

}  // namespace
}  // namespace simhost
