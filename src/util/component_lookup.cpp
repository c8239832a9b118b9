#include "util/component_lookup.h"

namespace vantric {
namespace {

plexa::CAInterface* Fail(const char** errorText, const char* text) {
    if (errorText != nullptr) *errorText = text;
    return nullptr;
}

}  // namespace

plexa::CAInterface* LookupComponentInterface(plexa::CAInterface* componentRegistryInterface,
                                             const char* componentName, const char* ifName,
                                             uint32_t minimumRevision, uint32_t* actualRevision,
                                             const char** errorText) {
    if (componentRegistryInterface == nullptr)
        return Fail(errorText, "componentRegistryInterface pointer may not be NULL");
    if (componentName == nullptr) return Fail(errorText, "componentName pointer may not be NULL");
    if (ifName == nullptr) return Fail(errorText, "ifName pointer may not be NULL");
    // The holder may be the simulation or the component registry itself.
    auto* registry = static_cast<vq::ComponentRegistry*>(
        componentRegistryInterface->LookupInterface(host_names::kComponentRegistry, 0, nullptr));
    if (registry == nullptr) return Fail(errorText, "ComponentRegistry interface not found");
    plexa::CAInterface* component = registry->FindComponent(componentName);
    if (component == nullptr) return Fail(errorText, "component not found in component registry");
    plexa::CAInterface* found = component->LookupInterface(ifName, minimumRevision, actualRevision);
    if (found == nullptr) return Fail(errorText, "interface not found");
    return found;
}

}  // namespace vantric
