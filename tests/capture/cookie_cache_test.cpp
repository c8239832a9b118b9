#include "capture/cookie_cache.h"

#include <gtest/gtest.h>

#include "capture/capture_test_support.h"
#include "capture/capture_writer.h"

namespace vantric {
namespace {

using capture::CookieHashTable;
using capture::CookieNameHash;
using testing::RecordsOf;
using testing::TempDirectory;

TEST(CookieHash, TableIsBuiltByShiftingRightWithTheUnreflectedPolynomial) {
    const auto& table = CookieHashTable();
    EXPECT_EQ(table[0], 0u);
    EXPECT_EQ(table[1], 0x06233697u);  // the usual CRC-32 table has 0x77073096 here
    EXPECT_EQ(table[128], 0x04C11DB7u);
    EXPECT_EQ(table[255], 0x0560FB57u);
}

TEST(CookieHash, HashesNames) {
    EXPECT_EQ(CookieNameHash(""), 0u);
    EXPECT_EQ(CookieNameHash("init"), 0xFD671359u);
    EXPECT_EQ(CookieNameHash("/usr/bin/bash"), 0xFCADA04Du);
    EXPECT_EQ(CookieNameHash("/usr/lib/aarch64-linux-gnu/libexample.so"), 0xFD61227Fu);
}

TEST(CookieHash, EightBytesAtATimeEqualsTheByteRule) {
    const auto& table = CookieHashTable();
    std::string name;
    for (int length = 0; length < 70; ++length) {
        uint32_t c = 0xFFFFFFFFu;
        for (char ch : name) c = table[(c ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (c >> 8);
        EXPECT_EQ(CookieNameHash(name), ~c) << length;
        name += static_cast<char>(0x21 + (length * 37) % 200);
    }
}

TEST(CookieCache, NumbersCookiesPerCore) {
    capture::CookieCache cache;
    cache.reset(4);
    EXPECT_EQ(cache.lookup(1, 10, "a").cookie, 9u);
    EXPECT_EQ(cache.lookup(1, 10, "b").cookie, 13u);
    EXPECT_EQ(cache.lookup(0, 10, "a").cookie, 8u);
    EXPECT_EQ(cache.lookup(3, 10, "a").cookie, 11u);
}

TEST(CookieCache, HitsAndEvictsLeastRecentlyUsedOfASet) {
    // proc0, proc1366 and proc2242 with pid 1 share one set.
    capture::CookieCache cache;
    cache.reset(1);
    auto first = cache.lookup(0, 1, "proc0");
    auto second = cache.lookup(0, 1, "proc1366");
    EXPECT_TRUE(first.isNew);
    EXPECT_TRUE(second.isNew);
    auto again = cache.lookup(0, 1, "proc0");  // now the most recent of the set
    EXPECT_FALSE(again.isNew);
    EXPECT_EQ(again.cookie, first.cookie);
    auto third = cache.lookup(0, 1, "proc2242");  // evicts proc1366
    EXPECT_TRUE(third.isNew);
    EXPECT_EQ(cache.lookup(0, 1, "proc0").cookie, first.cookie);
    auto back = cache.lookup(0, 1, "proc1366");
    EXPECT_TRUE(back.isNew);
    EXPECT_NE(back.cookie, second.cookie);
}

TEST(CookieCache, AbsentNameWithPidZeroIsNotMistakenForAnEmptySlot) {
    capture::CookieCache cache;
    cache.reset(2);
    auto first = cache.lookup(0, 0, "");
    EXPECT_TRUE(first.isNew);
    EXPECT_EQ(first.cookie, 4u);
    EXPECT_FALSE(cache.lookup(0, 0, "").isNew);
}

TEST(CaptureWriterCookies, AnnouncesEachCookieOnceWithNameAndLink) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 4);
        EXPECT_EQ(writer.cookieFor(1, 100, 7, 50, "/bin/app"), 9u);
        EXPECT_EQ(writer.cookieFor(1, 100, 7, 60, "/bin/app"), 9u);
        EXPECT_EQ(writer.cookieFor(1, 101, 7, 70, "/bin/app"), 9u);   // another thread
        EXPECT_EQ(writer.cookieFor(2, 100, 7, 80, "/bin/app"), 10u);  // another core
        EXPECT_EQ(writer.cookieFor(9, 100, 7, 80, "/bin/app"), 0u);   // no such core
    }
    rcf::Capture capture = testing::ReadBack(temp.capture());
    auto names1 = RecordsOf<rcf::CookieNameRecord>(capture, 3, 1);
    ASSERT_EQ(names1.size(), 1u);
    EXPECT_EQ(names1[0].cookie, 9u);
    EXPECT_EQ(names1[0].name, "/bin/app");
    auto names2 = RecordsOf<rcf::CookieNameRecord>(capture, 3, 2);
    ASSERT_EQ(names2.size(), 1u);
    EXPECT_EQ(names2[0].cookie, 10u);
    auto links = RecordsOf<rcf::LinkRecord>(capture, 13);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].time, 50u);
    EXPECT_EQ(links[0].cookie, 9u);
    EXPECT_EQ(links[0].pid, 7u);
    EXPECT_EQ(links[0].tid, 100u);
    EXPECT_EQ(links[1].cookie, 10u);
}

TEST(CaptureWriterCookies, EvictedNameComesBackWithNewCookieAndRecords) {
    TempDirectory temp;
    uint32_t evicted = 0;
    uint32_t returned = 0;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        evicted = writer.cookieFor(0, 5, 1, 1, "proc0");
        writer.cookieFor(0, 5, 1, 2, "proc1366");
        writer.cookieFor(0, 5, 1, 3, "proc2242");
        returned = writer.cookieFor(0, 5, 1, 4, "proc0");
    }
    EXPECT_NE(evicted, returned);
    rcf::Capture capture = testing::ReadBack(temp.capture());
    auto names = RecordsOf<rcf::CookieNameRecord>(capture, 3, 0);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[3].name, "proc0");
    EXPECT_EQ(names[3].cookie, returned);
    EXPECT_EQ(RecordsOf<rcf::LinkRecord>(capture, 13).size(), 4u);
}

}  // namespace
}  // namespace vantric
