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
    // time, in ticks; only simulated time uses it. Simulated time, the case of
    // every trace callback, is inline; the rest is out of line.
    uint64_t now(uint64_t offsetTicks) {
        if (timeBase != kSimulated || scheduler == nullptr) [[unlikely]]
            return nowSlow();
        const uint64_t ticks = scheduler->getCurrentSimulationTime(nullptr) + offsetTicks;
        const double nanoseconds =
            static_cast<double>(ticks) * scheduler->getTickSeconds() * 1000000000.0;
        lastSimulatedTime = nanoseconds >= 0.0 && nanoseconds < 9223372036854775808.0
                                ? static_cast<uint64_t>(nanoseconds)
                                : ToUnsigned(nanoseconds);
        return lastSimulatedTime;
    }

    vq::SchedulerInterfaceForComponents* scheduler = nullptr;
    CaptureWriter* captureWriter = nullptr;
    plexa::SQOVI2* firstCoreDebug = nullptr;
    uint32_t timeBase = kSimulated;
    uint64_t lastSimulatedTime = 0;  // the capture's end time
    double hostStartSeconds;

    // Truncation to unsigned 64 bits for any double: negative and NaN give 0,
    // 2^63 and above convert as unsigned, beyond 2^64 saturates.
    static uint64_t ToUnsigned(double value);

private:
    uint64_t nowSlow();  // every base but simulated time ignores the offset
};

}  // namespace vantric
