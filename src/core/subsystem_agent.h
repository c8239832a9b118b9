// Serves one configured subsystem (a group of cores running one operating
// system): subscribes to each core's trace sources, follows mode, MMU and run
// state, takes samples, and hands events to the subsystem's OS driver and to
// the capture.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <sstream>
#include <string>

#include "boundary/host_abi.h"
#include "util/event_field.h"

namespace vq {
class JSONValue;
}

namespace vantric {

class CaptureWriter;
class CounterSet;
class OSDriver;
class TimeSource;
struct PerCoreState;

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
        uint32_t periodicSourceCount;
        PerCoreState& perCore;
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
    uint32_t periodicSourceCount() const { return periodicSourceCount_; }

private:
    // The user data of one core's callbacks; addresses stay valid for the
    // agent's life. Each source's fields are fixed here at registration.
    struct CoreContext {
        SubsystemAgent* agent;
        TimeSource* time;  // the agent's, kept here to save a load per event
        uint32_t core;
        plexa::SQOVI2* debug;
        EventField cp15[5];      // CRn, opc1, CRm, opc2, VALUE
        EventField sysreg[3];    // REGNUM, VALUE, UPDATED_VALUE
        EventField periodic[2];  // INST_COUNT, PC
        EventField inst[2];      // PC, LOCAL_TIME
        EventField exception[3]; // PC, VECTOR, LOCAL_TIME
        EventField syscall[2];   // TYPE, LOCAL_TIME
        EventField runState[3];  // OLD, NEW, LOCAL_TIME
        EventField mode[1];      // MODE
        EventField branch[3];    // PC, TARGET_PC, LOCAL_TIME (BRA_DIR)
        EventField indirect[3];  // the same for BRA_INDIR
    };

    struct Row;
    bool registerRow(ZVT::ComponentTraceInterface* trace, CoreContext& context, const Row& row,
                     std::ostringstream& messages);
    void findRegisters(plexa::SQOVI2* debug);
    void findSvcValue(ZVT::ComponentTraceInterface* trace);

    bool inWindow(uint64_t time) const { return time >= windowStart_ && time < windowEnd_; }
    uint64_t timeOf(const EventField& localTime, const uint8_t* record) const;
    void takeSample(const CoreContext& context, uint64_t pc, uint64_t time);

    static void OnCp15Write(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnSysregWrite64(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnPeriodic(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnInst(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnExceptionEvent(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnSyscallEvent(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnRunState(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnModeChange(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnBranchDirect(void* userData, ZVT::EventClass*, const uint8_t* record);
    static void OnBranchIndirect(void* userData, ZVT::EventClass*, const uint8_t* record);

    TimeSource& timeSource_;
    CaptureWriter& capture_;
    CounterSet& counters_;
    uint32_t kernelType_;
    uint64_t samplingInterval_;
    uint32_t periodicSourceCount_;
    std::deque<CoreContext> contexts_;
    PerCoreState& perCore_;
    uint64_t windowStart_;
    uint64_t windowEnd_;
    bool periodicSampling_;
    bool instructionSampling_;
    bool is64_ = false;
    bool mmuEnabled_ = false;
    uint32_t linkRegister_ = 0xFFFFFFFFu;
    uint32_t cpsrRegister_ = 0xFFFFFFFFu;
    uint32_t framePointer64_ = 0xFFFFFFFFu;
    uint32_t framePointer32_ = 0xFFFFFFFFu;
    uint32_t stackPointer_ = 0xFFFFFFFFu;
    uint32_t svcTypeValue_ = 0;
    uint64_t instructionEvents_ = 0;
    uint32_t instructionsCounter_ = 0;
    bool started_ = false;
    uint32_t firstCore_ = 0xFFFFFFFFu;
    uint8_t agentNumber_;
    std::unique_ptr<OSDriver> driver_;
    std::string warningText_;
};

}  // namespace vantric
