#include "util/component_lookup.h"

#include <gtest/gtest.h>

#include <tuple>

#include "kvhost.h"

namespace {

constexpr const char* kScheduler = "vq.SchedulerInterfaceForComponents";

TEST(LookupComponentInterface, FindsOrFailsInOrderWithFixedTexts) {
    kvhost::Simulation simulation;
    kvhost::Simulation noRegistry(kvhost::SimulationOptions{.componentRegistry = false});
    const std::tuple<plexa::CAInterface*, const char*, const char*, uint32_t, const char*> cases[] = {
        {nullptr, nullptr, nullptr, 0, "componentRegistryInterface pointer may not be NULL"},
        {&simulation, nullptr, nullptr, 0, "componentName pointer may not be NULL"},
        {&simulation, "scheduler", nullptr, 0, "ifName pointer may not be NULL"},
        {&noRegistry, "scheduler", "x", 0, "ComponentRegistry interface not found"},
        {&simulation, "nothing", "x", 0, "component not found in component registry"},
        {&simulation, "scheduler", "x", 0, "interface not found"},
        {&simulation, "scheduler", kScheduler, 2, "interface not found"},  // a revision it does not have
    };
    for (const auto& [holder, component, face, revision, text] : cases) {
        const char* error = nullptr;
        EXPECT_EQ(vantric::LookupComponentInterface(holder, component, face, revision, nullptr, &error), nullptr);
        EXPECT_STREQ(error, text);
    }
    // Found through the component registry itself as well as through the simulation.
    uint32_t revision = 0;
    EXPECT_EQ(vantric::LookupComponentInterface(&simulation.registry(), "scheduler", kScheduler, 1, &revision, nullptr),
              static_cast<plexa::CAInterface*>(&simulation.scheduler()));
    EXPECT_EQ(revision, 1u);
}

}  // namespace
