#include "core/agent_registry.h"

#include <gtest/gtest.h>

#include "capture/capture_writer.h"
#include "core/core_table.h"
#include "core/subsystem_agent.h"
#include "time/time_source.h"
#include "counters/counter_set.h"
#include "support/test_support.h"
#include "json/json_value.h"
#include "kv_test_support.h"
#include "kvhost.h"

namespace {

// Agents without a driver (an unsupported kernel type): the trie only cares
// about their addresses.
class AgentRegistryTest : public testing::Test {
protected:
    vantric::SubsystemAgent* Add(std::string_view name, vantric::AgentRegistry& into) {
        kvhost::StreamCapture quiet;  // "Unsupported kernel type"
        vantric::SubsystemAgent::Settings settings{
            time, capture, counters, vantric::SubsystemAgent::kUnsupported, 0, cores, 0,
            UINT64_MAX, false, false, configuration, 100, 1};
        return into.insert(name, std::make_unique<vantric::SubsystemAgent>(settings));
    }
    vantric::SubsystemAgent* Add(const char* name) { return Add(name, registry); }

    vantric::TimeSource time;
    vantric::CaptureWriter capture;
    vantric::CounterSet counters;
    vantric::CoreTable cores;
    vq::JSONValue configuration = vq::JSONValue::makeObject();
    vantric::AgentRegistry registry;
};

TEST_F(AgentRegistryTest, ExactNamesBeatPatternsAndLongerPrefixesWin) {
    vantric::SubsystemAgent* cpus = Add("cluster0.cpu*");
    vantric::SubsystemAgent* cluster = Add("cluster0.*");
    vantric::SubsystemAgent* exact = Add("cluster0.cpu1");

    EXPECT_EQ(registry.LookupAgent("cluster0.cpu1"), exact);
    EXPECT_EQ(registry.LookupAgent("cluster0.cpu2"), cpus);
    EXPECT_EQ(registry.LookupAgent("cluster0.cpu12"), cpus);
    EXPECT_EQ(registry.LookupAgent("cluster0.l2"), cluster);
    // A pattern needs at least one more character than its prefix.
    EXPECT_EQ(registry.LookupAgent("cluster0.cpu"), cluster);
    EXPECT_EQ(registry.LookupAgent("cluster0."), nullptr);
    EXPECT_EQ(registry.LookupAgent("cluster1.cpu0"), nullptr);
    EXPECT_EQ(registry.LookupAgent(""), nullptr);
    EXPECT_EQ(registry.agents().size(), 3u);
}

TEST_F(AgentRegistryTest, StarAloneMatchesEverythingAndInnerStarIsPlain) {
    vantric::SubsystemAgent* all = Add("*");
    vantric::SubsystemAgent* inner = Add("a*b");
    EXPECT_EQ(registry.LookupAgent("anything"), all);
    EXPECT_EQ(registry.LookupAgent(""), all);
    EXPECT_EQ(registry.LookupAgent("a*b"), inner);
    // "a*" is a prefix of a pattern that continues, not a pattern itself.
    EXPECT_EQ(registry.LookupAgent("axb"), all);
}

TEST_F(AgentRegistryTest, LaterEntryReplacesTrieAgentButBothStayListed) {
    vantric::SubsystemAgent* first = Add("cpu");
    vantric::SubsystemAgent* second = Add("cpu");
    EXPECT_NE(first, second);
    EXPECT_EQ(registry.LookupAgent("cpu"), second);
    EXPECT_EQ(registry.agents().size(), 2u);
}

// A node per character, released on a small stack: any recursion over the
// name's length crashes.
TEST_F(AgentRegistryTest, MillionCharacterNameIsFoundAndReleased) {
    vantric::testing::RunOnSmallStack([&] {
        const std::string name(1000000, 'n');
        vantric::AgentRegistry local;
        vantric::SubsystemAgent* agent = Add(name, local);
        EXPECT_EQ(local.LookupAgent(name), agent);
    });
}

}  // namespace
