// Memory areas found in a maple tree as Linux 6.1 lays it out: full and
// partly filled leaf and branch nodes, one to many levels, a lookup at every
// boundary of every area; and trees a wrong offset or a torn read would
// give (a node that is its own child, an end marker out of range, a node
// kind that address spaces never use, a node that cannot be read), which
// end the walk with nothing found.
#include "os/linux/maple_tree_search.h"

#include <gtest/gtest.h>

#include <cstring>

#include "linux_rig.h"

namespace vantric {
namespace {

using testing::LinuxRig;

struct Area {
    uint64_t start, end, address;
};

// Areas with gaps between most of them, every third one adjacent to the last.
std::vector<Area> MapAreas(kvhost::KernelImage& image, uint64_t task, size_t count) {
    std::vector<Area> areas;
    uint64_t next = 0x10000;
    for (size_t i = 0; i < count; ++i) {
        const uint64_t start = i % 3 == 2 ? next : next + 0x3000;
        const uint64_t end = start + 0x1000 * (1 + i % 4);
        areas.push_back({start, end, image.MapAnonymous(task, start, end)});
        next = end;
    }
    return areas;
}

uint64_t Expected(const std::vector<Area>& areas, uint64_t address) {
    for (const Area& a : areas) {
        if (a.start <= address && address < a.end) return a.address;
    }
    return 0;
}

TEST(MapleTreeSearchTest, EveryBoundaryOfEveryAreaAtEveryFill) {
    // Leaf and branch slots used per node: full nodes (16 and 10), a leaf
    // one short of full (its end told by a pivot equal to its maximum),
    // the smallest nodes (deep trees), and partly filled ones.
    const std::pair<unsigned, unsigned> fills[] = {{16, 10}, {15, 9}, {2, 2}, {10, 6}, {3, 4}};
    for (const auto& [leaf, branch] : fills) {
        for (size_t count : {1u, 7u, 40u, 130u}) {
            SCOPED_TRACE(::testing::Message() << leaf << "/" << branch << " slots, " << count << " areas");
            LinuxRig rig(true, kvhost::KernelLayout::Synthetic64Maple());
            rig.image().SetMapleFill(leaf, branch);
            const uint64_t app = rig.image().AddProcess(7, "app", "/bin/app");
            const std::vector<Area> areas = MapAreas(rig.image(), app, count);
            rig.Start();
            const uint64_t mm = rig.image().MmOf(app);
            std::vector<uint64_t> probes = {0, UINT64_MAX};
            for (const Area& a : areas) probes.insert(probes.end(), {a.start - 1, a.start, a.end - 1, a.end});
            for (uint64_t address : probes) {
                ASSERT_EQ(rig.driver().FindMemoryArea(rig.debug(), mm, address, true), Expected(areas, address))
                    << std::hex << address;
            }
        }
    }
    // A root that is no node holds one entry, for index 0; a tree-internal
    // value there is no area.
    LinuxRig rig(true, kvhost::KernelLayout::Synthetic64Maple());
    const uint64_t mm = rig.image().MmOf(rig.image().AddProcess(7, "app", "/bin/app"));
    rig.Start();
    const uint64_t root = mm + rig.image().layout().maple.mmTree + rig.image().layout().maple.treeRoot;
    const std::tuple<uint64_t, uint64_t, uint64_t> cases[] = {{0x5000, 0, 0x5000}, {0x5000, 1, 0}, {0x402, 0, 0}};
    for (const auto& [value, address, found] : cases) {
        uint8_t bytes[8];
        std::memcpy(bytes, &value, 8);
        rig.cpu().WriteMemory(rig.image().space(), root, bytes);
        EXPECT_EQ(rig.driver().FindMemoryArea(rig.debug(), mm, address, true), found) << value << " " << address;
    }
}

TEST(MapleTreeSearchTest, BrokenTreesEndTheWalkWithNothingFound) {
    const kvhost::KernelLayout layout = kvhost::KernelLayout::Synthetic64Maple();
    const auto& maple = layout.maple;
    // The root's node, the memory to change (relative to it, or to its
    // first child's node), and the bytes to put there.
    struct Fault {
        const char* what;
        bool inChild;
        uint64_t offset;
        uint64_t value;
        unsigned size;
    };
    const Fault faults[] = {
        {"a node is its own first child", false, maple.allocSlots, 0, 8},  // value: the root itself
        {"end marker one past the last slot", true, maple.rangeEnd, 16, 1},
        {"a dense node", false, maple.allocSlots, 0x10000000ull | (0 << 3), 8},
        {"a node that cannot be read", false, maple.allocSlots, 0xDEAD0000ull | (1 << 3) | 4, 8},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        LinuxRig rig(true, layout);
        rig.image().SetMapleFill(4, 3);
        const uint64_t app = rig.image().AddProcess(7, "app", "/bin/app");
        const std::vector<Area> areas = MapAreas(rig.image(), app, 6);  // 11 entries: 3 leaves, one branch
        const uint64_t mm = rig.image().MmOf(app);
        auto read = [&](uint64_t address) {
            uint64_t value = 0;
            std::vector<uint8_t> bytes(8);
            rig.cpu().Memory(rig.image().space()).Read(address, bytes);
            std::memcpy(&value, bytes.data(), 8);
            return value;
        };
        const uint64_t root = read(mm + maple.mmTree + maple.treeRoot);
        ASSERT_EQ(root & 0x7A, (3u << 3) | 2);  // a marked branch at the root
        const uint64_t rootNode = root & ~uint64_t{0xFF};
        const uint64_t child = read(rootNode + maple.allocSlots) & ~uint64_t{0xFF};
        const uint64_t value = fault.value == 0 ? root & ~uint64_t{2} : fault.value;
        std::vector<uint8_t> bytes(fault.size);
        std::memcpy(bytes.data(), &value, fault.size);
        rig.cpu().WriteMemory(rig.image().space(), (fault.inChild ? child : rootNode) + fault.offset, bytes);
        rig.Start();
        // Every address the first leaf holds now leads nowhere, after at most
        // one read per level of the deepest tree; the others still resolve.
        const uint64_t reads = rig.cpu().calls(kvhost::DebugOperation::ReadMemory);
        EXPECT_EQ(rig.driver().FindMemoryArea(rig.debug(), mm, areas[0].start, true), 0u);
        EXPECT_LE(rig.cpu().calls(kvhost::DebugOperation::ReadMemory) - reads, MapleTreeSearch::kMaxHeight + 1);
        EXPECT_EQ(rig.driver().FindMemoryArea(rig.debug(), mm, areas[5].start, true), areas[5].address);
    }
}

}  // namespace
}  // namespace vantric
