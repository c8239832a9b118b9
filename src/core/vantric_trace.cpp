#include "core/vantric_trace.h"

#include <iostream>

#include "boundary/parameter_table.h"
#include "core/configuration_loader.h"
#include "core/discovery_listing.h"
#include "core/subsystem_agent.h"
#include "util/vantric_exception.h"
#include "os/os_driver.h"
#include "util/component_lookup.h"
#include "util/console.h"
#include "util/environment_variables.h"
#include "util/guarded_call.h"

namespace vantric {
namespace {

constexpr const char* kCounterDefaultsSuffix =
    "/plugins/config/VantricTrace/VantricTrace_counter_defaults.json";
constexpr uint32_t kCoreCpuId = 3080;  // 0xC08

}  // namespace

std::string VantricTrace::NormaliseCaptureName(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        ErrorLine("Vantric Trace Init", "rcf-capture is not a valid directory name. Reverting to out.rcf");
        return "out.rcf/";
    }
    if (name.size() <= 4) return name + ".rcf/";
    if (name.compare(name.size() - 4, 4, ".rcf") == 0) return name + "/";
    return name + ".rcf/";
}

VantricTrace::VantricTrace(const char* instanceName, uint32_t valueCount,
                           const ZVT::v0::ParameterValue* values)
    : timeSource_(TimeBaseOf(valueCount, values)),
      instanceName_(instanceName != nullptr ? instanceName : ""),
      registry_("VantricTrace") {
    registry_.AddInterface("plexa.CAInterface", 0, &registry_);
    registry_.AddInterface("plexa.CAInterfaceRegistry", 0, &registry_);

    std::cout << "\nReading talven_home";
    std::string home;
    if (KVEnvironmentVariables::get_env("TALVEN_HOME", home, true) && !home.empty())
        counterDefaultsPath_ = home + kCounterDefaultsSuffix;

    std::string countersPath;
    std::string configPath;
    applyParameters(valueCount, values, countersPath, configPath);

    registry_.AddInterface("PluginInstance0", 0, static_cast<ZVT::v0::PluginInstance*>(this));
    registry_.AddInterface("VantricTraceInterface", 0, static_cast<VantricTraceInterface*>(this));

    if (discoveryMode_) return;
    if (counters_.windowStart() >= counters_.windowEnd()) {
        WarnLine("Vantric", "trace-start-time " + std::to_string(counters_.windowStart()) +
                                " is not before trace-end-time " +
                                std::to_string(counters_.windowEnd()) + " : nothing will be traced");
    }

    if (!countersPath.empty() && !counters_.ReadCountersConfig(countersPath))
        WarnLine("Vantric", counters_.errorText());

    if (configPath.empty()) {
        ErrorLine("Vantric", "Config json missing");
        throw VantricExceptionT();
    }
    try {
        const ConfigurationContext context{timeSource_, captureWriter_, counters_, cores_,
                                           counters_.windowStart(), counters_.windowEnd()};
        if (!LoadConfiguration(agents_, configPath, context))
            WarnLine("Vantric", agents_.warnings.str());
    } catch (const VantricExceptionT& error) {
        ErrorLine("Vantric", error.message());
        throw;
    }
    outputDirectory_ = outputDirectory_ + "/" + captureName_;
}

VantricTrace::~VantricTrace() = default;

uint32_t VantricTrace::TimeBaseOf(uint32_t valueCount, const ZVT::v0::ParameterValue* values) {
    uint32_t timeBase = TimeSource::kSimulated;
    bool discovery = false;
    for (uint32_t i = 0; values != nullptr && i < valueCount; ++i) {
        if (values[i].id == kTimeBase) timeBase = static_cast<uint32_t>(values[i].integerValue & 0xFF);
        if (values[i].id == kDiscoveryMode) discovery = values[i].integerValue != 0;
    }
    return discovery ? TimeSource::kSimulated : timeBase;
}

void VantricTrace::applyParameters(uint32_t valueCount, const ZVT::v0::ParameterValue* values,
                                   std::string& countersPath, std::string& configPath) {
    uint64_t windowStart = counters_.windowStart();
    uint64_t windowEnd = counters_.windowEnd();
    for (uint32_t i = 0; values != nullptr && i < valueCount; ++i) {
        const ZVT::v0::ParameterValue& value = values[i];
        // The host's text is NUL-terminated within its field; never read past it.
        const std::string text(value.textValue, strnlen(value.textValue, sizeof value.textValue));
        switch (value.id) {
            case kOutputDirectory: outputDirectory_ = text; break;
            case kTimeBase: break;  // read before construction, by TimeBaseOf
            case kRcfCapture: captureName_ = NormaliseCaptureName(text); break;
            case kTraceCompile: break;  // accepted; nothing acts on it
            case kCountersConfigFile: countersPath = text; break;
            case kTraceStartTime: windowStart = static_cast<uint64_t>(value.integerValue); break;
            case kTraceEndTime: windowEnd = static_cast<uint64_t>(value.integerValue); break;
            case kConfig: configPath = text; break;
            case kDiscoveryMode: discoveryMode_ = value.integerValue != 0; break;
            case kCounterDefaultsJson:
                if (!text.empty()) counterDefaultsPath_ = text;
                break;
            default: break;  // ids above 9 are ignored
        }
    }
    counters_.SetWindowStart(windowStart);
    counters_.SetWindowEnd(windowEnd);
}

plexa::CAInterface* VantricTrace::LookupInterface(const char* name, uint32_t minimumRevision,
                                                  uint32_t* actualRevision) {
    return registry_.LookupInterface(name, minimumRevision, actualRevision);
}

void VantricTrace::AddReleaseListener(ReleaseListener* listener) {
    GuardedCall::Entry("Adding a release listener", [&] { releaseListeners_.push_back(listener); });
}

uint32_t VantricTrace::CreateCounter(const char* title, const char* name, const char* type,
                                     const char* display, const char* units,
                                     bool averageSelection, bool perCpu) {
    auto text = [](const char* p) { return std::string(p != nullptr ? p : ""); };
    return GuardedCall::Entry("Counter creation", uint32_t{0}, [&] {
        return counters_.AddCounter(text(title), text(name), text(type), text(display),
                                    text(units), averageSelection, perCpu, false, 1.0f, false,
                                    false, "");
    });
}

void VantricTrace::EmitCounterValue(uint32_t counterId, uint32_t value) {
    GuardedCall::Entry("Counter value", [&] {
        captureWriter_.writeCounterValue(0, timeSource_.now(0), counterId, uint64_t{value});
    });
}

uint32_t VantricTrace::ConnectSimulation(plexa::CAInterface* simulation) {
    GuardedCall::Reset();
    return GuardedCall::Entry("Vantric init", plexa::kStatusFailure,
                              [&] { return connect(simulation); });
}

uint32_t VantricTrace::connect(plexa::CAInterface* simulation) {
    if (simulation == nullptr) {
        WarnLine("Vantric", "Received CAInterface NULL pointer.");
        return plexa::kStatusNullArgument;
    }
    return discoveryMode_ ? connectDiscovery(simulation) : connectTracing(simulation);
}

uint32_t VantricTrace::connectTracing(plexa::CAInterface* simulation) {
    auto* componentRegistry = static_cast<vq::ComponentRegistry*>(
        simulation->LookupInterface(host_names::kComponentRegistry, 0, nullptr));
    if (componentRegistry == nullptr) {
        ErrorLine("Vantric init failed", "Couldn't find component registry");
        return plexa::kStatusFailure;
    }
    componentRegistry->AddComponentInterface("VantricTrace", static_cast<VantricTraceInterface*>(this));

    counters_.SetCaptureWriter(&captureWriter_);
    counters_.SetTimeSource(&timeSource_);
    periodicSourceCount_ = 0;
    uint32_t runningCore = 0;
    std::vector<SubsystemAgent*> agentsMet;

    auto* systemTrace = static_cast<ZVT::SystemTraceInterface*>(
        simulation->LookupInterface(host_names::kSystemTrace, 0, nullptr));
    auto traceOf = [systemTrace](int32_t i) -> ZVT::ComponentTraceInterface* {
        plexa::CAInterface* component = systemTrace->TraceComponent(i);
        if (component == nullptr) return nullptr;
        return static_cast<ZVT::ComponentTraceInterface*>(component->LookupInterface(
            host_names::kComponentTrace, host_names::kComponentTraceRevision, nullptr));
    };

    if (systemTrace != nullptr) {
        for (int32_t i = 0; i < systemTrace->TraceComponentCount(); ++i) {
            ZVT::ComponentTraceInterface* trace = traceOf(i);
            if (trace != nullptr && trace->FindTraceSource("PERIODIC") != nullptr)
                ++periodicSourceCount_;
        }
        captureWriter_.open(outputDirectory_, periodicSourceCount_);
        cores_.resize(periodicSourceCount_);
        if (!captureWriter_.isOpen()) {
            ErrorLine("Vantric init failed",
                      "Unable to open output files : ensure that either the current directory has "
                      "write permissions or that the command line parameter 'output-directory' "
                      "points to a valid output directory with the required permissions.");
            return plexa::kStatusFailure;
        }
        captureWriter_.writeSummary();

        for (int32_t i = 0; i < systemTrace->TraceComponentCount(); ++i) {
            ZVT::ComponentTraceInterface* trace = traceOf(i);
            if (trace == nullptr) continue;
            const char* rawName = systemTrace->TraceComponentName(i);
            const std::string name = rawName != nullptr ? rawName : "";
            const bool isCore = trace->FindTraceSource("PERIODIC") != nullptr;
            if (!counters_.RegisterCountersForComponent(trace, isCore ? runningCore : 0, name)) {
                WarnLine("Vantric", counters_.errorText());
                counters_.ClearErrorText();
            }
            SubsystemAgent* agent = agents_.LookupAgent(name);
            if (agent == nullptr) continue;
            bool seen = false;
            for (SubsystemAgent* met : agentsMet) seen = seen || met == agent;
            if (!seen) agentsMet.push_back(agent);
            if (agent->registerCore(trace, runningCore) == SubsystemAgent::kCoreRegistered) {
                captureWriter_.addCore(runningCore, kCoreCpuId, name);
                ++runningCore;
            }
        }
    } else {
        captureWriter_.open(outputDirectory_, 0);
        cores_.resize(0);
    }
    for (SubsystemAgent* agent : agentsMet) agent->start(runningCore);

    if (periodicSourceCount_ == 0) {
        ErrorLine("Vantric init failed", "No trace sources detected");
        return plexa::kStatusFailure;
    }
    scheduler_ = static_cast<vq::SchedulerInterfaceForComponents*>(LookupComponentInterface(
        componentRegistry, host_names::kSchedulerComponent, host_names::kScheduler,
        host_names::kSchedulerRevision, nullptr, nullptr));
    timeSource_.connect(scheduler_, cores_.debugOf(0));
    if (scheduler_ == nullptr) {
        ErrorLine("Vantric init failed", "Unable to get scheduler interface for getCurrentSimulationTime()");
        return plexa::kStatusFailure;
    }
    return plexa::kStatusOk;
}

uint32_t VantricTrace::connectDiscovery(plexa::CAInterface* simulation) {
    DiscoveryListing listing(std::cout);
    std::cout << "\ndefault counter cfg : " << counterDefaultsPath_ << std::endl;
    bool successful = false;
    if (counterDefaultsPath_.empty()) {
        ErrorLine("Vantric", "Check if the environment variable TALVEN_HOME is setup");
    } else if (listing.run(simulation, counterDefaultsPath_)) {
        successful = true;
    } else {
        ErrorLine("Vantric", listing.messages.str());
        listing.messages.str("");
    }
    std::cout << (successful ? "Vantric : Listing successful. Terminating..."
                             : "Vantric : Listing unsuccessful. Terminating...")
              << std::endl;
    // Ending the simulation needs the registry, "qoviSimulation" and its
    // control interface; a host missing one of them is left running.
    auto* componentRegistry = static_cast<vq::ComponentRegistry*>(
        simulation->LookupInterface(host_names::kComponentRegistry, 0, nullptr));
    plexa::CAInterface* control =
        componentRegistry != nullptr
            ? componentRegistry->FindComponent(host_names::kSimulationComponent)
            : nullptr;
    auto* simulationControl =
        control != nullptr ? static_cast<plexa::QOVISimulation2*>(control->LookupInterface(
                                 host_names::kSimulationControl, 0, nullptr))
                           : nullptr;
    if (simulationControl != nullptr) simulationControl->EndSimulation(true);
    return plexa::kStatusOk;
}

void VantricTrace::ReleaseInstance() {
    if (discoveryMode_) return;
    GuardedCall::Entry("Instance release", [&] {
        for (auto& agent : agents_.agents()) {
            agent->finishDriver(timeSource_.now(0));
            agent.reset();
        }
        agents_.agents().clear();
    });
    for (ReleaseListener* listener : releaseListeners_) listener->OnInstanceReleased();
    GuardedCall::Entry("Instance release", [&] { counters_.ReleaseCounters(); });
    if (const uint64_t dropped = GuardedCall::FailureCount(); dropped != 0) {
        GuardedCall::Entry("Instance release", [&] {
            WarnLine("Vantric", std::to_string(dropped) + " trace events dropped after errors");
        });
    }
    delete this;
}

}  // namespace vantric
