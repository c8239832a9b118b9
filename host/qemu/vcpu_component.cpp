#include "vcpu_component.h"

#include <cstring>

#include "kv_field.h"
#include "kv_trace_source.h"

namespace qemuhost {
namespace {

std::vector<kvhost::EnumEntry> RunStates() {
    return {{0, "UNKNOWN"},     {1, "RUNNING"},     {2, "HALTED"},
            {3, "STANDBY_WFE"}, {4, "STANDBY_WFI"}, {5, "IN_RESET"},
            {6, "DORMANT"},     {7, "SHUTDOWN"},    {8, "RETENTION"}};
}

}  // namespace

VcpuComponent::VcpuComponent(std::string name, uint32_t thread, uint32_t index, VcpuAccess& access,
                             const VcpuRegisters& registers)
    : kvhost::TraceComponent(name), thread_(thread), index_(index),
      debug_(std::make_unique<VcpuDebug>(access, registers, thread, index, name)) {
    using kvhost::Enum;
    using kvhost::LocalTime;
    using kvhost::Unsigned;
    periodic_ = &AddSource("PERIODIC", "The vCPU interrupted at a fixed rate of host time",
                           {Unsigned("INST_COUNT", 8, "Nominal instructions: nanoseconds the guest ran"),
                            Unsigned("PC", 8, "Program counter")});
    // Declared for the plug-in's subscriptions; QEMU gives no such events.
    AddSource("EXCEPTION", "An exception was taken (not reported by this host)",
              {Unsigned("PC", 8, "Program counter"), Unsigned("VECTOR", 4, "Exception vector"), LocalTime()});
    AddSource("CP15_WRITE", "A coprocessor 15 write (AArch32 only; never reported here)",
              {Unsigned("CRn", 1), Unsigned("opc1", 1), Unsigned("CRm", 1), Unsigned("opc2", 1),
               Unsigned("VALUE", 4, "Written value")});
    syscall_ = &AddSource("SYSCALL", "A supervisor call from EL0",
                          {Enum("TYPE", 4, {{0, "SVC"}, {1, "HVC"}, {2, "SMC"}}, "Call kind"), LocalTime()});
    runState_ = &AddSource("RUN_STATE", "The vCPU's run state changed",
                           {Enum("OLD", 4, RunStates(), "Previous state"), Enum("NEW", 4, RunStates(), "New state"),
                            LocalTime()});
    mode_ = &AddSource("MODE_CHANGE", "The exception level and stack pointer choice changed",
                       {Unsigned("MODE", 1, "CPSR.M[4:0]")});
    branch_ = &AddSource("BRA_DIR", "A breakpoint at a watched kernel function was hit",
                         {Unsigned("PC", 8, "Address of the call"), Unsigned("TARGET_PC", 8, "The function"),
                          LocalTime()});
    sysreg_ = &AddSource("SYSREG_WRITE64", "A system register's value as first seen",
                         {Unsigned("REGNUM", 4, "System register number"), Unsigned("VALUE", 8, "Value"),
                          Unsigned("UPDATED_VALUE", 8, "Value")});
}

VcpuComponent::~VcpuComponent() = default;

plexa::CAInterface* VcpuComponent::LookupExtra(const char* name, uint32_t minimumRevision,
                                               uint32_t* actualRevision) {
    return debug_->LookupInterface(name, minimumRevision, actualRevision);
}

void VcpuComponent::EmitPeriodic(uint64_t instructionCount, uint64_t pc) {
    periodic_->SetInteger(0, instructionCount);
    periodic_->SetInteger(1, pc);
    periodic_->Dispatch();
    ++events_;
}

void VcpuComponent::EmitBranch(uint64_t pc, uint64_t targetPc) {
    branch_->SetInteger(0, pc);
    branch_->SetInteger(1, targetPc);
    branch_->SetInteger(2, 0);
    branch_->Dispatch();
    ++events_;
}

void VcpuComponent::EmitSyscall(uint32_t type) {
    syscall_->SetInteger(0, type);
    syscall_->SetInteger(1, 0);
    syscall_->Dispatch();
    ++events_;
}

void VcpuComponent::EmitModeIfChanged(uint8_t mode) {
    if (lastMode_ == mode) return;
    lastMode_ = mode;
    mode_->SetInteger(0, mode);
    mode_->Dispatch();
    ++events_;
}

void VcpuComponent::EmitRunStateIfChanged(uint32_t state) {
    if (lastRunState_ == state) return;
    runState_->SetInteger(0, lastRunState_);
    runState_->SetInteger(1, state);
    runState_->SetInteger(2, 0);
    lastRunState_ = state;
    runState_->Dispatch();
    ++events_;
}

void VcpuComponent::EmitSysregWrite(uint32_t number, uint64_t value) {
    sysreg_->SetInteger(0, number);
    sysreg_->SetInteger(1, value);
    sysreg_->SetInteger(2, value);
    sysreg_->Dispatch();
    ++events_;
}

}  // namespace qemuhost
