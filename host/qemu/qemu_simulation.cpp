#include "qemu_simulation.h"

#include <cstring>

namespace qemuhost {
namespace {

bool Named(const char* name, const char* wanted) { return name != nullptr && std::strcmp(name, wanted) == 0; }

plexa::CAInterface* Answer(plexa::CAInterface* object, uint32_t revision, uint32_t minimum, uint32_t* actual) {
    if (minimum > revision) return nullptr;
    if (actual != nullptr) *actual = revision;
    return object;
}

}  // namespace

class QemuSimulation::SystemTrace final : public ZVT::SystemTraceInterface {
public:
    explicit SystemTrace(QemuSimulation& simulation) : simulation_(simulation) {}

    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimum, uint32_t* actual) override {
        return Named(name, host_names::kSystemTrace) ? Answer(this, 0, minimum, actual) : nullptr;
    }
    int32_t TraceComponentCount() override { return static_cast<int32_t>(simulation_.vcpus_.size()); }
    const char* TraceComponentName(int32_t index) override {
        VcpuComponent* vcpu = At(index);
        return vcpu != nullptr ? vcpu->name().c_str() : nullptr;
    }
    plexa::CAInterface* TraceComponent(int32_t index) override { return At(index); }

private:
    VcpuComponent* At(int32_t index) {
        if (index < 0 || static_cast<size_t>(index) >= simulation_.vcpus_.size()) return nullptr;
        return simulation_.vcpus_[static_cast<size_t>(index)].get();
    }

    QemuSimulation& simulation_;
};

QemuSimulation::QemuSimulation() : systemTrace_(std::make_unique<SystemTrace>(*this)) {
    scheduler_.SetTickSeconds(1e-9);
    registry_.Add(host_names::kSchedulerComponent, &scheduler_);
    registry_.Add(host_names::kSimulationComponent, &control_);
}

QemuSimulation::~QemuSimulation() = default;

plexa::CAInterface* QemuSimulation::LookupInterface(const char* name, uint32_t minimumRevision,
                                                    uint32_t* actualRevision) {
    if (Named(name, host_names::kComponentRegistry)) return Answer(&registry_, 0, minimumRevision, actualRevision);
    if (Named(name, host_names::kSystemTrace)) return Answer(systemTrace_.get(), 0, minimumRevision, actualRevision);
    return nullptr;
}

VcpuComponent& QemuSimulation::AddVcpu(uint32_t thread, VcpuAccess& access, const VcpuRegisters& registers) {
    const auto index = static_cast<uint32_t>(vcpus_.size());
    vcpus_.push_back(std::make_unique<VcpuComponent>("cluster0.cpu" + std::to_string(index), thread, index,
                                                     access, registers));
    registry_.Add(vcpus_.back()->name(), vcpus_.back().get());
    return *vcpus_.back();
}

VcpuComponent* QemuSimulation::VcpuOfThread(uint32_t thread) {
    for (const auto& vcpu : vcpus_) {
        if (vcpu->thread() == thread) return vcpu.get();
    }
    return nullptr;
}

}  // namespace qemuhost
