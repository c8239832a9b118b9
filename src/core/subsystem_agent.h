// Serves one configured subsystem (a group of cores running one operating
// system): creates its OS driver, subscribes to each core's trace sources
// with the callbacks of AgentCallbacks, and starts and finishes the driver.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <sstream>
#include <string>

#include "boundary/host_abi.h"
#include "core/agent_state.h"
#include "core/traced_core.h"

namespace vq {
class JSONValue;
}

namespace vantric {

class CaptureWriter;
class CoreTable;
class CounterSet;
class OSDriver;
class TimeSource;

class SubsystemAgent {
public:
    enum KernelType : uint32_t { kBareMetal = 0, kLinux = 1, kUnsupported = 3 };

    // registerCore results.
    enum RegisterResult : uint32_t {
        kNotACore = 0,
        kRegistrationFailed = 1,
        kCoreRegistered = 2,
        kTlbOnly = 4,
    };

    struct Settings {
        TimeSource& timeSource;
        CaptureWriter& capture;
        CounterSet& counters;
        uint32_t kernelType;
        uint64_t samplingInterval;
        CoreTable& cores;
        uint64_t windowStart;
        uint64_t windowEnd;
        bool periodicSampling;
        bool instructionSampling;
        const vq::JSONValue& driverConfiguration;
        uint32_t callstackDepth;
        uint8_t agentNumber;
    };

    // Creates the OS driver for the kernel type; a driver's construction
    // failure propagates as VantricExceptionT.
    explicit SubsystemAgent(const Settings& settings);
    // With a driver made by the caller (null: no OS awareness).
    SubsystemAgent(const Settings& settings, std::unique_ptr<OSDriver> driver);
    ~SubsystemAgent();
    SubsystemAgent(const SubsystemAgent&) = delete;
    SubsystemAgent& operator=(const SubsystemAgent&) = delete;

    uint32_t registerCore(ZVT::ComponentTraceInterface* trace, uint32_t core);
    uint32_t start(uint32_t coreCount);

    OSDriver* driver() const { return driver_.get(); }
    // Finishes the driver at `time` and deletes it.
    void finishDriver(uint64_t time);
    // The driver's construction messages; empty when there were none.
    const std::string& warningText() const { return warningText_; }
    uint8_t agentNumber() const { return agentNumber_; }

private:
    struct Subscription;
    bool wanted(const Subscription& subscription) const;
    bool subscribe(ZVT::ComponentTraceInterface* trace, TracedCore& core,
                   const Subscription& subscription, std::ostringstream& messages);
    void findRegisters(plexa::SQOVI2* debug);
    void findSvcValue(ZVT::ComponentTraceInterface* trace);

    CounterSet& counters_;
    uint32_t kernelType_;
    bool periodicSampling_;
    bool instructionSampling_;
    bool started_ = false;
    uint32_t firstCore_ = 0xFFFFFFFFu;
    uint8_t agentNumber_;
    std::unique_ptr<OSDriver> driver_;
    std::string warningText_;
    AgentState state_;
    std::deque<TracedCore> cores_;
};

}  // namespace vantric
