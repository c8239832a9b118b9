// The event interface every OS driver implements, and the target access that
// all drivers share: registers and memory spaces found by name through a
// core's debug interface, register and memory reads, the target's
// extended-feature text, and the frame-record walk of a sampled call stack.
//
// The trace core calls the event operations from the host's trace callbacks,
// one call at a time. None of them throws; a failed host call gives the
// "not found" or zero results documented per helper.
#pragma once

#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "boundary/host_abi.h"

namespace vantric {

class CaptureWriter;

class OSDriver {
public:
    static constexpr uint32_t kNotFound = 0xFFFFFFFFu;
    // Every caller lists the registers of all groups.
    static constexpr uint32_t kAllGroups = 0xFFFFFFFFu;
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
    virtual void OnTlbFill(plexa::SQOVI2* debug, uint32_t core, bool is64, uint64_t time);
    virtual bool WantsBranchEvents() const;
    virtual bool WantsSyscallEvents() const;
    virtual void OnException();

    // Warnings collected while the driver was constructed (one per line).
    std::string Messages() const { return messages.str(); }

    // ---- target access (a null `debug` behaves as a failing host) ----

    // Id of the memory space named exactly `name`, else kNotFound.
    static uint32_t FindMemorySpace(plexa::SQOVI2* debug, std::string_view name);
    // Number of the register named exactly `name` in `group`, else kNotFound.
    static uint32_t FindRegister(plexa::SQOVI2* debug, uint32_t group, std::string_view name);
    // Low 4 / 8 bytes of the register's value; 0 when the read fails.
    static uint32_t ReadRegister32(plexa::SQOVI2* debug, uint32_t reg);
    static uint64_t ReadRegister64(plexa::SQOVI2* debug, uint32_t reg);
    // Little-endian word at `address`; 0 when the read fails.
    static uint32_t ReadMemory32(plexa::SQOVI2* debug, uint32_t space, uint64_t address);
    static uint64_t ReadMemory64(plexa::SQOVI2* debug, uint32_t space, uint64_t address);
    // Bytes up to the first NUL, at most `maxLength`, ending early at a failed read.
    static std::string ReadTargetString(plexa::SQOVI2* debug, uint32_t space, uint64_t address,
                                        uint64_t maxLength);
    // The target's extended-feature text ("NAME=value:NAME=value...").
    static std::string ReadExtendedFeatures(plexa::SQOVI2* debug);
    // Value of one extended feature: -2 when the name is absent (reported when
    // `verbose`), -1 when it is not followed by "=", 0 when the value does not parse.
    static int32_t GetExtendedFeature(plexa::SQOVI2* debug, std::string_view name, bool verbose);
    // Return addresses of the current call stack, innermost first, at most
    // `depth` of them, replacing the contents of `addresses` (whose capacity
    // is reused, so a warmed-up caller allocates nothing).
    static void UnwindFramePointers(uint32_t depth, plexa::SQOVI2* debug, uint32_t space,
                                    uint64_t pc, uint64_t lr, uint64_t fp, uint64_t sp, bool is64,
                                    std::vector<uint64_t>& addresses);

protected:
    RegisterNumbers regs32;
    RegisterNumbers regs64;
    uint32_t memorySpace = kNotFound;
    int32_t pcMemorySpaceRegister = -1;
    CaptureWriter& capture;
    std::ostringstream messages;
};

}  // namespace vantric
