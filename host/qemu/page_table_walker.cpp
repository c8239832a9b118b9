#include "page_table_walker.h"

#include <tuple>

namespace qemuhost {
namespace {

constexpr uint64_t kOutputAddressMask = 0x0000FFFFFFFFF000ull;  // bits 47:12
constexpr uint64_t kDescriptorValid = 1;
constexpr uint64_t kDescriptorTableOrPage = 2;
constexpr int kTableBits = 9;  // 512 descriptors a table with 4 KiB pages

uint64_t Bits(uint64_t value, int high, int low) {
    return (value >> low) & ((uint64_t{1} << (high - low + 1)) - 1);
}

}  // namespace

bool TranslationRegisters::operator<(const TranslationRegisters& o) const {
    return std::tie(sctlr, tcr, ttbr0, ttbr1) < std::tie(o.sctlr, o.tcr, o.ttbr0, o.ttbr1);
}

std::optional<Translation> PageTableWalker::Translate(const TranslationRegisters& regs,
                                                      uint64_t va, const DescriptorReader& read) {
    if ((regs.sctlr & 1) == 0) return Translation{va, kGranule};  // MMU off: flat

    // Bit 55 picks the half even when the top byte is ignored.
    const bool upper = Bits(va, 55, 55) != 0;
    const int size = static_cast<int>(Bits(regs.tcr, upper ? 21 : 5, upper ? 16 : 0));
    const uint64_t granule = Bits(regs.tcr, upper ? 31 : 15, upper ? 30 : 14);
    const bool disabled = Bits(regs.tcr, upper ? 23 : 7, upper ? 23 : 7) != 0;
    const bool topByteIgnored = Bits(regs.tcr, upper ? 38 : 37, upper ? 38 : 37) != 0;
    const bool fourKiB = upper ? granule == 2 : granule == 0;
    if (disabled || !fourKiB || size < 16 || size > 39) return std::nullopt;

    // Every bit above the address size must repeat bit 55 (up to bit 55
    // only when the top byte is a tag).
    const int addressBits = 64 - size;
    const int checkedTop = topByteIgnored ? 55 : 63;
    const uint64_t above = Bits(va, checkedTop, addressBits);
    const uint64_t all = (uint64_t{1} << (checkedTop - addressBits + 1)) - 1;
    if (above != (upper ? all : 0)) return std::nullopt;

    const int levels = (addressBits - 12 + kTableBits - 1) / kTableBits;
    const int startLevel = kLevels - levels;
    const int startBits = addressBits - 12 - kTableBits * (levels - 1);
    uint64_t table = (upper ? regs.ttbr1 : regs.ttbr0) & 0x0000FFFFFFFFFFFEull;
    table &= ~((uint64_t{8} << startBits) - 1);

    for (int level = startLevel; level < kLevels; ++level) {
        const int shift = 12 + kTableBits * (kLevels - 1 - level);
        const int indexBits = level == startLevel ? startBits : kTableBits;
        const uint64_t index = Bits(va, shift + indexBits - 1, shift);
        uint64_t descriptor = 0;
        if (!read(table + index * 8, descriptor)) return std::nullopt;
        if ((descriptor & kDescriptorValid) == 0) return std::nullopt;
        const bool tableOrPage = (descriptor & kDescriptorTableOrPage) != 0;
        if (level == kLevels - 1) {
            if (!tableOrPage) return std::nullopt;  // reserved encoding at the last level
            return Translation{(descriptor & kOutputAddressMask) | Bits(va, 11, 0), kGranule};
        }
        if (!tableOrPage) {
            // A block: 1 GiB at level 1, 2 MiB at level 2, none at level 0.
            if (level == 0) return std::nullopt;
            const uint64_t blockSize = uint64_t{1} << shift;
            const uint64_t base = descriptor & kOutputAddressMask & ~(blockSize - 1);
            return Translation{base | (va & (blockSize - 1)), blockSize};
        }
        table = descriptor & kOutputAddressMask;
    }
    return std::nullopt;  // not reached: the last level returns
}

}  // namespace qemuhost
