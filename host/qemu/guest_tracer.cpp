#include "guest_tracer.h"

#include "step_emulator.h"

#include <chrono>
#include <cstdio>

namespace qemuhost {
namespace {

using Clock = std::chrono::steady_clock;
// How long an interrupted guest may take to stop.
constexpr int kStopTimeoutMs = 10000;

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

GuestTracer::GuestTracer(GdbTarget& target, GdbVcpuAccess& access, QemuSimulation& simulation,
                         GuestClock& clock, uint64_t sampleIntervalNs)
    : target_(target), access_(access), simulation_(simulation), clock_(clock),
      sampleIntervalNs_(sampleIntervalNs) {}

bool GuestTracer::Fail(const std::string& what) {
    error_ = what + (target_.error().empty() ? "" : ": " + target_.error());
    return false;
}

bool GuestTracer::Start(uint64_t switchTo, uint64_t releaseTask) {
    switchTo_ = switchTo;
    releaseTask_ = releaseTask;
    for (size_t i = 0; i < simulation_.vcpuCount(); ++i) {
        VcpuComponent& vcpu = simulation_.vcpu(i);
        const auto vbar = access_.Register(vcpu.thread(), "VBAR_EL1");
        const auto sctlr = access_.Register(vcpu.thread(), "SCTLR_EL1");
        if (!vbar || !sctlr) return Fail("cannot read VBAR_EL1 and SCTLR_EL1 of " + vcpu.name());
        // A vCPU the kernel has not brought up has no vectors yet.
        if (*vbar != 0) vectors_.insert(*vbar + kEl0SyncOffset);
        simulation_.SetNanoseconds(clock_.Now());
        vcpu.EmitRunStateIfChanged(VcpuComponent::kRunning);
        vcpu.EmitSysregWrite(VcpuComponent::kSctlrNumber, *sctlr);
        ReportMode(vcpu);
    }
    if (vectors_.empty()) return Fail("no vCPU has its exception vectors set (VBAR_EL1 is 0)");
    std::set<uint64_t> all = vectors_;
    all.insert(switchTo_);
    all.insert(releaseTask_);
    const uint32_t first = simulation_.vcpu(0).thread();
    const bool pointerAuthentication = StepEmulator::HasPointerAuthentication(
        access_.Register(first, "ID_AA64ISAR1_EL1").value_or(~uint64_t{0}),
        access_.Register(first, "ID_AA64ISAR2_EL1").value_or(0));
    for (uint64_t address : all) {
        uint8_t bytes[4] = {};
        std::optional<uint64_t> next;
        if (access_.ReadVirtual(first, address, bytes) == sizeof bytes) {
            const uint32_t instruction =
                uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
            next = StepEmulator::NextPc(instruction, address, pointerAuthentication);
        }
        emulated_[address] = next;
        if (!target_.InsertBreakpoint(address)) return Fail("cannot set a breakpoint at " + Hex(address));
    }
    return true;
}

bool GuestTracer::Resume() {
    access_.Invalidate();
    if (!target_.Continue()) return Fail("cannot resume the guest");
    clock_.Resume();
    return true;
}

bool GuestTracer::StepOver(uint32_t thread, uint64_t pc) {
    // QEMU lets a single step leave a breakpoint address without reporting
    // it again, so the breakpoint stays: lifting and setting it would make
    // QEMU discard every translated block each time.
    const auto known = emulated_.find(pc);
    const std::optional<uint32_t> pcNumber = access_.RegisterNumber("PC");
    if (known != emulated_.end() && known->second && pcNumber) {
        uint8_t bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(*known->second >> (8 * i));
        if (!target_.SelectThread(thread) || !target_.WriteRegister(*pcNumber, bytes)) {
            return Fail("cannot move the pc of thread " + std::to_string(thread) + " past " + Hex(pc));
        }
        ++counts_.emulatedSteps;
        return true;
    }
    ++counts_.realSteps;
    access_.Invalidate();
    std::optional<StopReply> stop = target_.Step(thread, kStopTimeoutMs);
    if (!stop) return Fail("cannot step over the breakpoint at " + Hex(pc));
    target_.OnStopped();
    if (stop->kind != StopReply::Kind::kStopped) return Fail("the guest ended during a single step");
    const auto after = access_.Register(thread, "PC");
    if (after && *after != pc) return true;
    // A stub that stops on the breakpoint again: step with it lifted.
    if (!target_.RemoveBreakpoint(pc)) return Fail("cannot lift the breakpoint at " + Hex(pc));
    access_.Invalidate();
    stop = target_.Step(thread, kStopTimeoutMs);
    if (!stop) return Fail("cannot step over the breakpoint at " + Hex(pc));
    target_.OnStopped();
    if (stop->kind != StopReply::Kind::kStopped) return Fail("the guest ended during a single step");
    return target_.InsertBreakpoint(pc) || Fail("cannot set the breakpoint at " + Hex(pc) + " again");
}

void GuestTracer::ReportMode(VcpuComponent& vcpu) {
    if (const auto cpsr = access_.Register(vcpu.thread(), "CPSR")) {
        vcpu.EmitModeIfChanged(static_cast<uint8_t>(*cpsr & 0x1F));
    }
}

void GuestTracer::Sample(VcpuComponent& vcpu) {
    const auto pc = access_.Register(vcpu.thread(), "PC");
    if (!pc || *pc == 0) return;  // a vCPU that never started
    ReportMode(vcpu);
    // QEMU leaves a vCPU halted in WFI with its pc after the instruction.
    uint8_t bytes[4] = {};
    const bool idle = access_.ReadVirtual(vcpu.thread(), *pc - 4, bytes) == 4 &&
                      (uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                       uint32_t{bytes[3]} << 24) == kWfi;
    vcpu.EmitRunStateIfChanged(idle ? VcpuComponent::kStandbyWfi : VcpuComponent::kRunning);
    vcpu.EmitPeriodic(clock_.Now(), *pc);
    ++counts_.samples;
}

bool GuestTracer::OnStop(uint32_t thread, bool sample) {
    target_.OnStopped();
    simulation_.SetNanoseconds(clock_.Now());
    VcpuComponent* stopped = simulation_.VcpuOfThread(thread);
    uint64_t breakpoint = 0;
    if (stopped != nullptr) {
        const auto pc = access_.Register(thread, "PC");
        if (!pc) return Fail("cannot read the pc of " + stopped->name());
        if (*pc == switchTo_ || *pc == releaseTask_) {
            breakpoint = *pc;
            ReportMode(*stopped);
            const uint64_t lr = access_.Register(thread, "X30").value_or(4);
            stopped->EmitBranch(lr - 4, *pc);
            ++(*pc == switchTo_ ? counts_.switches : counts_.exits);
        } else if (vectors_.count(*pc) != 0) {
            breakpoint = *pc;
            const auto esr = access_.Register(thread, "ESR_EL1");
            if (esr && ((*esr >> 26) & 0x3F) == kSvc64) {
                stopped->EmitSyscall(VcpuComponent::kSvc);
                ++counts_.syscalls;
            } else {
                ++counts_.otherExceptions;
            }
        }
    }
    if (sample) {
        ++counts_.samplingStops;
        for (size_t i = 0; i < simulation_.vcpuCount(); ++i) Sample(simulation_.vcpu(i));
    }
    if (breakpoint != 0 && !StepOver(thread, breakpoint)) return false;
    return true;
}

GuestTracer::Outcome GuestTracer::Run(int timeoutMs, const std::atomic<bool>& stop) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!Resume()) return Outcome::kFailed;
    uint64_t nextSample = clock_.Now() + sampleIntervalNs_;
    bool interrupted = false;
    auto interruptSent = Clock::now();
    while (true) {
        if (stop.load() || Clock::now() >= deadline) {
            // Leave the guest stopped so that nothing follows the release.
            if (!interrupted) target_.remote().Interrupt();
            std::string reply;
            for (int i = 0; i < 64 && target_.remote().WaitPacket(reply, 2000) == GdbRemote::Wait::kPacket; ++i) {
                if (StopReply::Parse(reply)) break;
            }
            clock_.Stop();
            return stop.load() ? Outcome::kInterrupted : Outcome::kTimedOut;
        }
        const uint64_t now = clock_.Now();
        int waitMs = 100;
        if (!interrupted) {
            waitMs = nextSample > now ? static_cast<int>(std::min<uint64_t>((nextSample - now) / 1000000 + 1, 100)) : 0;
        }
        std::string reply;
        switch (target_.remote().WaitPacket(reply, waitMs)) {
        case GdbRemote::Wait::kFailed:
            clock_.Stop();
            if (stop.load()) return Outcome::kInterrupted;  // QEMU was killed by the signal
            Fail("the gdbstub dropped the connection");
            return Outcome::kFailed;
        case GdbRemote::Wait::kTimeout:
            if (!interrupted && clock_.Now() >= nextSample) {
                if (!target_.remote().Interrupt()) {
                    Fail("the gdbstub dropped the connection");
                    return Outcome::kFailed;
                }
                interrupted = true;
                interruptSent = Clock::now();
            } else if (interrupted && Clock::now() - interruptSent > std::chrono::milliseconds(kStopTimeoutMs)) {
                Fail("the guest did not stop within " + std::to_string(kStopTimeoutMs / 1000) + " s of an interrupt");
                return Outcome::kFailed;
            }
            continue;
        case GdbRemote::Wait::kPacket:
            break;
        }
        const std::optional<StopReply> parsed = StopReply::Parse(reply);
        if (!parsed) continue;  // console output of the stub
        clock_.Stop();
        if (parsed->kind != StopReply::Kind::kStopped) return Outcome::kPoweredOff;
        // One stop answers a pending interrupt whatever its reason: QEMU
        // ignores an interrupt that reaches an already stopped guest.
        const bool sample = interrupted || clock_.Now() >= nextSample;
        interrupted = false;
        if (!OnStop(parsed->thread, sample)) return Outcome::kFailed;
        if (sample) nextSample = clock_.Now() + sampleIntervalNs_;
        if (!Resume()) return Outcome::kFailed;
    }
}

}  // namespace qemuhost
