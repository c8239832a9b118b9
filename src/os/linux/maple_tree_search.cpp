#include "os/linux/maple_tree_search.h"

#include <array>
#include <cstring>

#include "os/target_access.h"

namespace vantric {
namespace {

// Node pointers carry their kind in bits 3-6; the node itself is 256-byte
// aligned. The root pointer is marked as the tree's own (low bits 10, above
// the first page); so is any other tree-internal value, which is never an
// area. Child pointers inside nodes carry no mark.
constexpr uint64_t kNodeMask = 0xFF;
enum NodeKind : uint64_t { kDense = 0, kLeaf = 1, kRange = 2, kAllocRange = 3 };

bool IsInternal(uint64_t entry) { return (entry & 3) == 2; }
bool IsNode(uint64_t entry) { return IsInternal(entry) && entry > 4096; }

uint64_t WordAt(const std::array<uint8_t, MapleTreeLayout::kNodeSize>& node, uint64_t offset) {
    uint64_t value = 0;
    std::memcpy(&value, node.data() + offset, sizeof value);  // little-endian target and host
    return value;
}

}  // namespace

uint64_t MapleTreeSearch::Find(plexa::SQOVI2* debug, uint32_t space, uint64_t mm,
                               uint64_t address, const MapleTreeLayout& layout) {
    uint64_t entry = TargetAccess::ReadMemory64(debug, space, mm + layout.mmTree + layout.treeRoot);
    // A root that is no node holds a single entry, for index 0.
    if (!IsNode(entry)) return address == 0 && !IsInternal(entry) ? entry : 0;

    std::array<uint8_t, MapleTreeLayout::kNodeSize> node;
    for (unsigned level = 0; level < kMaxHeight; ++level) {
        const uint64_t kind = (entry >> 3) & 0xF;
        if (kind != kLeaf && kind != kRange && kind != kAllocRange) return 0;
        if (!TargetAccess::ReadBytes(debug, space, entry & ~kNodeMask,
                                     static_cast<uint32_t>(node.size()), node.data())) {
            return 0;
        }
        const bool alloc = kind == kAllocRange;
        const uint64_t pivots = alloc ? layout.allocPivots : layout.rangePivots;
        const uint64_t slots = alloc ? layout.allocSlots : layout.rangeSlots;
        const unsigned pivotCount = (alloc ? MapleTreeLayout::kAllocSlots : MapleTreeLayout::kRangeSlots) - 1;

        // The last slot in use: the end marker, unless a range node's last
        // pivot is set (it is then full or one short of full, and the marker's
        // byte may belong to the last slot). Searching all pivots of a node one
        // short of full finds the same slot: its last pivot is the node's maximum.
        unsigned end = node[alloc ? layout.allocEnd : layout.rangeEnd];
        if (!alloc && WordAt(node, pivots + (pivotCount - 1) * 8) != 0) end = pivotCount;
        if (end > pivotCount) return 0;

        // Pivots are the inclusive upper bounds of the slots, ascending.
        unsigned low = 0;
        unsigned high = end;
        while (low < high) {
            const unsigned middle = (low + high) / 2;
            if (WordAt(node, pivots + middle * 8) >= address) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        entry = WordAt(node, slots + low * 8);
        if (kind == kLeaf) return IsInternal(entry) ? 0 : entry;
        if (entry == 0) return 0;  // an empty slot where a child belongs
    }
    return 0;
}

}  // namespace vantric
