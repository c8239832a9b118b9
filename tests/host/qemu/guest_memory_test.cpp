#include "guest_memory.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace qemuhost {
namespace {

constexpr uint64_t kTcr = 16 | (16ull << 16) | (2ull << 30);

// Physical memory of 1 MiB with one user mapping built in it: virtual pages
// 0x400000 and 0x401000 map to physical 0x5000 and 0x9000 (not adjacent);
// 0x402000 is unmapped. Each byte holds the low byte of its address + 1.
struct Physical {
    std::vector<uint8_t> ram = std::vector<uint8_t>(1 << 20);
    int reads = 0;
    Physical() {
        for (size_t i = 0; i < ram.size(); ++i) ram[i] = static_cast<uint8_t>(i + 1);
        Put(0x1000 + 8 * 0, 0x2000 | 3);          // L0[0]
        Put(0x2000 + 8 * 0, 0x3000 | 3);          // L1[0]
        Put(0x3000 + 8 * 2, 0x4000 | 3);          // L2[2]: 0x400000 >> 21 = 2
        Put(0x4000 + 8 * 0, 0x5000 | 3);          // L3[0]
        Put(0x4000 + 8 * 1, 0x9000 | 3);          // L3[1]
        Put(0x4000 + 8 * 2, 0);                   // L3[2]: unmapped
    }
    void Put(uint64_t at, uint64_t value) {
        for (int i = 0; i < 8; ++i) ram[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    GuestMemory::PhysicalRead Reader() {
        return [this](uint64_t address, std::span<uint8_t> out) {
            ++reads;
            if (address >= ram.size() || out.size() > ram.size() - address) return false;
            std::copy_n(ram.begin() + static_cast<std::ptrdiff_t>(address), out.size(), out.begin());
            return true;
        };
    }
};

TEST(GuestMemory, VirtualReadsSplitAtPagesAndStopAtAHole) {
    Physical physical;
    GuestMemory memory(physical.Reader());
    const TranslationRegisters regs{1, kTcr, 0x1000, 0};
    struct Case {
        uint64_t va;
        size_t length;
        size_t read;
        std::vector<uint8_t> expected;  // first bytes
    };
    const Case cases[] = {
        // 0x400ffc -> 0x5ffc..0x5fff, then 0x401000 -> 0x9000..
        {0x400ffc, 8, 8, {0xfd, 0xfe, 0xff, 0x00, 0x01, 0x02, 0x03, 0x04}},
        {0x401ffe, 4, 2, {0xff, 0x00}},
        {0x402000, 4, 0, {}},
        {0x400010, 3, 3, {0x11, 0x12, 0x13}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(c.length, 0xEE);
        ASSERT_EQ(memory.ReadVirtual(regs, c.va, out), c.read) << std::hex << c.va;
        for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(out[i], c.expected[i]) << std::hex << c.va << " " << i;
    }
}

TEST(GuestMemory, CachesUntilInvalidated) {
    Physical physical;
    GuestMemory memory(physical.Reader());
    const TranslationRegisters regs{1, kTcr, 0x1000, 0};
    uint8_t byte = 0;
    for (uint64_t i = 0; i < 200; ++i) ASSERT_EQ(memory.ReadVirtual(regs, 0x400100 + i, {&byte, 1}), 1u);
    const int first = physical.reads;
    EXPECT_LE(first, 5);  // four descriptor blocks and one data block
    physical.ram[0x5100] = 0x42;
    ASSERT_EQ(memory.ReadVirtual(regs, 0x400100, {&byte, 1}), 1u);
    EXPECT_EQ(byte, 0x01);  // the cached value while stopped
    memory.Invalidate();
    ASSERT_EQ(memory.ReadVirtual(regs, 0x400100, {&byte, 1}), 1u);
    EXPECT_EQ(byte, 0x42);
    EXPECT_GT(physical.reads, first);
}

TEST(GuestMemory, PhysicalReadsEndAtUnreadableMemory) {
    Physical physical;
    GuestMemory memory(physical.Reader());
    std::vector<uint8_t> out(2 * GuestMemory::kBlock);
    EXPECT_EQ(memory.ReadPhysical((1 << 20) - GuestMemory::kBlock, out), GuestMemory::kBlock);
    EXPECT_EQ(memory.ReadPhysical(~uint64_t{0} - 1, out), 0u);
}

}  // namespace
}  // namespace qemuhost
