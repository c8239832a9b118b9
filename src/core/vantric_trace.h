// The plug-in instance: one per simulation run. It owns everything the
// running plug-in builds (agents and their drivers, counters, the capture
// writer, per-core tables, the time source) and answers the host through two
// faces: the plug-in instance and the VantricTraceInterface that other
// simulation components use to add counters of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/ca_interface_registry.h"
#include "boundary/host_abi.h"
#include "capture/capture_writer.h"
#include "core/agent_registry.h"
#include "core/core_table.h"
#include "time/time_source.h"
#include "counters/counter_set.h"

namespace vantric {

class VantricTrace : public ZVT::v0::PluginInstance, public VantricTraceInterface {
public:
    // Throws VantricExceptionT for a configuration that stops the plug-in,
    // after printing why.
    VantricTrace(const char* instanceName, uint32_t valueCount,
                 const ZVT::v0::ParameterValue* values);
    ~VantricTrace() override;

    // ---- both faces ----
    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;

    // ---- ZVT::v0::PluginInstance ----
    uint32_t ConnectSimulation(plexa::CAInterface* simulation) override;
    void ReleaseInstance() override;
    const char* InstanceName() override { return instanceName_.c_str(); }

    // ---- VantricTraceInterface ----
    void AddReleaseListener(ReleaseListener* listener) override;
    uint32_t CreateCounter(const char* title, const char* name, const char* type,
                           const char* display, const char* units, bool averageSelection,
                           bool perCpu) override;
    void EmitCounterValue(uint32_t counterId, uint32_t value) override;

    // ---- inspection ----
    const std::string& outputDirectory() const { return outputDirectory_; }
    const std::string& captureName() const { return captureName_; }
    const std::string& counterDefaultsPath() const { return counterDefaultsPath_; }
    bool discoveryMode() const { return discoveryMode_; }
    uint32_t periodicSourceCount() const { return periodicSourceCount_; }
    const TimeSource& timeSource() const { return timeSource_; }
    AgentRegistry& agents() { return agents_; }
    CounterSet& counters() { return counters_; }
    CaptureWriter& captureWriter() { return captureWriter_; }

    // Normalises an "rcf-capture" value into a directory name ending in "/".
    static std::string NormaliseCaptureName(const std::string& name);

private:
    // The time base the values ask for; discovery mode keeps simulated time.
    static uint32_t TimeBaseOf(uint32_t valueCount, const ZVT::v0::ParameterValue* values);
    void applyParameters(uint32_t valueCount, const ZVT::v0::ParameterValue* values,
                         std::string& countersPath, std::string& configPath);
    uint32_t connect(plexa::CAInterface* simulation);
    uint32_t connectTracing(plexa::CAInterface* simulation);
    uint32_t connectDiscovery(plexa::CAInterface* simulation);

    AgentRegistry agents_;  // holds the warnings text and the agent count too
    TimeSource timeSource_;
    std::vector<ReleaseListener*> releaseListeners_;
    std::string instanceName_;
    std::string outputDirectory_;
    std::string captureName_;
    uint32_t periodicSourceCount_ = 0;
    bool discoveryMode_ = false;
    std::string counterDefaultsPath_;
    CounterSet counters_;
    CoreTable cores_;
    vq::SchedulerInterfaceForComponents* scheduler_ = nullptr;
    CaptureWriter captureWriter_;
    plexa::CAInterfaceRegistry registry_;
};

}  // namespace vantric
