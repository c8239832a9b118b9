// The registers a vCPU component lists to the plug-in, chosen from the
// target description by name: the core set (X0-X30, SP, PC, CPSR) and the
// system registers the plug-in or this host reads. Each keeps its gdb
// number as its own, so a read goes straight to 'p' or the 'g' block.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "target_description.h"

namespace qemuhost {

struct ExposedRegister {
    std::string name;  // as the plug-in asks for it
    uint32_t number = 0;
    uint32_t bits = 64;
    uint32_t group = 0;  // 0 core, 1 system
};

class VcpuRegisters {
public:
    // Numbers of the two registers this host makes up.
    static constexpr uint32_t kPcMemorySpace = 0x10000;
    static constexpr uint32_t kFeatures = 0x10001;

    // False with `missing` naming the first core register that is absent.
    bool Choose(const TargetDescription& description, std::string& missing);

    const std::vector<ExposedRegister>& registers() const { return registers_; }
    const ExposedRegister* Find(uint32_t number) const;
    // The gdb number of a register by the name used here ("PC", "TTBR0_EL1").
    std::optional<uint32_t> Number(const std::string& name) const;

private:
    std::vector<ExposedRegister> registers_;
};

}  // namespace qemuhost
