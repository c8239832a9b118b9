#include "plugin/vantric_plugin_factory.h"

#include <cstring>

#include "boundary/parameter_table.h"
#include "core/vantric_trace.h"
#include "util/guarded_call.h"
#include "util/vantric_exception.h"

VantricPluginFactory::VantricPluginFactory() : registry_("VantricPluginFactory") {
    registry_.AddInterface("plexa.CAInterface", 0, &registry_);
    registry_.AddInterface("plexa.CAInterfaceRegistry", 0, &registry_);
    registry_.AddInterface("PluginFactory0", 1, static_cast<ZVT::v1::PluginFactory*>(this));
}

VantricPluginFactory::~VantricPluginFactory() = default;

plexa::CAInterface* VantricPluginFactory::LookupInterface(const char* name,
                                                          uint32_t minimumRevision,
                                                          uint32_t* actualRevision) {
    return registry_.LookupInterface(name, minimumRevision, actualRevision);
}

uint32_t VantricPluginFactory::ParameterCount() { return vantric::kParameterCount; }

uint32_t VantricPluginFactory::CopyParameterInfo(ZVT::v0::ParameterInfo* destination) {
    if (destination == nullptr) return plexa::kStatusNullArgument;
    // Ask through the virtual slot so a derived factory's count is honoured.
    const uint32_t count = ParameterCount();
    std::memcpy(static_cast<void*>(destination), vantric::GetParameterTable().data(),
                count * sizeof(ZVT::v0::ParameterInfo));
    return plexa::kStatusOk;
}

ZVT::v0::PluginInstance* VantricPluginFactory::CreateInstance(const char* instanceName,
                                                              uint32_t valueCount,
                                                              const ZVT::v0::ParameterValue* values) {
    // Nothing may cross the boundary: a configuration error (already printed
    // by the instance) or any other failure (printed here) gives the host
    // null, and the host may try again.
    return vantric::GuardedCall::Entry(
        "Instance creation", static_cast<ZVT::v0::PluginInstance*>(nullptr),
        [&]() -> ZVT::v0::PluginInstance* {
            try {
                return new vantric::VantricTrace(instanceName, valueCount, values);
            } catch (const vantric::VantricExceptionT&) {
                return nullptr;
            }
        });
}

void VantricPluginFactory::ReleaseFactory() {}

const char* VantricPluginFactory::PluginKind() { return "TRACE"; }

VantricPluginFactory& VantricPluginFactory::Instance() {
    static VantricPluginFactory factory;
    return factory;
}
