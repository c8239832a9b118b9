// The structure layout of one (synthetic or real) Linux kernel build: the
// byte offsets the plug-in's Linux driver is told about through its offsets
// text. The image builder lays out target memory with exactly these offsets
// and writes the matching text, so a test states a layout once.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kvhost {

struct KernelLayout {
    // In the order of the offsets text.
    uint64_t taskState = 0;
    uint64_t taskIoWait = 0;
    uint64_t switchThreadInfoBias = 0;  // 32-bit: R4 at __switch_to = next thread_info + bias
    uint64_t taskMm = 0;
    uint64_t taskPid = 0;   // the per-task id (tid in the capture)
    uint64_t taskTgid = 0;  // the thread-group id (pid in the capture)
    uint64_t taskComm = 0;
    uint64_t taskCommLength = 16;
    uint64_t mmExeFile = 0;
    uint64_t fileFPath = 0;
    uint64_t pathDentry = 0;
    uint64_t unused12 = 0;
    uint64_t dentryDName = 0;
    uint64_t dentryDParent = 0;
    uint64_t qstrName = 0;
    uint64_t vmaStart = 0;
    uint64_t vmaEnd = 0;
    uint64_t vmaFile = 0;
    uint64_t vmaPgoff = 0;
    uint64_t vmaRb = 0;
    uint64_t vmaNext = 0;
    uint64_t mmRb = 0;
    uint64_t rbRootNode = 0;
    uint64_t rbRight = 0;
    uint64_t rbLeft = 0;
    uint64_t threadInfoTask = 0;  // 32-bit layout only

    // Kernels from 6.1 on keep memory areas in a maple tree instead of the
    // red-black tree and list above (whose six offsets are then 0).
    struct MapleTree {
        uint64_t mmTree = 0;       // mm_struct.mm_mt
        uint64_t treeRoot = 0;     // maple_tree.ma_root
        uint64_t rangePivots = 0;  // maple_range_64.pivot
        uint64_t rangeSlots = 0;   // maple_range_64.slot
        uint64_t rangeEnd = 0;     // maple_range_64.meta.end
        uint64_t allocPivots = 0;  // maple_arange_64.pivot
        uint64_t allocSlots = 0;   // maple_arange_64.slot
        uint64_t allocEnd = 0;     // maple_arange_64.meta.end
    };
    bool mapleTree = false;
    MapleTree maple;
    // The "maple-tree-offsets" text: the eight values in order, comma-separated.
    std::string MapleText() const;

    // The 26 values in text order.
    std::array<uint64_t, 26> Values() const;

    // The offsets text the driver reads: 25 comma-separated values for the
    // 64-bit layout ("linux-offsets-64"); the 32-bit layout
    // ("linux-offsets-32") appends a blank, the 26th value and a comma.
    std::string Text(bool layout64) const;

    // A compact synthetic layout with the rb_node triple
    // (parent-and-colour, right, left) and word-sized fields.
    static KernelLayout Synthetic64();
    static KernelLayout Synthetic32();
    // Synthetic64 with its areas in a maple tree laid out as Linux 6.1 does.
    static KernelLayout Synthetic64Maple();
    // Debian's arm64 kernel 5.10.0-32-cloud-arm64 (5.10.223-1), as read from
    // that build's type information.
    static KernelLayout Debian510CloudArm64();
    // Debian's arm64 kernel 6.1.0-57-cloud-arm64 (6.1.192-3): areas in a
    // maple tree, task state in __state.
    static KernelLayout Debian61CloudArm64();
};

}  // namespace kvhost
