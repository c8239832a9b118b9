#include "kernel_layout.h"

namespace kvhost {

std::array<uint64_t, 26> KernelLayout::Values() const {
    return {taskState, taskIoWait, switchThreadInfoBias, taskMm,   taskPid,     taskTgid,
            taskComm,  taskCommLength, mmExeFile,        fileFPath, pathDentry, unused12,
            dentryDName, dentryDParent, qstrName,        vmaStart, vmaEnd,      vmaFile,
            vmaPgoff,  vmaRb,      vmaNext,              mmRb,     rbRootNode,  rbRight,
            rbLeft,    threadInfoTask};
}

std::string KernelLayout::Text(bool layout64) const {
    const auto values = Values();
    std::string text;
    for (size_t i = 0; i < 25; ++i) {
        if (i != 0) text += ',';
        text += std::to_string(values[i]);
    }
    if (!layout64) text += ' ' + std::to_string(values[25]) + ',';
    return text;
}

KernelLayout KernelLayout::Synthetic64() {
    KernelLayout l;
    l.taskState = 16;
    l.taskIoWait = 24;
    l.taskMm = 40;
    l.taskPid = 48;
    l.taskTgid = 52;
    l.taskComm = 64;
    l.taskCommLength = 16;
    l.mmExeFile = 8;
    l.fileFPath = 16;
    l.pathDentry = 8;
    l.dentryDName = 32;
    l.dentryDParent = 16;
    l.qstrName = 8;
    l.vmaStart = 0;
    l.vmaEnd = 8;
    l.vmaFile = 64;
    l.vmaPgoff = 56;
    l.vmaRb = 24;
    l.vmaNext = 16;
    l.mmRb = 24;
    l.rbRootNode = 0;
    l.rbRight = 8;
    l.rbLeft = 16;
    return l;
}

std::string KernelLayout::MapleText() const {
    const uint64_t values[] = {maple.mmTree,      maple.treeRoot,    maple.rangePivots,
                               maple.rangeSlots,  maple.rangeEnd,    maple.allocPivots,
                               maple.allocSlots,  maple.allocEnd};
    std::string text;
    for (uint64_t v : values) text += (text.empty() ? "" : ",") + std::to_string(v);
    return text;
}

KernelLayout KernelLayout::Synthetic64Maple() {
    KernelLayout l = Synthetic64();
    l.vmaRb = l.vmaNext = l.mmRb = l.rbRootNode = l.rbRight = l.rbLeft = 0;
    l.mapleTree = true;
    // The tree sits where the red-black root was; nodes as Linux 6.1 lays them out.
    l.maple = {24, 8, 8, 128, 248, 8, 80, 240};
    return l;
}

KernelLayout KernelLayout::Synthetic32() {
    KernelLayout l;
    l.taskState = 0;
    l.taskIoWait = 8;
    l.switchThreadInfoBias = 0x40;
    l.taskMm = 12;
    l.taskPid = 16;
    l.taskTgid = 20;
    l.taskComm = 32;
    l.taskCommLength = 16;
    l.mmExeFile = 4;
    l.fileFPath = 8;
    l.pathDentry = 4;
    l.dentryDName = 16;
    l.dentryDParent = 8;
    l.qstrName = 4;
    l.vmaStart = 0;
    l.vmaEnd = 4;
    l.vmaFile = 36;
    l.vmaPgoff = 32;
    l.vmaRb = 12;
    l.vmaNext = 8;
    l.mmRb = 12;
    l.rbRootNode = 0;
    l.rbRight = 4;
    l.rbLeft = 8;
    l.threadInfoTask = 12;
    return l;
}

KernelLayout KernelLayout::Debian510CloudArm64() {
    KernelLayout l;
    l.taskState = 24;
    l.taskIoWait = 1240;
    l.switchThreadInfoBias = 0;
    l.taskMm = 1128;
    l.taskPid = 1304;
    l.taskTgid = 1308;
    l.taskComm = 1752;
    l.taskCommLength = 16;
    l.mmExeFile = 824;
    l.fileFPath = 16;
    l.pathDentry = 8;
    l.unused12 = 0;
    l.dentryDName = 32;
    l.dentryDParent = 24;
    l.qstrName = 8;
    l.vmaStart = 0;
    l.vmaEnd = 8;
    l.vmaFile = 160;
    l.vmaPgoff = 152;
    l.vmaRb = 32;
    l.vmaNext = 16;
    l.mmRb = 8;
    l.rbRootNode = 0;
    l.rbRight = 8;
    l.rbLeft = 16;
    return l;
}

KernelLayout KernelLayout::Debian61CloudArm64() {
    KernelLayout l;
    l.taskState = 24;     // __state
    l.taskIoWait = 1280;  // the word holding in_iowait (bit 3)
    l.taskMm = 1208;
    l.taskPid = 1352;
    l.taskTgid = 1356;
    l.taskComm = 1912;
    l.taskCommLength = 16;
    l.mmExeFile = 816;
    l.fileFPath = 16;
    l.pathDentry = 8;
    l.dentryDName = 32;
    l.dentryDParent = 24;
    l.qstrName = 8;
    l.vmaStart = 0;
    l.vmaEnd = 8;
    l.vmaFile = 112;
    l.vmaPgoff = 104;
    l.mapleTree = true;
    l.maple = {0, 8, 8, 128, 248, 8, 80, 240};
    return l;
}

}  // namespace kvhost
