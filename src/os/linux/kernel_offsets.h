// Where the Linux driver finds things inside the kernel's structures: the
// byte offsets of one kernel build, supplied by the user as one text of
// numbers because nothing inside the target tells us.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantric {

struct KernelOffsets {
    // In the order of the offsets text.
    uint64_t taskStateOffset = 0;
    uint64_t taskIoWaitOffset = 0;
    uint64_t switchThreadInfoBias = 0;  // 32-bit cores: R4 minus this is the next thread_info
    uint64_t taskMmOffset = 0;
    uint64_t taskThreadIdOffset = 0;   // read as a 4-byte word
    uint64_t taskProcessIdOffset = 0;  // read as a 4-byte word
    uint64_t taskCommOffset = 0;
    uint64_t taskCommLength = 0;  // a length, not an offset
    uint64_t mmExeFileOffset = 0;
    uint64_t filePathOffset = 0;
    uint64_t pathDentryOffset = 0;
    uint64_t unusedOffset = 0;  // twelfth value: read and not used
    uint64_t dentryNameOffset = 0;
    uint64_t dentryParentOffset = 0;
    uint64_t nameTextOffset = 0;
    uint64_t vmaStartOffset = 0;
    uint64_t vmaEndOffset = 0;
    uint64_t vmaFileOffset = 0;
    uint64_t vmaPageOffsetOffset = 0;
    uint64_t vmaTreeNodeOffset = 0;
    uint64_t vmaNextOffset = 0;
    uint64_t mmTreeRootOffset = 0;
    uint64_t treeRootNodeOffset = 0;
    uint64_t treeRightOffset = 0;
    uint64_t treeLeftOffset = 0;
    // 32-bit layout only (the 26th value): thread_info's pointer to its task.
    uint64_t threadInfoTaskOffset = 0;

    static constexpr unsigned kSharedValues = 25;
};

// Reads the offsets text: 25 unsigned decimal values, each but the last
// followed by one separator (the next non-blank character, whatever it is);
// in the 32-bit layout a 26th value separated by blanks only and followed by
// one more non-blank character. Warns "Unable to parse kernel struct offsets
// (p)" on the Linux driver's console for every failed stage. A malformed
// 64-bit text still succeeds with the values read (the rest 0); a 32-bit
// text fails unless all 26 values and the final character were read.
bool ParseKernelOffsets(std::string_view text, bool offsets64, KernelOffsets& offsets);

}  // namespace vantric
