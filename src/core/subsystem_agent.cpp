#include "core/subsystem_agent.h"

#include <vector>

#include "core/agent_callbacks.h"
#include "core/core_table.h"
#include "core/os_driver_factory.h"
#include "counters/counter_set.h"
#include "os/linux/linux_driver.h"
#include "os/os_driver.h"
#include "os/target_access.h"
#include "util/bind_trace_callback.h"
#include "util/console.h"
#include "util/guarded_call.h"

namespace vantric {
namespace {

constexpr const char* kRegisterComponent = "Trace Register sim";

enum class When { kAlways, kPeriodicSampling, kInstructionSampling, kSyscalls, kBranches, kIndirectBranches };
enum class OnFailure { kWarn, kError };

}  // namespace

// One trace source a core subscribes to, with the fields its callback reads.
struct SubsystemAgent::Subscription {
    const char* source;
    const char* fields[5];
    bool optional[5];
    When when;
    OnFailure onFailure;
    ZVT::EventCallback callback;
    EventField* (*fieldsOf)(TracedCore&);
};

SubsystemAgent::SubsystemAgent(const Settings& settings)
    : SubsystemAgent(settings, CreateOSDriver(settings.kernelType, settings.counters,
                                              settings.capture, settings.callstackDepth,
                                              settings.driverConfiguration)) {}

SubsystemAgent::SubsystemAgent(const Settings& settings, std::unique_ptr<OSDriver> driver)
    : counters_(settings.counters),
      kernelType_(settings.kernelType),
      periodicSampling_(settings.periodicSampling),
      instructionSampling_(settings.instructionSampling),
      agentNumber_(settings.agentNumber),
      driver_(std::move(driver)),
      state_{settings.timeSource, settings.capture, settings.cores, settings.samplingInterval,
             settings.windowStart, settings.windowEnd} {
    if (!driver_) {
        ErrorLine("Vantric Trace Init", "Unsupported kernel type");
        return;
    }
    state_.driver = driver_.get();
    state_.linuxDriver = dynamic_cast<LinuxDriver*>(driver_.get());
    warningText_ = driver_->Messages();
}

SubsystemAgent::~SubsystemAgent() = default;

void SubsystemAgent::finishDriver(uint64_t time) {
    if (driver_) driver_->Finish(time);
    state_.driver = nullptr;
    state_.linuxDriver = nullptr;
    driver_.reset();
}

uint32_t SubsystemAgent::registerCore(ZVT::ComponentTraceInterface* trace, uint32_t core) {
    if (firstCore_ == 0xFFFFFFFFu) firstCore_ = core;
    if (trace->FindTraceSource("PERIODIC") == nullptr)
        return trace->FindTraceSource("MMU_TLB_FILL") == nullptr ? kNotACore : kTlbOnly;

    auto* debug = static_cast<plexa::SQOVI2*>(
        trace->LookupInterface(host_names::kDebugInterface, 0, nullptr));
    state_.cores.addDebug(debug);
    TracedCore& traced =
        cores_.emplace_back(TracedCore{&state_, &state_.time, &state_.cores.state(core), core, debug});

    using C = AgentCallbacks;
    using G = GuardedCall;
    const ZVT::EventCallback onBranch = state_.linuxDriver != nullptr
                                            ? G::Event<C::OnLinuxBranch>
                                            : G::Event<C::OnBranchDirect>;
    const Subscription subscriptions[] = {
        {"CP15_WRITE", {"CRn", "opc1", "CRm", "opc2", "VALUE"}, {}, When::kAlways, OnFailure::kWarn,
         G::Event<C::OnCp15Write>, [](TracedCore& c) { return c.cp15; }},
        {"SYSREG_WRITE64", {"REGNUM", "VALUE", "UPDATED_VALUE"}, {}, When::kAlways,
         OnFailure::kWarn, G::Event<C::OnSysregWrite64>, [](TracedCore& c) { return c.sysreg; }},
        {"PERIODIC", {"INST_COUNT", "PC"}, {}, When::kPeriodicSampling, OnFailure::kError,
         G::Event<C::OnPeriodic>, [](TracedCore& c) { return c.periodic; }},
        {"INST", {"PC", "LOCAL_TIME"}, {false, true}, When::kInstructionSampling,
         OnFailure::kError, G::Event<C::OnInst>, [](TracedCore& c) { return c.inst; }},
        {"EXCEPTION", {"PC", "VECTOR", "LOCAL_TIME"}, {false, false, true}, When::kAlways,
         OnFailure::kError, G::Event<C::OnException>, [](TracedCore& c) { return c.exception; }},
        {"SYSCALL", {"TYPE", "LOCAL_TIME"}, {false, true}, When::kSyscalls, OnFailure::kError,
         G::Event<C::OnSyscall>, [](TracedCore& c) { return c.syscall; }},
        {"RUN_STATE", {"OLD", "NEW", "LOCAL_TIME"}, {false, false, true}, When::kAlways,
         OnFailure::kError, G::Event<C::OnRunState>, [](TracedCore& c) { return c.runState; }},
        {"MODE_CHANGE", {"MODE"}, {}, When::kAlways, OnFailure::kError, G::Event<C::OnModeChange>,
         [](TracedCore& c) { return c.mode; }},
        {"BRA_DIR", {"PC", "TARGET_PC", "LOCAL_TIME"}, {false, false, true}, When::kBranches,
         OnFailure::kError, onBranch, [](TracedCore& c) { return c.branch; }},
        {"BRA_INDIR", {"PC", "TARGET_PC", "LOCAL_TIME"}, {false, false, true},
         When::kIndirectBranches, OnFailure::kError, G::Event<C::OnBranchIndirect>,
         [](TracedCore& c) { return c.indirect; }},
    };

    std::ostringstream messages;
    for (const Subscription& subscription : subscriptions) {
        if (!wanted(subscription)) continue;
        if (subscription.when == When::kSyscalls) findSvcValue(trace);
        if (!subscribe(trace, traced, subscription, messages)) {
            if (subscription.onFailure == OnFailure::kError) {
                ErrorLine(kRegisterComponent, messages.str());
                return kRegistrationFailed;
            }
            WarnLine(kRegisterComponent, messages.str());
            messages.str("");
        }
        if (subscription.callback == G::Event<C::OnModeChange>) findRegisters(debug);
    }
    return kCoreRegistered;
}

bool SubsystemAgent::wanted(const Subscription& subscription) const {
    switch (subscription.when) {
        case When::kAlways: return true;
        case When::kPeriodicSampling: return periodicSampling_;
        case When::kInstructionSampling: return instructionSampling_;
        case When::kSyscalls: return driver_ && driver_->WantsSyscallEvents();
        case When::kBranches: return driver_ && driver_->WantsBranchEvents();
        case When::kIndirectBranches:
            return driver_ && driver_->WantsBranchEvents() && kernelType_ == kBareMetal;
    }
    return false;
}

bool SubsystemAgent::subscribe(ZVT::ComponentTraceInterface* trace, TracedCore& core,
                               const Subscription& subscription, std::ostringstream& messages) {
    EventField* fields = subscription.fieldsOf(core);
    std::vector<FieldBindingRequest> requests;
    for (size_t i = 0; i < 5 && subscription.fields[i] != nullptr; ++i)
        requests.push_back({subscription.fields[i], &fields[i].index, subscription.optional[i], nullptr});
    ZVT::EventClass* eventClass = nullptr;
    if (!BindTraceCallback(trace, subscription.source, requests, &core, subscription.callback,
                           messages, &eventClass))
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
        if (constant.name != nullptr && std::string_view(constant.name) == "SVC")
            state_.svcTypeValue = constant.value;
    }
}

void SubsystemAgent::findRegisters(plexa::SQOVI2* debug) {
    auto find = [debug](const char* name) {
        return TargetAccess::FindRegister(debug, TargetAccess::kAllGroups, name);
    };
    state_.is64 = find("X0") != TargetAccess::kNotFound;
    state_.linkRegister = find(state_.is64 ? "X30" : "R14");
    state_.framePointer64 = find("X29");
    state_.framePointer32 = find("R11");
    state_.stackPointer = find("SP");
    if (state_.stackPointer == TargetAccess::kNotFound) state_.stackPointer = find("R13");
    if (state_.stackPointer == TargetAccess::kNotFound)
        ErrorLine("Vantric subsystem agent", "SP/R13 register not found");
    state_.cpsrRegister = find("CPSR");
}

uint32_t SubsystemAgent::start(uint32_t coreCount) {
    if (started_) return 0;
    started_ = true;
    state_.instructionsCounter = counters_.AddCounter(
        "Instruction Count", "Instructions", "icount", "hertz", "IPS", true, true, false, 1.0f,
        false, false, "");
    if (!driver_) {
        ErrorLine(kRegisterComponent, "OS driver instantiation failed");
        return 1;
    }
    const uint32_t first = firstCore_ == 0xFFFFFFFFu ? 0 : firstCore_;
    if (!driver_->Init(state_.cores.debugOf(first), coreCount, state_.is64)) {
        WarnLine(kRegisterComponent, "Unable to initialize os driver");
        return 1;
    }
    return 0;
}

}  // namespace vantric
