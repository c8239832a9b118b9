#include "capture/packed_encoding.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace vantric::capture {
namespace {

TEST(PackedEncoding, EncodesBoundaryValues) {
    using I32 = std::numeric_limits<int32_t>;
    using I64 = std::numeric_limits<int64_t>;
    const struct {
        int64_t value;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {0, {0x00}},          {1, {0x01}},          {-1, {0x7F}},          {63, {0x3F}},
        {-64, {0x40}},        {64, {0xC0, 0x00}},   {-65, {0xBF, 0x7F}},   {300, {0xAC, 0x02}},
        {-300, {0xD4, 0x7D}}, {8191, {0xFF, 0x3F}}, {8192, {0x80, 0xC0, 0x00}},
        {I32::max(), {0xFF, 0xFF, 0xFF, 0xFF, 0x07}}, {I32::min(), {0x80, 0x80, 0x80, 0x80, 0x78}},
        {I64::max(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
        {I64::min(), {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7F}},
    };
    for (const auto& c : cases) {
        uint8_t out[kMaxPackedSize + 1] = {};
        size_t size = EncodePacked(c.value, out);
        EXPECT_EQ(std::vector<uint8_t>(out, out + size), c.bytes) << c.value;
        EXPECT_EQ(PackedSize(c.value), c.bytes.size()) << c.value;
    }
}

}  // namespace
}  // namespace vantric::capture
