// Runs the guest and turns what it does into trace events of the vCPU
// components, all-stop: breakpoints at __switch_to and release_task give
// BRA_DIR events, one at the EL0 synchronous vector (VBAR_EL1 + 0x400) gives
// SYSCALL events for exceptions whose ESR_EL1.EC is SVC64, and an
// interruption every sampling interval gives each vCPU's PERIODIC event.
// Every stop also reports a changed exception level (MODE_CHANGE) and, for
// sampled vCPUs, whether they sit in WFI (RUN_STATE). The plug-in reads the
// stopped guest from inside those events.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "gdb_target.h"
#include "gdb_vcpu_access.h"
#include "guest_clock.h"
#include "qemu_simulation.h"

namespace qemuhost {

struct TracerCounts {
    uint64_t switches = 0;
    uint64_t exits = 0;
    uint64_t syscalls = 0;
    uint64_t otherExceptions = 0;  // EL0 synchronous exceptions that are not SVC
    uint64_t samplingStops = 0;
    uint64_t samples = 0;
    uint64_t emulatedSteps = 0;
    uint64_t realSteps = 0;
};

class GuestTracer {
public:
    static constexpr uint64_t kEl0SyncOffset = 0x400;
    static constexpr uint32_t kSvc64 = 0x15;  // ESR_EL1.EC of SVC from AArch64
    static constexpr uint32_t kWfi = 0xd503207f;

    GuestTracer(GdbTarget& target, GdbVcpuAccess& access, QemuSimulation& simulation, GuestClock& clock,
                uint64_t sampleIntervalNs);

    // With every vCPU stopped: sets the breakpoints and tells the plug-in
    // each vCPU's state. False with error() set.
    bool Start(uint64_t switchTo, uint64_t releaseTask);

    enum class Outcome { kPoweredOff, kTimedOut, kInterrupted, kFailed };
    // Resumes the guest and follows it until it powers off, `timeoutMs` of
    // host time pass, or `stop` becomes true.
    Outcome Run(int timeoutMs, const std::atomic<bool>& stop);

    const TracerCounts& counts() const { return counts_; }
    const std::string& error() const { return error_; }

private:
    bool Fail(const std::string& what);
    bool Resume();
    bool StepOver(uint32_t thread, uint64_t pc);
    // Handles one stop; `sample` when the sampling interval is due.
    bool OnStop(uint32_t thread, bool sample);
    void Sample(VcpuComponent& vcpu);
    void ReportMode(VcpuComponent& vcpu);

    GdbTarget& target_;
    GdbVcpuAccess& access_;
    QemuSimulation& simulation_;
    GuestClock& clock_;
    uint64_t sampleIntervalNs_;
    uint64_t switchTo_ = 0;
    uint64_t releaseTask_ = 0;
    std::set<uint64_t> vectors_;
    // Per breakpoint: the pc after its instruction when writing the pc can
    // stand in for a single step (StepEmulator).
    std::map<uint64_t, std::optional<uint64_t>> emulated_;
    TracerCounts counts_;
    std::string error_;
};

}  // namespace qemuhost
