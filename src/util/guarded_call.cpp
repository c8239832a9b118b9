#include "util/guarded_call.h"

#include <iostream>

namespace vantric {

std::atomic<uint64_t> GuardedCall::failures_{0};

void GuardedCall::Failed(const char* where, const char* what, bool counted) noexcept {
    // Pieces written one by one: the failure may be an exhausted heap, so
    // nothing here builds a string.
    if (!counted || failures_.fetch_add(1, std::memory_order_relaxed) == 0) {
        std::cerr << "ERROR (Vantric) " << where << " failed : " << what << std::endl;
    }
}

}  // namespace vantric
