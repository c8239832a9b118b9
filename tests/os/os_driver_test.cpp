#include <gtest/gtest.h>

#include "capture/capture_writer.h"
#include "counters/counter_set.h"
#include "kvhost.h"
#include "os/os_driver.h"
#include "os_test_support.h"

namespace vantric {
namespace {

// Opens the target set-up that Init fills for the concrete drivers.
class ProbeDriver : public OSDriver {
public:
    using OSDriver::OSDriver;
    using OSDriver::memorySpace;
    using OSDriver::pcMemorySpaceRegister;
    using OSDriver::regs32;
    using OSDriver::regs64;
};

struct InitCase {
    bool coreIs64;  // the simulated core
    bool is64;      // as Init is told
    const char* space;
    std::vector<const char*> registers;  // expected in the set of `is64`, else none found
};

TEST(OSDriverInit, SpaceAndRegistersOfTheCoreWidth) {
    const InitCase cases[] = {
        {true, true, "Guest", {"X0", "X1", "X2", "X3", "X4", "X5", "X8", "SP_EL1"}},
        {false, false, "Secure", {"R0", "R1", "R2", "R3", "R4", "R5", "R7", "R13_svc"}},
        {false, true, nullptr, {}},  // no "Guest" space, no X registers: not an error
    };
    for (const InitCase& c : cases) {
        kvhost::Processor core("cpu", {.is64 = c.coreIs64}, 0);
        CounterSet counters;
        CaptureWriter capture;
        ProbeDriver driver(counters, capture);
        testing::StderrCapture err;
        ASSERT_TRUE(driver.Init(&core.debug(), 4, c.is64));
        EXPECT_EQ(err.text(), "");
        EXPECT_EQ(driver.memorySpace, c.space ? core.MemorySpaceId(c.space) : OSDriver::kNotFound);
        OSDriver::RegisterNumbers expected;
        expected.fill(OSDriver::kNotFound);
        for (size_t i = 0; i < c.registers.size(); ++i) {
            expected[i] = core.RegisterNumber(c.registers[i]);
        }
        EXPECT_EQ(c.is64 ? driver.regs64 : driver.regs32, expected);
        expected.fill(OSDriver::kNotFound);
        EXPECT_EQ(c.is64 ? driver.regs32 : driver.regs64, expected);  // the other set is unused
    }
}

// A negative feature value (absent: -2, no "=": -1) fails Init; zero is a valid register.
TEST(OSDriverInit, PcMemorySpaceFeatureDecides) {
    const struct {
        const char* features;
        bool ok;
        int32_t regnum;
        const char* err;
    } cases[] = {{"HOST_MODEL=1", false, -2, "ERROR (OSDriver) feature not found in ETF\n"},
                 {"PC_MEMSPACE_REGNUM:1", false, -1, ""},
                 {"PC_MEMSPACE_REGNUM=0", true, 0, ""}};
    for (const auto& c : cases) {
        kvhost::Processor core("cpu", {.is64 = true}, 0);
        core.SetExtendedFeatures(c.features);
        CounterSet counters;
        CaptureWriter capture;
        ProbeDriver driver(counters, capture);
        testing::StderrCapture err;
        EXPECT_EQ(driver.Init(&core.debug(), 1, true), c.ok) << c.features;
        EXPECT_EQ(err.text(), c.err);
        EXPECT_EQ(driver.pcMemorySpaceRegister, c.regnum);
        // Registers are looked up only after the feature was found.
        EXPECT_EQ(driver.regs64[0] != OSDriver::kNotFound, c.ok);
    }
}

}  // namespace
}  // namespace vantric
