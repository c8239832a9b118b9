#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_writer.h"
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

// Init looks up the data space and the registers of the width it is told; a
// negative "PC_MEMSPACE_REGNUM" (absent: -2, no "=": -1) fails it before the
// register lookup, while 0 is a valid register.
TEST(OSDriverInit, SpaceFeatureAndRegisters) {
    const std::vector<const char*> x = {"X0", "X1", "X2", "X3", "X4", "X5", "X8", "SP_EL1"};
    const std::vector<const char*> r = {"R0", "R1", "R2", "R3", "R4", "R5", "R7", "R13_svc"};
    const struct {
        const char* features;  // nullptr: the host model's own
        bool coreIs64;         // the simulated core
        bool is64;             // as Init is told
        const char* space;
        std::vector<const char*> registers;  // in the set of `is64`; none found otherwise
        int32_t regnum;                      // 1: the host model's register
        const char* err;
    } cases[] = {
        {nullptr, true, true, "Guest", x, 1, ""},
        {nullptr, false, false, "Secure", r, 1, ""},
        {nullptr, false, true, nullptr, {}, 1, ""},  // no "Guest", no X registers: no error
        {"HOST_MODEL=1", true, true, "Guest", {}, -2,
         "ERROR (OSDriver) feature not found in ETF\n"},
        {"PC_MEMSPACE_REGNUM:1", true, true, "Guest", {}, -1, ""},
        {"PC_MEMSPACE_REGNUM=0", true, true, "Guest", x, 0, ""},
    };
    for (const auto& c : cases) {
        kvhost::Processor core("cpu", {.is64 = c.coreIs64}, 0);
        if (c.features) core.SetExtendedFeatures(c.features);
        CaptureWriter capture;
        ProbeDriver driver(capture);
        testing::StderrCapture err;
        EXPECT_EQ(driver.Init(&core.debug(), 4, c.is64), c.regnum >= 0)
            << (c.features ? c.features : "host model");
        EXPECT_EQ(err.text(), c.err);
        EXPECT_EQ(driver.memorySpace, c.space ? core.MemorySpaceId(c.space) : OSDriver::kNotFound);
        EXPECT_EQ(driver.pcMemorySpaceRegister,
                  c.regnum != 1 ? c.regnum
                                : static_cast<int32_t>(core.RegisterNumber(
                                      kvhost::Processor::kPcMemorySpaceRegister)));
        OSDriver::RegisterNumbers expected;
        expected.fill(OSDriver::kNotFound);
        EXPECT_EQ(c.is64 ? driver.regs32 : driver.regs64, expected);  // the other set is unused
        for (size_t i = 0; i < c.registers.size(); ++i) {
            expected[i] = core.RegisterNumber(c.registers[i]);
        }
        EXPECT_EQ(c.is64 ? driver.regs64 : driver.regs32, expected);
    }
}

}  // namespace
}  // namespace vantric
