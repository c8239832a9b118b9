// Mapped and unmapped bytes of the sparse target memory, across page edges.
#include "kv_sparse_memory.h"

#include <gtest/gtest.h>

#include <vector>

namespace kvhost {
namespace {

TEST(SparseMemoryTest, ReadsStopAtTheFirstUnmappedByteAcrossPages) {
    SparseMemory memory;
    const uint64_t edge = SparseMemory::kPageSize * 3;
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6};
    memory.Write(edge - 3, bytes);  // three bytes on each side of a page edge
    std::vector<uint8_t> out(8, 0xEE);
    EXPECT_EQ(memory.Read(edge - 3, out), 6u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 6), bytes);
    EXPECT_EQ(memory.Read(edge - 4, out), 0u);

    memory.Unmap(edge, 1);
    EXPECT_EQ(memory.Read(edge - 3, out), 3u);
    EXPECT_FALSE(memory.IsMapped(edge));
    memory.Map(edge, 1);  // mapped again, but its old value is gone
    EXPECT_EQ(memory.Read(edge, out), 3u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 5);
}

TEST(SparseMemoryTest, ReadNeverWrapsPastTheTopOfTheAddressSpace) {
    SparseMemory memory;
    memory.Map(~uint64_t{0} - 1, 2);
    memory.Map(0, 4);
    std::vector<uint8_t> out(4);
    EXPECT_EQ(memory.Read(~uint64_t{0} - 1, out), 2u);
}

}  // namespace
}  // namespace kvhost
