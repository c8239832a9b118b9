// Reading the counter defaults file that the discovery listing prints from.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "counters/counter_defaults.h"
#include "kv_test_support.h"

namespace vantric {
namespace {

class CounterDefaultsTest : public ::testing::Test {
protected:
    bool Read(const std::string& text) {
        std::ofstream(path) << text;
        return ReadCounterDefaults(path, defaults, errors);
    }

    kvhost::TempDirectory scratch;
    std::string path = (scratch.path() / "defaults.json").string();
    CounterDefaultsMap defaults;
    std::ostringstream errors;
};

TEST_F(CounterDefaultsTest, ReadsEveryKeyAndAppliesDefaults) {
    ASSERT_TRUE(Read(R"([
        {"ZVTSrcName": "INST", "Title": "Instructions", "Display": "Accumulate"},
        {"ZVTSrcName": "EXCEPTION", "Title": "Exceptions", "Display": "Maximum",
         "Condition": "VECTOR == 3", "Units": "faults", "AverageSelection": false,
         "PerCpu": true, "StartTime": 5, "EndTime": 50, "MessageInterval": 4294967295,
         "Component": "ignored", "CounterName": "ignored", "Path": "ignored"}
    ])")) << errors.str();
    ASSERT_EQ(defaults.size(), 2u);
    const CounterDefaults& inst = defaults.at("INST");
    EXPECT_EQ(inst.sourceName, "INST");
    EXPECT_EQ(inst.title, "Instructions");
    EXPECT_EQ(inst.display, "Accumulate");
    EXPECT_EQ(inst.condition, "");
    EXPECT_EQ(inst.units, "units");
    EXPECT_TRUE(inst.averageSelection);
    EXPECT_FALSE(inst.perCpu);
    EXPECT_EQ(inst.startTime, 0u);
    EXPECT_EQ(inst.endTime, UINT64_MAX);
    EXPECT_EQ(inst.messageInterval, 1u);
    const CounterDefaults& exc = defaults.at("EXCEPTION");
    EXPECT_EQ(exc.condition, "VECTOR == 3");
    EXPECT_EQ(exc.units, "faults");
    EXPECT_FALSE(exc.averageSelection);
    EXPECT_TRUE(exc.perCpu);
    EXPECT_EQ(exc.startTime, 5u);
    EXPECT_EQ(exc.endTime, 50u);
    EXPECT_EQ(exc.messageInterval, 4294967295u);
    EXPECT_EQ(errors.str(), "");
}

TEST_F(CounterDefaultsTest, LaterEntryReplacesAnEarlierOne) {
    ASSERT_TRUE(Read(R"([
        {"ZVTSrcName": "INST", "Title": "First", "Display": "D", "Units": "a"},
        {"ZVTSrcName": "INST", "Title": "Second", "Display": "D"}
    ])"));
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults.at("INST").title, "Second");
    EXPECT_EQ(defaults.at("INST").units, "units");
}

// A 32-bit interval too large to hold counts as not given.
TEST_F(CounterDefaultsTest, IntervalBeyond32BitsIsNotGiven) {
    ASSERT_TRUE(Read(R"([{"ZVTSrcName": "INST", "Title": "T", "Display": "D",
                          "MessageInterval": 4294967296}])"));
    EXPECT_EQ(defaults.at("INST").messageInterval, 1u);
}

TEST_F(CounterDefaultsTest, RefusedEntriesAreReportedAndSkipped) {
    EXPECT_FALSE(Read(R"([
        {"Title": "T", "Display": "D"},
        {"ZVTSrcName": "A", "Display": "D"},
        {"ZVTSrcName": "B", "Title": "T"},
        {"ZVTSrcName": "C", "Title": "T", "Display": "D", "StartTime": 9, "EndTime": 8},
        {"ZVTSrcName": "D", "Title": "T", "Display": "D", "MessageInterval": 0},
        {"ZVTSrcName": "E", "Title": "T", "Display": "D"}
    ])"));
    EXPECT_EQ(errors.str(),
              "Counter setup error : ZVTSrcName for the counter # 1 is invalid\n"
              "Counter setup error : Title for the counter # 2 is invalid\n"
              "Counter setup error : Display value for the counter # 3 is invalid\n"
              "Counter setup error : Start and end time specified for the counter # 4 is invalid\n"
              "Counter setup error : MessageInterval for the counter # 5 is invalid\n");
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults.count("E"), 1u);
}

TEST_F(CounterDefaultsTest, UnreadableFileIsOneMessage) {
    EXPECT_FALSE(Read("[{"));
    const std::string missing = (scratch.path() / "none.json").string();
    EXPECT_FALSE(ReadCounterDefaults(missing, defaults, errors));
    EXPECT_EQ(errors.str(), "Counters setup failed : Cannot create JSON stream for " + path +
                                "\nCounters setup failed : Cannot create JSON stream for " +
                                missing + "\n");
    EXPECT_TRUE(defaults.empty());
}

}  // namespace
}  // namespace vantric
