// The simulation object the plug-in is connected to when the cores are
// QEMU's vCPUs: the component registry, the system trace interface over the
// vCPU components, the scheduler (nanoseconds the guest ran) and the
// simulation control. The plug-in sees the same interfaces as from simhost.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host_abi.h"
#include "kv_services.h"
#include "vcpu_component.h"

namespace qemuhost {

class QemuSimulation final : public plexa::CAInterface {
public:
    QemuSimulation();
    ~QemuSimulation() override;
    QemuSimulation(const QemuSimulation&) = delete;
    QemuSimulation& operator=(const QemuSimulation&) = delete;

    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;

    // "cluster0.cpu<index>" for the vCPU with gdb thread id `thread`.
    VcpuComponent& AddVcpu(uint32_t thread, VcpuAccess& access, const VcpuRegisters& registers);
    size_t vcpuCount() const { return vcpus_.size(); }
    VcpuComponent& vcpu(size_t index) { return *vcpus_.at(index); }
    VcpuComponent* VcpuOfThread(uint32_t thread);

    // Sets the time the plug-in reads for the events emitted next.
    void SetNanoseconds(uint64_t ns) { scheduler_.SetTicks(ns); }
    bool endRequested() const { return control_.ended(); }

private:
    class SystemTrace;

    kvhost::ComponentRegistry registry_;
    kvhost::Scheduler scheduler_;
    kvhost::SimulationControl control_;
    std::unique_ptr<SystemTrace> systemTrace_;
    std::vector<std::unique_ptr<VcpuComponent>> vcpus_;
};

}  // namespace qemuhost
