// A 64-bit SMP Linux system built with the synthetic kernel image: a few
// processes with several threads each (executables and shared libraries
// mapped as files, anonymous heap, stacks and code), a kernel worker thread
// and one idle task per core. A scheduler moves the threads over the cores
// through __switch_to branches, cores go idle (RUN_STATE to WFI and back),
// threads move between user and kernel mode, issue openat, execve and other
// system calls with their strings in user memory, keep real frame records on
// their stacks, and some exit through release_task. An L2 cache component
// feeds a user counter.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel_image.h"
#include "random.h"
#include "scenario.h"

namespace simhost {

class LinuxScenario final : public Scenario {
public:
    static constexpr uint64_t kSamplingInterval = 100000;
    static constexpr uint32_t kCallstackDepth = 16;
    static constexpr const char* kCounterName = "Write refills";

    explicit LinuxScenario(ScenarioOptions options);
    ~LinuxScenario() override;

    std::vector<std::string> Prepare() override;
    void Run(const ProgressCallback& progress) override;

private:
    struct Area {
        uint64_t start = 0;
        uint64_t end = 0;
        std::string path;  // empty: anonymous
        bool code = false; // return addresses may point here
    };
    struct Syscall {
        uint64_t number = 0;
        std::array<uint64_t, 6> args{};
        std::string text;  // the decoded text; empty for calls the driver ignores
        int block = 0;     // 0 returns at once, 1 may sleep, 2 may wait for I/O
        uint32_t blockChance = 0;
    };
    struct Process {
        uint32_t pid = 0;
        std::string comm;
        std::string exe;
        std::vector<Area> areas;
        std::vector<Syscall> calls;
    };
    enum class ThreadState { kRunnable, kRunning, kBlocked, kDead };
    struct Thread {
        uint32_t tid = 0;
        std::string comm;
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
        uint64_t nextPeriodic = kPeriodicInstructions;
        uint64_t slice = 0;
        Departure pending = Departure::kNone;
        kvhost::KernelImage::StackPointers kernelRegs;
    };

    void BuildSystem();
    int AddProcess(uint32_t pid, const std::string& comm, const std::string& exe,
                   const std::vector<std::string>& libraries, bool jitArea);
    int AddThread(int process, uint32_t tid, const std::string& comm, uint64_t lifetime);
    void AddCalls();
    void NewCallPath(Thread& thread);
    uint64_t CodeAddress(const Process& process, bool executableOnly);

    void RunCore(uint32_t core, uint64_t roundStart);
    void Periodic(uint32_t core, uint64_t roundStart, uint64_t offset);
    void IssueSyscall(uint32_t core, uint64_t roundStart, uint64_t offset);
    void Leave(uint32_t core, uint64_t roundStart, uint64_t offset);
    void SwitchTo(uint32_t core, int next, uint32_t prevState, uint32_t stateCode,
                  uint64_t ioWait, uint64_t roundStart, uint64_t offset);
    void EnterKernel(Core& c);
    void EnterUser(Core& c, Thread& t);
    int PickNext(uint64_t now);

    Random random_;
    std::unique_ptr<kvhost::KernelImage> image_;
    kvhost::TraceSource* refill_ = nullptr;
    std::vector<Process> processes_;
    std::vector<Thread> threads_;
    std::vector<Core> cores_;
    uint64_t schedulePc_ = 0;
    uint64_t doExitPc_ = 0;
    uint64_t kernelPc_ = 0;
    uint64_t ticks_ = 0;
};

}  // namespace simhost
