// Where a kernel that keeps memory areas in a maple tree (Linux 6.1 on) puts
// the tree's parts: the tree inside mm_struct, its root pointer, and the
// pivots, slots and end marker of the two node kinds an address space uses.
// Given as the settings text "maple-tree-offsets", eight numbers in this
// order, because nothing inside the target tells us.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantric {

struct MapleTreeLayout {
    uint64_t mmTree = 0;       // mm_struct.mm_mt
    uint64_t treeRoot = 0;     // maple_tree.ma_root
    uint64_t rangePivots = 0;  // maple_range_64.pivot (15 words; leaves too)
    uint64_t rangeSlots = 0;   // maple_range_64.slot (16 words)
    uint64_t rangeEnd = 0;     // maple_range_64.meta.end (one byte)
    uint64_t allocPivots = 0;  // maple_arange_64.pivot (9 words)
    uint64_t allocSlots = 0;   // maple_arange_64.slot (10 words)
    uint64_t allocEnd = 0;     // maple_arange_64.meta.end (one byte)

    static constexpr unsigned kValues = 8;
    static constexpr unsigned kRangeSlots = 16;
    static constexpr unsigned kAllocSlots = 10;
    // Nodes are 256 bytes and 256-byte aligned; every part lies inside one.
    static constexpr uint64_t kNodeSize = 256;

    // Reads eight comma-separated decimal numbers (blanks allowed around
    // them). On failure leaves `problem` saying what is wrong.
    static bool Parse(std::string_view text, MapleTreeLayout& layout, std::string& problem);
};

}  // namespace vantric
