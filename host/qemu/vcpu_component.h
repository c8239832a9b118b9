// One QEMU vCPU as a processor component of the simulation the plug-in is
// connected to: the trace sources a core offers (those this host can
// produce from breakpoints and interruptions) and the vCPU's debug
// interface. Emit helpers fill the sources' records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kv_trace_component.h"
#include "vcpu_debug.h"

namespace qemuhost {

class VcpuComponent final : public kvhost::TraceComponent {
public:
    // RUN_STATE values.
    static constexpr uint32_t kUnknown = 0;
    static constexpr uint32_t kRunning = 1;
    static constexpr uint32_t kStandbyWfi = 4;
    static constexpr uint32_t kSvc = 0;  // SYSCALL TYPE
    // SYSREG_WRITE64 REGNUM of SCTLR_EL1 (op0 3, op1 0, CRn 1, CRm 0, op2 0).
    static constexpr uint32_t kSctlrNumber = 49168;

    VcpuComponent(std::string name, uint32_t thread, uint32_t index, VcpuAccess& access,
                  const VcpuRegisters& registers);
    ~VcpuComponent() override;

    uint32_t thread() const { return thread_; }
    uint32_t index() const { return index_; }
    VcpuDebug& debug() { return *debug_; }

    void EmitPeriodic(uint64_t instructionCount, uint64_t pc);
    void EmitBranch(uint64_t pc, uint64_t targetPc);
    void EmitSyscall(uint32_t type);
    // Only when the mode differs from the last one emitted.
    void EmitModeIfChanged(uint8_t mode);
    // Only when the state differs from the last one emitted.
    void EmitRunStateIfChanged(uint32_t state);
    void EmitSysregWrite(uint32_t number, uint64_t value);

    uint64_t events() const { return events_; }

protected:
    plexa::CAInterface* LookupExtra(const char* name, uint32_t minimumRevision,
                                    uint32_t* actualRevision) override;

private:
    uint32_t thread_;
    uint32_t index_;
    std::unique_ptr<VcpuDebug> debug_;
    kvhost::TraceSource* periodic_ = nullptr;
    kvhost::TraceSource* branch_ = nullptr;
    kvhost::TraceSource* syscall_ = nullptr;
    kvhost::TraceSource* mode_ = nullptr;
    kvhost::TraceSource* runState_ = nullptr;
    kvhost::TraceSource* sysreg_ = nullptr;
    int lastMode_ = -1;
    uint32_t lastRunState_ = kUnknown;
    uint64_t events_ = 0;
};

}  // namespace qemuhost
