#include "os/target_access.h"

#include <gtest/gtest.h>

#include "kvhost.h"

namespace vantric {
namespace {

constexpr uint32_t kNotFound = 0xFFFFFFFFu;
constexpr uint32_t kAll = TargetAccess::kAllGroups;

// Register numbers differ from list positions in the host model, and the
// later names sit beyond the first (or second) batch of 16. Group 1 holds
// SP_EL1 but not X0. A null interface or a failing host finds nothing.
TEST(TargetAccess, FindsExactNamesInEveryBatch) {
    kvhost::Processor core("cpu0", {.is64 = true}, 0), core32("cpu1", {.is64 = false}, 1);
    const struct { kvhost::Processor* core; uint32_t group; const char* name; bool found; } cases[] = {{&core, kAll, "X0", true},  {&core, kAll, "X15", true},    {&core, kAll, "X16", true},
                 {&core, kAll, "X30", true}, {&core, kAll, "PC_MEMSPACE", true},
                 {&core, 1, "SP_EL1", true}, {&core, 1, "X0", false},       {&core32, kAll, "R7", true},
                 {&core32, kAll, "R13_svc", true}, {&core, kAll, "x0", false}, {&core, kAll, "X", false},
                 {&core, kAll, "X31", false}, {nullptr, kAll, "X0", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(TargetAccess::FindRegister(c.core ? &c.core->debug() : nullptr, c.group, c.name),
                  c.found ? c.core->RegisterNumber(c.name) : kNotFound) << c.name;
    }
    EXPECT_EQ(TargetAccess::FindMemorySpace(&core.debug(), "Guest"), core.MemorySpaceId("Guest"));
    EXPECT_EQ(TargetAccess::FindMemorySpace(&core32.debug(), "NS"), core32.MemorySpaceId("NS"));
    EXPECT_EQ(TargetAccess::FindMemorySpace(&core32.debug(), "Guest"), kNotFound);
    EXPECT_EQ(TargetAccess::FindMemorySpace(&core.debug(), "guest"), kNotFound);
    EXPECT_EQ(TargetAccess::FindMemorySpace(nullptr, "Guest"), kNotFound);
    core.SetFailing(kvhost::DebugOperation::ListRegisters, true);
    core.SetFailing(kvhost::DebugOperation::ListMemorySpaces, true);
    EXPECT_EQ(TargetAccess::FindRegister(&core.debug(), kAll, "X0"), kNotFound);
    EXPECT_EQ(TargetAccess::FindMemorySpace(&core.debug(), "Guest"), kNotFound);
}

// Words are little-endian and read only when every unit came (the host then
// reports short reads as success); text stops at the NUL, the length limit
// or a failed read.
TEST(TargetAccess, ReadsGiveZeroOrStopOnFailure) {
    kvhost::Processor core("cpu", {.is64 = true}, 0);
    core.SetPartialMemoryReads(true);
    const uint32_t guest = core.MemorySpaceId("Guest");
    core.SetRegister("X5", 0x1122334455667788u);
    const uint32_t x5 = core.RegisterNumber("X5");
    core.Write64("Guest", 0x1000, 0x0102030405060708u);
    core.Write32("Guest", 0x2000, 0xA1B2C3D4u);  // four mapped bytes, then unmapped
    core.WriteText("Guest", 0x3000, "init_task");
    EXPECT_EQ(TargetAccess::ReadRegister64(&core.debug(), x5), 0x1122334455667788u);
    EXPECT_EQ(TargetAccess::ReadRegister32(&core.debug(), x5), 0x55667788u);
    EXPECT_EQ(TargetAccess::ReadRegister64(&core.debug(), kNotFound), 0u);
    EXPECT_EQ(TargetAccess::ReadRegister32(nullptr, x5), 0u);
    EXPECT_EQ(TargetAccess::ReadMemory64(&core.debug(), guest, 0x1000), 0x0102030405060708u);
    EXPECT_EQ(TargetAccess::ReadMemory32(&core.debug(), guest, 0x1000), 0x05060708u);
    EXPECT_EQ(TargetAccess::ReadMemory32(&core.debug(), guest, 0x2000), 0xA1B2C3D4u);
    EXPECT_EQ(TargetAccess::ReadMemory64(&core.debug(), guest, 0x2000), 0u);  // 4 of 8 units
    EXPECT_EQ(TargetAccess::ReadMemory32(&core.debug(), guest, 0x2002), 0u);
    EXPECT_EQ(TargetAccess::ReadMemory64(&core.debug(), kNotFound, 0x1000), 0u);
    EXPECT_EQ(TargetAccess::ReadMemory32(nullptr, guest, 0x1000), 0u);
    const struct { plexa::SQOVI2* debug; uint64_t address; size_t maxLength; std::string text; } texts[] = {{&core.debug(), 0x3000, 64, "init_task"}, {&core.debug(), 0x3000, 4, "init"},
                 {&core.debug(), 0x3000, 9, "init_task"},  {&core.debug(), 0x3000, 0, ""},
                 {&core.debug(), 0x2000, 64, "\xD4\xC3\xB2\xA1"}, {nullptr, 0x3000, 64, ""}};
    for (const auto& t : texts) {
        char out[64];
        EXPECT_EQ(std::string(out, TargetAccess::ReadText(t.debug, guest, t.address, t.maxLength, out)),
                  t.text);
    }
    core.SetFailing(kvhost::DebugOperation::ReadRegisters, true);
    core.SetFailing(kvhost::DebugOperation::ReadMemory, true);
    EXPECT_EQ(TargetAccess::ReadRegister64(&core.debug(), x5), 0u);
    EXPECT_EQ(TargetAccess::ReadMemory64(&core.debug(), guest, 0x1000), 0u);
}

}  // namespace
}  // namespace vantric
