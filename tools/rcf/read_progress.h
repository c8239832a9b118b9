// Progress of a long capture read, for standard error: silent for the first
// second (short reads say nothing), then one line at most once a second, and
// the time taken at the end when anything was said.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace vantric::rcf {

class ReadProgress {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit ReadProgress(
        std::ostream& out, Clock clock = [] { return std::chrono::steady_clock::now(); });

    // The read of capture `name` begins: `files` data files of `bytes` bytes in all.
    void start(std::string name, uint64_t files, uint64_t bytes);
    // After each file: the files and bytes done so far.
    void advance(uint64_t filesDone, uint64_t bytesDone);
    // The read is over.
    void finish();

private:
    // By bytes; by files when they are all empty.
    uint64_t percent(uint64_t filesDone, uint64_t bytesDone) const;

    std::ostream& out_;
    Clock clock_;
    std::string name_;
    uint64_t files_ = 0;
    uint64_t bytes_ = 0;
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point lastLine_{};
    bool printed_ = false;
};

}  // namespace vantric::rcf
