#include "os/os_driver.h"

#include "os/extended_features.h"

namespace vantric {

OSDriver::OSDriver(CaptureWriter& capture)
    : capture(capture) {
    regs32.fill(kNotFound);
    regs64.fill(kNotFound);
}

OSDriver::~OSDriver() = default;

bool OSDriver::Init(plexa::SQOVI2* debug, uint32_t /*coreCount*/, bool is64) {
    memorySpace = TargetAccess::FindMemorySpace(debug, is64 ? "Guest" : "Secure");
    pcMemorySpaceRegister = ExtendedFeatures::Value(debug, "PC_MEMSPACE_REGNUM", true);
    if (pcMemorySpaceRegister < 0) return false;

    static constexpr std::array<const char*, kRegisterSlots> kNames32 = {
        "R0", "R1", "R2", "R3", "R4", "R5", "R7", "R13_svc"};
    static constexpr std::array<const char*, kRegisterSlots> kNames64 = {
        "X0", "X1", "X2", "X3", "X4", "X5", "X8", "SP_EL1"};
    // A register the core lacks stays kNotFound; reads through it give 0.
    RegisterNumbers& numbers = is64 ? regs64 : regs32;
    const auto& names = is64 ? kNames64 : kNames32;
    for (uint32_t slot = 0; slot < kRegisterSlots; ++slot) {
        numbers[slot] = TargetAccess::FindRegister(debug, TargetAccess::kAllGroups, names[slot]);
    }
    return true;
}

void OSDriver::Finish(uint64_t) {}

void OSDriver::OnBranch(plexa::SQOVI2*, uint32_t, uint64_t, uint64_t, bool, uint64_t) {}

void OSDriver::OnSample(plexa::SQOVI2*, uint32_t, uint64_t, uint64_t, uint64_t, uint64_t, bool,
                        bool, bool, uint64_t) {}

void OSDriver::OnSyscall(plexa::SQOVI2*, uint32_t, bool, uint64_t) {}

bool OSDriver::WantsBranchEvents() const { return false; }

bool OSDriver::WantsSyscallEvents() const { return false; }

void OSDriver::OnException() {}

}  // namespace vantric
