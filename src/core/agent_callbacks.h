// The trace callbacks of a subsystem's cores. Each gets its core's
// TracedCore as user data, reads its fields at fixed offsets, and hands the
// event to the capture or the OS driver; none allocates or looks anything up.
#pragma once

#include <cstdint>

#include "boundary/host_abi.h"

namespace vantric {

struct TracedCore;

class AgentCallbacks {
public:
    static void OnCp15Write(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnSysregWrite64(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnPeriodic(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnInst(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnException(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnSyscall(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnRunState(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnModeChange(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnBranchDirect(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnBranchIndirect(void* userData, ZVT::EventClass*, const uint8_t* record);
    // BRA_DIR of a Linux subsystem: every branch of the target comes here, and
    // only branches to the two task symbols matter.
    static void OnLinuxBranch(void* userData, ZVT::EventClass*, const uint8_t* record);

private:
    static void TakeSample(const TracedCore& core, uint64_t pc, uint64_t time);
};

}  // namespace vantric
