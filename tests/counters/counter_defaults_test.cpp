// The counter defaults file that the discovery listing prints from: every
// accepted entry lands under its source name, refused ones are skipped.
#include "counters/counter_defaults.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/test_support.h"

namespace vantric::testing {
namespace {

std::string Describe(const CounterDefaults& d) {
    std::ostringstream out;
    out << d.sourceName << ' ' << d.title << '/' << d.display << " [" << d.condition << "] "
        << d.units << ' ' << d.averageSelection << d.perCpu << ' ' << d.startTime << '-'
        << d.endTime << " every " << d.messageInterval;
    return out.str();
}

// A later entry for a source replaces an earlier one. The file has no
// "Component", "CounterName" or "Path" to check, and its interval is 32-bit:
// a larger one is not given.
TEST(CounterDefaultsTest, KeepsEveryAcceptedEntryBySource) {
    TempDirectory scratch;
    CounterDefaultsMap defaults;
    std::ostringstream errors;
    EXPECT_FALSE(ReadCounterDefaults(scratch.write("d.json", R"([
        {"ZVTSrcName": "INST", "Title": "First", "Display": "D", "Units": "a", "PerCpu": true},
        {"ZVTSrcName": "INST", "Title": "Instructions", "Display": "Accumulate", "Path": "p",
         "MessageInterval": 4294967296},
        {"ZVTSrcName": "BAD", "Display": "Accumulate"},
        {"ZVTSrcName": "EXCEPTION", "Title": "Exceptions", "Display": "Maximum",
         "Condition": "VECTOR == 3", "Units": "faults", "AverageSelection": false,
         "PerCpu": true, "StartTime": 5, "EndTime": 50, "MessageInterval": 4294967295}])"),
                                     defaults, errors));
    EXPECT_EQ(errors.str(), "Counter setup error : Title for the counter # 3 is invalid\n");
    ASSERT_EQ(defaults.size(), 2u);
    EXPECT_EQ(Describe(defaults.at("INST")),
              "INST Instructions/Accumulate [] units 10 0-18446744073709551615 every 1");
    EXPECT_EQ(Describe(defaults.at("EXCEPTION")),
              "EXCEPTION Exceptions/Maximum [VECTOR == 3] faults 01 5-50 every 4294967295");
    EXPECT_FALSE(ReadCounterDefaults((scratch.path() / "none.json").string(), defaults, errors));
}

TEST(CounterDefaultsTest, ShippedExampleIsAccepted) {
    CounterDefaultsMap defaults;
    std::ostringstream errors;
    ASSERT_TRUE(ReadCounterDefaults(
        std::string(VT_SOURCE_DIR) + "/examples/counters/counter_defaults.json", defaults, errors))
        << errors.str();
    ASSERT_EQ(defaults.size(), 3u);
    EXPECT_EQ(defaults.at("INST").messageInterval, 100000u);
    EXPECT_EQ(defaults.at("EXCEPTION").condition, "VECTOR == 3");
    EXPECT_FALSE(defaults.at("MMU_TLB_FILL").averageSelection);
}

}  // namespace
}  // namespace vantric::testing
