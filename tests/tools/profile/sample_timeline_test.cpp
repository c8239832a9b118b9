// The sample timeline keeps every sample, in the bucket that covers its
// time, in at most kMaxBuckets buckets whatever the times.
#include <gtest/gtest.h>

#include <vector>

#include "rcf/profile/sample_timeline.h"

namespace vantric::rcf {
namespace {

// Each sample gets its own slot, so its bucket can be found again.
void ExpectEachSampleCovered(const SampleTimeline& timeline, const std::vector<uint64_t>& times) {
    ASSERT_LE(timeline.buckets().size(), SampleTimeline::kMaxBuckets);
    uint64_t counted = 0;
    for (size_t i = 0; i < timeline.buckets().size(); ++i) {
        for (const auto& [slot, count] : timeline.buckets()[i]) {
            ASSERT_LT(slot, times.size());
            const uint64_t t = times[slot];
            EXPECT_LE(timeline.origin() + i * timeline.width(), t) << "slot " << slot << " in bucket " << i;
            EXPECT_LE(t - timeline.origin() - i * timeline.width(), timeline.width() - 1)
                << "slot " << slot << " in bucket " << i;
            counted += count;
        }
    }
    EXPECT_EQ(counted, times.size());
}

TEST(SampleTimelineTest, FillsBucketsThenCoarsensAtTheLimit) {
    SampleTimeline timeline;
    std::vector<uint64_t> times = {5000};
    timeline.add(5000, 0);
    EXPECT_EQ(timeline.origin(), 4096u);
    EXPECT_EQ(timeline.width(), 1024u);
    // The last time the 1024 buckets of 1024 ns hold, and the first they do not.
    const uint64_t last = 4096 + 1024 * 1024 - 1;
    times.push_back(last);
    timeline.add(last, 1);
    EXPECT_EQ(timeline.width(), 1024u);
    EXPECT_EQ(timeline.buckets().size(), 1024u);
    times.push_back(last + 1);
    timeline.add(last + 1, 2);
    EXPECT_EQ(timeline.width(), 2048u);
    EXPECT_EQ(timeline.origin(), 4096u);
    EXPECT_EQ(timeline.buckets().size(), 513u);
    ExpectEachSampleCovered(timeline, times);
}

TEST(SampleTimelineTest, EarlierSamplesGrowTheFront) {
    SampleTimeline timeline;
    std::vector<uint64_t> times = {1u << 20, (1u << 20) - 1, (1u << 20) - 1024, (1u << 20) - 1025, 0};
    for (uint32_t slot = 0; slot < times.size(); ++slot) timeline.add(times[slot], slot);
    EXPECT_EQ(timeline.origin(), 0u);
    EXPECT_EQ(timeline.width(), 2048u);  // 2^20 ns at 1024 ns needs 1025 buckets
    ExpectEachSampleCovered(timeline, times);
}

TEST(SampleTimelineTest, HoldsTheWholeTimeRange) {
    SampleTimeline timeline;
    const std::vector<uint64_t> times = {uint64_t{1} << 63, ~uint64_t{0}, 0, 1, (uint64_t{1} << 63) - 1};
    for (uint32_t slot = 0; slot < times.size(); ++slot) timeline.add(times[slot], slot);
    EXPECT_EQ(timeline.origin(), 0u);
    ExpectEachSampleCovered(timeline, times);
}

TEST(SampleTimelineTest, CountsRepeatsInOneEntry) {
    SampleTimeline timeline;
    for (int i = 0; i < 3; ++i) timeline.add(2047, 7);
    timeline.add(2048, 7);
    ASSERT_EQ(timeline.buckets().size(), 2u);
    EXPECT_EQ(timeline.buckets()[0].at(7), 3u);
    EXPECT_EQ(timeline.buckets()[1].at(7), 1u);
}

}  // namespace
}  // namespace vantric::rcf
