// The verifier against real captures: both scenarios run small through the
// real VantricTrace.so; the untouched truth passes every check, and each
// check fails when the truth (or the capture) is changed in what it covers.
#include "capture_verifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "kv_test_support.h"
#include "rcf/capture_reader.h"
#include "scenario_run.h"

namespace simhost {
namespace {

namespace rcf = vantric::rcf;

struct SmallRun {
    RunResult result;
    rcf::Capture capture;
};

class CaptureVerifierTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = std::make_unique<kvhost::TempDirectory>();
        library_ = std::make_unique<PluginLibrary>();
        std::string error;
        ASSERT_TRUE(library_->Load(VT_BINARY_DIR "/VantricTrace.so", error)) << error;
        linux_ = RunSmall("linux", 3, 3000000);
        baremetal_ = RunSmall("baremetal", 2, 1000000);
    }
    static void TearDownTestSuite() {
        linux_.reset();
        baremetal_.reset();
        library_.reset();
        directory_.reset();
    }

    static std::unique_ptr<SmallRun> RunSmall(const std::string& scenario, uint32_t cores, uint64_t instructions) {
        Options options;
        options.scenario = scenario;
        options.cores = cores;
        options.instructions = instructions;
        options.seed = 11;
        options.assignments = {"output-directory=" + (directory_->path() / scenario).string()};
        auto run = std::make_unique<SmallRun>();
        std::string error;
        EXPECT_TRUE(RunScenario(*library_, options, false, run->result, error)) << error;
        EXPECT_TRUE(rcf::ReadCapture(run->result.capturePath, run->capture));
        return run;
    }

    static std::vector<std::string> Failing(const VerifyReport& report) {
        std::vector<std::string> names;
        for (const CheckRow& row : report.rows) {
            if (!row.ok) names.push_back(row.name);
        }
        return names;
    }

    static std::unique_ptr<kvhost::TempDirectory> directory_;
    static std::unique_ptr<PluginLibrary> library_;
    static std::unique_ptr<SmallRun> linux_;
    static std::unique_ptr<SmallRun> baremetal_;
};

std::unique_ptr<kvhost::TempDirectory> CaptureVerifierTest::directory_;
std::unique_ptr<PluginLibrary> CaptureVerifierTest::library_;
std::unique_ptr<SmallRun> CaptureVerifierTest::linux_;
std::unique_ptr<SmallRun> CaptureVerifierTest::baremetal_;

TEST_F(CaptureVerifierTest, LinuxCaptureMatchesWhatRan) {
    const GroundTruth& truth = linux_->result.scenario->truth();
    const VerifyReport report = VerifyCapture(linux_->capture, truth);
    EXPECT_TRUE(report.ok()) << report.Table();
    EXPECT_EQ(report.rows.size(), 9u);
    // The run is big enough for the checks to mean something.
    EXPECT_GT(truth.switches.size(), 20u);
    EXPECT_GE(truth.exits.size(), 1u);
    EXPECT_GT(truth.syscalls.size(), 10u);
    EXPECT_GT(truth.counters.at(0).events, 100u);
    EXPECT_GE(report.shares.size(), 10u);
    EXPECT_NE(report.Table().find("openat/execve annotations"), std::string::npos);
}

TEST_F(CaptureVerifierTest, BareMetalCaptureMatchesWhatRan) {
    const GroundTruth& truth = baremetal_->result.scenario->truth();
    const VerifyReport report = VerifyCapture(baremetal_->capture, truth);
    EXPECT_TRUE(report.ok()) << report.Table();
    EXPECT_EQ(report.rows.size(), 5u);
    EXPECT_GT(truth.calls.size(), 1000u);
    EXPECT_EQ(truth.switches.size(), 1u);
}

TEST_F(CaptureVerifierTest, EachLinuxCheckCatchesItsFault) {
    const struct {
        const char* row;
        std::function<void(GroundTruth&)> change;
    } cases[] = {
        {"switches", [](GroundTruth& t) { t.switches.pop_back(); }},
        {"switches", [](GroundTruth& t) { t.switches.front().state ^= 1; }},
        {"thread exits", [](GroundTruth& t) { t.exits.front().pid += 1; }},
        {"openat/execve annotations", [](GroundTruth& t) { t.syscalls.front().text += " "; }},
        {"openat/execve annotations", [](GroundTruth& t) { t.syscalls.back().tid = 4242; }},
        {"openat/execve annotations", [](GroundTruth& t) { t.syscalls.push_back(t.syscalls.front()); }},
        {"thread sample shares",
         [](GroundTruth& t) {
             // All of the busiest thread's instructions credited to another one.
             auto busiest = std::max_element(t.threads.begin(), t.threads.end(), [](auto& a, auto& b) {
                 return a.second.instructions < b.second.instructions;
             });
             t.threads.at(57).instructions += busiest->second.instructions;
             busiest->second.instructions = 0;
         }},
        {"user stack frames", [](GroundTruth& t) { for (auto& [tid, th] : t.threads) th.mappings.clear(); }},
        {"user stack frames", [](GroundTruth& t) { t.threads.at(1200).exePath = "/usr/sbin/httpd"; }},
        {"samples per core", [](GroundTruth& t) { t.coreInstructions.at(1) += t.samplingInterval; }},
        {"counter 'Write refills'", [](GroundTruth& t) { t.counters.at(0).events += 1; }},
        {"thread names", [](GroundTruth& t) { t.threads.at(1201).name = "nginx-wrk"; }},
    };
    for (const auto& c : cases) {
        GroundTruth truth = linux_->result.scenario->truth();
        c.change(truth);
        const VerifyReport report = VerifyCapture(linux_->capture, truth);
        const std::vector<std::string> failing = Failing(report);
        EXPECT_NE(std::find(failing.begin(), failing.end(), c.row), failing.end())
            << c.row << "\n" << report.Table();
        EXPECT_FALSE(report.ok());
    }
}

TEST_F(CaptureVerifierTest, EachBareMetalCheckCatchesItsFault) {
    const struct {
        const char* row;
        std::function<void(GroundTruth&)> change;
    } cases[] = {
        {"function activity", [](GroundTruth& t) { t.calls.pop_back(); }},
        {"function activity", [](GroundTruth& t) { t.calls.front().duration += 1; }},
        {"function activity", [](GroundTruth& t) { t.calls.front().core ^= 1; }},
        {"call stacks of samples",
         [](GroundTruth& t) {
             for (auto& [key, stacks] : t.periodicStacks) {
                 for (auto& stack : stacks) stack.back() += 4;
             }
         }},
        {"switches", [](GroundTruth& t) { t.switches.front().tid = 1; }},
        {"samples per core", [](GroundTruth& t) { t.coreInstructions.at(0) -= t.samplingInterval; }},
    };
    for (const auto& c : cases) {
        GroundTruth truth = baremetal_->result.scenario->truth();
        c.change(truth);
        const std::vector<std::string> failing = Failing(VerifyCapture(baremetal_->capture, truth));
        EXPECT_NE(std::find(failing.begin(), failing.end(), c.row), failing.end()) << c.row;
    }
}

TEST_F(CaptureVerifierTest, IncompleteCaptureFailsTheReadersCheck) {
    rcf::Capture capture = linux_->capture;
    capture.sessionXml.reset();
    const VerifyReport report = VerifyCapture(capture, linux_->result.scenario->truth());
    EXPECT_EQ(Failing(report), std::vector<std::string>{"rcf check"});
}

TEST(SampleBound, GrowsWithTheCountAndShrinksWithTheShare) {
    EXPECT_DOUBLE_EQ(SampleBound(0, 0), 2.0);
    EXPECT_DOUBLE_EQ(SampleBound(100, 0), 42.0);
    EXPECT_DOUBLE_EQ(SampleBound(100, 0.75), 22.0);
    EXPECT_DOUBLE_EQ(SampleBound(100, 1.0), 2.0);
}

}  // namespace
}  // namespace simhost
