// Per-core tables of the instance, shared by every subsystem agent: the
// core's debug interface, its last sampled instruction count and whether it
// runs in user mode. Sized once the number of cores is known.
#pragma once

#include <cstdint>
#include <vector>

#include "boundary/host_abi.h"

namespace vantric {

struct PerCoreState {
    std::vector<plexa::SQOVI2*> debug;  // filled in registration order
    std::vector<uint64_t> lastInstructionCount;
    std::vector<uint8_t> userMode;
    uint32_t capacity = 0;

    void resize(uint32_t cores) {
        capacity = cores;
        debug.clear();
        debug.reserve(cores);
        lastInstructionCount.assign(cores, 0);
        userMode.assign(cores, 0);
    }
    // Appends a core's debug interface while the table has room.
    void addDebug(plexa::SQOVI2* interface) {
        if (debug.size() < capacity) debug.push_back(interface);
    }
    plexa::SQOVI2* debugOf(uint32_t core) const {
        return core < debug.size() ? debug[core] : nullptr;
    }
};

}  // namespace vantric
