// The "plexa.SQOVI2" face of one QEMU vCPU: the plug-in's register, memory,
// feature and target queries answered from the stopped guest. Memory space
// "Guest" is the vCPU's virtual address space (its own stage-1
// translation), "Physical" the guest's physical addresses.
#pragma once

#include <cstdint>
#include <string>

#include "host_abi.h"
#include "vcpu_access.h"
#include "vcpu_registers.h"

namespace qemuhost {

class VcpuDebug final : public plexa::SQOVI2 {
public:
    static constexpr uint32_t kGuestSpace = 1;
    static constexpr uint32_t kPhysicalSpace = 2;

    VcpuDebug(VcpuAccess& access, const VcpuRegisters& registers, uint32_t thread, uint32_t index,
              std::string name);

    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    uint32_t GetTargetFeatures(plexa::SQOVITargetFeatures* features) override;
    uint32_t GetTargetInfo(plexa::SQOVITargetInfo* info) override;
    uint32_t CurrentTime(uint64_t* nanoseconds) override;
    uint32_t ListRegisters(uint32_t groupId, uint32_t startIndex, uint32_t desiredCount,
                           uint32_t* actualCount, plexa::SQOVIRegisterInfo* registers) override;
    uint32_t ReadRegisters(uint32_t count, plexa::SQOVIRegisterValue* registers,
                           uint32_t* actualCount, bool doSideEffects) override;
    uint32_t ListMemorySpaces(uint32_t startIndex, uint32_t desiredCount, uint32_t* actualCount,
                              plexa::SQOVIMemorySpaceInfo* spaces) override;
    uint32_t ReadMemory(plexa::SQOVIAddress start, uint32_t unitCount, uint32_t unitSizeInBytes,
                        uint8_t* data, uint32_t* actualUnitCount, bool doSideEffects) override;

    uint32_t thread() const { return thread_; }

private:
    VcpuAccess& access_;
    const VcpuRegisters& registers_;
    uint32_t thread_;
    uint32_t index_;
    std::string name_;
    std::string features_;
};

}  // namespace qemuhost
