// Nanoseconds the guest ran: host time counted only between a resume and
// the next stop, so the time this host spends reading a stopped guest is
// not charged to it. The plug-in's time stamps and the nominal instruction
// counts both come from it.
#pragma once

#include <chrono>
#include <cstdint>

namespace qemuhost {

class GuestClock {
public:
    void Resume();
    void Stop();
    uint64_t Now() const;
    bool running() const { return running_; }

private:
    using Clock = std::chrono::steady_clock;
    uint64_t accumulated_ = 0;
    Clock::time_point since_{};
    bool running_ = false;
};

}  // namespace qemuhost
