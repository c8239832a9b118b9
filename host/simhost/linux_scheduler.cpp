#include "linux_scheduler.h"

#include <algorithm>

#include "kv_processor.h"
#include "kv_simulation.h"
#include "kv_trace_source.h"

namespace simhost {
namespace {

using kvhost::KernelImage;
using Blocking = LinuxWorkload::Blocking;

constexpr uint8_t kUserMode = 0x00;    // EL0t
constexpr uint8_t kKernelMode = 0x05;  // EL1h
constexpr uint64_t kUserCpsr = 0x0;
constexpr uint64_t kKernelCpsr = 0x3C5;
constexpr uint32_t kRunning = 1;
constexpr uint32_t kStandbyWfi = 4;
constexpr uint32_t kSvc = 0;
constexpr uint32_t kSctlrRegnum = 0xC010;
constexpr uint64_t kTaskInterruptible = 1;
constexpr uint64_t kTaskUninterruptible = 2;
constexpr uint64_t kTaskDead = 0x80;

constexpr uint64_t kExeBase = 0x0000AAAAB0000000ull;
constexpr uint64_t kLibraryBase = 0x0000FFFF80000000ull;
constexpr uint64_t kJitBase = 0x0000FFFFA0000000ull;
constexpr uint64_t kKernelStacks = 0xFFFF000010000000ull;

}  // namespace

LinuxScheduler::LinuxScheduler(const LinuxWorkload& workload, KernelImage& image,
                               std::vector<kvhost::Processor*> cpus, kvhost::TraceSource& refill,
                               LinuxTruthRecorder& recorder, const KernelCode& code, uint64_t seed,
                               uint64_t instructions)
    : image_(image),
      refill_(refill),
      recorder_(recorder),
      code_(code),
      instructions_(instructions),
      random_(seed) {
    for (const LinuxWorkload::ProcessEntry& p : workload.processes()) AddProcess(p, instructions);

    Thread worker;  // a kernel thread: no memory descriptor, kernel mode only
    worker.tid = workload.worker().tid;
    worker.task = image_.AddKernelThread(worker.tid, workload.worker().comm);
    worker.user = false;
    threads_.push_back(worker);

    for (Thread& t : threads_) {
        if (t.process < 0) continue;
        t.stackTop = image_.NewUserStack();
        image_.MapAnonymous(t.task, t.stackTop - 0x10000, t.stackTop);
        processes_[t.process].areas.push_back({t.stackTop - 0x10000, t.stackTop, "", false});
        NewCallPath(t);
    }
    AddCalls(workload);

    for (uint32_t c = 0; c < cpus.size(); ++c) {
        Core core;
        core.cpu = cpus[c];
        core.idleTask = image_.AddKernelThread(0, "swapper/" + std::to_string(c));
        const uint64_t stackTop = kKernelStacks + (c + 1) * 0x10000;
        const uint64_t returns[] = {code_.text + 0x40000 + 0x120, code_.text + 0x50000 + 0x88,
                                    code_.text + 0x60000 + 0x10};
        core.kernelRegs = image_.WriteFrameRecords(stackTop, returns);
        cores_.push_back(core);
    }
}

void LinuxScheduler::AddProcess(const LinuxWorkload::ProcessEntry& entry, uint64_t instructions) {
    Process p;
    p.exe = entry.exe;
    p.areas.push_back({kExeBase, kExeBase + LinuxWorkload::kExeCodeSize, entry.exe, true});
    p.areas.push_back({kExeBase + 0x90000, kExeBase + 0xA0000, entry.exe, false});
    // The user data the builder hands out (system-call strings) is the heap.
    p.areas.push_back({KernelImage::kUserDataBase64, KernelImage::kUserDataBase64 + 0x1000000, "", false});
    for (size_t i = 0; i < entry.libraries.size(); ++i) {
        const uint64_t base = kLibraryBase + i * 0x400000;
        p.areas.push_back({base, base + LinuxWorkload::kLibraryCodeSize, entry.libraries[i], true});
        p.areas.push_back({base + 0x190000, base + 0x1A0000, entry.libraries[i], false});
    }
    if (entry.jitArea) p.areas.push_back({kJitBase, kJitBase + 0x100000, "", true});

    const uint64_t leader = image_.AddProcess(entry.pid, entry.comm, entry.exe);
    for (const Area& a : p.areas) {
        if (a.path.empty()) {
            image_.MapAnonymous(leader, a.start, a.end);
        } else {
            const uint64_t pageOffset = a.code ? 0 : (a.start & 0xFFFFF) >> 12;
            image_.MapFile(leader, a.start, a.end, a.path, pageOffset);
        }
    }
    processes_.push_back(std::move(p));
    const int index = static_cast<int>(processes_.size() - 1);
    Thread t;
    t.tid = entry.pid;
    t.process = index;
    t.task = leader;
    threads_.push_back(t);
    for (const LinuxWorkload::ThreadEntry& e : entry.threads) {
        t.tid = e.tid;
        t.lifetime = LinuxWorkload::LifetimeInstructions(e.lifetime, instructions);
        t.task = image_.AddThread(leader, e.tid, e.comm);
        threads_.push_back(t);
    }
}

void LinuxScheduler::AddCalls(const LinuxWorkload& workload) {
    // The order fixes where each string lands in user memory.
    for (Process& p : processes_) {
        for (const LinuxWorkload::PlainCall& plain : workload.plainCalls()) {
            Call c;
            c.number = plain.number;
            c.args = {3, image_.UserString("buffer"), 4096, 0, 0, 0};
            c.blocking = plain.blocking;
            c.blockChance = plain.blockChance;
            p.calls.push_back(c);
        }
    }
    for (size_t i = 0; i < processes_.size(); ++i) {
        const LinuxWorkload::ProcessEntry& entry = workload.processes()[i];
        for (const LinuxWorkload::OpenEntry& open : entry.opens) {
            Call c;
            c.number = LinuxWorkload::kOpenatNumber;
            c.args = {static_cast<uint64_t>(LinuxWorkload::kAtFdcwd), image_.UserString(open.path),
                      static_cast<uint64_t>(static_cast<uint32_t>(open.flags)),
                      static_cast<uint64_t>(open.mode), 0, 0};
            c.blocking = open.blocking;
            c.blockChance = open.blockChance;
            c.open = &open;
            processes_[i].calls.push_back(c);
        }
        for (const LinuxWorkload::ExecEntry& exec : entry.execs) {
            std::vector<uint64_t> argvPointers;
            for (const std::string& a : exec.argv) argvPointers.push_back(image_.UserString(a));
            std::vector<uint64_t> envpPointers;
            for (const std::string& e : exec.envp) envpPointers.push_back(image_.UserString(e));
            Call c;
            c.number = LinuxWorkload::kExecveNumber;
            c.args = {image_.UserString(exec.file), image_.UserPointerArray(argvPointers),
                      image_.UserPointerArray(envpPointers), 0, 0, 0};
            c.exec = &exec;
            processes_[i].calls.push_back(c);
        }
    }
}

uint64_t LinuxScheduler::CodeAddress(const Process& process, bool executableOnly) {
    std::vector<const Area*> code;
    for (const Area& a : process.areas) {
        if (a.code && (!executableOnly || a.path == process.exe)) code.push_back(&a);
    }
    const Area& a = *code[random_.Below(code.size())];
    return a.start + 4 * random_.Below((a.end - a.start) / 4);
}

void LinuxScheduler::NewCallPath(Thread& thread) {
    const Process& p = processes_[thread.process];
    std::vector<uint64_t> returns(random_.Between(2, 7));
    // Innermost first; the outermost frame returns into the executable.
    for (size_t i = 0; i + 1 < returns.size(); ++i) returns[i] = CodeAddress(p, false);
    returns.back() = CodeAddress(p, true);
    thread.regs = image_.WriteFrameRecords(thread.stackTop, returns);
    thread.pc = CodeAddress(p, false);
    thread.lr = CodeAddress(p, false);
}

void LinuxScheduler::EnterKernel(Core& c) {
    if (!c.user) return;
    c.user = false;
    c.cpu->SetRegister("CPSR", kKernelCpsr);
    c.cpu->EmitModeChange(kKernelMode);
}

void LinuxScheduler::EnterUser(Core& c, Thread& t) {
    if (c.user || t.process < 0) return;
    c.user = true;
    c.cpu->SetRegister("CPSR", kUserCpsr);
    c.cpu->EmitModeChange(kUserMode);
}

int LinuxScheduler::PickNext(uint64_t now) {
    int best = -1;
    for (size_t i = 0; i < threads_.size(); ++i) {
        Thread& t = threads_[i];
        if (t.state == ThreadState::kBlocked && t.wakeTick <= now) t.state = ThreadState::kRunnable;
        if (t.state != ThreadState::kRunnable) continue;
        if (best < 0 || t.lastRun < threads_[best].lastRun) best = static_cast<int>(i);
    }
    return best;
}

void LinuxScheduler::SwitchTo(uint32_t core, int next, uint32_t prevState, uint32_t stateCode,
                              uint64_t ioWait, uint64_t roundStart, uint64_t offset) {
    Core& c = cores_[core];
    EnterKernel(c);
    const uint64_t prevTask = c.current >= 0 ? threads_[c.current].task : c.idleTask;
    const uint64_t nextTask = next >= 0 ? threads_[next].task : c.idleTask;
    image_.SetTaskState(prevTask, prevState, ioWait);
    image_.SetTaskState(nextTask, 0, 0);
    image_.EnterSwitchTo(prevTask, nextTask, core);
    c.cpu->EmitBranchDirect(code_.schedulePc, image_.switchToAddress(), static_cast<int64_t>(offset));
    recorder_.Switched(core, roundStart + offset, next >= 0 ? threads_[next].tid : 0, stateCode);
    c.current = next;
    if (next < 0) return;
    Thread& t = threads_[next];
    t.state = ThreadState::kRunning;
    t.lastRun = roundStart + offset;
    c.slice = t.process < 0 ? random_.Between(3000, 15000) : random_.Between(20000, 300000);
    if (t.user) EnterUser(c, t);
}

void LinuxScheduler::Leave(uint32_t core, uint64_t roundStart, uint64_t offset) {
    Core& c = cores_[core];
    Thread& t = threads_[c.current];
    const uint64_t now = roundStart + offset;
    const Departure why = c.pending;
    c.pending = Departure::kNone;
    uint64_t state = 0;
    uint64_t ioWait = 0;
    uint32_t code = 1;
    switch (why) {
        case Departure::kExit:
            EnterKernel(c);
            image_.EnterReleaseTask(t.task, core);
            c.cpu->EmitBranchDirect(code_.doExitPc, image_.releaseTaskAddress(), static_cast<int64_t>(offset));
            recorder_.Exited(core, now, t.tid);
            t.state = ThreadState::kDead;
            state = kTaskDead;
            code = 0;
            break;
        case Departure::kSleep:
            t.state = ThreadState::kBlocked;
            t.wakeTick = now + random_.Between(5000, 150000);
            state = kTaskInterruptible;
            code = 0;
            break;
        case Departure::kIoWait:
            t.state = ThreadState::kBlocked;
            t.wakeTick = now + random_.Between(20000, 400000);
            state = kTaskUninterruptible;
            ioWait = 1;
            code = 2;
            break;
        default:
            t.state = ThreadState::kRunnable;  // preempted: still runnable
            break;
    }
    t.user = c.user || (t.process >= 0 && why != Departure::kExit);
    const int next = PickNext(now);
    if (next < 0 && t.state == ThreadState::kRunnable) {
        // Nothing else to run: the same thread gets a new slice, no switch.
        t.state = ThreadState::kRunning;
        c.slice = random_.Between(20000, 300000);
        return;
    }
    SwitchTo(core, next, static_cast<uint32_t>(state), code, ioWait, roundStart, offset);
    if (next < 0) {
        c.inWfi = true;
        c.cpu->EmitRunState(kRunning, kStandbyWfi, static_cast<int64_t>(offset));
    }
}

void LinuxScheduler::MakeSyscall(uint32_t core, uint64_t roundStart, uint64_t offset) {
    Core& c = cores_[core];
    Thread& t = threads_[c.current];
    const Process& p = processes_[t.process];
    const Call& s = p.calls[random_.Below(p.calls.size())];
    image_.EnterSyscall(s.number, s.args, core);
    c.cpu->EmitSyscall(kSvc, static_cast<int64_t>(offset));
    if (s.open != nullptr) recorder_.Opened(core, t.tid, roundStart + offset, *s.open);
    if (s.exec != nullptr) recorder_.Executed(core, t.tid, roundStart + offset, *s.exec);
    EnterKernel(c);
    if (s.blocking != Blocking::kNever && random_.Percent(s.blockChance)) {
        c.pending = s.blocking == Blocking::kIoWait ? Departure::kIoWait : Departure::kSleep;
    }
}

void LinuxScheduler::Periodic(uint32_t core, uint64_t roundStart, uint64_t offset) {
    Core& c = cores_[core];
    Thread& t = threads_[c.current];
    uint64_t pc = code_.kernelPc;
    if (c.user) {
        c.cpu->SetRegister("X29", t.regs.fp);
        c.cpu->SetRegister("SP", t.regs.sp);
        c.cpu->SetRegister("X30", t.lr);
        pc = t.pc;
    } else {
        c.cpu->SetRegister("X29", c.kernelRegs.fp);
        c.cpu->SetRegister("SP", c.kernelRegs.sp);
        c.cpu->SetRegister("X30", code_.kernelPc + 0x40);
    }
    c.cpu->EmitPeriodic(c.instCount, pc);
    recorder_.Periodic(core, roundStart, c.instCount);
    c.nextPeriodic += Scenario::kPeriodicInstructions;

    for (uint64_t n = random_.Below(4); n > 0; --n) {
        const bool write = random_.Percent(30);
        refill_.SetInteger(0, 0x80000000ull + 64 * random_.Below(1 << 20));
        refill_.SetInteger(1, write ? 1 : 0);
        refill_.Dispatch();
        if (write) recorder_.Counted(0, roundStart);  // the source has no time offset
    }

    if (t.process < 0) return;  // a kernel thread stays in the kernel
    if (c.user) {
        if (random_.Percent(4)) {
            MakeSyscall(core, roundStart, offset);
        } else if (random_.Percent(8)) {
            EnterKernel(c);  // an interrupt or a page fault
        } else if (random_.Percent(15)) {
            NewCallPath(t);
        }
    } else if (c.pending == Departure::kNone && random_.Percent(60)) {
        EnterUser(c, t);
    }
}

void LinuxScheduler::RunCore(uint32_t core, uint64_t roundStart) {
    Core& c = cores_[core];
    uint64_t offset = 0;
    while (offset < Scenario::kQuantum) {
        if (c.current < 0) {
            const int next = PickNext(roundStart + offset);
            if (next < 0) break;  // idle for the rest of the round
            if (c.inWfi) {
                c.inWfi = false;
                c.cpu->EmitRunState(kStandbyWfi, kRunning, static_cast<int64_t>(offset));
            }
            SwitchTo(core, next, 0, 1, 0, roundStart, offset);
            continue;
        }
        Thread& t = threads_[c.current];
        uint64_t n = std::min({Scenario::kQuantum - offset, c.nextPeriodic - c.instCount, c.slice, t.lifetime});
        c.instCount += n;
        c.slice -= n;
        if (t.lifetime != UINT64_MAX) t.lifetime -= n;
        offset += n;
        recorder_.Ran(core, t.tid, roundStart, n);
        if (c.instCount == c.nextPeriodic) Periodic(core, roundStart, offset);
        if (t.lifetime == 0) {
            c.pending = Departure::kExit;
        } else if (c.slice == 0 && c.pending == Departure::kNone) {
            c.pending = t.process < 0 ? Departure::kSleep : Departure::kPreempt;
        }
        if (c.pending != Departure::kNone) Leave(core, roundStart, offset);
    }
}

void LinuxScheduler::Run(kvhost::Simulation& simulation, const ProgressCallback& progress) {
    for (Core& c : cores_) {
        // The kernel turned the MMU on long ago; the cores start in the kernel.
        c.cpu->EmitSysregWrite64(kSctlrRegnum, 0x30D0199D, 0x30D0199D);
        c.cpu->SetRegister("CPSR", kKernelCpsr);
        c.cpu->EmitModeChange(kKernelMode);
    }
    bool done = cores_.empty();
    while (!done) {
        const uint64_t roundStart = ticks_;
        simulation.SetTicks(roundStart);
        uint64_t total = 0;
        for (uint32_t core = 0; core < cores_.size(); ++core) {
            RunCore(core, roundStart);
            total += cores_[core].instCount;
        }
        // Cores may idle, so the budget is for all of them together.
        done = total >= instructions_ * cores_.size();
        ticks_ += Scenario::kQuantum;
        if (progress) progress(total);
    }
    simulation.SetTicks(ticks_);
    recorder_.Finished(ticks_);
    for (const Core& c : cores_) recorder_.CoreFinished(c.instCount);
}

}  // namespace simhost
