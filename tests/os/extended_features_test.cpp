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

struct FeatureCase {
    const char* text;
    int32_t value;
};

class GetExtendedFeatureTest : public ::testing::TestWithParam<FeatureCase> {};

TEST_P(GetExtendedFeatureTest, ValueOfPcMemorySpaceRegnum) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    core.SetExtendedFeatures(GetParam().text);
    StderrCapture err;
    EXPECT_EQ(OSDriver::GetExtendedFeature(&core.debug(), "PC_MEMSPACE_REGNUM", true),
              GetParam().value);
    EXPECT_EQ(err.text(), GetParam().value == -2 ? kNotFoundLine : "");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GetExtendedFeatureTest,
    ::testing::Values(FeatureCase{"A=1:PC_MEMSPACE_REGNUM=7:B=2", 7},
                      FeatureCase{"PC_MEMSPACE_REGNUM=12", 12},          // no trailing colon
                      FeatureCase{"PC_MEMSPACE_REGNUM:3", -1},           // no "="
                      FeatureCase{"A=1:PC_MEMSPACE_REGNUM", -1},         // name at the very end
                      FeatureCase{"A=1:B=2", -2},                        // absent
                      FeatureCase{"", -2},
                      FeatureCase{"PC_MEMSPACE_REGNUM= 42:B=2", 42},     // leading space skipped
                      FeatureCase{"PC_MEMSPACE_REGNUM=-5", -5},
                      FeatureCase{"PC_MEMSPACE_REGNUM=x:B=2", 0},        // not a number
                      FeatureCase{"PC_MEMSPACE_REGNUM=:B=2", 0},
                      FeatureCase{"PC_MEMSPACE_REGNUM=2147483647", 2147483647},
                      FeatureCase{"PC_MEMSPACE_REGNUM=2147483648", 0},   // beyond 32 bits
                      FeatureCase{"PC_MEMSPACE_REGNUM=9x", 9},
                      FeatureCase{"XPC_MEMSPACE_REGNUM=5", 5},           // plain substring search
                      // Only the first occurrence is tried.
                      FeatureCase{"PC_MEMSPACE_REGNUM_2=1:PC_MEMSPACE_REGNUM=3", -1}));

TEST(GetExtendedFeature, QuietWhenNotVerbose) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    core.SetExtendedFeatures("A=1");
    StderrCapture err;
    EXPECT_EQ(OSDriver::GetExtendedFeature(&core.debug(), "PC_MEMSPACE_REGNUM", false), -2);
    EXPECT_EQ(err.text(), "");
}

class FeatureChunksTest : public ::testing::TestWithParam<size_t> {};

// The text comes in 16-byte chunks; only a NUL ends it, so a text of exactly
// 16 characters needs the next chunk, which starts with NUL.
TEST_P(FeatureChunksTest, ReadsChunksUntilNul) {
    std::string text;
    for (size_t i = 0; i < GetParam(); ++i) text.push_back(static_cast<char>('A' + i % 26));
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    core.SetExtendedFeatures(text);
    StderrCapture err;
    EXPECT_EQ(OSDriver::ReadExtendedFeatures(&core.debug()), text);
    EXPECT_EQ(err.text(), "");
}

INSTANTIATE_TEST_SUITE_P(Lengths, FeatureChunksTest,
                         ::testing::Values(0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 100u));

TEST(ReadExtendedFeatures, ValueAtTheEndOfAFullChunk) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    core.SetExtendedFeatures("ABCDEFGHIJKLM=12");  // exactly 16 characters
    EXPECT_EQ(OSDriver::GetExtendedFeature(&core.debug(), "ABCDEFGHIJKLM", true), 12);
    core.SetExtendedFeatures("A=1:PC_MEMSPACE_REGNUM=7");  // the value sits in chunk 1
    EXPECT_EQ(OSDriver::GetExtendedFeature(&core.debug(), "PC_MEMSPACE_REGNUM", true), 7);
}

TEST(ReadExtendedFeatures, HostFailuresAreReportedAndGiveEmptyText) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    {
        StderrCapture err;
        core.SetFailing(kvhost::DebugOperation::GetTargetFeatures, true);
        EXPECT_EQ(OSDriver::ReadExtendedFeatures(&core.debug()), "");
        EXPECT_EQ(err.text(), kFeaturesFailedLine);
        core.SetFailing(kvhost::DebugOperation::GetTargetFeatures, false);
    }
    {
        StderrCapture err;
        EXPECT_EQ(OSDriver::ReadExtendedFeatures(nullptr), "");
        EXPECT_EQ(err.text(), kFeaturesFailedLine);
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
