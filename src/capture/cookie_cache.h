// Per-core caches that give each (process image name, pid) a cookie: a small
// number that capture records use instead of the name. Each core has 1024
// sets of two entries with least-recently-used replacement, in fixed arrays,
// so a lookup is constant time and allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vantric::capture {

// The name hash runs over a table built by shifting right with the
// polynomial 0x04C11DB7 as written (not bit-reversed), so its values differ
// from the usual CRC-32 table. Profilers reading the capture expect them.
const std::array<uint32_t, 256>& CookieHashTable();
uint32_t CookieNameHash(std::string_view name);

class CookieCache {
public:
    static constexpr uint32_t kSets = 1024;
    static constexpr uint32_t kSlotsPerCore = 2 * kSets;

    struct Result {
        uint32_t cookie;
        bool isNew;  // the caller announces new cookies in the capture
    };

    // Empties every set; cookies of core c start at 2 x cores + c and step by cores.
    void reset(uint32_t coreCount);

    // `core` must be below the core count given to reset.
    Result lookup(uint32_t core, uint32_t pid, std::string_view name);

private:
    static uint32_t setIndex(uint32_t hash, uint32_t pid);

    uint32_t coreCount_ = 0;
    std::vector<uint64_t> keys_;
    std::vector<uint32_t> cookies_;
    std::vector<uint32_t> nextCookie_;
};

}  // namespace vantric::capture
