#include "rcf/byte_reader.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace vantric::rcf {
namespace {

struct DecodeCase {
    std::vector<uint8_t> bytes;
    ByteReader::Status status;
    int64_t value;    // when kOk
    size_t consumed;  // when kOk
};

TEST(ByteReader, DecodesPackedIntegers) {
    const DecodeCase cases[] = {
        {{0x00}, ByteReader::Status::kOk, 0, 1},
        {{0x7F}, ByteReader::Status::kOk, -1, 1},
        {{0x3F}, ByteReader::Status::kOk, 63, 1},
        {{0x40}, ByteReader::Status::kOk, -64, 1},
        {{0xC0, 0x00}, ByteReader::Status::kOk, 64, 2},
        {{0xBF, 0x7F}, ByteReader::Status::kOk, -65, 2},
        {{0xAC, 0x02, 0x55}, ByteReader::Status::kOk, 300, 2},
        {{0xD4, 0x7D}, ByteReader::Status::kOk, -300, 2},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},
         ByteReader::Status::kOk,
         std::numeric_limits<int64_t>::max(),
         10},
        {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F},
         ByteReader::Status::kOk,
         std::numeric_limits<int64_t>::min(),
         10},
        {{}, ByteReader::Status::kTruncated, 0, 0},
        {{0x80}, ByteReader::Status::kTruncated, 0, 0},
        {{0xC0}, ByteReader::Status::kTruncated, 0, 0},
        {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00},
         ByteReader::Status::kOverlong,
         0,
         0},
    };
    for (const DecodeCase& c : cases) {
        std::vector<uint8_t> bytes = c.bytes;
        bytes.insert(bytes.begin(), 0xEE);  // offsets are relative to the data, not the range
        ByteReader reader(bytes.data(), 1, bytes.size());
        int64_t value = 12345;
        bool ok = reader.packed(value);
        EXPECT_EQ(ok, c.status == ByteReader::Status::kOk);
        EXPECT_EQ(reader.status(), c.status);
        if (ok) {
            EXPECT_EQ(value, c.value);
            EXPECT_EQ(reader.offset(), 1 + c.consumed);
        } else {
            EXPECT_EQ(reader.failureOffset(), 1u);
            EXPECT_EQ(reader.offset(), 1u);
        }
    }
}

TEST(ByteReader, StringsAndFixedWidthFields) {
    const std::vector<uint8_t> bytes = {0x03, 'a', 'b', 'c', 0x78, 0x56, 0x34, 0x12, 0x05, 'x'};
    ByteReader reader(bytes.data(), 0, bytes.size());
    std::string text;
    uint32_t word = 0;
    ASSERT_TRUE(reader.string(text));
    EXPECT_EQ(text, "abc");
    ASSERT_TRUE(reader.u32le(word));
    EXPECT_EQ(word, 0x12345678u);
    EXPECT_FALSE(reader.string(text));  // claims 5 bytes, has 1
    EXPECT_EQ(reader.status(), ByteReader::Status::kTruncated);
    EXPECT_EQ(reader.failureOffset(), 8u);

    const std::vector<uint8_t> negative = {0x7F};
    ByteReader bad(negative.data(), 0, negative.size());
    EXPECT_FALSE(bad.string(text));
    EXPECT_EQ(bad.status(), ByteReader::Status::kInvalid);
}

}  // namespace
}  // namespace vantric::rcf
