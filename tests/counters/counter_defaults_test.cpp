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

std::string Describe(const CounterDefaults& d) {
    std::ostringstream out;
    out << d.sourceName << ' ' << d.title << '/' << d.display << " [" << d.condition << "] "
        << d.units << " avg " << d.averageSelection << " perCpu " << d.perCpu << " from "
        << d.startTime << " to " << d.endTime << " every " << d.messageInterval;
    return out.str();
}

// Absent keys take defaults, a later entry replaces an earlier one, and a
// 32-bit interval too large to hold counts as not given.
TEST_F(CounterDefaultsTest, ReadsEveryKeyAndAppliesDefaults) {
    ASSERT_TRUE(Read(R"([
        {"ZVTSrcName": "INST", "Title": "First", "Display": "D", "Units": "a"},
        {"ZVTSrcName": "INST", "Title": "Instructions", "Display": "Accumulate",
         "MessageInterval": 4294967296},
        {"ZVTSrcName": "EXCEPTION", "Title": "Exceptions", "Display": "Maximum",
         "Condition": "VECTOR == 3", "Units": "faults", "AverageSelection": false,
         "PerCpu": true, "StartTime": 5, "EndTime": 50, "MessageInterval": 4294967295,
         "Component": "ignored", "CounterName": "ignored", "Path": "ignored"}
    ])")) << errors.str();
    ASSERT_EQ(defaults.size(), 2u);
    EXPECT_EQ(Describe(defaults.at("INST")),
              "INST Instructions/Accumulate [] units avg 1 perCpu 0 from 0 to "
              "18446744073709551615 every 1");
    EXPECT_EQ(Describe(defaults.at("EXCEPTION")),
              "EXCEPTION Exceptions/Maximum [VECTOR == 3] faults avg 0 perCpu 1 from 5 to 50 "
              "every 4294967295");
    EXPECT_EQ(errors.str(), "");
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
