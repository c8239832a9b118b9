#include "capture/packed_encoding.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace vantric::capture {
namespace {

struct PackedCase {
    int64_t value;
    std::vector<uint8_t> bytes;
};

const PackedCase kCases[] = {
    {0, {0x00}},
    {1, {0x01}},
    {-1, {0x7F}},
    {63, {0x3F}},
    {-64, {0x40}},
    {64, {0xC0, 0x00}},
    {-65, {0xBF, 0x7F}},
    {300, {0xAC, 0x02}},
    {-300, {0xD4, 0x7D}},
    {8191, {0xFF, 0x3F}},
    {8192, {0x80, 0xC0, 0x00}},
    {std::numeric_limits<int32_t>::max(), {0xFF, 0xFF, 0xFF, 0xFF, 0x07}},
    {std::numeric_limits<int32_t>::min(), {0x80, 0x80, 0x80, 0x80, 0x78}},
    {std::numeric_limits<int64_t>::max(),
     {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
    {std::numeric_limits<int64_t>::min(),
     {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F}},
};

TEST(PackedEncoding, EncodesBoundaryValues) {
    for (const PackedCase& c : kCases) {
        uint8_t out[kMaxPackedSize + 1] = {};
        size_t size = EncodePacked(c.value, out);
        EXPECT_EQ(std::vector<uint8_t>(out, out + size), c.bytes) << c.value;
        EXPECT_EQ(PackedSize(c.value), c.bytes.size()) << c.value;
    }
}

TEST(PackedEncoding, ThirtyTwoBitFieldsAreSignExtended) {
    EXPECT_EQ(Widen32(0xFFFFFFFFu), -1);
    EXPECT_EQ(Widen32(0x80000000u), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(Widen32(0x7FFFFFFFu), std::numeric_limits<int32_t>::max());
    uint8_t out[kMaxPackedSize];
    ASSERT_EQ(EncodePacked(Widen32(0xFFFFFFFFu), out), 1u);
    EXPECT_EQ(out[0], 0x7F);
}

TEST(PackedEncoding, SixtyFourBitFieldsKeepTheirTwosComplementValue) {
    EXPECT_EQ(Widen64(uint64_t{1} << 63), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(Widen64(~uint64_t{0}), -1);
    // A 32-bit value in a 64-bit field is zero-extended, so it stays positive.
    uint8_t out[kMaxPackedSize];
    size_t size = EncodePacked(Widen64(0xFFFFFFFFu), out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + size),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x0F}));
}

}  // namespace
}  // namespace vantric::capture
