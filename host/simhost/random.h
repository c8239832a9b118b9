// A small deterministic generator (splitmix64) so that a seed gives the same
// scenario on every platform and standard library.
#pragma once

#include <cstdint>

namespace simhost {

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound); bound 0 gives 0.
    uint64_t Below(uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }
    // Uniform in [low, high].
    uint64_t Between(uint64_t low, uint64_t high) { return low + Below(high - low + 1); }
    // True with the given chance in percent.
    bool Percent(uint32_t chance) { return Below(100) < chance; }

private:
    uint64_t state_;
};

}  // namespace simhost
