#include "linux_scenario.h"

#include <algorithm>

namespace simhost {
namespace {

using kvhost::KernelImage;

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

constexpr uint64_t kOpenatNr = 56;
constexpr uint64_t kExecveNr = 221;
constexpr uint64_t kReadNr = 63;
constexpr uint64_t kWriteNr = 64;
constexpr uint64_t kFutexNr = 98;
constexpr uint64_t kNanosleepNr = 115;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string QuotedList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + Quoted(items[i]);
    return out + "]";
}

}  // namespace

LinuxScenario::LinuxScenario(ScenarioOptions options)
    : Scenario(std::move(options)), random_(options_.seed) {}

LinuxScenario::~LinuxScenario() = default;

int LinuxScenario::AddProcess(uint32_t pid, const std::string& comm, const std::string& exe,
                              const std::vector<std::string>& libraries, bool jitArea) {
    Process p;
    p.pid = pid;
    p.comm = comm;
    p.exe = exe;
    p.areas.push_back({kExeBase, kExeBase + 0x80000, exe, true});
    p.areas.push_back({kExeBase + 0x90000, kExeBase + 0xA0000, exe, false});
    // The user data the builder hands out (system-call strings) is the heap.
    p.areas.push_back({KernelImage::kUserDataBase64, KernelImage::kUserDataBase64 + 0x1000000, "", false});
    for (size_t i = 0; i < libraries.size(); ++i) {
        const uint64_t base = kLibraryBase + i * 0x400000;
        p.areas.push_back({base, base + 0x180000, libraries[i], true});
        p.areas.push_back({base + 0x190000, base + 0x1A0000, libraries[i], false});
    }
    if (jitArea) p.areas.push_back({kJitBase, kJitBase + 0x100000, "", true});

    const uint64_t leader = image_->AddProcess(pid, comm, exe);
    for (const Area& a : p.areas) {
        if (a.path.empty()) {
            image_->MapAnonymous(leader, a.start, a.end);
        } else {
            const uint64_t pageOffset = a.code ? 0 : (a.start & 0xFFFFF) >> 12;
            image_->MapFile(leader, a.start, a.end, a.path, pageOffset);
        }
    }
    processes_.push_back(std::move(p));
    const int index = static_cast<int>(processes_.size() - 1);
    Thread t;
    t.tid = pid;
    t.comm = comm;
    t.process = index;
    t.task = leader;
    threads_.push_back(t);
    return index;
}

int LinuxScenario::AddThread(int process, uint32_t tid, const std::string& comm, uint64_t lifetime) {
    Thread t;
    t.tid = tid;
    t.comm = comm;
    t.process = process;
    t.lifetime = lifetime;
    uint64_t leader = 0;
    for (const Thread& other : threads_) {
        if (other.process == process && other.tid == processes_[process].pid) leader = other.task;
    }
    t.task = image_->AddThread(leader, tid, comm);
    threads_.push_back(t);
    return static_cast<int>(threads_.size() - 1);
}

uint64_t LinuxScenario::CodeAddress(const Process& process, bool executableOnly) {
    std::vector<const Area*> code;
    for (const Area& a : process.areas) {
        if (a.code && (!executableOnly || a.path == process.exe)) code.push_back(&a);
    }
    const Area& a = *code[random_.Below(code.size())];
    return a.start + 4 * random_.Below((a.end - a.start) / 4);
}

void LinuxScenario::NewCallPath(Thread& thread) {
    const Process& p = processes_[thread.process];
    std::vector<uint64_t> returns(random_.Between(2, 7));
    // Innermost first; the outermost frame returns into the executable.
    for (size_t i = 0; i + 1 < returns.size(); ++i) returns[i] = CodeAddress(p, false);
    returns.back() = CodeAddress(p, true);
    thread.regs = image_->WriteFrameRecords(thread.stackTop, returns);
    thread.pc = CodeAddress(p, false);
    thread.lr = CodeAddress(p, false);
}

void LinuxScenario::BuildSystem() {
    const uint64_t life = std::max<uint64_t>(options_.instructions / 8, 20000);
    const std::string libc = "/usr/lib/aarch64-linux-gnu/libc.so.6";
    const std::string ld = "/usr/lib/aarch64-linux-gnu/ld-linux-aarch64.so.1";

    const int nginx = AddProcess(1200, "nginx", "/usr/sbin/nginx",
                                 {libc, ld, "/usr/lib/aarch64-linux-gnu/libpcre2-8.so.0",
                                  "/usr/lib/aarch64-linux-gnu/libssl.so.3"},
                                 false);
    AddThread(nginx, 1201, "nginx-worker", UINT64_MAX);
    AddThread(nginx, 1202, "nginx-worker", UINT64_MAX);
    AddThread(nginx, 1203, "nginx-cache", life);

    const int python = AddProcess(1350, "python3", "/usr/bin/python3.11",
                                  {libc, ld, "/usr/lib/aarch64-linux-gnu/libm.so.6",
                                   "/usr/lib/python3.11/lib-dynload/_json.cpython-311-aarch64-linux-gnu.so"},
                                  true);
    AddThread(python, 1351, "python3-io", UINT64_MAX);
    AddThread(python, 1352, "asyncio_0", life / 2);

    const int postgres = AddProcess(1502, "postgres", "/usr/lib/postgresql/15/bin/postgres",
                                    {libc, ld, "/usr/lib/aarch64-linux-gnu/libssl.so.3",
                                     "/usr/lib/aarch64-linux-gnu/libz.so.1"},
                                    false);
    AddThread(postgres, 1503, "postgres-walwr", UINT64_MAX);
    AddThread(postgres, 1504, "autovacuum", life);

    AddProcess(1720, "make", "/usr/bin/make", {libc, ld}, false);

    Thread worker;  // a kernel thread: no memory descriptor, kernel mode only
    worker.tid = 57;
    worker.comm = "kworker/0:1";
    worker.task = image_->AddKernelThread(57, "kworker/0:1");
    worker.user = false;
    threads_.push_back(worker);

    for (Thread& t : threads_) {
        if (t.process < 0) continue;
        t.stackTop = image_->NewUserStack();
        image_->MapAnonymous(t.task, t.stackTop - 0x10000, t.stackTop);
        processes_[t.process].areas.push_back({t.stackTop - 0x10000, t.stackTop, "", false});
        NewCallPath(t);
    }
    AddCalls();
}

void LinuxScenario::AddCalls() {
    auto openat = [&](Process& p, const std::string& path, int32_t flags, int32_t mode,
                      int block, uint32_t chance) {
        Syscall s;
        s.number = kOpenatNr;
        s.args = {static_cast<uint64_t>(int64_t{-100}), image_->UserString(path),
                  static_cast<uint64_t>(static_cast<uint32_t>(flags)), static_cast<uint64_t>(mode), 0, 0};
        s.text = "openat(-100, " + Quoted(path) + ", " + std::to_string(flags) + ", " +
                 std::to_string(static_cast<int16_t>(mode)) + ")";
        s.block = block;
        s.blockChance = chance;
        p.calls.push_back(s);
    };
    auto execve = [&](Process& p, const std::string& file, const std::vector<std::string>& argv,
                      const std::vector<std::string>& envp) {
        std::vector<uint64_t> argvPointers;
        for (const std::string& a : argv) argvPointers.push_back(image_->UserString(a));
        std::vector<uint64_t> envpPointers;
        for (const std::string& e : envp) envpPointers.push_back(image_->UserString(e));
        Syscall s;
        s.number = kExecveNr;
        s.args = {image_->UserString(file), image_->UserPointerArray(argvPointers),
                  image_->UserPointerArray(envpPointers), 0, 0, 0};
        s.text = "execve(" + Quoted(file) + ", " + QuotedList(argv) + ", " + QuotedList(envp) + ")";
        p.calls.push_back(s);
    };
    auto other = [&](Process& p, uint64_t number, int block, uint32_t chance) {
        Syscall s;
        s.number = number;
        s.args = {3, image_->UserString("buffer"), 4096, 0, 0, 0};
        s.block = block;
        s.blockChance = chance;
        p.calls.push_back(s);
    };
    constexpr int32_t kReadOnly = 0x80000;    // O_RDONLY | O_CLOEXEC
    constexpr int32_t kAppend = 0x80441;      // O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC
    constexpr int32_t kTruncate = 0x241;      // O_WRONLY | O_CREAT | O_TRUNC
    for (Process& p : processes_) {
        other(p, kReadNr, 2, 40);
        other(p, kWriteNr, 0, 0);
        other(p, kFutexNr, 1, 50);
        other(p, kNanosleepNr, 1, 100);
    }
    openat(processes_[0], "/etc/nginx/nginx.conf", kReadOnly, 0, 0, 0);
    openat(processes_[0], "/var/www/html/index.html", kReadOnly, 0, 2, 30);
    openat(processes_[0], "/var/log/nginx/access.log", kAppend, 0640, 0, 0);
    openat(processes_[1], "/usr/lib/python3.11/json/__init__.py", kReadOnly, 0, 2, 20);
    openat(processes_[1], "/home/kv/data/input.csv", kReadOnly, 0, 2, 50);
    openat(processes_[1], "/tmp/report.txt", kTruncate, 0100644, 0, 0);  // mode wraps negative
    openat(processes_[2], "/var/lib/postgresql/15/main/base/16384/2619", kReadOnly, 0, 2, 60);
    openat(processes_[2], "/var/lib/postgresql/15/main/pg_wal/000000010000000000000001", kAppend,
           0600, 2, 40);
    openat(processes_[3], "Makefile", kReadOnly, 0, 0, 0);
    openat(processes_[3], "/usr/include/stdio.h", kReadOnly, 0, 2, 20);
    execve(processes_[3], "/bin/sh", {"/bin/sh", "-c", "cc -O2 -c main.c -o main.o"},
           {"PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8", "MAKEFLAGS=-j4"});
    execve(processes_[3], "/usr/bin/cc", {"cc", "-O2", "-c", "util.c"}, {"LANG=C.UTF-8"});
}

std::vector<std::string> LinuxScenario::Prepare() {
    simulation_.SetTickSeconds(kTickSeconds);
    std::vector<kvhost::Processor*> cpus;
    for (uint32_t c = 0; c < options_.cores; ++c) {
        cpus.push_back(&simulation_.AddProcessor("cluster0.cpu" + std::to_string(c), true));
    }
    kvhost::TraceComponent& l2 = simulation_.AddTraceComponent("cluster0.l2");
    refill_ = &l2.AddSource("REFILL", "A cache line was refilled",
                            {kvhost::Unsigned("ADDR", 8, "Line address"),
                             kvhost::Unsigned("KIND", 4, "0 read, 1 write")});
    image_ = std::make_unique<KernelImage>(cpus, kvhost::KernelLayout::Synthetic64());

    // Kernel functions the samples and branches come from, for System.map.
    const uint64_t text = image_->switchToAddress() & ~uint64_t{0xFFFF};
    schedulePc_ = text + 0x20000 + 0x1F4;
    doExitPc_ = text + 0x30000 + 0x2A8;
    kernelPc_ = text + 0x40000 + 0x64;
    image_->SetSymbol("__schedule", text + 0x20000);
    image_->SetSymbol("do_exit", text + 0x30000);
    image_->SetSymbol("el0_svc_common", text + 0x40000);
    image_->SetSymbol("do_idle", text + 0x50000);

    BuildSystem();
    for (uint32_t c = 0; c < options_.cores; ++c) {
        Core core;
        core.cpu = cpus[c];
        core.idleTask = image_->AddKernelThread(0, "swapper/" + std::to_string(c));
        const uint64_t stackTop = kKernelStacks + (c + 1) * 0x10000;
        const uint64_t returns[] = {text + 0x40000 + 0x120, text + 0x50000 + 0x88, text + 0x60000 + 0x10};
        core.kernelRegs = image_->WriteFrameRecords(stackTop, returns);
        cores_.push_back(core);
    }

    kvhost::LinuxSettingsOptions settings;
    settings.pageShift = 12;
    settings.samplingFrequency = kSamplingInterval;
    settings.callstackDepth = kCallstackDepth;
    const auto& dir = options_.workDir;
    const auto files = image_->WriteSettingsFiles(dir, settings);
    WriteFile(dir / "offsets.txt", image_->OffsetsText() + "\n");
    WriteFile(dir / "config.json",
              "[\n  {\n    \"Subsystem_name\": \"cluster0.cpu*\",\n"
              "    \"Subsystem_config_file\": \"" + files.settings.string() + "\"\n  }\n]\n");
    WriteFile(dir / "counters.json",
              "[\n  {\n    \"Component\": \"cluster0.l2\",\n    \"ZVTSrcName\": \"REFILL\",\n"
              "    \"Condition\": \"KIND == 1\",\n    \"Title\": \"L2 cache\",\n"
              "    \"CounterName\": \"" + std::string(kCounterName) + "\",\n"
              "    \"Display\": \"hertz\",\n    \"Units\": \"refills\"\n  }\n]\n");

    truth_.scenario = "linux";
    truth_.cores = options_.cores;
    truth_.samplingInterval = kSamplingInterval;
    truth_.counters.push_back({kCounterName, 0});
    for (const Thread& t : threads_) {
        TruthThread& tt = truth_.threads[t.tid];
        tt.tid = t.tid;
        tt.name = t.comm;
        if (t.process >= 0) {
            const Process& p = processes_[t.process];
            tt.pid = p.pid;
            tt.exePath = p.exe;
            for (const Area& a : p.areas) {
                if (!a.path.empty()) tt.mappings.push_back(a.path);
            }
        } else {
            tt.pid = t.tid;
        }
    }
    truth_.threads[0].name = "swapper/";  // one idle task per core, all with id 0
    return {"config=" + (dir / "config.json").string(),
            "counters-config-file=" + (dir / "counters.json").string()};
}

void LinuxScenario::EnterKernel(Core& c) {
    if (!c.user) return;
    c.user = false;
    c.cpu->SetRegister("CPSR", kKernelCpsr);
    c.cpu->EmitModeChange(kKernelMode);
}

void LinuxScenario::EnterUser(Core& c, Thread& t) {
    if (c.user || t.process < 0) return;
    c.user = true;
    c.cpu->SetRegister("CPSR", kUserCpsr);
    c.cpu->EmitModeChange(kUserMode);
}

int LinuxScenario::PickNext(uint64_t now) {
    int best = -1;
    for (size_t i = 0; i < threads_.size(); ++i) {
        Thread& t = threads_[i];
        if (t.state == ThreadState::kBlocked && t.wakeTick <= now) t.state = ThreadState::kRunnable;
        if (t.state != ThreadState::kRunnable) continue;
        if (best < 0 || t.lastRun < threads_[best].lastRun) best = static_cast<int>(i);
    }
    return best;
}

void LinuxScenario::SwitchTo(uint32_t core, int next, uint32_t prevState, uint32_t stateCode,
                             uint64_t ioWait, uint64_t roundStart, uint64_t offset) {
    Core& c = cores_[core];
    EnterKernel(c);
    const uint64_t prevTask = c.current >= 0 ? threads_[c.current].task : c.idleTask;
    const uint64_t nextTask = next >= 0 ? threads_[next].task : c.idleTask;
    image_->SetTaskState(prevTask, prevState, ioWait);
    image_->SetTaskState(nextTask, 0, 0);
    image_->EnterSwitchTo(prevTask, nextTask, core);
    c.cpu->EmitBranchDirect(schedulePc_, image_->switchToAddress(), static_cast<int64_t>(offset));
    truth_.switches.push_back({core, Nanoseconds(roundStart + offset),
                               next >= 0 ? threads_[next].tid : 0, stateCode});
    c.current = next;
    if (next < 0) return;
    Thread& t = threads_[next];
    t.state = ThreadState::kRunning;
    t.lastRun = roundStart + offset;
    c.slice = t.process < 0 ? random_.Between(3000, 15000) : random_.Between(20000, 300000);
    if (t.user) EnterUser(c, t);
}

void LinuxScenario::Leave(uint32_t core, uint64_t roundStart, uint64_t offset) {
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
            image_->EnterReleaseTask(t.task, core);
            c.cpu->EmitBranchDirect(doExitPc_, image_->releaseTaskAddress(), static_cast<int64_t>(offset));
            truth_.exits.push_back({core, Nanoseconds(now), truth_.threads[t.tid].pid});
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

void LinuxScenario::IssueSyscall(uint32_t core, uint64_t roundStart, uint64_t offset) {
    Core& c = cores_[core];
    Thread& t = threads_[c.current];
    const Process& p = processes_[t.process];
    const Syscall& s = p.calls[random_.Below(p.calls.size())];
    image_->EnterSyscall(s.number, s.args, core);
    c.cpu->EmitSyscall(kSvc, static_cast<int64_t>(offset));
    if (!s.text.empty()) {
        truth_.syscalls.push_back({core, t.tid, Nanoseconds(roundStart + offset), s.text});
    }
    EnterKernel(c);
    if (s.block != 0 && random_.Percent(s.blockChance)) {
        c.pending = s.block == 2 ? Departure::kIoWait : Departure::kSleep;
    }
}

void LinuxScenario::Periodic(uint32_t core, uint64_t roundStart, uint64_t offset) {
    Core& c = cores_[core];
    Thread& t = threads_[c.current];
    uint64_t pc = kernelPc_;
    if (c.user) {
        c.cpu->SetRegister("X29", t.regs.fp);
        c.cpu->SetRegister("SP", t.regs.sp);
        c.cpu->SetRegister("X30", t.lr);
        pc = t.pc;
    } else {
        c.cpu->SetRegister("X29", c.kernelRegs.fp);
        c.cpu->SetRegister("SP", c.kernelRegs.sp);
        c.cpu->SetRegister("X30", kernelPc_ + 0x40);
    }
    c.cpu->EmitPeriodic(c.instCount, pc);
    c.nextPeriodic += kPeriodicInstructions;

    for (uint64_t n = random_.Below(4); n > 0; --n) {
        const bool write = random_.Percent(30);
        refill_->SetInteger(0, 0x80000000ull + 64 * random_.Below(1 << 20));
        refill_->SetInteger(1, write ? 1 : 0);
        refill_->Dispatch();
        if (write) ++truth_.counters[0].events;
    }

    if (t.process < 0) return;  // a kernel thread stays in the kernel
    if (c.user) {
        if (random_.Percent(4)) {
            IssueSyscall(core, roundStart, offset);
        } else if (random_.Percent(8)) {
            EnterKernel(c);  // an interrupt or a page fault
        } else if (random_.Percent(15)) {
            NewCallPath(t);
        }
    } else if (c.pending == Departure::kNone && random_.Percent(60)) {
        EnterUser(c, t);
    }
}

void LinuxScenario::RunCore(uint32_t core, uint64_t roundStart) {
    Core& c = cores_[core];
    uint64_t offset = 0;
    while (offset < kQuantum) {
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
        uint64_t n = std::min({kQuantum - offset, c.nextPeriodic - c.instCount, c.slice, t.lifetime});
        c.instCount += n;
        c.slice -= n;
        if (t.lifetime != UINT64_MAX) t.lifetime -= n;
        offset += n;
        truth_.threads[t.tid].instructions += n;
        if (c.instCount == c.nextPeriodic) Periodic(core, roundStart, offset);
        if (t.lifetime == 0) {
            c.pending = Departure::kExit;
        } else if (c.slice == 0 && c.pending == Departure::kNone) {
            c.pending = t.process < 0 ? Departure::kSleep : Departure::kPreempt;
        }
        if (c.pending != Departure::kNone) Leave(core, roundStart, offset);
    }
}

void LinuxScenario::Run(const ProgressCallback& progress) {
    for (Core& c : cores_) {
        // The kernel turned the MMU on long ago; the cores start in the kernel.
        c.cpu->EmitSysregWrite64(kSctlrRegnum, 0x30D0199D, 0x30D0199D);
        c.cpu->SetRegister("CPSR", kKernelCpsr);
        c.cpu->EmitModeChange(kKernelMode);
    }
    bool done = cores_.empty();
    while (!done) {
        const uint64_t roundStart = ticks_;
        simulation_.SetTicks(roundStart);
        uint64_t total = 0;
        for (uint32_t core = 0; core < cores_.size(); ++core) {
            RunCore(core, roundStart);
            total += cores_[core].instCount;
        }
        // Cores may idle, so the budget is for all of them together.
        done = total >= options_.instructions * cores_.size();
        ticks_ += kQuantum;
        if (progress) progress(total);
    }
    simulation_.SetTicks(ticks_);
    for (const Core& c : cores_) truth_.coreInstructions.push_back(c.instCount);
}

}  // namespace simhost
