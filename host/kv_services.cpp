#include "kv_services.h"

#include <utility>

#include "kv_lookup.h"

namespace kvhost {

plexa::CAInterface* ComponentRegistry::LookupInterface(const char* name,
                                                       uint32_t minimumRevision,
                                                       uint32_t* actualRevision) {
    if (SameName(name, host_names::kComponentRegistry)) {
        return AnswerIfRevision(this, 0, minimumRevision, actualRevision);
    }
    return nullptr;
}

plexa::CAInterface* ComponentRegistry::FindComponent(const char* name) {
    return name != nullptr ? Find(name) : nullptr;
}

bool ComponentRegistry::AddComponentInterface(const char* name, plexa::CAInterface* component) {
    if (name == nullptr || component == nullptr) return false;
    Add(name, component);
    return true;
}

plexa::CAInterface* ComponentRegistry::Find(std::string_view name) const {
    auto it = components_.find(name);
    return it == components_.end() ? nullptr : it->second;
}

void ComponentRegistry::Add(std::string name, plexa::CAInterface* component) {
    components_[std::move(name)] = component;
}

void ComponentRegistry::Remove(std::string_view name) {
    auto it = components_.find(name);
    if (it != components_.end()) components_.erase(it);
}

plexa::CAInterface* Scheduler::LookupInterface(const char* name, uint32_t minimumRevision,
                                               uint32_t* actualRevision) {
    if (SameName(name, host_names::kScheduler)) {
        return AnswerIfRevision(this, host_names::kSchedulerRevision, minimumRevision,
                                actualRevision);
    }
    return nullptr;
}

uint64_t Scheduler::getCurrentSimulationTime(const void* clock) {
    ++timeQueries_;
    lastClock_ = clock;
    return ticks_;
}

plexa::CAInterface* SimulationControl::LookupInterface(const char* name,
                                                       uint32_t minimumRevision,
                                                       uint32_t* actualRevision) {
    if (SameName(name, host_names::kSimulationControl)) {
        return AnswerIfRevision(this, 0, minimumRevision, actualRevision);
    }
    return nullptr;
}

void SimulationControl::EndSimulation(bool stopNow) {
    ++endRequests_;
    lastStopNow_ = stopNow;
}

}  // namespace kvhost
