// Call stacks from frame records, for samples of code without a better
// source: each record holds the caller's frame address and, one word above
// it, the return address into the caller. The walk is bounded by the depth
// and ends at a zero word or a failed read.
#pragma once

#include <cstdint>
#include <vector>

#include "boundary/host_abi.h"

namespace vantric {

class FrameWalker {
public:
    // Return addresses of the current call stack, innermost first, at most
    // `depth` of them, replacing the contents of `addresses` (whose capacity
    // is reused, so a warmed-up caller allocates nothing).
    static void Walk(uint32_t depth, plexa::SQOVI2* debug, uint32_t space, uint64_t pc,
                     uint64_t lr, uint64_t fp, uint64_t sp, bool is64,
                     std::vector<uint64_t>& addresses);
};

}  // namespace vantric
