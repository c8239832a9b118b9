// Finds the memory area that holds an address in a kernel that keeps an
// address space's areas in a maple tree. Each level costs one read of a
// whole 256-byte node. The walk trusts nothing it reads: an unknown node
// kind, an end marker out of range, a failed read or a tree deeper than any
// maple tree can be all end it with "not found".
#pragma once

#include <cstdint>

#include "boundary/host_abi.h"
#include "os/linux/maple_tree_layout.h"

namespace vantric {

class MapleTreeSearch {
public:
    // Deeper than the kernel's own maximum height (31).
    static constexpr unsigned kMaxHeight = 32;

    // The entry (a vm_area_struct address) stored for `address` in the tree
    // of the mm_struct at `mm`, or 0.
    static uint64_t Find(plexa::SQOVI2* debug, uint32_t space, uint64_t mm, uint64_t address,
                         const MapleTreeLayout& layout);
};

}  // namespace vantric
