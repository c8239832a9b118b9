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
    const auto oneMoreSample = [](GroundTruth& t) {  // the last event an interval further
        t.periodic.push_back(t.periodic.back());
        t.periodic.back().count += t.samplingInterval;
    };
    // The scenario, the check that must fail (and no other), the fault planted in the truth.
    const std::tuple<std::string, std::string, std::function<void(GroundTruth&)>> cases[] = {
        {"linux", "switches", [](GroundTruth& t) { t.switches.pop_back(); }},
        {"linux", "switches", [](GroundTruth& t) { t.switches.front().state ^= 1; }},
        {"linux", "thread exits", [](GroundTruth& t) { t.exits.front().pid += 1; }},
        {"linux", "openat/execve annotations", [](GroundTruth& t) { t.syscalls.front().text += " "; }},
        {"linux", "openat/execve annotations", [](GroundTruth& t) { t.syscalls.back().tid = 4242; }},
        {"linux", "openat/execve annotations", [](GroundTruth& t) { t.syscalls.push_back(t.syscalls.front()); }},
        {"linux", "thread sample shares",
         [](GroundTruth& t) {  // the nginx workers' instructions credited to the kernel worker
             for (TruthRun& run : t.runs) run.tid = run.tid == 1201 || run.tid == 1202 ? 57 : run.tid;
         }},
        {"linux", "user stack frames", [](GroundTruth& t) { t.threads.at(1200).mappings = {t.threads.at(1200).exePath}; }},
        {"linux", "user stack frames", [](GroundTruth& t) { t.threads.at(1200).exePath = "/usr/sbin/httpd"; }},
        {"linux", "samples per core", oneMoreSample},
        {"linux", "counter 'Write refills'", [](GroundTruth& t) { t.counters.at(0).eventTimes.push_back(0); }},
        {"linux", "thread names", [](GroundTruth& t) { t.threads.at(1201).name = "nginx-wrk"; }},
        {"baremetal", "function activity", [](GroundTruth& t) { t.calls.pop_back(); }},
        {"baremetal", "function activity", [](GroundTruth& t) { t.calls.front().duration += 1; }},
        {"baremetal", "function activity", [](GroundTruth& t) { t.calls.front().core ^= 1; }},
        {"baremetal", "call stacks of samples",
         [](GroundTruth& t) {  // main's call site
             for (TruthPeriodic& p : t.periodic) p.frames.back().callSite += 4;
         }},
        {"baremetal", "switches",
         [](GroundTruth& t) {  // core 1's first sample emitted first: the same round, the same stacks
             const auto first = std::find_if(t.periodic.begin(), t.periodic.end(), [&](const TruthPeriodic& p) {
                 return p.core == 1 && p.count == t.samplingInterval;
             });
             std::rotate(t.periodic.begin(), first, first + 1);
         }},
        {"baremetal", "samples per core", oneMoreSample},
    };
    for (const auto& [scenario, row, plant] : cases) {
        GroundTruth truth = Runs().truth(scenario);
        plant(truth);
        const VerifyReport report = VerifyCapture(Runs().captures.at(scenario), truth);
        EXPECT_EQ(Failing(report), std::vector<std::string>{row}) << scenario << "\n" << report.Table();
    }
}

TEST(CaptureVerifierTest, InstructionSharesCountTheWindowAndTheThreadsTheDriverKnows) {
    GroundTruth t;
    t.scenario = "linux";
    t.cores = 2;
    t.windowStart = 100;
    t.windowEnd = 300;
    for (uint32_t tid : {0, 1, 2, 3}) t.threads[tid].tid = tid;
    t.switches = {{0, 50, 1, 1}, {1, 150, 2, 1}, {0, 300, 3, 1}};
    t.runs = {{0, 1, 0, 1000, 1},    // before the window
              {0, 1, 100, 200, 1},   // before the window's first switch: nothing sampled
              {1, 2, 100, 300, 2},   // after core 1's switch
              {0, 1, 200, 500, 2},   // core 0 saw no switch in the window: task 0
              {0, 3, 300, 4000, 3}}; // after the window
    std::map<uint32_t, double> shares;
    for (const ThreadShare& s : VerifyCapture(rcf::Capture{}, t).shares) shares[s.tid] = s.instructionShare;
    EXPECT_EQ(shares, (std::map<uint32_t, double>{{0, 500.0 / 800}, {2, 300.0 / 800}}));
}

TEST(SampleBound, GrowsWithTheCountAndShrinksWithTheShare) {
    EXPECT_DOUBLE_EQ(SampleBound(0, 0), 2.0);
    EXPECT_DOUBLE_EQ(SampleBound(100, 0), 42.0);
    EXPECT_DOUBLE_EQ(SampleBound(100, 0.75), 22.0);
    EXPECT_DOUBLE_EQ(SampleBound(100, 1.0), 2.0);
}

}  // namespace
}  // namespace simhost
