#include "area_tree.h"

#include <stdexcept>
#include <string>

namespace kvhost {

int AreaTree::Insert(uint64_t start, uint64_t end, uint64_t area) {
    if (end <= start) throw std::invalid_argument("kvhost: empty memory area");
    int parent = kNone;
    bool goLeft = false;
    for (int n = root_; n != kNone;) {
        const Node& node = nodes_[n];
        if (end <= node.start) {
            goLeft = true;
        } else if (start >= node.end) {
            goLeft = false;
        } else {
            throw std::invalid_argument("kvhost: memory area overlaps an existing one");
        }
        parent = n;
        n = goLeft ? node.left : node.right;
    }
    const int z = static_cast<int>(nodes_.size());
    nodes_.push_back(Node{start, end, area, kNone, kNone, parent, true});
    if (parent == kNone) {
        root_ = z;
    } else if (goLeft) {
        nodes_[parent].left = z;
    } else {
        nodes_[parent].right = z;
    }
    FixAfterInsert(z);
    return z;
}

void AreaTree::RotateLeft(int x) {
    const int y = nodes_[x].right;
    nodes_[x].right = nodes_[y].left;
    if (nodes_[y].left != kNone) nodes_[nodes_[y].left].parent = x;
    nodes_[y].parent = nodes_[x].parent;
    const int p = nodes_[x].parent;
    if (p == kNone) {
        root_ = y;
    } else if (nodes_[p].left == x) {
        nodes_[p].left = y;
    } else {
        nodes_[p].right = y;
    }
    nodes_[y].left = x;
    nodes_[x].parent = y;
}

void AreaTree::RotateRight(int x) {
    const int y = nodes_[x].left;
    nodes_[x].left = nodes_[y].right;
    if (nodes_[y].right != kNone) nodes_[nodes_[y].right].parent = x;
    nodes_[y].parent = nodes_[x].parent;
    const int p = nodes_[x].parent;
    if (p == kNone) {
        root_ = y;
    } else if (nodes_[p].right == x) {
        nodes_[p].right = y;
    } else {
        nodes_[p].left = y;
    }
    nodes_[y].right = x;
    nodes_[x].parent = y;
}

void AreaTree::FixAfterInsert(int z) {
    while (IsRed(nodes_[z].parent)) {
        int p = nodes_[z].parent;
        const int g = nodes_[p].parent;  // exists: a red node is never the root
        if (p == nodes_[g].left) {
            const int uncle = nodes_[g].right;
            if (IsRed(uncle)) {
                nodes_[p].red = false;
                nodes_[uncle].red = false;
                nodes_[g].red = true;
                z = g;
                continue;
            }
            if (z == nodes_[p].right) {
                z = p;
                RotateLeft(z);
                p = nodes_[z].parent;
            }
            nodes_[p].red = false;
            nodes_[g].red = true;
            RotateRight(g);
        } else {
            const int uncle = nodes_[g].left;
            if (IsRed(uncle)) {
                nodes_[p].red = false;
                nodes_[uncle].red = false;
                nodes_[g].red = true;
                z = g;
                continue;
            }
            if (z == nodes_[p].left) {
                z = p;
                RotateRight(z);
                p = nodes_[z].parent;
            }
            nodes_[p].red = false;
            nodes_[g].red = true;
            RotateLeft(g);
        }
    }
    nodes_[root_].red = false;
}

std::vector<int> AreaTree::InOrder() const {
    std::vector<int> order;
    std::vector<int> pending;
    for (int n = root_; n != kNone || !pending.empty();) {
        while (n != kNone) {
            pending.push_back(n);
            n = nodes_[n].left;
        }
        n = pending.back();
        pending.pop_back();
        order.push_back(n);
        n = nodes_[n].right;
    }
    return order;
}

}  // namespace kvhost
