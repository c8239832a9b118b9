#include "rcf/byte_reader.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

namespace vantric::rcf {
namespace {

TEST(ByteReader, DecodesPackedIntegers) {
    using S = ByteReader::Status;
    using I64 = std::numeric_limits<int64_t>;
    // Bytes, status, and when kOk the value and the bytes it took.
    const std::tuple<std::vector<uint8_t>, S, int64_t, size_t> cases[] = {
        {{0x7F}, S::kOk, -1, 1},           {{0x40}, S::kOk, -64, 1},
        {{0xC0, 0x00}, S::kOk, 64, 2},     {{0xBF, 0x7F}, S::kOk, -65, 2},
        {{0xAC, 0x02, 0x55}, S::kOk, 300, 2},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, S::kOk, I64::max(), 10},
        {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F}, S::kOk, I64::min(), 10},
        {{}, S::kTruncated, 0, 0},         {{0xC0}, S::kTruncated, 0, 0},
        {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}, S::kOverlong, 0, 0},
    };
    for (const auto& [packed, status, expected, consumed] : cases) {
        std::vector<uint8_t> bytes = packed;
        bytes.insert(bytes.begin(), 0xEE);  // offsets are relative to the data, not the range
        ByteReader reader(bytes.data(), 1, bytes.size());
        int64_t got = 12345;
        EXPECT_EQ(reader.packed(got), status == S::kOk);
        EXPECT_EQ(reader.status(), status);
        EXPECT_EQ(reader.offset(), 1 + consumed);
        EXPECT_EQ(status == S::kOk ? got : reader.failureOffset(), status == S::kOk ? expected : 1);
    }
}

TEST(ByteReader, StringsAndFixedWidthFields) {
    const std::vector<uint8_t> bytes = {0x03, 'a',  'b',  'c', 0x78, 0x56,
                                        0x34, 0x12, 0x05, 'x', 0x7F};
    ByteReader reader(bytes.data(), 0, bytes.size() - 1);
    std::string text;
    uint32_t word = 0;
    ASSERT_TRUE(reader.string(text));
    EXPECT_EQ(text, "abc");
    ASSERT_TRUE(reader.u32le(word));
    EXPECT_EQ(word, 0x12345678u);
    EXPECT_FALSE(reader.string(text));  // claims 5 bytes, has 1
    EXPECT_EQ(reader.status(), ByteReader::Status::kTruncated);
    EXPECT_EQ(reader.failureOffset(), 8u);
    ByteReader negative(bytes.data() + 10, 0, 1);
    EXPECT_FALSE(negative.string(text));
    EXPECT_EQ(negative.status(), ByteReader::Status::kInvalid);
}

}  // namespace
}  // namespace vantric::rcf
