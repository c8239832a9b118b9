#include "os/os_driver.h"

#include <gtest/gtest.h>

#include "capture/capture_writer.h"
#include "kv_test_support.h"
#include "kvhost.h"

namespace vantric {
namespace {

// Opens the target set-up that Init fills for the concrete drivers.
class ProbeDriver : public OSDriver {
public:
    using OSDriver::memorySpace;
    using OSDriver::OSDriver;
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
    // The features text (nullptr: the host model's own), the simulated core's width and
    // the one Init is told, the data space, the registers found (in the set of `is64`;
    // none otherwise), the PC memory-space register (1: the host model's) and the console.
    const struct {
        const char* features;
        bool coreIs64, is64;
        const char* space;
        std::vector<const char*> registers;
        int32_t regnum;
        const char* err;
    } cases[] = {
        {nullptr, true, true, "Guest", x, 1, ""},
        {nullptr, false, false, "Secure", r, 1, ""},
        {nullptr, false, true, nullptr, {}, 1, ""},  // no "Guest", no X registers: no error
        {"HOST_MODEL=1", true, true, "Guest", {}, -2, "ERROR (OSDriver) feature not found in ETF\n"},
        {"PC_MEMSPACE_REGNUM:1", true, true, "Guest", {}, -1, ""},
        {"PC_MEMSPACE_REGNUM=0", true, true, "Guest", x, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.features ? c.features : "host model");
        kvhost::Processor core("cpu", {.is64 = c.coreIs64}, 0);
        if (c.features) core.SetExtendedFeatures(c.features);
        CaptureWriter capture;
        ProbeDriver driver(capture);
        kvhost::StreamCapture console;
        EXPECT_EQ(driver.Init(&core.debug(), 4, c.is64), c.regnum >= 0);
        EXPECT_EQ(console.err(), c.err);
        EXPECT_EQ(driver.memorySpace, c.space ? core.MemorySpaceId(c.space) : 0xFFFFFFFFu);
        EXPECT_EQ(driver.pcMemorySpaceRegister,
                  c.regnum != 1 ? c.regnum
                                : static_cast<int32_t>(core.RegisterNumber(
                                      kvhost::Processor::kPcMemorySpaceRegister)));
        OSDriver::RegisterNumbers expected;
        expected.fill(0xFFFFFFFFu);
        EXPECT_EQ(c.is64 ? driver.regs32 : driver.regs64, expected);  // the other set is unused
        for (size_t i = 0; i < c.registers.size(); ++i) {
            expected[i] = core.RegisterNumber(c.registers[i]);
        }
        EXPECT_EQ(c.is64 ? driver.regs64 : driver.regs32, expected);
    }
}

}  // namespace
}  // namespace vantric
