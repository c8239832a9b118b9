// Moves a vCPU past the instruction at a breakpoint by writing its pc,
// for the few instructions whose only effect is the pc: QEMU 7 discards all
// translated code whenever single-stepping is switched on or a breakpoint
// is set or lifted, so a real step per breakpoint hit slows the guest
// several times over. The watched addresses start with such instructions:
// function entries with NOP padding or a pointer-authentication hint, the
// EL0 vector entry with an unconditional branch.
#pragma once

#include <cstdint>
#include <optional>

namespace qemuhost {

class StepEmulator {
public:
    // The pc after `instruction` at `pc`, or nullopt when it has to be
    // executed: a hint that acts on this CPU (WFI, or a pointer
    // authentication hint where the CPU authenticates), or anything else.
    static std::optional<uint64_t> NextPc(uint32_t instruction, uint64_t pc, bool pointerAuthentication);
    // Whether ID_AA64ISAR1_EL1 and ID_AA64ISAR2_EL1 announce address authentication.
    static bool HasPointerAuthentication(uint64_t isar1, uint64_t isar2);
};

}  // namespace qemuhost
