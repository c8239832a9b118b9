#include "counters/counter_set.h"

#include <gtest/gtest.h>

namespace vantric {
namespace {

// Keys follow creation order; a counter is identified by its name followed
// directly by its type, and the first one added keeps its values.
TEST(CounterSet, AddCounterKeys) {
    CounterSet set;
    const auto add = [&](const std::string& name, const std::string& type) {
        return set.AddCounter("t", name, type, "d", "u", true, false, false, 1.0f, false, false, "");
    };
    EXPECT_EQ(set.AddCounter("First", "A", "X", "d1", "u1", true, true, true, 2.0f, true, true,
                             "r1"),
              0u);
    EXPECT_EQ(add("A", "Y"), 1u);  // other type
    EXPECT_EQ(add("B", "X"), 2u);  // other name
    EXPECT_EQ(add("AB", "X"), 3u);
    EXPECT_EQ(add("A", "BX"), 3u);  // "A"+"BX" == "AB"+"X"
    EXPECT_EQ(add("A", "X"), 0u);
    ASSERT_EQ(set.descriptions().size(), 4u);
    for (uint32_t key = 0; key < 4; ++key) EXPECT_EQ(set.descriptions()[key].key, key);
    const CounterDescription& d = set.descriptions()[0];
    EXPECT_EQ(d.title + d.name + d.type + d.display + d.units + d.renderingType, "FirstAXd1u1r1");
    EXPECT_TRUE(d.averageSelection && d.perCpu && d.percentage && d.averageCores && d.derived);
    EXPECT_EQ(d.multiplier, 2.0f);
}

}  // namespace
}  // namespace vantric
