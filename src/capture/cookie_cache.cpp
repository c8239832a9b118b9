#include "capture/cookie_cache.h"

#include <utility>

namespace vantric::capture {
namespace {

constexpr std::array<uint32_t, 256> BuildHashTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int step = 0; step < 8; ++step) {
            bool out = (c & 1) != 0;
            c >>= 1;
            if (out) c ^= 0x04C11DB7u;
        }
        table[i] = c;
    }
    return table;
}

// The byte step c = T[(c ^ b) & 0xFF] ^ (c >> 8) is linear over GF(2), so
// eight bytes can be folded at once: table k holds the effect of a byte that
// still has k steps to go ("slicing by eight"). Names are hashed on every
// sample, and byte-serial table lookups would dominate the cookie lookup.
using SliceTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr SliceTables BuildSliceTables() {
    SliceTables tables{};
    tables[0] = BuildHashTable();
    for (size_t k = 1; k < 8; ++k) {
        for (size_t i = 0; i < 256; ++i) {
            uint32_t previous = tables[k - 1][i];
            tables[k][i] = tables[0][previous & 0xFF] ^ (previous >> 8);
        }
    }
    return tables;
}

constexpr SliceTables kTables = BuildSliceTables();
constexpr const std::array<uint32_t, 256>& kHashTable = kTables[0];

uint32_t Word(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

const std::array<uint32_t, 256>& CookieHashTable() {
    return kHashTable;
}

uint32_t CookieNameHash(std::string_view name) {
    const auto* p = reinterpret_cast<const uint8_t*>(name.data());
    size_t left = name.size();
    uint32_t c = 0xFFFFFFFFu;
    for (; left >= 8; left -= 8, p += 8) {
        uint32_t low = c ^ Word(p);
        uint32_t high = Word(p + 4);
        c = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
            kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^
            kTables[2][(high >> 8) & 0xFF] ^ kTables[1][(high >> 16) & 0xFF] ^
            kTables[0][high >> 24];
    }
    for (; left > 0; --left, ++p) c = kHashTable[(c ^ *p) & 0xFF] ^ (c >> 8);
    return ~c;
}

void CookieCache::reset(uint32_t coreCount) {
    coreCount_ = coreCount;
    keys_.assign(static_cast<size_t>(coreCount) * kSlotsPerCore, 0);
    cookies_.assign(static_cast<size_t>(coreCount) * kSlotsPerCore, 0);
    nextCookie_.resize(coreCount);
    for (uint32_t core = 0; core < coreCount; ++core) nextCookie_[core] = coreCount + core;
}

uint32_t CookieCache::setIndex(uint32_t hash, uint32_t pid) {
    uint32_t s = hash + pid;
    // Unsigned arithmetic wraps like two's complement, so the low ten bits
    // are those of the signed sum even when it is negative.
    uint32_t mixed =
        31u * ((s >> 8) & 0xFF) - 63u * ((s >> 16) & 0xFF) + 95u * (s >> 24) + (s & 0xFF);
    return mixed & 0x3FF;
}

CookieCache::Result CookieCache::lookup(uint32_t core, uint32_t pid, std::string_view name) {
    uint32_t hash = name.empty() ? 0 : CookieNameHash(name);
    uint64_t key = (static_cast<uint64_t>(hash) << 32) | pid;
    size_t first = static_cast<size_t>(core) * kSlotsPerCore + 2 * setIndex(hash, pid);
    uint64_t* keys = keys_.data() + first;
    uint32_t* cookies = cookies_.data() + first;

    if (keys[0] == key) {
        if (cookies[0] != 0) return {cookies[0], false};
    } else if (keys[1] == key) {
        std::swap(keys[0], keys[1]);
        std::swap(cookies[0], cookies[1]);
        if (cookies[0] != 0) return {cookies[0], false};
    }

    // A fresh slot matches key 0 with cookie 0: that is a miss as well.
    nextCookie_[core] += coreCount_;
    uint32_t cookie = nextCookie_[core];
    keys[1] = keys[0];
    cookies[1] = cookies[0];
    keys[0] = key;
    cookies[0] = cookie;
    return {cookie, true};
}

}  // namespace vantric::capture
