#include "guest_clock.h"

namespace qemuhost {

void GuestClock::Resume() {
    if (running_) return;
    since_ = Clock::now();
    running_ = true;
}

void GuestClock::Stop() {
    if (!running_) return;
    accumulated_ = Now();
    running_ = false;
}

uint64_t GuestClock::Now() const {
    if (!running_) return accumulated_;
    return accumulated_ +
           static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - since_).count());
}

}  // namespace qemuhost
