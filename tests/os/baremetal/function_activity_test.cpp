#include "os/baremetal/function_activity.h"

#include <gtest/gtest.h>

#include <sstream>

#include "baremetal_test_support.h"

namespace vantric {
namespace {

using testing::RecordsOf;
using Lines = std::vector<std::string>;

// Channel texts as "sequence value text" (value -1: none) and intervals as
// "relatedId start duration colour text", all on channel 0.
std::pair<Lines, Lines> Channel(const rcf::Capture& capture) {
    std::pair<Lines, Lines> out;
    for (const auto& r : RecordsOf<rcf::ChannelTextRecord>(capture, 10)) {
        EXPECT_EQ(r.channel, 0u);
        std::ostringstream line;
        line << r.sequence << ' ' << static_cast<int32_t>(r.value) << ' ' << r.text;
        out.first.push_back(line.str());
    }
    for (const auto& r : RecordsOf<rcf::ActivityRecord>(capture, 10)) {
        EXPECT_EQ(r.channel, 0u);
        EXPECT_EQ(r.sequence, out.second.size());
        EXPECT_EQ(r.value, 0xFFFFFFFFu);
        EXPECT_TRUE(r.linkedIds.empty());
        std::ostringstream line;
        line << r.relatedId << ' ' << r.startTime << ' ' << r.duration << ' ' << r.colour << ' '
             << r.text;
        out.second.push_back(line.str());
    }
    return out;
}

// Channel texts 0 and 1 are the cores, then each core's process and thread.
const Lines kTree = {"0 -1 0", "1 -1 1", "2 0 demo", "3 2 42", "4 1 demo", "5 4 42"};

struct Step {
    uint32_t core;
    uint64_t pc;  // 0: Finish at `time`; 1: an exception
    uint64_t target;
    uint64_t time;
};

// Symbols: main 1, alpha 2, beta 3, gamma 4 (baremetal_test_support.h).
TEST(FunctionActivity, CallsAndReturnsOfTheDriverBecomeIntervals) {
    const struct {
        std::vector<Step> steps;
        Lines texts;  // after kTree
        Lines intervals;
    } cases[] = {
        {{}, {}, {}},
        // A return pops one frame; a cached target and a cached return write no new text.
        {{{0, 0x500, 0x1000, 100}, {0, 0x1010, 0x2000, 200}, {0, 0x2050, 0x1014, 260},
          {0, 0x1020, 0x2000, 300}, {1, 0x700, 0x3001, 310}, {0, 0x2050, 0x1024, 345}},
         {"6 3 main", "7 3 alpha", "8 5 beta"}, {"7 200 60 2 alpha", "7 300 45 2 alpha"}},
        // A nested return writes the inner exit first.
        {{{0, 0x1010, 0x2000, 10}, {0, 0x2020, 0x4000, 20}, {0, 0x4050, 0x1014, 50}},
         {"6 3 alpha", "7 3 gamma"}, {"7 20 30 4 gamma", "6 10 40 2 alpha"}},
        // Finish closes three open frames, a second Finish nothing.
        {{{1, 0x500, 0x1000, 10}, {1, 0x1010, 0x2000, 20}, {1, 0x2020, 0x4000, 30}, {0, 0, 0, 1000},
          {0, 0, 0, 2000}},
         {"6 5 main", "7 5 alpha", "8 5 gamma"},
         {"8 30 970 4 gamma", "7 20 980 2 alpha", "6 10 990 1 main"}},
        // An exception drops frames without exits.
        {{{0, 0x500, 0x1000, 10}, {0, 0x1010, 0x2000, 20}, {0, 1, 0, 0}, {0, 0, 0, 100}},
         {"6 3 main", "7 3 alpha"}, {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        testing::BareMetalRig rig;
        rig.settings["report-function-activity"] = vq::JSONValue(true);
        BareMetalDriver& driver = rig.Start();
        for (const Step& s : cases[i].steps) {
            if (s.pc == 0) driver.Finish(s.time);
            if (s.pc == 1) driver.OnException();
            if (s.pc > 1) driver.OnBranch(nullptr, s.core, s.pc, s.target, true, s.time);
        }
        const rcf::Capture capture = rig.Finish();
        const auto channels = RecordsOf<rcf::ChannelNameRecord>(capture, 10);
        ASSERT_EQ(channels.size(), 1u);
        EXPECT_EQ(channels[0].name, "Function_activity");
        Lines texts = kTree;
        texts.insert(texts.end(), cases[i].texts.begin(), cases[i].texts.end());
        EXPECT_EQ(Channel(capture), std::make_pair(texts, cases[i].intervals)) << "case " << i;
    }
}

// Nodes are found again, threads keep their own open calls, and a core out
// of range is ignored.
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
        activity.Enter(5, 7, 8, "f", 11, 100);
        activity.Exit(5, 7, 8, "f", 11, 100);
    }
    capture.close();
    EXPECT_EQ(Channel(testing::ReadBack(directory.capture())),
              std::make_pair(Lines{"0 -1 0", "1 0 app", "2 1 worker", "3 1 other", "4 2 f", "5 3 g"},
                             Lines{"4 100 70 11 f", "5 150 50 12 g"}));
}

}  // namespace
}  // namespace vantric
