#include <gtest/gtest.h>

#include <string>

#include "kvhost.h"
#include "os/os_driver.h"

namespace vantric {
namespace {

constexpr uint32_t kNotFound = OSDriver::kNotFound;
constexpr uint32_t kAll = OSDriver::kAllGroups;

// Register numbers differ from list positions in the host model, and the
// later names sit beyond the first (or second) batch of 16.
TEST(FindRegister, FindsExactNamesInEveryBatch) {
    const struct {
        bool is64;
        const char* name;
        bool found;
    } cases[] = {
        {true, "X0", true},          {true, "X15", true},  // first batch
        {true, "X16", true},         {true, "X30", true},  // second batch
        {true, "SP_EL1", true},      {true, "PC_MEMSPACE", true},
        {false, "R13_svc", true},    {false, "R7", true},
        {true, "x0", false},         {true, "X", false},  // case-sensitive, whole name only
        {true, "X00", false},        {true, "X31", false},
        {false, "X0", false},        {true, "", false},
    };
    for (const auto& c : cases) {
        kvhost::Processor core("cpu", {.is64 = c.is64}, 0);
        EXPECT_EQ(OSDriver::FindRegister(&core.debug(), kAll, c.name),
                  c.found ? core.RegisterNumber(c.name) : kNotFound)
            << c.name;
    }
    // Group 1 holds SP_EL1 but not X0; the host refuses group 7.
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    EXPECT_EQ(OSDriver::FindRegister(&core.debug(), 1, "SP_EL1"), core.RegisterNumber("SP_EL1"));
    EXPECT_EQ(OSDriver::FindRegister(&core.debug(), 1, "X0"), kNotFound);
    EXPECT_EQ(OSDriver::FindRegister(&core.debug(), 7, "X0"), kNotFound);  // host refuses group
    EXPECT_EQ(OSDriver::FindRegister(nullptr, kAll, "X0"), kNotFound);
    core.SetFailing(kvhost::DebugOperation::ListRegisters, true);
    EXPECT_EQ(OSDriver::FindRegister(&core.debug(), kAll, "X0"), kNotFound);
}

TEST(FindMemorySpace, ExactNamesOnBothWidths) {
    kvhost::Processor core64("cpu0", {.is64 = true}, 0);
    kvhost::Processor core32("cpu1", {.is64 = false}, 1);
    EXPECT_EQ(OSDriver::FindMemorySpace(&core64.debug(), "Guest"), core64.MemorySpaceId("Guest"));
    EXPECT_EQ(OSDriver::FindMemorySpace(&core32.debug(), "NS"), core32.MemorySpaceId("NS"));
    EXPECT_EQ(OSDriver::FindMemorySpace(&core32.debug(), "Guest"), kNotFound);
    EXPECT_EQ(OSDriver::FindMemorySpace(&core64.debug(), "guest"), kNotFound);
    EXPECT_EQ(OSDriver::FindMemorySpace(nullptr, "Guest"), kNotFound);
    core64.SetFailing(kvhost::DebugOperation::ListMemorySpaces, true);
    EXPECT_EQ(OSDriver::FindMemorySpace(&core64.debug(), "Guest"), kNotFound);
}

TEST(ReadRegister, LowBytesLittleEndianAndZeroOnFailure) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    core.SetRegister("X5", 0x1122334455667788u);
    const uint32_t x5 = core.RegisterNumber("X5");
    EXPECT_EQ(OSDriver::ReadRegister64(&core.debug(), x5), 0x1122334455667788u);
    EXPECT_EQ(OSDriver::ReadRegister32(&core.debug(), x5), 0x55667788u);
    EXPECT_EQ(OSDriver::ReadRegister64(&core.debug(), kNotFound), 0u);
    EXPECT_EQ(OSDriver::ReadRegister32(nullptr, x5), 0u);
    core.SetFailing(kvhost::DebugOperation::ReadRegisters, true);
    EXPECT_EQ(OSDriver::ReadRegister64(&core.debug(), x5), 0u);
}

TEST(ReadMemory, WordsOnlyWhenEveryUnitWasRead) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    core.SetPartialMemoryReads(true);  // the host then reports short reads as success
    const uint32_t guest = core.MemorySpaceId("Guest");
    core.Write64("Guest", 0x1000, 0x0102030405060708u);
    core.Write32("Guest", 0x2000, 0xA1B2C3D4u);  // four mapped bytes, then unmapped

    EXPECT_EQ(OSDriver::ReadMemory64(&core.debug(), guest, 0x1000), 0x0102030405060708u);
    EXPECT_EQ(OSDriver::ReadMemory32(&core.debug(), guest, 0x1000), 0x05060708u);
    EXPECT_EQ(OSDriver::ReadMemory32(&core.debug(), guest, 0x2000), 0xA1B2C3D4u);
    EXPECT_EQ(OSDriver::ReadMemory64(&core.debug(), guest, 0x2000), 0u);  // 4 of 8 units
    EXPECT_EQ(OSDriver::ReadMemory32(&core.debug(), guest, 0x2002), 0u);
    EXPECT_EQ(OSDriver::ReadMemory64(&core.debug(), OSDriver::kNotFound, 0x1000), 0u);
    EXPECT_EQ(OSDriver::ReadMemory32(nullptr, guest, 0x1000), 0u);
    core.SetFailing(kvhost::DebugOperation::ReadMemory, true);
    EXPECT_EQ(OSDriver::ReadMemory64(&core.debug(), guest, 0x1000), 0u);
}

// "abc" is followed by unmapped memory: the failed read ends the text.
TEST(ReadTargetString, StopsAtNulLengthOrFailedRead) {
    kvhost::Processor core("cpu", {.is64 = false}, 0);
    const uint32_t secure = core.MemorySpaceId("Secure");
    core.WriteText("Secure", 0x100, "init_task");
    const std::string unterminated = "abc";
    core.WriteMemory("Secure", 0x200,
                     {reinterpret_cast<const uint8_t*>(unterminated.data()), unterminated.size()});

    EXPECT_EQ(OSDriver::ReadTargetString(&core.debug(), secure, 0x100, 64), "init_task");
    EXPECT_EQ(OSDriver::ReadTargetString(&core.debug(), secure, 0x100, 4), "init");
    EXPECT_EQ(OSDriver::ReadTargetString(&core.debug(), secure, 0x100, 9), "init_task");
    EXPECT_EQ(OSDriver::ReadTargetString(&core.debug(), secure, 0x100, 0), "");
    EXPECT_EQ(OSDriver::ReadTargetString(&core.debug(), secure, 0x200, 64), "abc");
}

}  // namespace
}  // namespace vantric
