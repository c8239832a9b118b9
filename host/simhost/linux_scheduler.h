// The scheduler model of the Linux scenario. It lays the workload out in the
// kernel image (tasks, mapped areas, stacks with frame records, system-call
// strings) and then drives the cores round by round as a kernel would: time
// slices and preemption, sleeps and I/O waits, idling in WFI, user/kernel
// mode changes, system calls and exits, each through the branches and
// events the plug-in watches. What it decides goes to the truth recorder.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "kernel_image.h"
#include "linux_truth_recorder.h"
#include "linux_workload.h"
#include "random.h"
#include "scenario.h"

namespace simhost {

class LinuxScheduler {
public:
    // Kernel code the scheduler branches from and samples in.
    struct KernelCode {
        uint64_t text = 0;        // start of the kernel's text, 64 KiB aligned
        uint64_t schedulePc = 0;  // in __schedule, branches to __switch_to
        uint64_t doExitPc = 0;    // in do_exit, branches to release_task
        uint64_t kernelPc = 0;    // where kernel-mode samples land
    };

    // Lays `workload` out in `image`, one idle task and kernel stack per
    // processor. `refill` feeds the user counter (its write refills are
    // counted as counter 0 of the truth).
    LinuxScheduler(const LinuxWorkload& workload, kvhost::KernelImage& image,
                   std::vector<kvhost::Processor*> cpus, kvhost::TraceSource& refill,
                   LinuxTruthRecorder& recorder, const KernelCode& code, uint64_t seed,
                   uint64_t instructions);

    // Runs until every core together retired the per-core budget times the cores.
    void Run(kvhost::Simulation& simulation, const ProgressCallback& progress);

private:
    struct Area {
        uint64_t start = 0;
        uint64_t end = 0;
        std::string path;  // empty: anonymous
        bool code = false; // return addresses may point here
    };
    // A system call as the image holds it; `open` or `exec` names it in the table.
    struct Call {
        uint64_t number = 0;
        std::array<uint64_t, 6> args{};
        LinuxWorkload::Blocking blocking = LinuxWorkload::Blocking::kNever;
        uint32_t blockChance = 0;
        const LinuxWorkload::OpenEntry* open = nullptr;
        const LinuxWorkload::ExecEntry* exec = nullptr;
    };
    struct Process {
        std::string exe;
        std::vector<Area> areas;
        std::vector<Call> calls;
    };
    enum class ThreadState { kRunnable, kRunning, kBlocked, kDead };
    struct Thread {
        uint32_t tid = 0;
        int process = -1;  // -1: kernel thread
        uint64_t task = 0;
        uint64_t stackTop = 0;
        uint64_t lifetime = UINT64_MAX;  // instructions until it exits
        ThreadState state = ThreadState::kRunnable;
        uint64_t wakeTick = 0;
        uint64_t lastRun = 0;
        kvhost::KernelImage::StackPointers regs;
        uint64_t pc = 0;
        uint64_t lr = 0;
        bool user = true;  // mode it runs in when resumed
    };
    enum class Departure { kNone, kPreempt, kSleep, kIoWait, kExit };
    struct Core {
        kvhost::Processor* cpu = nullptr;
        int current = -1;  // thread index; -1 the idle task
        uint64_t idleTask = 0;
        bool inWfi = false;
        bool user = false;
        uint64_t instCount = 0;
        uint64_t nextPeriodic = Scenario::kPeriodicInstructions;
        uint64_t slice = 0;
        Departure pending = Departure::kNone;
        kvhost::KernelImage::StackPointers kernelRegs;
    };

    void AddProcess(const LinuxWorkload::ProcessEntry& entry, uint64_t instructions);
    void AddCalls(const LinuxWorkload& workload);
    void NewCallPath(Thread& thread);
    uint64_t CodeAddress(const Process& process, bool executableOnly);

    void RunCore(uint32_t core, uint64_t roundStart);
    void Periodic(uint32_t core, uint64_t roundStart, uint64_t offset);
    void MakeSyscall(uint32_t core, uint64_t roundStart, uint64_t offset);
    void Leave(uint32_t core, uint64_t roundStart, uint64_t offset);
    void SwitchTo(uint32_t core, int next, uint32_t prevState, uint32_t stateCode,
                  uint64_t ioWait, uint64_t roundStart, uint64_t offset);
    void EnterKernel(Core& c);
    void EnterUser(Core& c, Thread& t);
    int PickNext(uint64_t now);

    kvhost::KernelImage& image_;
    kvhost::TraceSource& refill_;
    LinuxTruthRecorder& recorder_;
    KernelCode code_;
    uint64_t instructions_;
    Random random_;
    std::vector<Process> processes_;
    std::vector<Thread> threads_;
    std::vector<Core> cores_;
    uint64_t ticks_ = 0;
};

}  // namespace simhost
