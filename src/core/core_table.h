// What the instance knows about each traced core, shared by every subsystem
// agent: its debug interface, its instruction count at the last sample and
// whether it last ran in user mode. Sized once the number of cores is known.
#pragma once

#include <cstdint>
#include <vector>

#include "boundary/host_abi.h"

namespace vantric {

struct CoreState {
    plexa::SQOVI2* debug = nullptr;
    uint64_t lastInstructionCount = 0;
    bool userMode = false;
};

class CoreTable {
public:
    // Forgets every core and makes room for `cores`, all empty.
    void resize(uint32_t cores) {
        states_.assign(cores, CoreState{});
        debugCount_ = 0;
    }
    uint32_t size() const { return static_cast<uint32_t>(states_.size()); }

    // Debug interfaces are handed out in registration order, which is core
    // order as long as every offered core registers; a full table drops them.
    void addDebug(plexa::SQOVI2* debug) {
        if (debugCount_ < states_.size()) states_[debugCount_++].debug = debug;
    }
    plexa::SQOVI2* debugOf(uint32_t core) const {
        return core < debugCount_ ? states_[core].debug : nullptr;
    }

    // The state of `core`; a core beyond the table gets a scratch state, so a
    // callback never tests the bound. The addresses stay valid until resize.
    CoreState& state(uint32_t core) { return core < states_.size() ? states_[core] : scratch_; }
    const CoreState& state(uint32_t core) const {
        return core < states_.size() ? states_[core] : scratch_;
    }

private:
    std::vector<CoreState> states_;
    uint32_t debugCount_ = 0;
    CoreState scratch_;
};

}  // namespace vantric
