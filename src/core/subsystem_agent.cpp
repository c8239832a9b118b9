#include "core/subsystem_agent.h"

#include <cstring>
#include <vector>

#include "capture/capture_writer.h"
#include "core/os_driver_factory.h"
#include "core/per_core_state.h"
#include "time/time_source.h"
#include "counters/counter_set.h"
#include "os/os_driver.h"
#include "util/bind_trace_callback.h"
#include "util/console.h"

namespace vantric {
namespace {

constexpr const char* kRegisterComponent = "Trace Register sim";
constexpr uint32_t kSystemControlRegister = 49168;  // SCTLR as a SYSREG_WRITE64 number
constexpr uint32_t kUserMode32 = 0x10;

enum class When { kAlways, kPeriodicSampling, kInstructionSampling, kSyscalls, kBranches, kIndirectBranches };
enum class OnFailure { kWarn, kError };

}  // namespace

struct SubsystemAgent::Row {
    const char* source;
    const char* fields[5];
    bool optional[5];
    When when;
    OnFailure onFailure;
    ZVT::EventCallback callback;
    EventField* (*fieldsOf)(CoreContext&);
};

SubsystemAgent::SubsystemAgent(const Settings& settings)
    : SubsystemAgent(settings, CreateOSDriver(settings.kernelType, settings.counters,
                                              settings.capture, settings.callstackDepth,
                                              settings.driverConfiguration)) {}

SubsystemAgent::SubsystemAgent(const Settings& settings, std::unique_ptr<OSDriver> driver)
    : timeSource_(settings.timeSource),
      capture_(settings.capture),
      counters_(settings.counters),
      kernelType_(settings.kernelType),
      samplingInterval_(settings.samplingInterval),
      periodicSourceCount_(settings.periodicSourceCount),
      perCore_(settings.perCore),
      windowStart_(settings.windowStart),
      windowEnd_(settings.windowEnd),
      periodicSampling_(settings.periodicSampling),
      instructionSampling_(settings.instructionSampling),
      agentNumber_(settings.agentNumber),
      driver_(std::move(driver)) {
    if (!driver_) {
        ErrorLine("Vantric Trace Init", "Unsupported kernel type");
        return;
    }
    warningText_ = driver_->Messages();
}

SubsystemAgent::~SubsystemAgent() = default;

void SubsystemAgent::finishDriver(uint64_t time) {
    if (driver_) driver_->Finish(time);
    driver_.reset();
}

uint32_t SubsystemAgent::registerCore(ZVT::ComponentTraceInterface* trace, uint32_t core) {
    if (firstCore_ == 0xFFFFFFFFu) firstCore_ = core;
    if (trace->FindTraceSource("PERIODIC") == nullptr)
        return trace->FindTraceSource("MMU_TLB_FILL") == nullptr ? kNotACore : kTlbOnly;

    auto* debug = static_cast<plexa::SQOVI2*>(
        trace->LookupInterface(host_names::kDebugInterface, 0, nullptr));
    perCore_.addDebug(debug);
    contexts_.push_back(CoreContext{this, &timeSource_, core, debug, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}});
    CoreContext& context = contexts_.back();

    static const Row kRows[] = {
        {"CP15_WRITE", {"CRn", "opc1", "CRm", "opc2", "VALUE"}, {}, When::kAlways, OnFailure::kWarn,
         OnCp15Write, [](CoreContext& c) { return c.cp15; }},
        {"SYSREG_WRITE64", {"REGNUM", "VALUE", "UPDATED_VALUE"}, {}, When::kAlways,
         OnFailure::kWarn, OnSysregWrite64, [](CoreContext& c) { return c.sysreg; }},
        {"PERIODIC", {"INST_COUNT", "PC"}, {}, When::kPeriodicSampling, OnFailure::kError,
         OnPeriodic, [](CoreContext& c) { return c.periodic; }},
        {"INST", {"PC", "LOCAL_TIME"}, {false, true}, When::kInstructionSampling,
         OnFailure::kError, OnInst, [](CoreContext& c) { return c.inst; }},
        {"EXCEPTION", {"PC", "VECTOR", "LOCAL_TIME"}, {false, false, true}, When::kAlways,
         OnFailure::kError, OnExceptionEvent, [](CoreContext& c) { return c.exception; }},
        {"SYSCALL", {"TYPE", "LOCAL_TIME"}, {false, true}, When::kSyscalls, OnFailure::kError,
         OnSyscallEvent, [](CoreContext& c) { return c.syscall; }},
        {"RUN_STATE", {"OLD", "NEW", "LOCAL_TIME"}, {false, false, true}, When::kAlways,
         OnFailure::kError, OnRunState, [](CoreContext& c) { return c.runState; }},
        {"MODE_CHANGE", {"MODE"}, {}, When::kAlways, OnFailure::kError, OnModeChange,
         [](CoreContext& c) { return c.mode; }},
        {"BRA_DIR", {"PC", "TARGET_PC", "LOCAL_TIME"}, {false, false, true}, When::kBranches,
         OnFailure::kError, OnBranchDirect, [](CoreContext& c) { return c.branch; }},
        {"BRA_INDIR", {"PC", "TARGET_PC", "LOCAL_TIME"}, {false, false, true},
         When::kIndirectBranches, OnFailure::kError, OnBranchIndirect,
         [](CoreContext& c) { return c.indirect; }},
    };

    std::ostringstream messages;
    for (const Row& row : kRows) {
        const bool wanted = [&] {
            switch (row.when) {
                case When::kAlways: return true;
                case When::kPeriodicSampling: return periodicSampling_;
                case When::kInstructionSampling: return instructionSampling_;
                case When::kSyscalls: return driver_ && driver_->WantsSyscallEvents();
                case When::kBranches: return driver_ && driver_->WantsBranchEvents();
                case When::kIndirectBranches:
                    return driver_ && driver_->WantsBranchEvents() && kernelType_ == kBareMetal;
            }
            return false;
        }();
        if (!wanted) continue;
        if (std::strcmp(row.source, "SYSCALL") == 0) findSvcValue(trace);
        if (!registerRow(trace, context, row, messages)) {
            if (row.onFailure == OnFailure::kError) {
                ErrorLine(kRegisterComponent, messages.str());
                return kRegistrationFailed;
            }
            WarnLine(kRegisterComponent, messages.str());
            messages.str("");
        }
        if (std::strcmp(row.source, "MODE_CHANGE") == 0) findRegisters(debug);
    }
    return kCoreRegistered;
}

bool SubsystemAgent::registerRow(ZVT::ComponentTraceInterface* trace, CoreContext& context,
                                 const Row& row, std::ostringstream& messages) {
    EventField* fields = row.fieldsOf(context);
    std::vector<FieldBindingRequest> requests;
    for (size_t i = 0; i < 5 && row.fields[i] != nullptr; ++i)
        requests.push_back({row.fields[i], &fields[i].index, row.optional[i], nullptr});
    ZVT::EventClass* eventClass = nullptr;
    if (!BindTraceCallback(trace, row.source, requests, &context, row.callback, messages, &eventClass))
        return false;
    for (size_t i = 0; i < requests.size(); ++i) fields[i].resolve(eventClass);
    return true;
}

void SubsystemAgent::findSvcValue(ZVT::ComponentTraceInterface* trace) {
    ZVT::TraceSource* source = trace->FindTraceSource("SYSCALL");
    if (source == nullptr) return;
    ZVT::EventFieldType* type = source->FindField("TYPE");
    if (type == nullptr) return;
    for (uint32_t i = 0; i < type->EnumConstantCount(); ++i) {
        const ZVT::EnumConstant constant = type->EnumConstantAt(i);
        if (constant.name != nullptr && std::strcmp(constant.name, "SVC") == 0)
            svcTypeValue_ = constant.value;
    }
}

void SubsystemAgent::findRegisters(plexa::SQOVI2* debug) {
    auto find = [debug](const char* name) {
        return OSDriver::FindRegister(debug, OSDriver::kAllGroups, name);
    };
    is64_ = find("X0") != OSDriver::kNotFound;
    linkRegister_ = find(is64_ ? "X30" : "R14");
    framePointer64_ = find("X29");
    framePointer32_ = find("R11");
    stackPointer_ = find("SP");
    if (stackPointer_ == OSDriver::kNotFound) stackPointer_ = find("R13");
    if (stackPointer_ == OSDriver::kNotFound)
        ErrorLine("Vantric subsystem agent", "SP/R13 register not found");
    cpsrRegister_ = find("CPSR");
}

uint32_t SubsystemAgent::start(uint32_t coreCount) {
    if (started_) return 0;
    started_ = true;
    instructionsCounter_ = counters_.AddCounter("Instruction Count", "Instructions", "icount",
                                                "hertz", "IPS", true, true, false, 1.0f, false,
                                                false, "");
    if (!driver_) {
        ErrorLine(kRegisterComponent, "OS driver instantiation failed");
        return 1;
    }
    const uint32_t first = firstCore_ == 0xFFFFFFFFu ? 0 : firstCore_;
    if (!driver_->Init(perCore_.debugOf(first), coreCount, is64_)) {
        WarnLine(kRegisterComponent, "Unable to initialize os driver");
        return 1;
    }
    return 0;
}

uint64_t SubsystemAgent::timeOf(const EventField& localTime, const uint8_t* record) const {
    return timeSource_.now(localTime.read(record, 0));
}

void SubsystemAgent::takeSample(const CoreContext& context, uint64_t pc, uint64_t time) {
    plexa::SQOVI2* debug = context.debug;
    const uint64_t lr = OSDriver::ReadRegister64(debug, linkRegister_);
    const bool aarch64Frame =
        is64_ && (OSDriver::ReadRegister32(debug, cpsrRegister_) & 0x1F) != kUserMode32;
    const uint64_t fp = aarch64Frame ? OSDriver::ReadRegister64(debug, framePointer64_)
                                     : OSDriver::ReadRegister32(debug, framePointer32_);
    const uint64_t sp = OSDriver::ReadRegister64(debug, stackPointer_);
    const uint32_t core = context.core;
    if (driver_) {
        const bool userMode = core < perCore_.userMode.size() && perCore_.userMode[core] != 0;
        driver_->OnSample(debug, core, pc, lr, fp, sp, userMode, mmuEnabled_, is64_, time);
        return;
    }
    // Without OS awareness a sample carries the program counter alone.
    const uint32_t cookie = 0;
    capture_.writeSample(core, time, 0, 0, 0, std::span<const uint32_t>(&cookie, 1),
                         std::span<const uint64_t>(&pc, 1));
}

// ---- callbacks: the common case inline, nothing allocated ----

void SubsystemAgent::OnCp15Write(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    if ((c.cp15[0].read(record) & 0xFF) == 1 && (c.cp15[1].read(record) & 0xFF) == 0 &&
        (c.cp15[2].read(record) & 0xFF) == 0 && (c.cp15[3].read(record) & 0xFF) == 0)
        c.agent->mmuEnabled_ = (c.cp15[4].read(record) & 1) != 0;
}

void SubsystemAgent::OnSysregWrite64(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    if (static_cast<uint32_t>(c.sysreg[0].read(record)) == kSystemControlRegister)
        c.agent->mmuEnabled_ = (c.sysreg[1].read(record) & 1) != 0;
}

void SubsystemAgent::OnPeriodic(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    SubsystemAgent& agent = *c.agent;
    const uint64_t time = c.time->now(0);
    if (!agent.inWindow(time)) return;
    const uint64_t count = c.periodic[0].read(record);
    uint64_t& last = agent.perCore_.lastInstructionCount[c.core];
    if (count < last + agent.samplingInterval_) return;
    agent.takeSample(c, c.periodic[1].read(record), time);
    agent.capture_.writeCounterValue(c.core, time, agent.instructionsCounter_, count - last);
    last = count;
}

void SubsystemAgent::OnInst(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    SubsystemAgent& agent = *c.agent;
    const uint64_t time = c.time->now(c.inst[1].read(record, 0));
    if (!agent.inWindow(time)) return;
    if (++agent.instructionEvents_ < agent.samplingInterval_) return;
    agent.takeSample(c, c.inst[0].read(record), time);
    agent.capture_.writeCounterValue(c.core, time, agent.instructionsCounter_,
                                     agent.instructionEvents_);
    agent.instructionEvents_ = 0;
}

void SubsystemAgent::OnExceptionEvent(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    const uint64_t vector = c.exception[1].read(record, 0xFFFFFFFFu);
    if ((vector == 0 || vector == 1) && c.agent->driver_) c.agent->driver_->OnException();
}

void SubsystemAgent::OnSyscallEvent(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    SubsystemAgent& agent = *c.agent;
    const uint64_t time = agent.timeOf(c.syscall[1], record);
    if (!agent.inWindow(time)) return;
    if (static_cast<uint32_t>(c.syscall[0].read(record)) == agent.svcTypeValue_ && agent.driver_)
        agent.driver_->OnSyscall(c.debug, c.core, agent.is64_, time);
}

void SubsystemAgent::OnRunState(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    SubsystemAgent& agent = *c.agent;
    const uint32_t state = static_cast<uint32_t>(c.runState[1].read(record));
    switch (state) {
        case 1:
            agent.capture_.writeIdle(-1, agent.timeOf(c.runState[2], record), c.core);
            break;
        case 3:
        case 4:
        case 5:
        case 8:
            agent.capture_.writeIdle(0, agent.timeOf(c.runState[2], record), c.core);
            break;
        default:
            break;
    }
}

void SubsystemAgent::OnModeChange(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    const uint8_t mode = static_cast<uint8_t>(c.mode[0].read(record));
    std::vector<uint8_t>& userMode = c.agent->perCore_.userMode;
    if (c.core < userMode.size()) userMode[c.core] = (mode & 0xEF) == 0 ? 1 : 0;
}

void SubsystemAgent::OnBranchDirect(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    SubsystemAgent& agent = *c.agent;
    const uint64_t time = agent.timeOf(c.branch[2], record);
    if (!agent.inWindow(time)) return;
    agent.driver_->OnBranch(c.debug, c.core, c.branch[0].read(record), c.branch[1].read(record),
                            agent.is64_, time);
}

void SubsystemAgent::OnBranchIndirect(void* userData, ZVT::EventClass*, const uint8_t* record) {
    auto& c = *static_cast<CoreContext*>(userData);
    SubsystemAgent& agent = *c.agent;
    const uint64_t time = agent.timeOf(c.indirect[2], record);
    if (!agent.inWindow(time)) return;
    agent.driver_->OnBranch(c.debug, c.core, c.indirect[0].read(record),
                            c.indirect[1].read(record), agent.is64_, time);
}

}  // namespace vantric
