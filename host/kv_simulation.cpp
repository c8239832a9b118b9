#include "kv_simulation.h"

#include <stdexcept>
#include <utility>

#include "kv_lookup.h"

namespace kvhost {

// "SystemTraceInterface1": the trace components in insertion order.
class Simulation::SystemTrace final : public ZVT::SystemTraceInterface {
public:
    explicit SystemTrace(Simulation& simulation) : simulation_(simulation) {}

    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override {
        if (SameName(name, host_names::kSystemTrace)) {
            return AnswerIfRevision(this, 0, minimumRevision, actualRevision);
        }
        return nullptr;
    }

    int32_t TraceComponentCount() override {
        return static_cast<int32_t>(simulation_.components_.size());
    }

    const char* TraceComponentName(int32_t index) override {
        kvhost::TraceComponent* component = At(index);
        return component != nullptr ? component->name().c_str() : nullptr;
    }

    plexa::CAInterface* TraceComponent(int32_t index) override { return At(index); }

private:
    kvhost::TraceComponent* At(int32_t index) {
        if (index < 0 || static_cast<size_t>(index) >= simulation_.components_.size()) {
            return nullptr;
        }
        return simulation_.components_[static_cast<size_t>(index)].get();
    }

    Simulation& simulation_;
};

Simulation::Simulation(SimulationOptions options)
    : options_(options), systemTrace_(std::make_unique<SystemTrace>(*this)) {
    if (options_.scheduler) registry_.Add(host_names::kSchedulerComponent, &scheduler_);
    if (options_.simulationControl) registry_.Add(host_names::kSimulationComponent, &control_);
}

Simulation::~Simulation() = default;

plexa::CAInterface* Simulation::LookupInterface(const char* name, uint32_t minimumRevision,
                                                uint32_t* actualRevision) {
    if (options_.componentRegistry && SameName(name, host_names::kComponentRegistry)) {
        return AnswerIfRevision(&registry_, 0, minimumRevision, actualRevision);
    }
    if (options_.systemTrace && SameName(name, host_names::kSystemTrace)) {
        return AnswerIfRevision(systemTrace_.get(), 0, minimumRevision, actualRevision);
    }
    return nullptr;
}

ZVT::SystemTraceInterface& Simulation::systemTrace() { return *systemTrace_; }

TraceComponent& Simulation::Insert(std::unique_ptr<TraceComponent> component) {
    if (FindTraceComponent(component->name()) != nullptr ||
        registry_.Find(component->name()) != nullptr) {
        throw std::invalid_argument("kvhost: component " + component->name() + " exists already");
    }
    registry_.Add(component->name(), component.get());
    components_.push_back(std::move(component));
    return *components_.back();
}

TraceComponent& Simulation::AddTraceComponent(std::string name) {
    return Insert(std::make_unique<TraceComponent>(std::move(name)));
}

Processor& Simulation::AddProcessor(std::string name, bool is64) {
    ProcessorOptions options;
    options.is64 = is64;
    return AddProcessor(std::move(name), options);
}

Processor& Simulation::AddProcessor(std::string name, ProcessorOptions options) {
    const auto targetId = static_cast<uint32_t>(processors_.size() + 1);
    auto processor = std::make_unique<Processor>(std::move(name), options, targetId);
    Processor* raw = processor.get();
    Insert(std::move(processor));
    processors_.push_back(raw);
    return *raw;
}

TraceComponent* Simulation::FindTraceComponent(std::string_view name) {
    for (const auto& component : components_) {
        if (component->name() == name) return component.get();
    }
    return nullptr;
}

Processor* Simulation::FindProcessor(std::string_view name) {
    for (Processor* processor : processors_) {
        if (processor->name() == name) return processor;
    }
    return nullptr;
}

}  // namespace kvhost
