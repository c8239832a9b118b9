// EmptyTrace.so: a trace plug-in that takes the same parameters as
// VantricTrace, subscribes to the same kinds of trace events (every source
// of every core but INST and MMU_TLB_FILL, every source of other components)
// and does nothing with them. `simhost --bench` measures the host against it.
#include <cstdint>
#include <cstring>

#include "host_abi.h"

namespace {

void Ignore(void*, ZVT::EventClass*, const uint8_t*) {}

bool Named(const char* a, const char* b) { return a != nullptr && std::strcmp(a, b) == 0; }

class EmptyInstance final : public ZVT::v0::PluginInstance {
public:
    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override {
        if (minimumRevision > 0 || !(Named(name, "PluginInstance0") || Named(name, "plexa.CAInterface"))) {
            return nullptr;
        }
        if (actualRevision != nullptr) *actualRevision = 0;
        return this;
    }

    uint32_t ConnectSimulation(plexa::CAInterface* simulation) override {
        if (simulation == nullptr) return plexa::kStatusNullArgument;
        auto* system = static_cast<ZVT::SystemTraceInterface*>(
            simulation->LookupInterface("SystemTraceInterface1", 0, nullptr));
        if (system == nullptr) return plexa::kStatusFailure;
        for (int32_t i = 0; i < system->TraceComponentCount(); ++i) {
            plexa::CAInterface* component = system->TraceComponent(i);
            auto* trace = component == nullptr
                              ? nullptr
                              : static_cast<ZVT::ComponentTraceInterface*>(
                                    component->LookupInterface("ComponentTraceInterface1", 2, nullptr));
            if (trace == nullptr) continue;
            const bool core = trace->FindTraceSource("PERIODIC") != nullptr;
            for (uint32_t s = 0; s < trace->TraceSourceCount(); ++s) {
                ZVT::TraceSource* source = trace->TraceSourceAt(s);
                if (source == nullptr) continue;
                if (core && (Named(source->Name(), "INST") || Named(source->Name(), "MMU_TLB_FILL"))) continue;
                const uint32_t fields = source->FieldCount();
                const uint32_t mask = fields >= 32 ? 0xFFFFFFFFu : (1u << fields) - 1;
                ZVT::EventClass* eventClass = source->CreateEventClass(mask);
                if (eventClass != nullptr) eventClass->RegisterCallback(Ignore, nullptr);
            }
        }
        return plexa::kStatusOk;
    }

    void ReleaseInstance() override { delete this; }
    const char* InstanceName() override { return "EmptyTrace"; }
};

// The parameter names and types of VantricTrace, so that the same command
// lines and scenario files apply; the values are ignored.
struct Parameter {
    const char* name;
    ZVT::v0::ParameterType type;
};
constexpr Parameter kParameters[] = {
    {"output-directory", ZVT::v0::kParameterText},     {"time-base", ZVT::v0::kParameterInteger},
    {"rcf-capture", ZVT::v0::kParameterText},          {"trace-compile", ZVT::v0::kParameterBoolean},
    {"counters-config-file", ZVT::v0::kParameterText}, {"trace-start-time", ZVT::v0::kParameterInteger},
    {"trace-end-time", ZVT::v0::kParameterInteger},    {"config", ZVT::v0::kParameterText},
    {"discovery-mode", ZVT::v0::kParameterBoolean},    {"counter-defaults-json", ZVT::v0::kParameterText},
};

class EmptyFactory final : public ZVT::v1::PluginFactory {
public:
    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override {
        if (minimumRevision > 1 || !(Named(name, "PluginFactory0") || Named(name, "plexa.CAInterface"))) {
            return nullptr;
        }
        if (actualRevision != nullptr) *actualRevision = 1;
        return this;
    }
    uint32_t ParameterCount() override { return sizeof kParameters / sizeof kParameters[0]; }
    uint32_t CopyParameterInfo(ZVT::v0::ParameterInfo* destination) override {
        if (destination == nullptr) return plexa::kStatusNullArgument;
        for (uint32_t i = 0; i < ParameterCount(); ++i) {
            ZVT::v0::ParameterInfo& info = destination[i];
            std::memset(static_cast<void*>(&info), 0, sizeof info);
            info.id = i;
            std::strncpy(info.name, kParameters[i].name, sizeof info.name - 1);
            info.type = kParameters[i].type;
            std::strncpy(info.description, "ignored", sizeof info.description - 1);
            info.minimum = 0;
            info.maximum = -1;
        }
        return plexa::kStatusOk;
    }
    ZVT::v0::PluginInstance* CreateInstance(const char*, uint32_t, const ZVT::v0::ParameterValue*) override {
        return new EmptyInstance;
    }
    void ReleaseFactory() override {}
    const char* PluginKind() override { return "TRACE"; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) plexa::CAInterface* GetCAInterface() {
    static EmptyFactory factory;
    return &factory;
}
