// What the callbacks of one subsystem's cores share: where the time, the
// capture and the driver are, the window and sampling settings, and the few
// facts that events update (MMU bit, instruction events since the last
// sample). Register numbers are found at registration and shared by all the
// subsystem's cores.
#pragma once

#include <cstdint>

namespace vantric {

class CaptureWriter;
class CoreTable;
class LinuxDriver;
class OSDriver;
class TimeSource;

struct AgentState {
    static constexpr uint32_t kNoRegister = 0xFFFFFFFFu;

    TimeSource& time;
    CaptureWriter& capture;
    CoreTable& cores;
    uint64_t samplingInterval;
    uint64_t windowStart;
    uint64_t windowEnd;

    OSDriver* driver = nullptr;
    // The same driver when it follows Linux: its branch test is then inlined.
    LinuxDriver* linuxDriver = nullptr;
    bool is64 = false;
    bool mmuEnabled = false;
    uint32_t linkRegister = kNoRegister;
    uint32_t cpsrRegister = kNoRegister;
    uint32_t framePointer64 = kNoRegister;
    uint32_t framePointer32 = kNoRegister;
    uint32_t stackPointer = kNoRegister;
    uint32_t svcTypeValue = 0;
    uint64_t instructionEvents = 0;
    uint32_t instructionsCounter = 0;

    bool inWindow(uint64_t time) const { return time >= windowStart && time < windowEnd; }
};

}  // namespace vantric
