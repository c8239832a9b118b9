#include "capture/cookie_cache.h"

#include <gtest/gtest.h>

#include "capture/capture_test_support.h"
#include "capture/capture_writer.h"

namespace vantric {
namespace {

using capture::CookieHashTable;
using capture::CookieNameHash;
using testing::ByteList;
using testing::FileBody;
using testing::RecordsOf;
using testing::TempDirectory;

TEST(CookieHash, TableShiftsRightWithTheUnreflectedPolynomial) {
    const auto& table = CookieHashTable();
    EXPECT_EQ(table[0], 0u);
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

// Four cores: name frames of cores 0 to 2 are 0000000005 to 0000000007, the
// link frame is 0000000025.
TEST(CaptureWriterCookies, NumbersPerCoreAndAnnouncesEachCookieOnce) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 4);
        // No name and pid 0 make key 0, which an empty slot must not match.
        EXPECT_EQ(writer.cookieFor(0, 1, 0, 5, ""), 8u);
        EXPECT_EQ(writer.cookieFor(0, 1, 0, 6, ""), 8u);
        EXPECT_EQ(writer.cookieFor(1, 10, 7, 20, "/bin/app"), 9u);
        EXPECT_EQ(writer.cookieFor(1, 10, 7, 21, "/bin/app"), 9u);
        EXPECT_EQ(writer.cookieFor(1, 11, 7, 22, "/bin/app"), 9u);  // another thread
        EXPECT_EQ(writer.cookieFor(1, 10, 7, 23, "/bin/other"), 13u);
        EXPECT_EQ(writer.cookieFor(2, 10, 7, 24, "/bin/app"), 10u);  // another core
        EXPECT_EQ(writer.cookieFor(9, 10, 7, 25, "/bin/app"), 0u);   // no such core
    }
    EXPECT_EQ(FileBody(temp, "0000000005", 6), ByteList({1, 8, 0}));
    EXPECT_EQ(FileBody(temp, "0000000006", 6),
              ByteList({1, 9, 8}, std::string("/bin/app") + "\x01\x0D\x0A" + "/bin/other"));
    EXPECT_EQ(FileBody(temp, "0000000007", 6), ByteList({1, 10, 8}, "/bin/app"));
    EXPECT_EQ(FileBody(temp, "0000000025", 5),
              ByteList({1, 5, 8, 0, 1, 1, 20, 9, 7, 10, 1, 23, 13, 7, 10, 1, 24, 10, 7, 10}));
}

// proc0, proc1366 and proc2242 with pid 1 share one set of two slots.
TEST(CaptureWriterCookies, EvictsTheLeastRecentlyUsedAndAnnouncesItAgain) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        EXPECT_EQ(writer.cookieFor(0, 5, 1, 1, "proc0"), 2u);
        EXPECT_EQ(writer.cookieFor(0, 5, 1, 2, "proc1366"), 3u);
        EXPECT_EQ(writer.cookieFor(0, 5, 1, 3, "proc0"), 2u);  // now the most recent
        EXPECT_EQ(writer.cookieFor(0, 5, 1, 4, "proc2242"), 4u);
        EXPECT_EQ(writer.cookieFor(0, 5, 1, 5, "proc0"), 2u);
        EXPECT_EQ(writer.cookieFor(0, 5, 1, 6, "proc1366"), 5u);
    }
    rcf::Capture capture = testing::ReadBack(temp.capture());
    auto names = RecordsOf<rcf::CookieNameRecord>(capture, 3, 0);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[3].name, "proc1366");
    EXPECT_EQ(names[3].cookie, 5u);
    EXPECT_EQ(RecordsOf<rcf::LinkRecord>(capture, 13).size(), 4u);
}

}  // namespace
}  // namespace vantric
