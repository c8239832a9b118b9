// The simulation's objects as a plug-in finds them: which names each object
// answers and at which revision, the component registry, the system trace
// listing, scheduler time, the end request, and a processor's source set.
#include "kv_simulation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kv_test_support.h"

namespace kvhost {
namespace {

struct Answer {
    const char* name;
    uint32_t registered;
};

// Every registered name is answered at its revision and refused above it;
// the names of other objects are refused.
void ExpectAnswers(plexa::CAInterface* object, const std::vector<Answer>& answers) {
    const char* all[] = {"vq.ComponentRegistry",
                         "SystemTraceInterface1",
                         "ComponentTraceInterface1",
                         "plexa.SQOVI2",
                         "vq.SchedulerInterfaceForComponents",
                         "plexa.QOVISimulation2"};
    for (const char* name : all) {
        const Answer* expected = nullptr;
        for (const Answer& a : answers) {
            if (std::string(a.name) == name) expected = &a;
        }
        uint32_t actual = 77;
        plexa::CAInterface* found = object->LookupInterface(name, 0, &actual);
        if (expected == nullptr) {
            EXPECT_EQ(found, nullptr) << name;
            continue;
        }
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(actual, expected->registered) << name;
        EXPECT_EQ(object->LookupInterface(name, expected->registered, nullptr), found) << name;
        EXPECT_EQ(object->LookupInterface(name, expected->registered + 1, nullptr), nullptr)
            << name;
    }
    EXPECT_EQ(object->LookupInterface(nullptr, 0, nullptr), nullptr);
}

TEST(LookupTest, EachObjectAnswersItsOwnNames) {
    Simulation sim;
    Processor& core = sim.AddProcessor("cpu0", true);
    TraceComponent& memory = sim.AddTraceComponent("memory");

    ExpectAnswers(&sim, {{"vq.ComponentRegistry", 0}, {"SystemTraceInterface1", 0}});
    auto* registry = sim.LookupInterface("vq.ComponentRegistry", 0, nullptr);
    ExpectAnswers(registry, {{"vq.ComponentRegistry", 0}});
    ExpectAnswers(sim.LookupInterface("SystemTraceInterface1", 0, nullptr),
                  {{"SystemTraceInterface1", 0}});
    ExpectAnswers(&core, {{"ComponentTraceInterface1", 2}, {"plexa.SQOVI2", 0}});
    ExpectAnswers(&core.debug(), {{"plexa.SQOVI2", 0}});
    ExpectAnswers(&memory, {{"ComponentTraceInterface1", 2}});
    ExpectAnswers(&sim.scheduler(), {{"vq.SchedulerInterfaceForComponents", 1}});
    ExpectAnswers(&sim.control(), {{"plexa.QOVISimulation2", 0}});
    EXPECT_EQ(core.LookupInterface("plexa.SQOVI2", 0, nullptr), &core.debug());
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

TEST(RegistryTest, ComponentsSystemTraceAndScheduler) {
    Simulation sim;
    sim.AddTraceComponent("zeta");
    Processor& core = sim.AddProcessor("cluster0.cpu0", false);
    auto* registry = static_cast<vq::ComponentRegistry*>(
        sim.LookupInterface("vq.ComponentRegistry", 0, nullptr));
    EXPECT_EQ(registry->FindComponent("cluster0.cpu0"), &core);
    EXPECT_EQ(registry->FindComponent("absent"), nullptr);
    EXPECT_EQ(registry->FindComponent(nullptr), nullptr);
    SimulationControl first, second;
    EXPECT_TRUE(registry->AddComponentInterface("VantricTrace", &first));
    EXPECT_TRUE(registry->AddComponentInterface("VantricTrace", &second));  // replaces
    EXPECT_EQ(registry->FindComponent("VantricTrace"), &second);
    EXPECT_FALSE(registry->AddComponentInterface(nullptr, &first));
    EXPECT_THROW(sim.AddTraceComponent("cluster0.cpu0"), std::invalid_argument);

    auto* trace = static_cast<ZVT::SystemTraceInterface*>(
        sim.LookupInterface("SystemTraceInterface1", 0, nullptr));
    ASSERT_EQ(trace->TraceComponentCount(), 2);
    EXPECT_STREQ(trace->TraceComponentName(0), "zeta");  // in insertion order
    EXPECT_EQ(trace->TraceComponent(1), &core);
    EXPECT_EQ(trace->TraceComponent(2), nullptr);
    EXPECT_EQ(trace->TraceComponent(-1), nullptr);
    EXPECT_EQ(trace->TraceComponentName(2), nullptr);

    auto* scheduler = static_cast<vq::SchedulerInterfaceForComponents*>(
        registry->FindComponent("scheduler")
            ->LookupInterface("vq.SchedulerInterfaceForComponents", 1, nullptr));
    sim.SetTicks(1000);
    sim.AdvanceTicks(5);
    sim.SetTickSeconds(0.5e-9);
    EXPECT_EQ(scheduler->getCurrentSimulationTime(nullptr), 1005u);
    EXPECT_EQ(scheduler->getTickSeconds(), 0.5e-9);
    auto* control = static_cast<plexa::QOVISimulation2*>(
        registry->FindComponent("qoviSimulation")
            ->LookupInterface("plexa.QOVISimulation2", 0, nullptr));
    EXPECT_FALSE(sim.simulationEnded());
    control->EndSimulation(true);
    EXPECT_TRUE(sim.simulationEnded());
    EXPECT_TRUE(sim.control().lastStopNow());
    EXPECT_EQ(sim.control().endRequests(), 1u);
}

TEST(ProcessorSourcesTest, StandardSetWithLocalTimeLast) {
    Simulation sim;
    Processor& core = sim.AddProcessor("cpu0", true);
    const struct {
        const char* source;
        std::vector<std::string> fields;
        bool localTimeLast;
    } shapes[] = {{"PERIODIC", {"INST_COUNT", "PC"}, false},
                  {"INST", {"PC", "ISET", "LOCAL_TIME"}, true},
                  {"EXCEPTION", {"PC", "VECTOR", "LOCAL_TIME"}, true},
                  {"SYSCALL", {"TYPE", "LOCAL_TIME"}, true},
                  {"RUN_STATE", {"OLD", "NEW", "LOCAL_TIME"}, true},
                  {"MODE_CHANGE", {"MODE"}, false},
                  {"BRA_DIR", {"PC", "TARGET_PC", "LOCAL_TIME"}, true},
                  {"BRA_INDIR", {"PC", "TARGET_PC", "LOCAL_TIME"}, true},
                  {"CP15_WRITE", {"CRn", "opc1", "CRm", "opc2", "VALUE"}, false},
                  {"SYSREG_WRITE64", {"REGNUM", "VALUE", "UPDATED_VALUE"}, false},
                  {"MMU_TLB_FILL", {"VA", "PA"}, false}};
    ASSERT_EQ(core.TraceSourceCount(), std::size(shapes));
    for (const auto& shape : shapes) {
        ZVT::TraceSource* source = core.FindTraceSource(shape.source);
        ASSERT_NE(source, nullptr) << shape.source;
        ASSERT_EQ(source->FieldCount(), shape.fields.size()) << shape.source;
        for (uint32_t i = 0; i < shape.fields.size(); ++i) {
            EXPECT_EQ(source->FieldAt(i)->Name(), shape.fields[i]) << shape.source;
            EXPECT_EQ(source->FieldAt(i)->FieldIndex(), i);
        }
        ZVT::EventFieldType* last = source->FieldAt(source->FieldCount() - 1);
        if (shape.localTimeLast) {
            EXPECT_EQ(last->TypeCode(), ZVT::SIGNED_INT) << shape.source;
            EXPECT_EQ(last->Size() & 0xFFFF, 8u) << shape.source;
        }
    }
    ZVT::EventFieldType* type = core.FindTraceSource("SYSCALL")->FindField("TYPE");
    ASSERT_EQ(type->EnumConstantCount(), 3u);
    EXPECT_STREQ(type->EnumConstantAt(0).name, "SVC");
    EXPECT_EQ(core.FindTraceSource("RUN_STATE")->FindField("NEW")->EnumConstantCount(), 9u);
    EXPECT_EQ(core.FindTraceSource("MODE_CHANGE")->FindField("MODE")->Size() & 0xFFFF, 1u);
}

TEST(ProcessorSourcesTest, EmitHelpersFillTheirSource) {
    Simulation sim;
    Processor& core = sim.AddProcessor("cpu0", false);
    CallbackProbe inst, run;
    core.FindTraceSource("INST")->CreateEventClass(0x5)->RegisterCallback(CallbackProbe::Callback,
                                                                          &inst);
    core.FindTraceSource("RUN_STATE")
        ->CreateEventClass(0x6)
        ->RegisterCallback(CallbackProbe::Callback, &run);
    core.EmitInst(0x8000, 1, -2);
    core.EmitRunState(1, 4, 0);
    EXPECT_EQ(inst.value(0), 0x8000u);                   // PC
    EXPECT_EQ(static_cast<int64_t>(inst.value(1)), -2);  // LOCAL_TIME
    EXPECT_EQ(run.value(0), 4u);                         // NEW
    core.RemoveSource("INST");
    EXPECT_EQ(core.FindTraceSource("INST"), nullptr);
    core.EmitInst(0x9000);  // still delivered to the callback registered before
    EXPECT_EQ(inst.calls(), 2u);
}

}  // namespace
}  // namespace kvhost
