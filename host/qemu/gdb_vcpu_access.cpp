#include "gdb_vcpu_access.h"

#include <algorithm>

namespace qemuhost {

GdbVcpuAccess::GdbVcpuAccess(GdbTarget& target, const TargetDescription& description,
                             const VcpuRegisters& registers, GuestClock& clock)
    : target_(target), registers_(registers), clock_(clock),
      memory_([&target](uint64_t physical, std::span<uint8_t> out) { return target.ReadMemory(physical, out); }) {
    // 'g' sends the registers in number order from 0; QEMU stops after the
    // core feature, so only a prefix is there (checked against its length).
    std::vector<RegisterDescription> sorted = description.registers();
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    size_t offset = 0;
    uint32_t expected = 0;
    for (const RegisterDescription& reg : sorted) {
        if (reg.number != expected || reg.bits % 8 != 0) break;
        coreLayout_[reg.number] = {offset, reg.bits / 8};
        offset += reg.bits / 8;
        ++expected;
    }
}

void GdbVcpuAccess::Invalidate() {
    core_.clear();
    single_.clear();
    translation_.clear();
    memory_.Invalidate();
}

bool GdbVcpuAccess::ReadRegister(uint32_t thread, uint32_t gdbNumber, std::array<uint8_t, 16>& value) {
    value.fill(0);
    const auto layout = coreLayout_.find(gdbNumber);
    if (layout != coreLayout_.end()) {
        auto block = core_.find(thread);
        if (block == core_.end()) {
            if (!target_.SelectThread(thread)) return false;
            std::optional<std::vector<uint8_t>> bytes = target_.ReadCoreRegisters();
            if (!bytes) return false;
            block = core_.emplace(thread, std::move(*bytes)).first;
        }
        const auto [offset, size] = layout->second;
        if (offset + size <= block->second.size()) {
            std::copy_n(block->second.begin() + static_cast<std::ptrdiff_t>(offset), std::min<size_t>(size, 16),
                        value.begin());
            return true;
        }
    }
    auto cached = single_.find({thread, gdbNumber});
    if (cached == single_.end()) {
        std::optional<std::vector<uint8_t>> bytes;
        if (target_.SelectThread(thread)) bytes = target_.ReadRegister(gdbNumber);
        cached = single_.emplace(std::make_pair(thread, gdbNumber), std::move(bytes)).first;
    }
    if (!cached->second) return false;
    std::copy_n(cached->second->begin(), std::min<size_t>(cached->second->size(), 16), value.begin());
    return true;
}

std::optional<uint64_t> GdbVcpuAccess::Register(uint32_t thread, const std::string& name) {
    const std::optional<uint32_t> number = registers_.Number(name);
    std::array<uint8_t, 16> bytes{};
    if (!number || !ReadRegister(thread, *number, bytes)) return std::nullopt;
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | bytes[static_cast<size_t>(i)];
    return value;
}

std::optional<TranslationRegisters> GdbVcpuAccess::Translation(uint32_t thread) {
    auto it = translation_.find(thread);
    if (it != translation_.end()) return it->second;
    std::optional<TranslationRegisters> regs;
    const auto sctlr = Register(thread, "SCTLR_EL1");
    const auto tcr = Register(thread, "TCR_EL1");
    const auto ttbr0 = Register(thread, "TTBR0_EL1");
    const auto ttbr1 = Register(thread, "TTBR1_EL1");
    if (sctlr && tcr && ttbr0 && ttbr1) regs = TranslationRegisters{*sctlr, *tcr, *ttbr0, *ttbr1};
    translation_.emplace(thread, regs);
    return regs;
}

size_t GdbVcpuAccess::ReadVirtual(uint32_t thread, uint64_t address, std::span<uint8_t> out) {
    const std::optional<TranslationRegisters> regs = Translation(thread);
    return regs ? memory_.ReadVirtual(*regs, address, out) : 0;
}

size_t GdbVcpuAccess::ReadPhysical(uint64_t address, std::span<uint8_t> out) {
    return memory_.ReadPhysical(address, out);
}

}  // namespace qemuhost
