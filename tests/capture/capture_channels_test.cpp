#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_test_support.h"
#include "capture/capture_writer.h"

namespace vantric {
namespace {

using testing::ByteList;
using testing::TempDirectory;

// The byte counts cover multi-byte packed fields and the linked ids.
TEST(CaptureChannels, StreamHeaderOnceThenExactRecords) {
    TempDirectory temp;
    const uint32_t links[] = {1, 100000};
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        EXPECT_EQ(writer.registerChannel("A"), 0u);
        EXPECT_EQ(writer.registerChannel("B"), 1u);
        EXPECT_EQ(writer.registerChannel("A"), 0u);
        writer.writeChannelText(0, 70, "hello");
        writer.writeActivity(0, 300, uint64_t{1} << 40, 0, 0xFF00FF00u, 0xFFFFFFFFu, links, "abc");
    }
    std::vector<uint8_t> expected =
        ByteList({0x0B}, std::string("ANNOTATE 2\n") + std::string(8, '\0'));
    for (const auto& record :
         {ByteList({0x0D, 2, 0, 0, 0, 25}, "A"), ByteList({0x0D, 2, 0, 0, 0, 26}, "B"),
          ByteList({0x0B, 9, 0, 0, 0, 25, 0, 0xC6, 0x00}, "hello"),
          ByteList({0x0C, 24,   0,    0,    0,    25,   0,    0xAC, 0x02, 0x80, 0x80, 0x80, 0x80,
                    0x80, 0x20, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x7F, 0x02, 0x01, 0xA0, 0x8D, 0x06},
                   "abc")}) {
        expected.insert(expected.end(), record.begin(), record.end());
    }
    EXPECT_EQ(testing::FileBody(temp, "0000000008", 5), expected);
}

TEST(CaptureChannels, TextAndActivitySequencesCountSeparately) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        uint32_t a = writer.registerChannel("A");
        uint32_t b = writer.registerChannel("B");
        EXPECT_EQ(writer.writeChannelText(a, 1, "x"), 0u);
        EXPECT_EQ(writer.writeActivity(a, 0, 0, 0, 0, 0, {}, ""), 0u);
        EXPECT_EQ(writer.writeChannelText(a, 2, "y"), 1u);
        EXPECT_EQ(writer.writeChannelText(b, 3, "z"), 0u);
        EXPECT_EQ(writer.writeActivity(a, 0, 0, 0, 0, 0, {}, ""), 1u);
        EXPECT_EQ(writer.writeChannelText(7, 3, "unknown"), 0u);  // ignored
        EXPECT_EQ(writer.writeActivity(7, 0, 0, 0, 0, 0, {}, ""), 0u);
    }
    rcf::Capture capture = testing::ReadBack(temp.capture());
    auto texts = testing::RecordsOf<rcf::ChannelTextRecord>(capture, 10);
    auto activities = testing::RecordsOf<rcf::ActivityRecord>(capture, 10);
    ASSERT_EQ(texts.size(), 3u);
    ASSERT_EQ(activities.size(), 2u);
    EXPECT_EQ(texts[1].sequence, 1u);
    EXPECT_EQ(texts[2].sequence, 0u);
    EXPECT_EQ(activities[1].sequence, 1u);
}

}  // namespace
}  // namespace vantric
