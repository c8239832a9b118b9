// Each trace callback's effect, observed through a driver that records what
// the agent hands it, through a Linux driver on a synthetic kernel, and
// through the capture the agent writes.
#include "core/subsystem_agent.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "capture/capture_writer.h"
#include "core/core_table.h"
#include "counters/counter_set.h"
#include "json/json_value.h"
#include "kernel_image.h"
#include "kv_test_support.h"
#include "kvhost.h"
#include "os/os_driver.h"
#include "support/test_support.h"
#include "time/time_source.h"

namespace {

using vantric::testing::RecordsOf;
using Agent = vantric::SubsystemAgent;

struct Sample {
    uint64_t pc, lr, fp, sp;
    bool user, mmu, is64;
    uint64_t time;
};

class RecordingDriver : public vantric::OSDriver {
public:
    RecordingDriver(vantric::CaptureWriter& capture, bool syscalls)
        : OSDriver(capture), syscalls_(syscalls) {}
    bool Init(plexa::SQOVI2*, uint32_t coreCount, bool) override {
        initCores = coreCount;
        return true;
    }
    void OnSample(plexa::SQOVI2*, uint32_t, uint64_t pc, uint64_t lr, uint64_t fp, uint64_t sp,
                  bool user, bool mmu, bool is64, uint64_t time) override {
        samples.push_back({pc, lr, fp, sp, user, mmu, is64, time});
    }
    void OnBranch(plexa::SQOVI2*, uint32_t, uint64_t pc, uint64_t target, bool, uint64_t time) override {
        branches.push_back({pc, target, time});
    }
    void OnSyscall(plexa::SQOVI2*, uint32_t, bool, uint64_t time) override { syscallTimes.push_back(time); }
    void OnException() override { ++exceptions; }
    bool WantsBranchEvents() const override { return true; }
    bool WantsSyscallEvents() const override { return syscalls_; }

    uint32_t initCores = 0;
    std::vector<Sample> samples;
    std::vector<std::array<uint64_t, 3>> branches;
    std::vector<uint64_t> syscallTimes;
    int exceptions = 0;

private:
    bool syscalls_;
};

// The window is [100, 1000000) ns; a tick is 1 ns.
class SubsystemAgentTest : public testing::Test {
protected:
    void SetUp() override {
        simulation.SetTickSeconds(1e-9);
        time.connect(&simulation.scheduler(), nullptr);
        capture.open(dir.capture(), 2);
        cores.resize(2);
    }

    Agent::Settings Settings(uint32_t kernelType, uint64_t interval, bool periodic) {
        return {time, capture, counters, kernelType, interval, cores, 100, 1000000,
                periodic, !periodic && interval != 0, configuration, 8, 1};
    }
    Agent& MakeAgent(uint64_t interval, bool periodic, bool syscalls = true) {
        auto recorder = std::make_unique<RecordingDriver>(capture, syscalls);
        driver = recorder.get();
        agent = std::make_unique<Agent>(Settings(Agent::kBareMetal, interval, periodic),
                                        std::move(recorder));
        return *agent;
    }
    vantric::rcf::Capture Finish() {
        capture.close();
        return vantric::testing::ReadBack(dir.capture());
    }

    vantric::testing::TempDirectory dir;
    kvhost::StreamCapture console;
    kvhost::Simulation simulation;
    vantric::TimeSource time;
    vantric::CaptureWriter capture;
    vantric::CounterSet counters;
    vantric::CoreTable cores;
    vq::JSONValue configuration = vq::JSONValue::makeObject();
    std::unique_ptr<Agent> agent;
    RecordingDriver* driver = nullptr;
};

TEST_F(SubsystemAgentTest, InstructionSamplingInsideTheWindow) {
    Agent& a = MakeAgent(1000, false);
    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", true);
    ASSERT_EQ(a.registerCore(&cpu, 0), Agent::kCoreRegistered);
    ASSERT_EQ(a.start(1), 0u);
    EXPECT_EQ(driver->initCores, 1u);

    simulation.SetTicks(50);  // before the window: not counted
    for (int i = 0; i < 10; ++i) cpu.EmitInst(0x10);
    simulation.SetTicks(200);
    // EL1h in CPSR: the 64-bit frame pointer.
    for (const auto& [name, value] : {std::pair{"X30", 0xAAAA}, {"X29", 0xF0F0}, {"SP", 0x8000}, {"CPSR", 0x3C5}})
        cpu.SetRegister(name, value);
    for (int i = 0; i < 999; ++i) cpu.EmitInst(0x20);
    EXPECT_TRUE(driver->samples.empty());
    cpu.EmitInst(0x24, 0, -5);  // the 1000th, at local time -5 ticks
    ASSERT_EQ(driver->samples.size(), 1u);
    const Sample& s = driver->samples[0];
    EXPECT_EQ(std::vector<uint64_t>({s.pc, s.lr, s.fp, s.sp, s.time}),
              std::vector<uint64_t>({0x24, 0xAAAA, 0xF0F0, 0x8000, 195}));
    EXPECT_TRUE(s.is64);

    const auto values = RecordsOf<vantric::rcf::CounterValueRecord>(Finish(), 4);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].value, 1000u);
    EXPECT_EQ(values[0].time, 195u);
}

TEST_F(SubsystemAgentTest, PeriodicSamplingThresholdAndThirtyTwoBitFramePointer) {
    Agent& a = MakeAgent(1000, true);
    kvhost::Processor& cpu0 = simulation.AddProcessor("cpu0", false);
    kvhost::Processor& cpu1 = simulation.AddProcessor("cpu1", false);
    ASSERT_EQ(a.registerCore(&cpu0, 0), Agent::kCoreRegistered);
    ASSERT_EQ(a.registerCore(&cpu1, 1), Agent::kCoreRegistered);
    a.start(2);
    simulation.SetTicks(300);
    for (const auto& [name, value] : {std::pair{"R11", 0x1234}, {"R14", 0x5678}}) cpu0.SetRegister(name, value);
    cpu0.EmitPeriodic(999, 0x100);
    EXPECT_TRUE(driver->samples.empty());
    cpu0.EmitPeriodic(1000, 0x104);  // exactly one interval
    ASSERT_EQ(driver->samples.size(), 1u);
    EXPECT_EQ(driver->samples[0].fp, 0x1234u);
    EXPECT_EQ(driver->samples[0].lr, 0x5678u);
    EXPECT_FALSE(driver->samples[0].is64);
    cpu1.EmitPeriodic(1500, 0x200);  // each core counts from its own last sample
    cpu0.EmitPeriodic(1999, 0x108);
    EXPECT_EQ(driver->samples.size(), 2u);
    EXPECT_EQ(cores.state(0).lastInstructionCount, 1000u);
    EXPECT_EQ(cores.state(1).lastInstructionCount, 1500u);
    const vantric::rcf::Capture read = Finish();
    EXPECT_EQ(RecordsOf<vantric::rcf::CounterValueRecord>(read, 4).size(), 2u);
    EXPECT_EQ(RecordsOf<vantric::rcf::CounterValueRecord>(read, 4).back().value, 1500u);
}

TEST_F(SubsystemAgentTest, ModeMmuExceptionsSyscallsAndBranches) {
    Agent& a = MakeAgent(1, false);
    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", true);
    ASSERT_EQ(a.registerCore(&cpu, 0), Agent::kCoreRegistered);
    simulation.SetTicks(500);

    for (const auto& [mode, user] : std::vector<std::pair<uint32_t, bool>>{
             {0x10, true}, {0x13, false}, {0x00, true}, {0x1F, false}, {0x10, true}}) {
        cpu.EmitModeChange(mode);
        EXPECT_EQ(cores.state(0).userMode, user) << mode;
    }

    cpu.EmitSysregWrite64(49168, 0x1005, 0);
    cpu.EmitInst(0x40);
    cpu.EmitSysregWrite64(49168, 0x1004, 0);
    cpu.EmitInst(0x44);
    cpu.EmitCp15Write(1, 0, 0, 0, 1);
    cpu.EmitInst(0x48);
    cpu.EmitCp15Write(1, 0, 1, 0, 0);  // another register: no change
    cpu.EmitSysregWrite64(49169, 0, 0);
    cpu.EmitInst(0x4C);
    ASSERT_EQ(driver->samples.size(), 4u);
    const std::vector<bool> mmu = {driver->samples[0].mmu, driver->samples[1].mmu,
                                   driver->samples[2].mmu, driver->samples[3].mmu};
    EXPECT_EQ(mmu, std::vector<bool>({true, false, true, true}));
    EXPECT_TRUE(driver->samples[0].user);

    cpu.EmitException(0x80, 2);
    EXPECT_EQ(driver->exceptions, 0);
    cpu.EmitException(0x80, 0);
    cpu.EmitException(0x80, 1);
    EXPECT_EQ(driver->exceptions, 2);

    cpu.EmitSyscall(1);  // HVC: ignored
    cpu.EmitSyscall(0, -2);
    EXPECT_EQ(driver->syscallTimes, std::vector<uint64_t>{498});

    cpu.EmitBranchDirect(0x10, 0x20);
    cpu.EmitBranchIndirect(0x30, 0x40);  // bare metal follows indirect branches too
    simulation.SetTicks(1000000);        // the window's end is outside
    cpu.EmitBranchDirect(0x50, 0x60);
    ASSERT_EQ(driver->branches.size(), 2u);
    EXPECT_EQ(driver->branches[0], (std::array<uint64_t, 3>{0x10, 0x20, 500}));
    EXPECT_EQ(driver->branches[1][1], 0x40u);
}

TEST_F(SubsystemAgentTest, RunStatesWriteIdleRecordsEvenOutsideTheWindow) {
    Agent& a = MakeAgent(1, false);
    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", true);
    kvhost::Processor& cpu1 = simulation.AddProcessor("cpu1", true);
    ASSERT_EQ(a.registerCore(&cpu, 0), Agent::kCoreRegistered);
    ASSERT_EQ(a.registerCore(&cpu1, 1), Agent::kCoreRegistered);
    simulation.SetTicks(10);  // before the window
    cpu1.EmitRunState(1, 1);
    for (uint32_t state : {0u, 2u, 6u, 7u, 9u}) cpu.EmitRunState(1, state);  // nothing
    for (uint32_t state : {3u, 4u, 5u, 8u}) cpu.EmitRunState(1, state, 2);
    const auto idles = RecordsOf<vantric::rcf::IdleRecord>(Finish(), 9);
    ASSERT_EQ(idles.size(), 5u);
    EXPECT_EQ(idles[0].state, -1);
    EXPECT_EQ(idles[0].core, 1u);
    for (size_t i = 1; i < idles.size(); ++i) {
        EXPECT_EQ(idles[i].state, 0);
        EXPECT_EQ(idles[i].time, 12u);
    }
}

// Every branch of a Linux target reaches the agent; only those to the two
// task symbols, inside the window, reach the driver and the capture.
TEST_F(SubsystemAgentTest, LinuxBranchesActOnlyOnTaskSymbolsInTheWindow) {
    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", true);
    kvhost::KernelImage image(cpu, kvhost::KernelLayout::Debian510CloudArm64());
    const auto files = image.WriteSettingsFiles(dir.path(), {12, true, 0, 0});
    configuration["system-map-file"] = vq::JSONValue(files.systemMap.string().c_str());
    configuration["linux-offsets-64"] = vq::JSONValue(image.OffsetsText().c_str());
    configuration["pageshift"] = vq::JSONValue(uint64_t{12});
    Agent linux(Settings(Agent::kLinux, 0, false));
    ASSERT_EQ(linux.registerCore(&cpu, 0), Agent::kCoreRegistered);
    ASSERT_EQ(linux.start(1), 0u);
    const uint64_t bash = image.AddProcess(812, "bash", "/usr/bin/bash");
    const uint64_t sh = image.AddProcess(900, "sh", "/bin/sh");
    image.EnterSwitchTo(bash, sh);

    simulation.SetTicks(99);
    cpu.EmitBranchDirect(0x10, image.switchToAddress());  // before the window
    simulation.SetTicks(200);
    cpu.EmitBranchDirect(0x10, image.switchToAddress() + 4);
    cpu.EmitBranchDirect(0x10, image.switchToAddress() - 4);
    cpu.EmitBranchDirect(0x10, image.switchToAddress(), -3);
    cpu.EmitBranchIndirect(0x10, image.switchToAddress());  // Linux follows direct branches only
    image.EnterReleaseTask(bash);
    cpu.EmitBranchDirect(0x20, image.releaseTaskAddress());
    simulation.SetTicks(1000000);
    cpu.EmitBranchDirect(0x10, image.switchToAddress());
    cpu.EmitBranchDirect(0x20, image.releaseTaskAddress());
    linux.finishDriver(1000000);

    const vantric::rcf::Capture read = Finish();
    const auto switches = RecordsOf<vantric::rcf::SwitchRecord>(read, 7);
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_EQ(switches[0].time, 197u);
    EXPECT_EQ(switches[0].tid, 900u);
    const auto exits = RecordsOf<vantric::rcf::ThreadExitRecord>(read, 7);
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].time, 200u);
    EXPECT_EQ(exits[0].tid, 812u);
}

TEST_F(SubsystemAgentTest, NonCoresAndMissingSources) {
    Agent& a = MakeAgent(1, false, /*syscalls=*/true);
    kvhost::TraceComponent& mmu = simulation.AddTraceComponent("smmu");
    mmu.AddSource("MMU_TLB_FILL", "", {kvhost::Unsigned("VA", 8)});
    EXPECT_EQ(a.registerCore(&simulation.AddTraceComponent("bus"), 0), Agent::kNotACore);
    EXPECT_EQ(a.registerCore(&mmu, 0), Agent::kTlbOnly);
    EXPECT_FALSE(mmu.Source("MMU_TLB_FILL").hasCallbacks());

    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", true);
    cpu.RemoveSource("CP15_WRITE");
    cpu.RemoveSource("SYSCALL");
    console.Clear();
    EXPECT_EQ(a.registerCore(&cpu, 0), Agent::kRegistrationFailed);
    EXPECT_EQ(console.err(),
              "WARN (Trace Register sim) Could not find CP15_WRITE source\n"
              "ERROR (Trace Register sim) Could not find SYSCALL source\n");
}

TEST_F(SubsystemAgentTest, StartWithoutDriver) {
    console.Clear();
    Agent bare(Settings(Agent::kUnsupported, 1, false), nullptr);
    EXPECT_EQ(bare.start(1), 1u);
    EXPECT_EQ(bare.start(1), 0u);  // runs once
    EXPECT_EQ(console.err(), "ERROR (Vantric Trace Init) Unsupported kernel type\n"
                             "ERROR (Trace Register sim) OS driver instantiation failed\n");
    ASSERT_EQ(counters.descriptions().size(), 1u);
    EXPECT_EQ(counters.descriptions()[0].title + "/" + counters.descriptions()[0].type,
              "Instruction Count/icount");
}

}  // namespace
