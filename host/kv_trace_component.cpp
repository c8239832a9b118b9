#include "kv_trace_component.h"

#include <stdexcept>
#include <utility>

#include "kv_lookup.h"

namespace kvhost {

TraceComponent::TraceComponent(std::string name) : name_(std::move(name)) {}

TraceComponent::~TraceComponent() = default;

plexa::CAInterface* TraceComponent::LookupInterface(const char* name, uint32_t minimumRevision,
                                                    uint32_t* actualRevision) {
    if (SameName(name, host_names::kComponentTrace)) {
        return AnswerIfRevision(this, traceRevision_, minimumRevision, actualRevision);
    }
    if (name == nullptr) return nullptr;
    return LookupExtra(name, minimumRevision, actualRevision);
}

plexa::CAInterface* TraceComponent::LookupExtra(const char*, uint32_t, uint32_t*) {
    return nullptr;
}

ZVT::TraceSource* TraceComponent::FindTraceSource(const char* name) {
    return name != nullptr ? FindSource(name) : nullptr;
}

ZVT::TraceSource* TraceComponent::TraceSourceAt(uint32_t index) {
    return index < sources_.size() ? sources_[index].get() : nullptr;
}

TraceSource& TraceComponent::AddSource(std::string name, std::string description,
                                       std::vector<FieldShape> fields) {
    if (FindSource(name) != nullptr) {
        throw std::invalid_argument("kvhost: source " + name + " declared twice in " + name_);
    }
    sources_.push_back(
        std::make_unique<TraceSource>(std::move(name), std::move(description), std::move(fields)));
    return *sources_.back();
}

TraceSource& TraceComponent::Source(std::string_view name) {
    TraceSource* source = FindSource(name);
    if (source == nullptr) {
        throw std::invalid_argument("kvhost: no source " + std::string(name) + " in " + name_);
    }
    return *source;
}

TraceSource* TraceComponent::FindSource(std::string_view name) {
    for (const auto& source : sources_) {
        if (source->name() == name) return source.get();
    }
    return nullptr;
}

void TraceComponent::RemoveSource(std::string_view name) {
    for (auto it = sources_.begin(); it != sources_.end(); ++it) {
        if ((*it)->name() == name) {
            removed_.push_back(std::move(*it));
            sources_.erase(it);
            return;
        }
    }
    throw std::invalid_argument("kvhost: no source " + std::string(name) + " in " + name_);
}

}  // namespace kvhost
