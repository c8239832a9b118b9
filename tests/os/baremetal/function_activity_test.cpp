#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "baremetal_test_support.h"
#include "os/baremetal/baremetal_driver.h"
#include "os/baremetal/function_activity.h"

namespace vantric {
namespace {

using testing::BareMetalRig;
using testing::kAppId;
using testing::kAppName;
using testing::RecordsOf;

constexpr uint32_t kNone = 0xFFFFFFFFu;

struct Text {
    uint32_t sequence;
    uint32_t value;
    std::string text;
    bool operator==(const Text&) const = default;
};

struct Interval {
    uint32_t relatedId;
    uint64_t start;
    uint64_t duration;
    uint32_t colour;
    std::string text;
    bool operator==(const Interval&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Text& t) {
    return out << "{" << t.sequence << ", " << t.value << ", " << t.text << "}";
}
std::ostream& operator<<(std::ostream& out, const Interval& i) {
    return out << "{" << i.relatedId << ", " << i.start << ", " << i.duration << ", " << i.colour
               << ", " << i.text << "}";
}

std::vector<Text> Texts(const rcf::Capture& capture) {
    std::vector<Text> texts;
    for (const auto& r : RecordsOf<rcf::ChannelTextRecord>(capture, 10)) {
        EXPECT_EQ(r.channel, 0u);
        texts.push_back({r.sequence, r.value, r.text});
    }
    return texts;
}

std::vector<Interval> Intervals(const rcf::Capture& capture) {
    std::vector<Interval> intervals;
    uint32_t sequence = 0;
    for (const auto& r : RecordsOf<rcf::ActivityRecord>(capture, 10)) {
        EXPECT_EQ(r.channel, 0u);
        EXPECT_EQ(r.sequence, sequence++);
        EXPECT_EQ(r.value, kNone);
        EXPECT_TRUE(r.linkedIds.empty());
        intervals.push_back({r.relatedId, r.startTime, r.duration, r.colour, r.text});
    }
    return intervals;
}

class FunctionActivityTest : public ::testing::Test {
protected:
    FunctionActivityTest() { rig.settings["report-function-activity"] = vq::JSONValue(true); }
    BareMetalRig rig;
};

// Channel texts 0 and 1 are the cores, then each core's process and thread.
const std::vector<Text> kTree = {
    {0, kNone, "0"}, {1, kNone, "1"}, {2, 0, kAppName}, {3, 2, "42"}, {4, 1, kAppName},
    {5, 4, "42"}};

TEST_F(FunctionActivityTest, InitWritesTheCoreProcessAndThreadTree) {
    BareMetalDriver& driver = rig.Start();
    ASSERT_NE(driver.activity(), nullptr);
    const rcf::Capture capture = rig.Finish();
    const auto channels = RecordsOf<rcf::ChannelNameRecord>(capture, 10);
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].name, "Function_activity");
    EXPECT_EQ(Texts(capture), kTree);
    EXPECT_TRUE(Intervals(capture).empty());
}

TEST_F(FunctionActivityTest, CallsAndReturnsBecomeIntervals) {
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 100);   // main (symbol 1)
    driver.OnBranch(nullptr, 0, 0x1010, 0x2000, true, 200);  // alpha (symbol 2)
    driver.OnBranch(nullptr, 0, 0x2050, 0x1014, true, 260);  // alpha returns
    driver.OnBranch(nullptr, 0, 0x1020, 0x2000, true, 300);  // alpha again: no new text
    driver.OnBranch(nullptr, 1, 0x700, 0x3001, true, 310);   // beta on core 1 (symbol 3)
    driver.OnBranch(nullptr, 0, 0x2050, 0x1024, true, 345);  // cached return
    const rcf::Capture capture = rig.Finish();

    std::vector<Text> texts = kTree;
    texts.push_back({6, 3, "main"});
    texts.push_back({7, 3, "alpha"});
    texts.push_back({8, 5, "beta"});
    EXPECT_EQ(Texts(capture), texts);
    EXPECT_EQ(Intervals(capture), (std::vector<Interval>{{7, 200, 60, 2, "alpha"},
                                                         {7, 300, 45, 2, "alpha"}}));
}

TEST_F(FunctionActivityTest, NestedReturnWritesTheInnerExitFirst) {
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x1010, 0x2000, true, 10);  // A calls B (alpha)
    driver.OnBranch(nullptr, 0, 0x2020, 0x4000, true, 20);  // B calls C (gamma, symbol 4)
    driver.OnBranch(nullptr, 0, 0x4050, 0x1014, true, 50);  // C returns to A
    const rcf::Capture capture = rig.Finish();
    EXPECT_EQ(Intervals(capture), (std::vector<Interval>{{7, 20, 30, 4, "gamma"},
                                                         {6, 10, 40, 2, "alpha"}}));
}

TEST_F(FunctionActivityTest, FinishClosesEveryOpenFrame) {
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 1, 0x500, 0x1000, true, 10);
    driver.OnBranch(nullptr, 1, 0x1010, 0x2000, true, 20);
    driver.OnBranch(nullptr, 1, 0x2020, 0x4000, true, 30);
    driver.Finish(1000);
    driver.Finish(2000);  // nothing is left open
    EXPECT_TRUE(driver.callStack(1).empty());
    const rcf::Capture capture = rig.Finish();
    EXPECT_EQ(Intervals(capture), (std::vector<Interval>{{8, 30, 970, 4, "gamma"},
                                                         {7, 20, 980, 2, "alpha"},
                                                         {6, 10, 990, 1, "main"}}));
}

TEST_F(FunctionActivityTest, ExceptionDropsFramesWithoutExits) {
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 10);
    driver.OnBranch(nullptr, 0, 0x1010, 0x2000, true, 20);
    driver.OnException();
    driver.Finish(100);
    const rcf::Capture capture = rig.Finish();
    EXPECT_TRUE(Intervals(capture).empty());
}

TEST_F(FunctionActivityTest, NoActivityWithoutTheSetting) {
    rig.settings["report-function-activity"] = vq::JSONValue(false);
    BareMetalDriver& driver = rig.Start();
    driver.OnBranch(nullptr, 0, 0x500, 0x1000, true, 10);
    driver.Finish(100);
    const rcf::Capture capture = rig.Finish();
    EXPECT_TRUE(RecordsOf<rcf::ChannelNameRecord>(capture, 10).empty());
    EXPECT_TRUE(Texts(capture).empty());
}

// The activity object on its own: nodes found again, threads kept apart.
TEST(FunctionActivity, ThreadsHaveTheirOwnOpenCalls) {
    testing::TempDirectory directory;
    CaptureWriter capture;
    capture.open(directory.capture(), 1);
    {
        FunctionActivity activity(capture, 1);
        activity.AddThread(0, 7, "app", 8, "worker");
        activity.AddThread(0, 7, "renamed", 8, "renamed");  // nodes exist: no texts
        activity.AddThread(0, 7, "app", 9, "other");
        activity.Enter(0, 7, 8, "f", 11, 100);
        activity.Enter(0, 7, 9, "g", 12, 150);
        activity.Exit(0, 7, 8, "f", 11, 170);
        activity.Exit(0, 7, 8, "f", 11, 180);  // nothing open on thread 8 any more
        activity.Exit(0, 7, 9, "g", 12, 200);
        activity.Enter(5, 7, 8, "f", 11, 100);  // core out of range: ignored
        activity.Exit(5, 7, 8, "f", 11, 100);
    }
    capture.close();
    const rcf::Capture read = testing::ReadBack(directory.capture());
    EXPECT_EQ(Texts(read), (std::vector<Text>{{0, kNone, "0"},
                                              {1, 0, "app"},
                                              {2, 1, "worker"},
                                              {3, 1, "other"},
                                              {4, 2, "f"},
                                              {5, 3, "g"}}));
    EXPECT_EQ(Intervals(read), (std::vector<Interval>{{4, 100, 70, 11, "f"},
                                                      {5, 150, 50, 12, "g"}}));
}

}  // namespace
}  // namespace vantric
