#include "step_emulator.h"

#include <gtest/gtest.h>

namespace qemuhost {
namespace {

TEST(StepEmulator, NextPcOfTheInstructionsAtWatchedAddresses) {
    struct Case {
        const char* name;
        uint32_t instruction;
        bool pointerAuthentication;
        std::optional<uint64_t> next;  // for pc 0xffff800008bb50f0
    };
    const uint64_t pc = 0xffff800008bb50f0ull;
    const Case cases[] = {
        {"nop (ftrace padding of release_task)", 0xd503201f, false, pc + 4},
        {"bti c", 0xd503245f, false, pc + 4},
        {"paciasp without authentication", 0xd503233f, false, pc + 4},
        {"paciasp with authentication", 0xd503233f, true, std::nullopt},
        {"autiasp with authentication", 0xd50323bf, true, std::nullopt},
        {"wfi", 0xd503207f, false, std::nullopt},
        {"yield", 0xd503203f, false, std::nullopt},
        // b +0x20 (imm26 = 8) and b -4 (imm26 all ones), as the EL0 vector entry branches.
        {"b forward", 0x14000008, false, pc + 0x20},
        {"b backward", 0x17ffffff, false, pc - 4},
        {"bl is not emulated", 0x94000008, false, std::nullopt},
        {"stp x29, x30", 0xa9be7bfd, false, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StepEmulator::NextPc(c.instruction, pc, c.pointerAuthentication), c.next) << c.name;
    }
}

TEST(StepEmulator, PointerAuthenticationFromTheIdRegisters) {
    // QEMU 7.2's cortex-a57: ID_AA64ISAR1_EL1 = 0, ID_AA64ISAR2_EL1 reads 0.
    EXPECT_FALSE(StepEmulator::HasPointerAuthentication(0, 0));
    EXPECT_TRUE(StepEmulator::HasPointerAuthentication(0x10, 0));    // APA
    EXPECT_TRUE(StepEmulator::HasPointerAuthentication(0x100, 0));   // API
    EXPECT_TRUE(StepEmulator::HasPointerAuthentication(0, 0x1000));  // APA3
    EXPECT_FALSE(StepEmulator::HasPointerAuthentication(0x1000001, 0));  // DPB, JSCVT: other fields
}

}  // namespace
}  // namespace qemuhost
