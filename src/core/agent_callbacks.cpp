#include "core/agent_callbacks.h"

#include <span>

#include "capture/capture_writer.h"
#include "core/agent_state.h"
#include "core/core_table.h"
#include "core/traced_core.h"
#include "os/linux/linux_driver.h"
#include "os/os_driver.h"
#include "os/target_access.h"
#include "time/time_source.h"

namespace vantric {
namespace {

constexpr uint32_t kSystemControlRegister = 49168;  // SCTLR as a SYSREG_WRITE64 number
constexpr uint32_t kUserMode32 = 0x10;

TracedCore& CoreOf(void* userData) {
    return *static_cast<TracedCore*>(userData);
}

uint64_t TimeOf(const TracedCore& c, const EventField& localTime, const uint8_t* record) {
    return c.time->now(localTime.read(record, 0));
}

}  // namespace

void AgentCallbacks::TakeSample(const TracedCore& c, uint64_t pc, uint64_t time) {
    AgentState& agent = *c.agent;
    plexa::SQOVI2* debug = c.debug;
    const uint64_t lr = TargetAccess::ReadRegister64(debug, agent.linkRegister);
    const bool aarch64Frame =
        agent.is64 && (TargetAccess::ReadRegister32(debug, agent.cpsrRegister) & 0x1F) != kUserMode32;
    const uint64_t fp = aarch64Frame ? TargetAccess::ReadRegister64(debug, agent.framePointer64)
                                     : TargetAccess::ReadRegister32(debug, agent.framePointer32);
    const uint64_t sp = TargetAccess::ReadRegister64(debug, agent.stackPointer);
    if (agent.driver != nullptr) {
        agent.driver->OnSample(debug, c.core, pc, lr, fp, sp, c.state->userMode, agent.mmuEnabled,
                               agent.is64, time);
        return;
    }
    // Without OS awareness a sample carries the program counter alone.
    const uint32_t cookie = 0;
    agent.capture.writeSample(c.core, time, 0, 0, 0, std::span<const uint32_t>(&cookie, 1),
                              std::span<const uint64_t>(&pc, 1));
}

void AgentCallbacks::OnCp15Write(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    if ((c.cp15[0].read(record) & 0xFF) == 1 && (c.cp15[1].read(record) & 0xFF) == 0 &&
        (c.cp15[2].read(record) & 0xFF) == 0 && (c.cp15[3].read(record) & 0xFF) == 0)
        c.agent->mmuEnabled = (c.cp15[4].read(record) & 1) != 0;
}

void AgentCallbacks::OnSysregWrite64(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    if (static_cast<uint32_t>(c.sysreg[0].read(record)) == kSystemControlRegister)
        c.agent->mmuEnabled = (c.sysreg[1].read(record) & 1) != 0;
}

void AgentCallbacks::OnPeriodic(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    AgentState& agent = *c.agent;
    const uint64_t time = c.time->now(0);
    if (!agent.inWindow(time)) return;
    const uint64_t count = c.periodic[0].read(record);
    uint64_t& last = c.state->lastInstructionCount;
    if (count < last + agent.samplingInterval) return;
    TakeSample(c, c.periodic[1].read(record), time);
    agent.capture.writeCounterValue(c.core, time, agent.instructionsCounter, count - last);
    last = count;
}

void AgentCallbacks::OnInst(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    AgentState& agent = *c.agent;
    const uint64_t time = TimeOf(c, c.inst[1], record);
    if (!agent.inWindow(time)) return;
    if (++agent.instructionEvents < agent.samplingInterval) return;
    TakeSample(c, c.inst[0].read(record), time);
    agent.capture.writeCounterValue(c.core, time, agent.instructionsCounter,
                                    agent.instructionEvents);
    agent.instructionEvents = 0;
}

void AgentCallbacks::OnException(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    const uint64_t vector = c.exception[1].read(record, 0xFFFFFFFFu);
    if ((vector == 0 || vector == 1) && c.agent->driver != nullptr) c.agent->driver->OnException();
}

void AgentCallbacks::OnSyscall(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    AgentState& agent = *c.agent;
    const uint64_t time = TimeOf(c, c.syscall[1], record);
    if (!agent.inWindow(time)) return;
    if (static_cast<uint32_t>(c.syscall[0].read(record)) == agent.svcTypeValue &&
        agent.driver != nullptr)
        agent.driver->OnSyscall(c.debug, c.core, agent.is64, time);
}

void AgentCallbacks::OnRunState(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    switch (static_cast<uint32_t>(c.runState[1].read(record))) {
        case 1:
            c.agent->capture.writeIdle(-1, TimeOf(c, c.runState[2], record), c.core);
            break;
        case 3:
        case 4:
        case 5:
        case 8:
            c.agent->capture.writeIdle(0, TimeOf(c, c.runState[2], record), c.core);
            break;
        default:
            break;
    }
}

void AgentCallbacks::OnModeChange(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    c.state->userMode = (static_cast<uint8_t>(c.mode[0].read(record)) & 0xEF) == 0;
}

void AgentCallbacks::OnBranchDirect(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    AgentState& agent = *c.agent;
    const uint64_t time = TimeOf(c, c.branch[2], record);
    if (!agent.inWindow(time)) return;
    agent.driver->OnBranch(c.debug, c.core, c.branch[0].read(record), c.branch[1].read(record),
                           agent.is64, time);
}

void AgentCallbacks::OnBranchIndirect(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    AgentState& agent = *c.agent;
    const uint64_t time = TimeOf(c, c.indirect[2], record);
    if (!agent.inWindow(time)) return;
    agent.driver->OnBranch(c.debug, c.core, c.indirect[0].read(record),
                           c.indirect[1].read(record), agent.is64, time);
}

void AgentCallbacks::OnLinuxBranch(void* userData, ZVT::EventClass*, const uint8_t* record) {
    TracedCore& c = CoreOf(userData);
    LinuxDriver& driver = *c.agent->linuxDriver;
    const uint64_t target = c.branch[1].read(record);
    // The driver ignores every other target, so the time of those branches is
    // never needed.
    if (!driver.IsTaskBranch(target)) return;
    const uint64_t time = TimeOf(c, c.branch[2], record);
    if (!c.agent->inWindow(time)) return;
    driver.OnBranch(c.debug, c.core, c.branch[0].read(record), target, c.agent->is64, time);
}

}  // namespace vantric
