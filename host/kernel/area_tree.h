// The memory areas of one synthetic address space kept the way the kernel
// keeps them: a red-black tree ordered by address (insertion with recolouring
// and rotations), so the plug-in's tree search meets real tree shapes rather
// than a list in disguise.
#pragma once

#include <cstdint>
#include <vector>

namespace kvhost {

class AreaTree {
public:
    static constexpr int kNone = -1;

    struct Node {
        uint64_t start = 0;
        uint64_t end = 0;    // exclusive
        uint64_t area = 0;   // target address of the area structure
        int left = kNone;
        int right = kNone;
        int parent = kNone;
        bool red = true;
    };

    // Inserts [start, end); throws std::invalid_argument when it is empty or
    // overlaps an area already in the tree. Returns the node's index.
    int Insert(uint64_t start, uint64_t end, uint64_t area);

    int root() const { return root_; }
    const std::vector<Node>& nodes() const { return nodes_; }
    // Node indexes by ascending start address.
    std::vector<int> InOrder() const;

private:
    void RotateLeft(int x);
    void RotateRight(int x);
    void FixAfterInsert(int z);
    bool IsRed(int n) const { return n != kNone && nodes_[n].red; }

    std::vector<Node> nodes_;
    int root_ = kNone;
};

}  // namespace kvhost
