// VcpuAccess over a gdb connection to a stopped guest. Registers come from
// one 'g' per vCPU (the core block) or from 'p', memory from physical reads
// after this host's own page-table walk; all of it is cached until the
// guest runs again (Invalidate), since nothing changes while it is stopped.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "gdb_target.h"
#include "guest_clock.h"
#include "guest_memory.h"
#include "target_description.h"
#include "vcpu_access.h"
#include "vcpu_registers.h"

namespace qemuhost {

class GdbVcpuAccess final : public VcpuAccess {
public:
    GdbVcpuAccess(GdbTarget& target, const TargetDescription& description, const VcpuRegisters& registers,
                  GuestClock& clock);

    bool ReadRegister(uint32_t thread, uint32_t gdbNumber, std::array<uint8_t, 16>& value) override;
    size_t ReadVirtual(uint32_t thread, uint64_t address, std::span<uint8_t> out) override;
    size_t ReadPhysical(uint64_t address, std::span<uint8_t> out) override;
    uint64_t NowNanoseconds() override { return clock_.Now(); }

    // A register by its exposed name ("PC", "ESR_EL1"); nullopt when unreadable.
    std::optional<uint64_t> Register(uint32_t thread, const std::string& name);
    std::optional<TranslationRegisters> Translation(uint32_t thread);
    std::optional<uint32_t> RegisterNumber(const std::string& name) const { return registers_.Number(name); }
    void Invalidate();
    uint64_t physicalBlocksRead() const { return memory_.physicalReads(); }

private:
    GdbTarget& target_;
    const VcpuRegisters& registers_;
    GuestClock& clock_;
    GuestMemory memory_;
    // Byte offset and size of each register in the 'g' block, by gdb number.
    std::map<uint32_t, std::pair<size_t, size_t>> coreLayout_;
    std::map<uint32_t, std::vector<uint8_t>> core_;  // by thread
    std::map<std::pair<uint32_t, uint32_t>, std::optional<std::vector<uint8_t>>> single_;
    std::map<uint32_t, std::optional<TranslationRegisters>> translation_;
};

}  // namespace qemuhost
