#include "time/time_source.h"

#include "platform/platform.h"

namespace vantric {

uint64_t TimeSource::ToUnsigned(double value) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    constexpr double kTwoTo64 = 18446744073709551616.0;
    if (!(value > 0.0)) return 0;
    if (value >= kTwoTo64) return UINT64_MAX;
    if (value >= kTwoTo63) return static_cast<uint64_t>(value - kTwoTo63) + (uint64_t{1} << 63);
    return static_cast<uint64_t>(value);
}

TimeSource::TimeSource(uint32_t timeBase)
    : timeBase_(timeBase <= kFirstCore ? timeBase : kSimulated),
      hostStartSeconds_(platform::MonotonicSeconds()) {}

uint64_t TimeSource::nowSlow() {
    switch (timeBase_) {
        case kHost:
            return ToUnsigned((platform::MonotonicSeconds() - hostStartSeconds_) * 1000000000.0);
        case kFirstCore: {
            uint64_t nanoseconds = 0;
            if (firstCoreDebug_ != nullptr) firstCoreDebug_->CurrentTime(&nanoseconds);
            return nanoseconds;
        }
        default:
            // Simulated time without a scheduler (not yet connected, or a
            // host that offers none): time stands still.
            return 0;
    }
}

}  // namespace vantric
