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

constexpr std::array<uint32_t, 256> kHashTable = BuildHashTable();

}  // namespace

const std::array<uint32_t, 256>& CookieHashTable() { return kHashTable; }

uint32_t CookieNameHash(std::string_view name) {
    uint32_t c = 0xFFFFFFFFu;
    for (char ch : name) {
        c = kHashTable[(c ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (c >> 8);
    }
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
    uint32_t mixed = 31u * ((s >> 8) & 0xFF) - 63u * ((s >> 16) & 0xFF) + 95u * (s >> 24) +
                     (s & 0xFF);
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
