// A one-line progress display on standard error for runs longer than a
// second: instructions simulated, rate and share done. Silent when standard
// error is not a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace simhost {

// True when standard error is a terminal.
bool ProgressBarWanted();

class ProgressBar {
public:
    using Clock = std::chrono::steady_clock;

    // `enabled` false makes every call a no-op.
    ProgressBar(uint64_t total, std::FILE* out, bool enabled);
    ~ProgressBar() { Finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Update(uint64_t done);
    // Clears the line if one was drawn.
    void Finish();

    // "[#####.....]  52%  12.3M instructions  45.1M/s"
    static std::string Format(uint64_t done, uint64_t total, double seconds, int width = 30);

private:
    uint64_t total_;
    std::FILE* out_;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

}  // namespace simhost
