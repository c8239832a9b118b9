#include "util/component_lookup.h"

#include <gtest/gtest.h>

#include <string>

#include "kvhost.h"

namespace {

TEST(LookupComponentInterface, FailsInOrderWithFixedTexts) {
    kvhost::Simulation simulation;
    const char* error = nullptr;
    EXPECT_EQ(vantric::LookupComponentInterface(nullptr, nullptr, nullptr, 0, nullptr, &error), nullptr);
    EXPECT_STREQ(error, "componentRegistryInterface pointer may not be NULL");
    EXPECT_EQ(vantric::LookupComponentInterface(&simulation, nullptr, nullptr, 0, nullptr, &error), nullptr);
    EXPECT_STREQ(error, "componentName pointer may not be NULL");
    EXPECT_EQ(vantric::LookupComponentInterface(&simulation, "scheduler", nullptr, 0, nullptr, &error), nullptr);
    EXPECT_STREQ(error, "ifName pointer may not be NULL");
    EXPECT_EQ(vantric::LookupComponentInterface(&simulation, "nothing", "x", 0, nullptr, &error), nullptr);
    EXPECT_STREQ(error, "component not found in component registry");
    EXPECT_EQ(vantric::LookupComponentInterface(&simulation, "scheduler", "x", 0, nullptr, &error), nullptr);
    EXPECT_STREQ(error, "interface not found");
    // A null error pointer is allowed.
    EXPECT_EQ(vantric::LookupComponentInterface(nullptr, nullptr, nullptr, 0, nullptr, nullptr), nullptr);

    kvhost::Simulation noRegistry(kvhost::SimulationOptions{.componentRegistry = false});
    EXPECT_EQ(vantric::LookupComponentInterface(&noRegistry, "scheduler", "x", 0, nullptr, &error), nullptr);
    EXPECT_STREQ(error, "ComponentRegistry interface not found");
}

TEST(LookupComponentInterface, FindsThroughSimulationOrRegistry) {
    kvhost::Simulation simulation;
    uint32_t revision = 0;
    const char* error = nullptr;
    plexa::CAInterface* scheduler = vantric::LookupComponentInterface(
        &simulation, "scheduler", "vq.SchedulerInterfaceForComponents", 1, &revision, &error);
    EXPECT_EQ(scheduler, static_cast<plexa::CAInterface*>(&simulation.scheduler()));
    EXPECT_EQ(revision, 1u);
    EXPECT_EQ(error, nullptr);
    // The component registry answers for its own name too.
    EXPECT_EQ(vantric::LookupComponentInterface(&simulation.registry(), "scheduler",
                                                "vq.SchedulerInterfaceForComponents", 1, nullptr,
                                                nullptr),
              scheduler);
    // A revision the component does not have.
    EXPECT_EQ(vantric::LookupComponentInterface(&simulation, "scheduler",
                                                "vq.SchedulerInterfaceForComponents", 2, nullptr,
                                                &error),
              nullptr);
    EXPECT_STREQ(error, "interface not found");
}

}  // namespace
