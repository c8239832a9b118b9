// Where the time moved between two captures: per function and per thread,
// the samples of each capture and their shares of that capture's samples.
// Captures from different runs share no addresses or tids, so functions
// match by display name and threads by "process/thread" name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rcf/profile/profile.h"

namespace vantric::rcf {

class ProfileDiff {
public:
    // Sample counts in A and B. For a thread, self and total are both its samples.
    struct Row {
        std::string name;
        uint64_t selfA = 0;
        uint64_t selfB = 0;
        uint64_t totalA = 0;
        uint64_t totalB = 0;
    };

    static ProfileDiff Compare(const Profile& a, const Profile& b);

    // Every name present in either capture, the largest change of share first:
    // functions by self share, then total share, then name; threads by share, then name.
    const std::vector<Row>& functions() const { return functions_; }
    const std::vector<Row>& threads() const { return threads_; }

    // Every sample of the capture, frameless ones included.
    uint64_t samplesA() const { return samplesA_; }
    uint64_t samplesB() const { return samplesB_; }

    // Percent of the capture's samples; 0 for a capture without samples.
    double shareA(uint64_t count) const { return Share(count, samplesA_); }
    double shareB(uint64_t count) const { return Share(count, samplesB_); }
    static double Share(uint64_t count, uint64_t samples);

    // "+1.25", "-0.50", "0.00": a change of share in percentage points.
    static std::string ChangeText(double change);

    // The functions table, a blank line, the threads table; `labelA` and
    // `labelB` name the captures in the header line.
    std::string text(const std::string& labelA, const std::string& labelB) const;

private:
    std::vector<Row> functions_;
    std::vector<Row> threads_;
    uint64_t samplesA_ = 0;
    uint64_t samplesB_ = 0;
};

}  // namespace vantric::rcf
