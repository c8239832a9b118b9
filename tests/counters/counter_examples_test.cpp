// The example files of examples/counters/ are accepted as the README
// explains them, and their conditions apply to a processor's trace sources.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "counter_capture_fixture.h"
#include "counters/counter_defaults.h"

namespace vantric::testing {
namespace {

using ::testing::ElementsAre;

const std::string kExamples = std::string(VT_SOURCE_DIR) + "/examples/counters/";

using CounterExamplesTest = CounterCaptureTest;

TEST_F(CounterExamplesTest, CountersFileCountsAProcessorsEvents) {
    ASSERT_TRUE(counters.ReadCountersConfig(kExamples + "counters.json")) << counters.errorText();
    ASSERT_EQ(counters.descriptions().size(), 4u);
    EXPECT_EQ(counters.descriptions()[1].type, "BranchesIndirect");
    const CounterRecord& branches = *counters.recordsByComponent().at("cluster0.cpu0").at(0);
    EXPECT_EQ(std::tuple(branches.interval, branches.startTime, branches.endTime),
              std::tuple(1000u, 1000000u, 50000000u));

    kvhost::Processor& cpu0 = sim.AddProcessor("cluster0.cpu0", true);
    kvhost::Processor& cpu1 = sim.AddProcessor("cluster0.cpu1", true);
    ASSERT_TRUE(Register(cpu0, 0)) << counters.errorText();
    ASSERT_TRUE(Register(cpu1, 1)) << counters.errorText();

    sim.SetTicks(100);
    cpu1.EmitException(0x1000, 3);
    cpu1.EmitException(0x1000, 4);  // not a data abort
    cpu0.EmitSyscall(1);            // HVC
    cpu0.EmitSyscall(2);            // SMC: not counted
    for (int i = 0; i < 10; ++i) cpu1.EmitModeChange(i % 2 == 0 ? 5 : 0);
    for (int i = 0; i < 10; ++i) cpu0.EmitModeChange(5);
    EXPECT_THAT(FinishValues(),
                ElementsAre(CounterValue{100, 1, 3, 1}, CounterValue{100, 0, 5, 1},
                            CounterValue{100, 0, 6, 10}));
}

TEST(CounterDefaultsExampleTest, DefaultsFileIsAccepted) {
    CounterDefaultsMap defaults;
    std::ostringstream errors;
    ASSERT_TRUE(ReadCounterDefaults(kExamples + "counter_defaults.json", defaults, errors))
        << errors.str();
    ASSERT_EQ(defaults.size(), 3u);
    EXPECT_EQ(defaults.at("INST").messageInterval, 100000u);
    EXPECT_EQ(defaults.at("EXCEPTION").condition, "VECTOR == 3");
    EXPECT_FALSE(defaults.at("MMU_TLB_FILL").averageSelection);
}

}  // namespace
}  // namespace vantric::testing
