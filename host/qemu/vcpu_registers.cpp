#include "vcpu_registers.h"

namespace qemuhost {
namespace {

// Names as exposed, then the names QEMU versions give them.
struct SystemRegister {
    const char* name;
    std::initializer_list<std::string_view> aliases;
};
const SystemRegister kSystem[] = {
    {"SP_EL1", {"SP_EL1"}},
    {"MIDR_EL1", {"MIDR_EL1", "MIDR"}},
    {"SCTLR_EL1", {"SCTLR_EL1", "SCTLR"}},
    {"TCR_EL1", {"TCR_EL1"}},
    {"TTBR0_EL1", {"TTBR0_EL1"}},
    {"TTBR1_EL1", {"TTBR1_EL1"}},
    {"VBAR_EL1", {"VBAR_EL1", "VBAR"}},
    {"ESR_EL1", {"ESR_EL1"}},
    {"ELR_EL1", {"ELR_EL1"}},
    {"ID_AA64ISAR1_EL1", {"ID_AA64ISAR1_EL1"}},
    {"ID_AA64ISAR2_EL1", {"ID_AA64ISAR2_EL1", "ID_AA64ISAR2_EL1_RESERVED"}},
};

}  // namespace

bool VcpuRegisters::Choose(const TargetDescription& description, std::string& missing) {
    registers_.clear();
    std::vector<std::string> core;
    for (int i = 0; i <= 30; ++i) core.push_back("X" + std::to_string(i));
    core.insert(core.end(), {"SP", "PC", "CPSR"});
    for (const std::string& name : core) {
        const RegisterDescription* reg = description.Find(name);
        if (reg == nullptr) {
            missing = name;
            return false;
        }
        registers_.push_back({name, reg->number, reg->bits, 0});
    }
    for (const SystemRegister& system : kSystem) {
        if (const RegisterDescription* reg = description.FindAny(system.aliases)) {
            registers_.push_back({system.name, reg->number, reg->bits, 1});
        }
    }
    registers_.push_back({"PC_MEMSPACE", kPcMemorySpace, 32, 1});
    return true;
}

const ExposedRegister* VcpuRegisters::Find(uint32_t number) const {
    for (const ExposedRegister& reg : registers_) {
        if (reg.number == number) return &reg;
    }
    return nullptr;
}

std::optional<uint32_t> VcpuRegisters::Number(const std::string& name) const {
    for (const ExposedRegister& reg : registers_) {
        if (reg.name == name) return reg.number;
    }
    return std::nullopt;
}

}  // namespace qemuhost
