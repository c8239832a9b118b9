#include "os/extended_features.h"

#include <gtest/gtest.h>

#include "kv_test_support.h"
#include "kvhost.h"

namespace vantric {
namespace {

constexpr const char* kNotFoundLine = "ERROR (OSDriver) feature not found in ETF\n";
constexpr const char* kFeaturesFailedLine =
    "ERROR (OSDriver) ERROR: Getting QOVI target features from target failed. These are "
    "required in the following.\n";
constexpr const char* kRegisterFailedLine =
    "ERROR (OSDriver) ERROR: Retrieving extended feature registers failed.\n\n";

TEST(ExtendedFeatures, ValueOfPcMemorySpaceRegnum) {
    const std::pair<const char*, int32_t> cases[] = {
        // No trailing colon; no "="; the name at the very end; absent.
        {"A=1:PC_MEMSPACE_REGNUM=7:B=2", 7}, {"PC_MEMSPACE_REGNUM=12", 12},
        {"PC_MEMSPACE_REGNUM:3", -1}, {"A=1:PC_MEMSPACE_REGNUM", -1}, {"A=1:B=2", -2},
        // Leading space skipped; not a number; beyond 32 bits; text after digits.
        {"PC_MEMSPACE_REGNUM= 42:B=2", 42}, {"PC_MEMSPACE_REGNUM=-5", -5},
        {"PC_MEMSPACE_REGNUM=x:B=2", 0}, {"PC_MEMSPACE_REGNUM=2147483647", 2147483647},
        {"PC_MEMSPACE_REGNUM=2147483648", 0}, {"PC_MEMSPACE_REGNUM=9x", 9},
        // A plain substring search, first occurrence only.
        {"XPC_MEMSPACE_REGNUM=5", 5}, {"PC_MEMSPACE_REGNUM_2=1:PC_MEMSPACE_REGNUM=3", -1},
    };
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    for (const auto& [text, value] : cases) {
        core.SetExtendedFeatures(text);
        for (bool verbose : {true, false}) {
            kvhost::StreamCapture console;
            EXPECT_EQ(ExtendedFeatures::Value(&core.debug(), "PC_MEMSPACE_REGNUM", verbose), value) << text;
            EXPECT_EQ(console.err(), verbose && value == -2 ? kNotFoundLine : "") << text;
        }
    }
}

// The text comes in 16-byte chunks; only a NUL ends it, so a text of exactly
// 16 characters needs the next chunk, which starts with NUL.
TEST(ExtendedFeatures, ReadsChunksUntilNul) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    for (size_t length : {0u, 15u, 16u, 17u, 32u, 33u}) {
        std::string text;
        for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('A' + i % 26));
        core.SetExtendedFeatures(text);
        kvhost::StreamCapture console;
        EXPECT_EQ(ExtendedFeatures::Read(&core.debug()), text);
        EXPECT_EQ(console.err(), "");
    }
    core.SetExtendedFeatures("ABCDEFGHIJKLM=12");  // the value ends a full chunk
    EXPECT_EQ(ExtendedFeatures::Value(&core.debug(), "ABCDEFGHIJKLM", true), 12);
}

TEST(ExtendedFeatures, HostFailuresAreReportedAndGiveEmptyText) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    kvhost::StreamCapture console;
    core.SetFailing(kvhost::DebugOperation::GetTargetFeatures, true);
    EXPECT_EQ(ExtendedFeatures::Read(&core.debug()), "");
    EXPECT_EQ(ExtendedFeatures::Read(nullptr), "");
    EXPECT_EQ(console.err(), std::string(kFeaturesFailedLine) + kFeaturesFailedLine);
    core.SetFailing(kvhost::DebugOperation::GetTargetFeatures, false);
    console.Clear();
    core.SetFailing(kvhost::DebugOperation::ReadFeatureRegister, true);
    EXPECT_EQ(ExtendedFeatures::Value(&core.debug(), "PC_MEMSPACE_REGNUM", true), -2);
    EXPECT_EQ(console.err(), std::string(kRegisterFailedLine) + kNotFoundLine);
    core.SetFailing(kvhost::DebugOperation::ReadFeatureRegister, false);
    console.Clear();
    // No features register: the host reports 0xFFFFFFFF and refuses the read.
    core.SetHasFeaturesRegister(false);
    EXPECT_EQ(ExtendedFeatures::Read(&core.debug()), "");
    EXPECT_EQ(console.err(), kRegisterFailedLine);
}

}  // namespace
}  // namespace vantric
