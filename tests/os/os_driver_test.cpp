#include <gtest/gtest.h>

#include "capture/capture_writer.h"
#include "counters/counter_set.h"
#include "kvhost.h"
#include "os/os_driver.h"
#include "os_test_support.h"

namespace vantric {
namespace {

using testing::StderrCapture;

// Opens the target set-up that Init fills for the concrete drivers.
class ProbeDriver : public OSDriver {
public:
    using OSDriver::OSDriver;
    using OSDriver::memorySpace;
    using OSDriver::pcMemorySpaceRegister;
    using OSDriver::regs32;
    using OSDriver::regs64;
};

class OSDriverInitTest : public ::testing::Test {
protected:
    CounterSet counters;
    CaptureWriter capture;
    ProbeDriver driver{counters, capture};
};

OSDriver::RegisterNumbers NumbersOf(const kvhost::Processor& core,
                                    std::initializer_list<const char*> names) {
    OSDriver::RegisterNumbers numbers{};
    size_t i = 0;
    for (const char* name : names) numbers[i++] = core.RegisterNumber(name);
    return numbers;
}

OSDriver::RegisterNumbers NoneFound() {
    OSDriver::RegisterNumbers numbers;
    numbers.fill(OSDriver::kNotFound);
    return numbers;
}

TEST_F(OSDriverInitTest, SixtyFourBitCore) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    ASSERT_TRUE(driver.Init(&core.debug(), 4, true));
    EXPECT_EQ(driver.memorySpace, core.MemorySpaceId("Guest"));
    EXPECT_EQ(driver.pcMemorySpaceRegister,
              static_cast<int32_t>(core.RegisterNumber(kvhost::Processor::kPcMemorySpaceRegister)));
    EXPECT_EQ(driver.regs64,
              NumbersOf(core, {"X0", "X1", "X2", "X3", "X4", "X5", "X8", "SP_EL1"}));
    EXPECT_EQ(driver.regs32, NoneFound());
}

TEST_F(OSDriverInitTest, ThirtyTwoBitCore) {
    kvhost::Processor core("cpu", {.is64 = false}, 0);
    ASSERT_TRUE(driver.Init(&core.debug(), 1, false));
    EXPECT_EQ(driver.memorySpace, core.MemorySpaceId("Secure"));
    EXPECT_EQ(driver.regs32,
              NumbersOf(core, {"R0", "R1", "R2", "R3", "R4", "R5", "R7", "R13_svc"}));
    EXPECT_EQ(driver.regs64, NoneFound());
}

TEST_F(OSDriverInitTest, MissingSpaceAndRegistersAreNotErrors) {
    // A 32-bit core asked for as 64-bit: no "Guest" space, no X registers.
    kvhost::Processor core("cpu", {.is64 = false}, 0);
    StderrCapture err;
    EXPECT_TRUE(driver.Init(&core.debug(), 1, true));
    EXPECT_EQ(driver.memorySpace, OSDriver::kNotFound);
    EXPECT_EQ(driver.regs64, NoneFound());
    EXPECT_EQ(err.text(), "");
}

TEST_F(OSDriverInitTest, FailsWithoutPcMemorySpaceFeature) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    core.SetExtendedFeatures("HOST_MODEL=1");
    StderrCapture err;
    EXPECT_FALSE(driver.Init(&core.debug(), 1, true));
    EXPECT_EQ(err.text(), "ERROR (OSDriver) feature not found in ETF\n");
    EXPECT_EQ(driver.pcMemorySpaceRegister, -2);
    EXPECT_EQ(driver.regs64, NoneFound());  // registers are not looked up
}

TEST_F(OSDriverInitTest, FeatureWithoutValueFailsQuietlyAndZeroIsValid) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    core.SetExtendedFeatures("PC_MEMSPACE_REGNUM:1");
    StderrCapture err;
    EXPECT_FALSE(driver.Init(&core.debug(), 1, true));
    EXPECT_EQ(err.text(), "");
    core.SetExtendedFeatures("PC_MEMSPACE_REGNUM=0");
    EXPECT_TRUE(driver.Init(&core.debug(), 1, true));
    EXPECT_EQ(driver.pcMemorySpaceRegister, 0);
}

TEST_F(OSDriverInitTest, BaseDriverWantsNoEventsAndHasNoMessages) {
    EXPECT_FALSE(driver.WantsBranchEvents());
    EXPECT_FALSE(driver.WantsSyscallEvents());
    EXPECT_EQ(driver.Messages(), "");
}

}  // namespace
}  // namespace vantric
