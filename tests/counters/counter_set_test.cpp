#include "counters/counter_set.h"

#include <gtest/gtest.h>

namespace vantric {
namespace {

uint32_t Add(CounterSet& set, const std::string& title, const std::string& name,
             const std::string& type) {
    return set.AddCounter(title, name, type, "display", "units", true, false, false, 1.0f, false,
                          false, "");
}

TEST(CounterSet, KeysFollowCreationOrder) {
    CounterSet set;
    EXPECT_EQ(Add(set, "Cache", "Misses", "CacheMisses"), 0u);
    EXPECT_EQ(Add(set, "Cache", "Hits", "CacheHits"), 1u);
    ASSERT_EQ(set.descriptions().size(), 2u);
    EXPECT_EQ(set.descriptions()[0].key, 0u);
    EXPECT_EQ(set.descriptions()[1].key, 1u);
    EXPECT_EQ(set.descriptions()[1].name, "Hits");
}

TEST(CounterSet, SameNameAndTypeIsOneCounterAndKeepsTheFirstValues) {
    CounterSet set;
    uint32_t first = set.AddCounter("First", "n", "t", "d1", "u1", true, true, true, 2.0f, true,
                                    true, "r1");
    uint32_t second = set.AddCounter("Second", "n", "t", "d2", "u2", false, false, false, 3.0f,
                                     false, false, "r2");
    EXPECT_EQ(first, second);
    ASSERT_EQ(set.descriptions().size(), 1u);
    const CounterDescription& d = set.descriptions()[0];
    EXPECT_EQ(d.title, "First");
    EXPECT_EQ(d.display, "d1");
    EXPECT_EQ(d.units, "u1");
    EXPECT_TRUE(d.averageSelection);
    EXPECT_TRUE(d.perCpu);
    EXPECT_TRUE(d.percentage);
    EXPECT_EQ(d.multiplier, 2.0f);
    EXPECT_TRUE(d.averageCores);
    EXPECT_TRUE(d.derived);
    EXPECT_EQ(d.renderingType, "r1");
}

TEST(CounterSet, IdentityIsNameFollowedDirectlyByType) {
    CounterSet set;
    EXPECT_EQ(Add(set, "t", "A", "X"), 0u);
    EXPECT_EQ(Add(set, "t", "A", "Y"), 1u);  // other type
    EXPECT_EQ(Add(set, "t", "B", "X"), 2u);  // other name
    EXPECT_EQ(Add(set, "t", "AB", "X"), 3u);
    EXPECT_EQ(Add(set, "t", "A", "BX"), 3u);  // "A"+"BX" == "AB"+"X"
    EXPECT_EQ(set.descriptions().size(), 4u);
}

}  // namespace
}  // namespace vantric
