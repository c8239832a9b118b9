// Hand-built translation tables in a fake physical memory; every index and
// expected address was worked out by hand from the virtual address bits
// (L0 = 47:39, L1 = 38:30, L2 = 29:21, L3 = 20:12).
#include "page_table_walker.h"

#include <gtest/gtest.h>

#include <map>

namespace qemuhost {
namespace {

constexpr uint64_t kTable = 3;  // valid table (or, at level 3, page) descriptor
constexpr uint64_t kBlock = 1;
// T0SZ = T1SZ = 16 (48-bit halves), TG0 = 4 KiB (0), TG1 = 4 KiB (2), TBI0:
// what Debian's arm64 kernel programs.
constexpr uint64_t kTcr = 16 | (16ull << 16) | (2ull << 30) | (1ull << 37);

struct Memory {
    std::map<uint64_t, uint64_t> words;
    void Set(uint64_t table, uint64_t index, uint64_t descriptor) { words[table + 8 * index] = descriptor; }
    PageTableWalker::DescriptorReader Reader() const {
        return [this](uint64_t physical, uint64_t& value) {
            const auto it = words.find(physical);
            if (it == words.end()) return physical < 0x100000;  // RAM reads as zeros below 1 MiB
            value = it->second;
            return true;
        };
    }
};

Memory Tables() {
    Memory m;
    // Kernel half: TTBR1 = 0x1000, L0[0x100] -> L1 at 0x2000.
    m.Set(0x1000, 0x100, 0x2000 | kTable);
    m.Set(0x2000, 0x0, 0x3000 | kTable);           // L1[0] -> L2 at 0x3000
    m.Set(0x2000, 0x1, 0xC0000000 | kBlock);       // L1[1]: 1 GiB block
    m.Set(0x3000, 0x45, 0x4000 | kTable);          // L2[0x45] -> L3 at 0x4000
    m.Set(0x3000, 0x2, 0x80000000 | kBlock);       // L2[2]: 2 MiB block
    m.Set(0x4000, 0x1b5, 0x45678000 | kTable | (1 << 10));  // page, access flag set
    m.Set(0x4000, 0x1b6, 0x45679000 | kBlock);     // reserved at level 3
    m.Set(0x1000, 0x101, 0x40000000 | kBlock);     // a block at level 0 is reserved
    // User half: TTBR0 = 0x10000 with ASID 5; L0[0x155] L1[0xaa] L2[0x1b4] L3[0x20].
    m.Set(0x10000, 0x155, 0x11000 | kTable);
    m.Set(0x11000, 0xaa, 0x12000 | kTable);
    m.Set(0x12000, 0x1b4, 0x13000 | kTable);
    m.Set(0x13000, 0x20, 0x9abcd000 | kTable);
    // A 39-bit user half (T0SZ 25) starts at level 1: TTBR0 = 0x20000.
    m.Set(0x20000, 0x1ff, 0x21000 | kTable);
    m.Set(0x21000, 0x1ff, 0x22000 | kTable);
    m.Set(0x22000, 0x1ff, 0x77777000 | kTable);
    // A table pointer into memory that cannot be read.
    m.Set(0x3000, 0x46, 0x7000000000ull | kTable);
    return m;
}

TEST(PageTableWalker, TranslatesOrFaults) {
    struct Case {
        const char* name;
        TranslationRegisters regs;
        uint64_t va;
        std::optional<uint64_t> pa;
        uint64_t size = 0;
    };
    const TranslationRegisters on{1, kTcr, 0x0005000000010000ull, 0x1000};
    TranslationRegisters noTbi = on;
    noTbi.tcr &= ~(1ull << 37);
    TranslationRegisters epd1 = on;
    epd1.tcr |= 1ull << 23;
    TranslationRegisters granule16k = on;
    granule16k.tcr = (granule16k.tcr & ~(3ull << 30)) | (1ull << 30);
    TranslationRegisters user39 = on;
    user39.tcr = (user39.tcr & ~0x3full) | 25;
    user39.ttbr0 = 0x20000;
    const Case cases[] = {
        {"kernel page", on, 0xffff800008bb50f0ull, 0x456780f0ull, 4096},
        {"2 MiB block", on, 0xffff800000412345ull, 0x80012345ull, 2u << 20},
        {"1 GiB block", on, 0xffff800040001234ull, 0xC0001234ull, 1u << 30},
        {"user page, ASID ignored", on, 0x0000aaaab6820010ull, 0x9abcd010ull, 4096},
        {"tagged user pointer", on, 0x5a00aaaab6820010ull, 0x9abcd010ull, 4096},
        {"tag without TBI0", noTbi, 0x5a00aaaab6820010ull, std::nullopt},
        {"39-bit user half", user39, 0x0000007ffffff123ull, 0x77777123ull, 4096},
        {"above 39 bits", user39, 0x0000008000000000ull, std::nullopt},
        {"unmapped L3 entry", on, 0xffff800008bb7000ull, std::nullopt},
        {"reserved L3 encoding", on, 0xffff800008bb6000ull, std::nullopt},
        {"block at level 0", on, 0xffff808000000000ull, std::nullopt},
        {"unmapped L0 entry", on, 0xffff000000000000ull, std::nullopt},
        {"not canonical", on, 0x0001000000000000ull, std::nullopt},
        {"kernel half disabled", epd1, 0xffff800008bb50f0ull, std::nullopt},
        {"16 KiB granule", granule16k, 0xffff800008bb50f0ull, std::nullopt},
        {"unreadable table", on, 0xffff800008c00000ull, std::nullopt},
        {"MMU off", {0, kTcr, 0, 0}, 0x40201234ull, 0x40201234ull, 4096},
    };
    const Memory memory = Tables();
    for (const Case& c : cases) {
        const auto found = PageTableWalker::Translate(c.regs, c.va, memory.Reader());
        ASSERT_EQ(found.has_value(), c.pa.has_value()) << c.name;
        if (!found) continue;
        EXPECT_EQ(found->physical, *c.pa) << c.name;
        EXPECT_EQ(found->mappingSize, c.size) << c.name;
    }
}

TEST(PageTableWalker, ReadsAtMostOneDescriptorPerLevel) {
    const Memory memory = Tables();
    int reads = 0;
    const auto counting = [&](uint64_t physical, uint64_t& value) {
        ++reads;
        return memory.Reader()(physical, value);
    };
    // A table that points at itself at every level still ends after four.
    Memory loop;
    loop.Set(0x1000, 0x100, 0x1000 | kTable);
    loop.Set(0x1000, 0x0, 0x1000 | kTable);
    loop.Set(0x1000, 0x45, 0x1000 | kTable);
    loop.Set(0x1000, 0x1b5, 0x1000 | kTable);
    const TranslationRegisters regs{1, kTcr, 0, 0x1000};
    EXPECT_TRUE(PageTableWalker::Translate(regs, 0xffff800008bb50f0ull, counting));
    EXPECT_EQ(reads, 4);
    EXPECT_EQ(PageTableWalker::Translate(regs, 0xffff800008bb50f0ull, loop.Reader())->physical, 0x10f0u);
}

}  // namespace
}  // namespace qemuhost
