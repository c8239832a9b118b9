#include <gtest/gtest.h>

#include <string>

#include "kvhost.h"
#include "os/os_driver.h"
#include "os_test_support.h"

namespace vantric {
namespace {

using testing::StderrCapture;

constexpr const char* kNotFoundLine = "ERROR (OSDriver) feature not found in ETF\n";
constexpr const char* kFeaturesFailedLine =
    "ERROR (OSDriver) ERROR: Getting QOVI target features from target failed. These are "
    "required in the following.\n";
constexpr const char* kRegisterFailedLine =
    "ERROR (OSDriver) ERROR: Retrieving extended feature registers failed.\n\n";

TEST(GetExtendedFeature, ValueOfPcMemorySpaceRegnum) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"A=1:PC_MEMSPACE_REGNUM=7:B=2", 7},
        {"PC_MEMSPACE_REGNUM=12", 12},   // no trailing colon
        {"PC_MEMSPACE_REGNUM:3", -1},    // no "="
        {"A=1:PC_MEMSPACE_REGNUM", -1},  // name at the very end
        {"A=1:B=2", -2},                 // absent
        {"PC_MEMSPACE_REGNUM= 42:B=2", 42},  // leading space skipped
        {"PC_MEMSPACE_REGNUM=-5", -5},
        {"PC_MEMSPACE_REGNUM=x:B=2", 0},  // not a number
        {"PC_MEMSPACE_REGNUM=2147483647", 2147483647},
        {"PC_MEMSPACE_REGNUM=2147483648", 0},  // beyond 32 bits
        {"PC_MEMSPACE_REGNUM=9x", 9},
        {"XPC_MEMSPACE_REGNUM=5", 5},  // plain substring search
        {"PC_MEMSPACE_REGNUM_2=1:PC_MEMSPACE_REGNUM=3", -1},  // only the first occurrence
    };
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    for (const auto& c : cases) {
        core.SetExtendedFeatures(c.text);
        for (bool verbose : {true, false}) {
            StderrCapture err;
            EXPECT_EQ(OSDriver::GetExtendedFeature(&core.debug(), "PC_MEMSPACE_REGNUM", verbose),
                      c.value)
                << c.text;
            EXPECT_EQ(err.text(), verbose && c.value == -2 ? kNotFoundLine : "") << c.text;
        }
    }
}

// The text comes in 16-byte chunks; only a NUL ends it, so a text of exactly
// 16 characters needs the next chunk, which starts with NUL.
TEST(ReadExtendedFeatures, ReadsChunksUntilNul) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    for (size_t length : {0u, 15u, 16u, 17u, 32u, 33u}) {
        std::string text;
        for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('A' + i % 26));
        core.SetExtendedFeatures(text);
        StderrCapture err;
        EXPECT_EQ(OSDriver::ReadExtendedFeatures(&core.debug()), text);
        EXPECT_EQ(err.text(), "");
    }
    core.SetExtendedFeatures("ABCDEFGHIJKLM=12");  // the value ends a full chunk
    EXPECT_EQ(OSDriver::GetExtendedFeature(&core.debug(), "ABCDEFGHIJKLM", true), 12);
}

TEST(ReadExtendedFeatures, HostFailuresAreReportedAndGiveEmptyText) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    {
        StderrCapture err;
        core.SetFailing(kvhost::DebugOperation::GetTargetFeatures, true);
        EXPECT_EQ(OSDriver::ReadExtendedFeatures(&core.debug()), "");
        EXPECT_EQ(OSDriver::ReadExtendedFeatures(nullptr), "");
        EXPECT_EQ(err.text(), std::string(kFeaturesFailedLine) + kFeaturesFailedLine);
        core.SetFailing(kvhost::DebugOperation::GetTargetFeatures, false);
    }
    {
        StderrCapture err;
        core.SetFailing(kvhost::DebugOperation::ReadFeatureRegister, true);
        EXPECT_EQ(OSDriver::GetExtendedFeature(&core.debug(), "PC_MEMSPACE_REGNUM", true), -2);
        EXPECT_EQ(err.text(), std::string(kRegisterFailedLine) + kNotFoundLine);
        core.SetFailing(kvhost::DebugOperation::ReadFeatureRegister, false);
    }
    {
        // No features register: the host reports 0xFFFFFFFF and refuses the read.
        StderrCapture err;
        core.SetHasFeaturesRegister(false);
        EXPECT_EQ(OSDriver::ReadExtendedFeatures(&core.debug()), "");
        EXPECT_EQ(err.text(), kRegisterFailedLine);
    }
}

}  // namespace
}  // namespace vantric
