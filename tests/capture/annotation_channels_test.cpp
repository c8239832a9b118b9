#include "capture/annotation_channels.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace vantric::capture {
namespace {

using namespace std::string_literals;

// The byte counts cover multi-byte packed fields and the linked ids.
TEST(AnnotationChannels, StreamHeaderOnceThenExactRecordsAndSequences) {
    testing::TempDirectory temp;
    const uint32_t links[] = {1, 100000};
    {
        FrameFile external;
        ASSERT_TRUE(external.open((temp.path() / "external").string()));
        const uint8_t frameLength[4] = {};  // patched by finish()
        external.write(frameLength, 4);
        AnnotationChannels channels;
        EXPECT_EQ(channels.registerChannel(external, "A"), 0u);
        EXPECT_EQ(channels.registerChannel(external, "B"), 1u);
        EXPECT_EQ(channels.registerChannel(external, "A"), 0u);
        EXPECT_EQ(channels.writeText(external, 0, 70, "hello"), 0u);
        EXPECT_EQ(channels.writeActivity(external, 0, 300, uint64_t{1} << 40, 0, 0xFF00FF00u,
                                         0xFFFFFFFFu, links, "abc"),
                  0u);
        external.finish();
        // Dropped records still count: texts and activities apart, per channel.
        FrameFile closed;
        EXPECT_EQ(channels.writeText(closed, 0, 2, "y"), 1u);
        EXPECT_EQ(channels.writeText(closed, 1, 3, "z"), 0u);
        EXPECT_EQ(channels.writeActivity(closed, 0, 0, 0, 0, 0, 0, {}, ""), 1u);
        EXPECT_EQ(channels.writeText(closed, 0, 2, "y"), 2u);
        EXPECT_EQ(channels.writeText(closed, 2, 3, "unknown channel"), 0u);
        EXPECT_EQ(channels.writeActivity(closed, 2, 0, 0, 0, 0, 0, {}, ""), 0u);
    }
    // Stream header; names A and B as 25 and 26; a text; an activity.
    EXPECT_EQ(testing::ReadFile(temp.path() / "external").substr(4),
              "\x0B" "ANNOTATE 2\n\0\0\0\0\0\0\0\0"
              "\x0D\x02\0\0\0\x19" "A" "\x0D\x02\0\0\0\x1A" "B"
              "\x0B\x09\0\0\0\x19\0\xC6\0" "hello"
              "\x0C\x18\0\0\0\x19\0\xAC\x02\x80\x80\x80\x80\x80\x20"
              "\0\0\xFF\0\xFF\x7F\x02\x01\xA0\x8D\x06" "abc"s);
}

}  // namespace
}  // namespace vantric::capture
