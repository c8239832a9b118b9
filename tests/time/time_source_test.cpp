#include "time/time_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kvhost.h"

namespace {

TEST(TimeSource, SimulatedTimeFromSchedulerTicks) {
    kvhost::Simulation simulation;
    vantric::TimeSource time;
    EXPECT_EQ(time.now(5), 0u);  // not connected yet: time stands still
    time.connect(&simulation.scheduler(), nullptr);

    simulation.SetTickSeconds(1e-9);
    simulation.SetTicks(1000);
    EXPECT_EQ(time.now(0), 1000u);
    EXPECT_EQ(time.now(5), 1005u);
    EXPECT_EQ(time.lastSimulatedTime(), 1005u);
    // A negative local time offset arrives as its two's complement.
    EXPECT_EQ(time.now(uint64_t(-3)), 997u);

    simulation.SetTickSeconds(0.5e-9);
    simulation.SetTicks(3);
    EXPECT_EQ(time.now(0), 1u);  // 1.5 truncated
    // Ticks of 2^63 and above convert as unsigned.
    simulation.SetTicks(uint64_t{1} << 63);
    EXPECT_EQ(time.now(0), uint64_t{1} << 62);
}

TEST(TimeSource, HostAndFirstCoreBases) {
    kvhost::Simulation simulation;
    kvhost::Processor& core = simulation.AddProcessor("cpu0", true);
    core.SetCurrentTime(777);

    vantric::TimeSource host(vantric::TimeSource::kHost);
    host.connect(&simulation.scheduler(), &core.debug());
    const uint64_t first = host.now(12345);
    EXPECT_GE(host.now(0), first);
    EXPECT_LT(first, uint64_t{60} * 1000000000);  // since construction, not since boot
    EXPECT_EQ(host.lastSimulatedTime(), 0u);

    vantric::TimeSource firstCore(vantric::TimeSource::kFirstCore);
    EXPECT_EQ(firstCore.now(99), 0u);  // no core yet
    firstCore.connect(&simulation.scheduler(), &core.debug());
    EXPECT_EQ(firstCore.now(99), 777u);

    // Any other base is simulated time.
    vantric::TimeSource other(3);
    other.connect(&simulation.scheduler(), &core.debug());
    simulation.SetTickSeconds(1e-9);
    simulation.SetTicks(42);
    EXPECT_EQ(other.now(0), 42u);
}

TEST(TimeSource, ToUnsignedSaturatesAndClamps) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(vantric::TimeSource::ToUnsigned(-1.0), 0u);
    EXPECT_EQ(vantric::TimeSource::ToUnsigned(nan), 0u);
    EXPECT_EQ(vantric::TimeSource::ToUnsigned(0.99), 0u);
    EXPECT_EQ(vantric::TimeSource::ToUnsigned(std::ldexp(1.0, 63)), uint64_t{1} << 63);
    EXPECT_EQ(vantric::TimeSource::ToUnsigned(std::ldexp(1.0, 64)), UINT64_MAX);
    EXPECT_EQ(vantric::TimeSource::ToUnsigned(std::ldexp(1.0, 63) + 4096.0),
              (uint64_t{1} << 63) + 4096);
}

}  // namespace
