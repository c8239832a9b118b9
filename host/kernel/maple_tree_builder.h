// Lays out the memory areas of one address space the way Linux 6.1 on keeps
// them: a maple tree whose leaves (leaf_64 nodes) store each area over its
// range [start, end - 1] and the gaps between them as empty slots, under
// allocation-range (arange_64) nodes, each 256 bytes and 256-byte aligned.
// Nodes are filled to a chosen number of slots, so tests meet full nodes
// (whose end is told by the last pivot) as well as partly filled ones (told
// by the end marker), and trees of one, two or more levels.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "kernel_layout.h"

namespace kvhost {

class MapleTreeBuilder {
public:
    struct Area {
        uint64_t start = 0;
        uint64_t end = 0;  // exclusive
        uint64_t address = 0;
    };
    // Gives a fresh zeroed 256-byte aligned node; writes one 8-byte word.
    using AllocateNode = std::function<uint64_t()>;
    using WriteWord = std::function<void(uint64_t address, uint64_t value)>;
    using WriteByte = std::function<void(uint64_t address, uint8_t value)>;

    // `leafSlots` (2 to 16) and `branchSlots` (2 to 10) bound how many
    // slots a node of each kind uses.
    MapleTreeBuilder(const KernelLayout::MapleTree& layout, unsigned leafSlots, unsigned branchSlots);

    // Writes the tree of `areas` (sorted, not overlapping) and returns the
    // value of maple_tree.ma_root: 0 for no areas, else the marked root node.
    uint64_t Build(const std::vector<Area>& areas, const AllocateNode& allocate,
                   const WriteWord& writeWord, const WriteByte& writeByte) const;

private:
    KernelLayout::MapleTree layout_;
    unsigned leafSlots_;
    unsigned branchSlots_;
};

}  // namespace kvhost
