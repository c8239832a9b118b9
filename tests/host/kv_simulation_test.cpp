// The simulation's objects as a plug-in finds them: the names each object
// answers and at which revision, the options that take objects away for the
// plug-in's failure paths, the system trace listing, and a processor's trace
// sources with their fields in slot order.
#include "kv_simulation.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kvhost {
namespace {

TEST(LookupTest, EachObjectAnswersItsOwnNamesAtItsRevision) {
    Simulation sim;
    Processor& core = sim.AddProcessor("cpu0", true);
    const std::vector<std::string> all = {"vq.ComponentRegistry", "SystemTraceInterface1",
                                          "ComponentTraceInterface1", "plexa.SQOVI2",
                                          "vq.SchedulerInterfaceForComponents", "plexa.QOVISimulation2"};
    const std::pair<plexa::CAInterface*, std::map<std::string, uint32_t>> cases[] = {
        {&sim, {{"vq.ComponentRegistry", 0}, {"SystemTraceInterface1", 0}}},
        {&core, {{"ComponentTraceInterface1", 2}, {"plexa.SQOVI2", 0}}},
        {&core.debug(), {{"plexa.SQOVI2", 0}}},
        {&sim.AddTraceComponent("memory"), {{"ComponentTraceInterface1", 2}}},
        {&sim.scheduler(), {{"vq.SchedulerInterfaceForComponents", 1}}},
        {&sim.control(), {{"plexa.QOVISimulation2", 0}}},
    };
    for (const auto& [object, answers] : cases) {
        for (const std::string& name : all) {
            uint32_t actual = 77;
            const bool found = object->LookupInterface(name.c_str(), 0, &actual) != nullptr;
            EXPECT_EQ(found, answers.count(name) == 1) << name;
            if (!found || answers.count(name) == 0) continue;
            EXPECT_EQ(actual, answers.at(name)) << name;
            EXPECT_EQ(object->LookupInterface(name.c_str(), actual + 1, nullptr), nullptr) << name;
        }
        EXPECT_EQ(object->LookupInterface(nullptr, 0, nullptr), nullptr);
    }
    EXPECT_EQ(core.LookupInterface("plexa.SQOVI2", 0, nullptr), &core.debug());
    auto* registry = static_cast<vq::ComponentRegistry*>(sim.LookupInterface("vq.ComponentRegistry", 0, nullptr));
    EXPECT_EQ(registry->FindComponent("scheduler"), &sim.scheduler());
    EXPECT_EQ(registry->FindComponent("qoviSimulation"), &sim.control());
    auto* trace = static_cast<ZVT::SystemTraceInterface*>(sim.LookupInterface("SystemTraceInterface1", 0, nullptr));
    ASSERT_EQ(trace->TraceComponentCount(), 2);
    EXPECT_STREQ(trace->TraceComponentName(1), "memory");  // in insertion order
    EXPECT_EQ(trace->TraceComponent(0), &core);
    EXPECT_EQ(trace->TraceComponent(2), nullptr);
    EXPECT_EQ(trace->TraceComponent(-1), nullptr);
}

TEST(LookupTest, OptionsRemoveWhatFailurePathsNeed) {
    SimulationOptions options;
    options.componentRegistry = false;
    options.scheduler = false;
    options.simulationControl = false;
    Simulation sim(options);
    EXPECT_EQ(sim.LookupInterface("vq.ComponentRegistry", 0, nullptr), nullptr);
    EXPECT_EQ(sim.registry().FindComponent("scheduler"), nullptr);
    EXPECT_EQ(sim.registry().FindComponent("qoviSimulation"), nullptr);
    Processor& core = sim.AddProcessor("cpu0", ProcessorOptions{true, false});
    EXPECT_EQ(core.LookupInterface("plexa.SQOVI2", 0, nullptr), nullptr);
    core.SetTraceRevision(1);
    EXPECT_EQ(core.LookupInterface("ComponentTraceInterface1", 2, nullptr), nullptr);
    EXPECT_NE(core.LookupInterface("ComponentTraceInterface1", 1, nullptr), nullptr);
}

TEST(ProcessorSourcesTest, StandardSetWithFieldsInSlotOrder) {
    Simulation sim;
    Processor& core = sim.AddProcessor("cpu0", true);
    const std::pair<const char*, std::vector<std::string>> shapes[] = {
        {"PERIODIC", {"INST_COUNT", "PC"}},       {"INST", {"PC", "ISET", "LOCAL_TIME"}},
        {"EXCEPTION", {"PC", "VECTOR", "LOCAL_TIME"}}, {"SYSCALL", {"TYPE", "LOCAL_TIME"}},
        {"RUN_STATE", {"OLD", "NEW", "LOCAL_TIME"}}, {"MODE_CHANGE", {"MODE"}},
        {"BRA_DIR", {"PC", "TARGET_PC", "LOCAL_TIME"}}, {"BRA_INDIR", {"PC", "TARGET_PC", "LOCAL_TIME"}},
        {"CP15_WRITE", {"CRn", "opc1", "CRm", "opc2", "VALUE"}},
        {"SYSREG_WRITE64", {"REGNUM", "VALUE", "UPDATED_VALUE"}}, {"MMU_TLB_FILL", {"VA", "PA"}}};
    ASSERT_EQ(core.TraceSourceCount(), std::size(shapes));
    for (const auto& [name, fields] : shapes) {
        ZVT::TraceSource* source = core.FindTraceSource(name);
        ASSERT_NE(source, nullptr) << name;
        ASSERT_EQ(source->FieldCount(), fields.size()) << name;
        for (uint32_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(source->FieldAt(i)->Name(), fields[i]) << name;
            EXPECT_EQ(source->FieldAt(i)->FieldIndex(), i);
        }
        if (fields.back() != "LOCAL_TIME") continue;  // the tick offset: SIGNED_INT of 8 bytes
        EXPECT_EQ(source->FieldAt(source->FieldCount() - 1)->TypeCode(), ZVT::SIGNED_INT) << name;
        EXPECT_EQ(source->FieldAt(source->FieldCount() - 1)->Size() & 0xFFFF, 8u) << name;
    }
    EXPECT_STREQ(core.FindTraceSource("SYSCALL")->FindField("TYPE")->EnumConstantAt(0).name, "SVC");
    EXPECT_EQ(core.FindTraceSource("RUN_STATE")->FindField("NEW")->EnumConstantCount(), 9u);
    EXPECT_EQ(core.FindTraceSource("MODE_CHANGE")->FindField("MODE")->Size() & 0xFFFF, 1u);
}

}  // namespace
}  // namespace kvhost
