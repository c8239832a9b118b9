#include "time/time_source.h"

#include <gtest/gtest.h>

#include "kv_test_support.h"
#include "kvhost.h"

namespace {

TEST(TimeSource, SimulatedTimeFromSchedulerTicks) {
    kvhost::Simulation simulation;
    vantric::TimeSource time;
    time.scheduler = &simulation.scheduler();

    simulation.SetTickSeconds(1e-9);
    simulation.SetTicks(1000);
    EXPECT_EQ(time.now(0), 1000u);
    EXPECT_EQ(time.now(5), 1005u);
    EXPECT_EQ(time.lastSimulatedTime, 1005u);
    // A negative local time offset arrives as its two's complement.
    EXPECT_EQ(time.now(uint64_t(-3)), 997u);

    simulation.SetTickSeconds(0.5e-9);
    simulation.SetTicks(3);
    EXPECT_EQ(time.now(0), 1u);  // 1.5 truncated

    // Ticks of 2^63 and above convert as unsigned.
    simulation.SetTickSeconds(1e-9);
    simulation.SetTicks(uint64_t{1} << 63);
    EXPECT_EQ(time.now(0), uint64_t{1} << 63);
    EXPECT_EQ(time.lastSimulatedTime, uint64_t{1} << 63);
}

TEST(TimeSource, HostAndFirstCoreBases) {
    kvhost::Simulation simulation;
    kvhost::Processor& core = simulation.AddProcessor("cpu0", true);
    vantric::TimeSource time;
    time.scheduler = &simulation.scheduler();
    time.firstCoreDebug = &core.debug();

    time.timeBase = vantric::TimeSource::kHost;
    const uint64_t first = time.now(12345);
    const uint64_t second = time.now(0);
    EXPECT_GE(second, first);
    EXPECT_LT(first, uint64_t{60} * 1000000000);  // since construction, not since boot
    EXPECT_EQ(time.lastSimulatedTime, 0u);

    time.timeBase = vantric::TimeSource::kFirstCore;
    core.SetCurrentTime(777);
    EXPECT_EQ(time.now(99), 777u);
    EXPECT_EQ(time.lastSimulatedTime, 0u);

    time.timeBase = 7;
    EXPECT_EQ(time.now(0), 0u);
}

}  // namespace
