// The event interface every OS driver implements, and the target set-up the
// drivers share: the data memory space, the register holding the PC's memory
// space and the argument registers of either core width.
//
// The trace core calls the event operations from the host's trace callbacks,
// one call at a time. None of them throws.
#pragma once

#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "boundary/host_abi.h"
#include "os/target_access.h"

namespace vantric {

class CaptureWriter;

class OSDriver {
public:
    static constexpr uint32_t kNotFound = TargetAccess::kNotFound;
    // Positions in regs32 / regs64.
    enum RegisterSlot : uint32_t {
        kArg0 = 0,  // R0 / X0 .. R5 / X5: system-call and function arguments
        kArg1,
        kArg2,
        kArg3,
        kArg4,
        kArg5,
        kSyscallNumber,  // R7 / X8
        kKernelStack,    // R13_svc / SP_EL1
        kRegisterSlots
    };
    using RegisterNumbers = std::array<uint32_t, kRegisterSlots>;

    OSDriver(CaptureWriter& capture);
    virtual ~OSDriver();
    OSDriver(const OSDriver&) = delete;
    OSDriver& operator=(const OSDriver&) = delete;

    // ---- event operations, in slot order ----

    // Once, when the subsystem starts, with its first core's debug interface.
    // Finds the data memory space, the PC memory-space register and the
    // argument registers; false when the target lacks "PC_MEMSPACE_REGNUM".
    virtual bool Init(plexa::SQOVI2* debug, uint32_t coreCount, bool is64);
    virtual void Finish(uint64_t time);
    virtual void OnBranch(plexa::SQOVI2* debug, uint32_t core, uint64_t pc, uint64_t targetPc,
                          bool is64, uint64_t time);
    virtual void OnSample(plexa::SQOVI2* debug, uint32_t core, uint64_t pc, uint64_t lr,
                          uint64_t fp, uint64_t sp, bool inUserMode, bool mmuEnabled, bool is64,
                          uint64_t time);
    virtual void OnSyscall(plexa::SQOVI2* debug, uint32_t core, bool is64, uint64_t time);
    virtual bool WantsBranchEvents() const;
    virtual bool WantsSyscallEvents() const;
    virtual void OnException();

    // Warnings collected while the driver was constructed (one per line).
    std::string Messages() const { return messages.str(); }

protected:
    RegisterNumbers regs32;
    RegisterNumbers regs64;
    uint32_t memorySpace = kNotFound;
    int32_t pcMemorySpaceRegister = -1;
    CaptureWriter& capture;
    std::ostringstream messages;
};

}  // namespace vantric
