// The substitute Kelvane simulation: the object a plug-in instance is
// connected to. It answers "vq.ComponentRegistry" and "SystemTraceInterface1",
// owns the trace components (plain ones and processors, listed in insertion
// order) and the "scheduler" and "qoviSimulation" components.
//
//   kvhost::Simulation sim;
//   kvhost::Processor& core = sim.AddProcessor("cluster0.cpu0", /*is64=*/true);
//   kvhost::TraceComponent& memory = sim.AddTraceComponent("memory");
//   memory.AddSource("READ", "A read", {kvhost::Unsigned("ADDR", 8)});
//   plugin->ConnectSimulation(&sim);
//   core.EmitInst(0x1000);
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host_abi.h"
#include "kv_processor.h"
#include "kv_services.h"
#include "kv_trace_component.h"

namespace kvhost {

struct SimulationOptions {
    bool componentRegistry = true;  // the simulation answers "vq.ComponentRegistry"
    bool systemTrace = true;        // the simulation answers "SystemTraceInterface1"
    bool scheduler = true;          // the registry holds "scheduler"
    bool simulationControl = true;  // the registry holds "qoviSimulation"
};

class Simulation final : public plexa::CAInterface {
public:
    explicit Simulation(SimulationOptions options = {});
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;
    ~Simulation() override;

    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;

    // Adds a component after the existing ones and enters it in the registry
    // under its name; a duplicate name throws std::invalid_argument.
    TraceComponent& AddTraceComponent(std::string name);
    Processor& AddProcessor(std::string name, bool is64);
    Processor& AddProcessor(std::string name, ProcessorOptions options);

    size_t traceComponentCount() const { return components_.size(); }
    TraceComponent& traceComponentAt(size_t index) { return *components_.at(index); }
    TraceComponent* FindTraceComponent(std::string_view name);
    Processor* FindProcessor(std::string_view name);
    // Processors only, in insertion order.
    size_t processorCount() const { return processors_.size(); }
    Processor& processorAt(size_t index) { return *processors_.at(index); }

    ComponentRegistry& registry() { return registry_; }
    Scheduler& scheduler() { return scheduler_; }
    SimulationControl& control() { return control_; }
    ZVT::SystemTraceInterface& systemTrace();

    void SetTicks(uint64_t ticks) { scheduler_.SetTicks(ticks); }
    void AdvanceTicks(uint64_t ticks) { scheduler_.AdvanceTicks(ticks); }
    void SetTickSeconds(double seconds) { scheduler_.SetTickSeconds(seconds); }
    // True once someone called EndSimulation on "qoviSimulation".
    bool simulationEnded() const { return control_.ended(); }

private:
    class SystemTrace;

    TraceComponent& Insert(std::unique_ptr<TraceComponent> component);

    SimulationOptions options_;
    ComponentRegistry registry_;
    Scheduler scheduler_;
    SimulationControl control_;
    std::unique_ptr<SystemTrace> systemTrace_;
    std::vector<std::unique_ptr<TraceComponent>> components_;
    std::vector<Processor*> processors_;
};

}  // namespace kvhost
