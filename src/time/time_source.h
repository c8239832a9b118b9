// Stamps every capture record with a time in nanoseconds, in one of three
// time bases: simulated time from the host scheduler, host wall-clock time
// since construction, or the first core's own clock. The simulation's clocks
// exist only once it is connected; until then simulated time stands at 0.
#pragma once

#include <cstdint>

#include "boundary/host_abi.h"

namespace vantric {

class TimeSource {
public:
    enum TimeBase : uint32_t { kSimulated = 0, kHost = 1, kFirstCore = 2 };

    // A base outside the three falls back to simulated time.
    explicit TimeSource(uint32_t timeBase = kSimulated);

    // The scheduler that simulated time reads and the first core, whose
    // clock time base 2 reads; either may be null.
    void connect(vq::SchedulerInterfaceForComponents* scheduler, plexa::SQOVI2* firstCoreDebug) {
        scheduler_ = scheduler;
        firstCoreDebug_ = firstCoreDebug;
    }

    // `offsetTicks` is the event's own offset from the scheduler's current
    // time, in ticks; only simulated time uses it. Simulated time, the case of
    // every trace callback, is inline; the rest is out of line.
    uint64_t now(uint64_t offsetTicks) {
        if (timeBase_ != kSimulated || scheduler_ == nullptr) [[unlikely]]
            return nowSlow();
        const uint64_t ticks = scheduler_->getCurrentSimulationTime(nullptr) + offsetTicks;
        const double nanoseconds =
            static_cast<double>(ticks) * scheduler_->getTickSeconds() * 1000000000.0;
        lastSimulatedTime_ = nanoseconds >= 0.0 && nanoseconds < 9223372036854775808.0
                                 ? static_cast<uint64_t>(nanoseconds)
                                 : ToUnsigned(nanoseconds);
        return lastSimulatedTime_;
    }

    uint32_t timeBase() const { return timeBase_; }
    // The latest simulated time handed out: the capture's end time.
    uint64_t lastSimulatedTime() const { return lastSimulatedTime_; }

    // Truncation to unsigned 64 bits for any double: negative and NaN give 0,
    // 2^63 and above convert as unsigned, beyond 2^64 saturates.
    static uint64_t ToUnsigned(double value);

private:
    uint64_t nowSlow();  // every base but simulated time ignores the offset

    vq::SchedulerInterfaceForComponents* scheduler_ = nullptr;
    plexa::SQOVI2* firstCoreDebug_ = nullptr;
    uint32_t timeBase_;
    uint64_t lastSimulatedTime_ = 0;
    double hostStartSeconds_;
};

}  // namespace vantric
