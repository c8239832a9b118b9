// Stamps every capture record with a time in nanoseconds, in one of three
// time bases: simulated time from the host scheduler, host wall-clock time
// since construction, or the first core's own clock.
#pragma once

#include <cstdint>

#include "boundary/host_abi.h"

namespace vantric {

class CaptureWriter;

class TimeSource {
public:
    enum TimeBase : uint32_t { kSimulated = 0, kHost = 1, kFirstCore = 2 };

    TimeSource();

    // `offsetTicks` is the event's own offset from the scheduler's current
    // time, in ticks; only simulated time uses it.
    uint64_t now(uint64_t offsetTicks);

    vq::SchedulerInterfaceForComponents* scheduler = nullptr;
    CaptureWriter* captureWriter = nullptr;
    plexa::SQOVI2* firstCoreDebug = nullptr;
    uint32_t timeBase = kSimulated;
    uint64_t lastSimulatedTime = 0;  // the capture's end time
    double hostStartSeconds;
};

}  // namespace vantric
