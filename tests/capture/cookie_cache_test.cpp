#include "capture/cookie_cache.h"

#include <gtest/gtest.h>

#include <string>

namespace vantric::capture {
namespace {

TEST(CookieHash, TableShiftsRightWithTheUnreflectedPolynomial) {
    const auto& table = CookieHashTable();
    EXPECT_EQ(table[1], 0x06233697u);  // the usual CRC-32 table has 0x77073096 here
    EXPECT_EQ(table[128], 0x04C11DB7u);
    EXPECT_EQ(table[255], 0x0560FB57u);
    EXPECT_EQ(CookieNameHash(""), 0u);
    EXPECT_EQ(CookieNameHash("init"), 0xFD671359u);
    EXPECT_EQ(CookieNameHash("/usr/lib/aarch64-linux-gnu/libexample.so"), 0xFD61227Fu);
}

TEST(CookieHash, EveryLengthEqualsTheByteRule) {
    const auto& table = CookieHashTable();
    std::string name;
    for (int length = 0; length < 70; ++length) {
        uint32_t c = 0xFFFFFFFFu;
        for (char ch : name) c = table[(c ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (c >> 8);
        EXPECT_EQ(CookieNameHash(name), ~c) << length;
        name += static_cast<char>(0x21 + (length * 37) % 200);
    }
}

// Four cores: cookies of core c start at 8 + c and step by 4. proc0, proc1366
// and proc2242 with pid 1 share one set of two slots.
TEST(CookieCache, NumbersPerCoreAndReplacesTheLeastRecentlyUsed) {
    const struct {
        uint32_t core, pid;
        const char* name;
        uint32_t cookie;
        bool isNew;
    } steps[] = {
        // No name and pid 0 make key 0, which an empty slot must not match.
        {0, 0, "", 8, true},           {0, 0, "", 8, false},
        {1, 7, "/bin/app", 9, true},   {1, 7, "/bin/app", 9, false},
        {1, 8, "/bin/app", 13, true},  {2, 7, "/bin/app", 10, true},
        {3, 1, "proc0", 11, true},     {3, 1, "proc1366", 15, true},
        {3, 1, "proc0", 11, false},  // now the most recent of its set
        {3, 1, "proc2242", 19, true},  {3, 1, "proc0", 11, false},
        {3, 1, "proc1366", 23, true},
    };
    CookieCache cache;
    cache.reset(4);
    for (const auto& step : steps) {
        CookieCache::Result found = cache.lookup(step.core, step.pid, step.name);
        EXPECT_EQ(found.cookie, step.cookie) << step.name;
        EXPECT_EQ(found.isNew, step.isNew) << step.name;
    }
}

}  // namespace
}  // namespace vantric::capture
