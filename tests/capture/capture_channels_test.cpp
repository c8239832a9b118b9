#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_test_support.h"
#include "capture/capture_writer.h"

namespace vantric {
namespace {

using testing::ReadBack;
using testing::ReadBytes;
using testing::RecordsOf;
using testing::TempDirectory;

constexpr const char* kExternalFile = "0000000008";  // one core

std::vector<uint8_t> Bytes(std::initializer_list<int> values, std::string_view text = {}) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

std::vector<uint8_t> Body(const TempDirectory& temp) {
    std::vector<uint8_t> bytes = ReadBytes(temp.path() / "test.rcf" / kExternalFile);
    return bytes.size() < 5 ? std::vector<uint8_t>{}
                            : std::vector<uint8_t>(bytes.begin() + 5, bytes.end());
}

TEST(CaptureChannels, RegistersEachNameOnceAfterOneStreamHeader) {
    TempDirectory temp;
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        EXPECT_EQ(writer.registerChannel("A"), 0u);
        EXPECT_EQ(writer.registerChannel("B"), 1u);
        EXPECT_EQ(writer.registerChannel("A"), 0u);
    }
    std::vector<uint8_t> expected = Bytes({0x0B}, "ANNOTATE 2\n");
    for (int i = 0; i < 8; ++i) expected.push_back(0);
    for (auto record : {Bytes({0x0D, 2, 0, 0, 0, 25}, "A"), Bytes({0x0D, 2, 0, 0, 0, 26}, "B")}) {
        expected.insert(expected.end(), record.begin(), record.end());
    }
    EXPECT_EQ(Body(temp), expected);
    auto names = RecordsOf<rcf::ChannelNameRecord>(ReadBack(temp.capture()), 10);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1].channel, 1u);
    EXPECT_EQ(names[1].name, "B");
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
        EXPECT_EQ(writer.writeChannelText(7, 3, "unknown"), 0u);
        EXPECT_EQ(writer.writeActivity(7, 0, 0, 0, 0, 0, {}, ""), 0u);
    }
    rcf::Capture capture = ReadBack(temp.capture());
    auto texts = RecordsOf<rcf::ChannelTextRecord>(capture, 10);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1].sequence, 1u);
    EXPECT_EQ(texts[1].value, 2u);
    EXPECT_EQ(texts[1].text, "y");
    EXPECT_EQ(texts[2].channel, 1u);
    EXPECT_EQ(RecordsOf<rcf::ActivityRecord>(capture, 10).size(), 2u);
}

TEST(CaptureChannels, ByteCountsCoverMultiByteFieldsAndLinkedIds) {
    TempDirectory temp;
    const uint32_t links[] = {1, 100000};
    {
        CaptureWriter writer;
        writer.open(temp.capture(), 1);
        writer.registerChannel("A");
        writer.writeChannelText(0, 70, "hello");
        writer.writeActivity(0, 300, uint64_t{1} << 40, 0, 0xFF00FF00u, 0xFFFFFFFFu, links, "abc");
    }
    std::vector<uint8_t> body = Body(temp);
    size_t text = 20 + 7;  // stream header, channel name
    ASSERT_GE(body.size(), text + 14 + 29);
    // 1 (channel) + 1 (sequence) + 2 (value 70) + 5 (text).
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + text, body.begin() + text + 14),
              Bytes({0x0B, 9, 0, 0, 0, 25, 0, 0xC6, 0x00}, "hello"));
    // 1 + 1 + 2 (300) + 6 (2^40) + 1 + 4 (colour) + 1 (-1) + 1 (two links) + 1 + 3 (100000) + 3.
    size_t activity = text + 14;
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + activity, body.end()),
              Bytes({0x0C, 24,   0,    0,    0,    25,   0,    0xAC, 0x02, 0x80, 0x80, 0x80, 0x80,
                     0x80, 0x20, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x7F, 0x02, 0x01, 0xA0, 0x8D, 0x06},
                    "abc"));
    auto activities = RecordsOf<rcf::ActivityRecord>(ReadBack(temp.capture()), 10);
    ASSERT_EQ(activities.size(), 1u);
    EXPECT_EQ(activities[0].relatedId, 300u);
    EXPECT_EQ(activities[0].startTime, uint64_t{1} << 40);
    EXPECT_EQ(activities[0].colour, 0xFF00FF00u);
    EXPECT_EQ(activities[0].value, 0xFFFFFFFFu);
    EXPECT_EQ(activities[0].linkedIds, (std::vector<uint32_t>{1, 100000}));
    EXPECT_EQ(activities[0].text, "abc");
}

}  // namespace
}  // namespace vantric
