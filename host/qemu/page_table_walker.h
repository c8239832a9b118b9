// Stage-1 address translation of an AArch64 EL1&0 regime, done by this
// host rather than by the gdbstub: QEMU translates 'm' addresses with the
// stopped vCPU's current exception level and permissions, so a vCPU stopped
// in user mode could not read the kernel structures the plug-in follows.
// Reading physical memory after our own walk works at every exception level.
//
// Supported: 4 KiB granule, any T0SZ/T1SZ from 16 to 39 (48- to 25-bit
// addresses), table, block (1 GiB, 2 MiB) and page descriptors, top-byte
// ignore, EPD0/EPD1. Anything else is a fault, and a fault fails the read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace qemuhost {

struct TranslationRegisters {
    uint64_t sctlr = 0;  // SCTLR_EL1: bit 0 turns the MMU on
    uint64_t tcr = 0;    // TCR_EL1
    uint64_t ttbr0 = 0;  // TTBR0_EL1: the lower (user) half
    uint64_t ttbr1 = 0;  // TTBR1_EL1: the upper (kernel) half
    bool operator<(const TranslationRegisters& o) const;
};

struct Translation {
    uint64_t physical = 0;
    uint64_t mappingSize = 0;  // bytes of the page or block that maps it
};

class PageTableWalker {
public:
    static constexpr uint64_t kGranule = 4096;
    static constexpr int kLevels = 4;
    // Reads one 8-byte descriptor at a physical address.
    using DescriptorReader = std::function<bool(uint64_t physical, uint64_t& descriptor)>;

    // nullopt for a translation fault or a regime this walk does not handle.
    static std::optional<Translation> Translate(const TranslationRegisters& regs, uint64_t virtualAddress,
                                                const DescriptorReader& read);
};

}  // namespace qemuhost
