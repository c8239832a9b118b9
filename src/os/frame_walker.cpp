#include "os/frame_walker.h"

#include "os/target_access.h"

namespace vantric {
namespace {

// A frame pointer this close above the stack pointer belongs to the current
// function, so the link register still holds its return address.
constexpr uint64_t kLeafFrameWindow = 500;

}  // namespace

void FrameWalker::Walk(uint32_t depth, plexa::SQOVI2* debug, uint32_t space,
                       uint64_t pc, uint64_t lr, uint64_t fp, uint64_t sp, bool is64,
                       std::vector<uint64_t>& addresses) {
    addresses.clear();
    if (depth == 0) return;
    addresses.push_back(pc);
    if (depth == 1) return;

    uint32_t remaining = depth - 1;
    uint64_t frame = sp;
    if (fp > sp && fp - sp < kLeafFrameWindow) {
        addresses.push_back(lr);
        --remaining;
        frame = fp;
    }
    for (; remaining > 0; --remaining) {
        uint64_t next;
        uint64_t ret;
        if (is64) {
            ret = TargetAccess::ReadMemory64(debug, space, frame + 8);
            next = TargetAccess::ReadMemory64(debug, space, frame);
        } else {
            ret = TargetAccess::ReadMemory32(debug, space, frame + 4);
            next = TargetAccess::ReadMemory32(debug, space, frame);
        }
        if (next == 0 || ret == 0) break;
        addresses.push_back(ret);
        frame = next;
    }
}

}  // namespace vantric
