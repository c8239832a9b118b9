#include "maple_tree_builder.h"

#include <stdexcept>

namespace kvhost {
namespace {

constexpr uint64_t kLeaf64 = 1;
constexpr uint64_t kAllocRange64 = 3;
constexpr unsigned kRangePivots = 15;
constexpr unsigned kAllocPivots = 9;

// A node pointer: the node, its kind in bits 3-6, and bit 2 (the kernel's
// "may hold empty slots" hint, set on every node it makes).
uint64_t NodePointer(uint64_t node, uint64_t kind) { return node | (kind << 3) | 4; }

struct Entry {
    uint64_t last = 0;   // inclusive upper bound of the entry's range
    uint64_t value = 0;  // an area, a child node pointer, or 0 for a gap
};

}  // namespace

MapleTreeBuilder::MapleTreeBuilder(const KernelLayout::MapleTree& layout, unsigned leafSlots,
                                   unsigned branchSlots)
    : layout_(layout), leafSlots_(leafSlots), branchSlots_(branchSlots) {
    if (leafSlots < 2 || leafSlots > kRangePivots + 1 || branchSlots < 2 || branchSlots > kAllocPivots + 1)
        throw std::invalid_argument("kvhost: maple node fill out of range");
}

uint64_t MapleTreeBuilder::Build(const std::vector<Area>& areas, const AllocateNode& allocate,
                                 const WriteWord& writeWord, const WriteByte& writeByte) const {
    if (areas.empty()) return 0;
    std::vector<Entry> level;
    uint64_t next = 0;  // first index not yet covered
    for (const Area& a : areas) {
        if (a.start < next || a.end <= a.start) throw std::invalid_argument("kvhost: areas overlap");
        if (a.start > next) level.push_back({a.start - 1, 0});
        level.push_back({a.end - 1, a.address});
        next = a.end;
    }
    if (next != 0) level.push_back({UINT64_MAX, 0});  // an area ending at the top covers all

    bool leaves = true;
    for (;;) {
        const unsigned fill = leaves ? leafSlots_ : branchSlots_;
        const unsigned pivotCount = leaves ? kRangePivots : kAllocPivots;
        const uint64_t pivots = leaves ? layout_.rangePivots : layout_.allocPivots;
        const uint64_t slots = leaves ? layout_.rangeSlots : layout_.allocSlots;
        const uint64_t endMarker = leaves ? layout_.rangeEnd : layout_.allocEnd;
        const uint64_t kind = leaves ? kLeaf64 : kAllocRange64;
        std::vector<Entry> parents;
        for (size_t first = 0; first < level.size(); first += fill) {
            const size_t count = std::min<size_t>(fill, level.size() - first);
            const uint64_t node = allocate();
            const uint64_t max = level[first + count - 1].last;
            for (size_t i = 0; i < count; ++i) {
                // Every slot but the last has its pivot; the last one's pivot
                // is the node's maximum where there is room for it.
                if (i < pivotCount) writeWord(node + pivots + 8 * i, level[first + i].last);
            }
            // A full range node has no end marker: its bytes are the last slot's.
            if (!leaves || count <= kRangePivots) writeByte(node + endMarker, static_cast<uint8_t>(count - 1));
            for (size_t i = 0; i < count; ++i) writeWord(node + slots + 8 * i, level[first + i].value);
            parents.push_back({max, NodePointer(node, kind)});
        }
        if (parents.size() == 1) return parents[0].value | 2;  // marked as the root
        level = std::move(parents);
        leaves = false;
    }
}

}  // namespace kvhost
