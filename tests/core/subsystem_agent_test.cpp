// Each trace callback's effect, observed through a driver that records what
// the agent hands it and through the capture the agent writes.
#include "core/subsystem_agent.h"

#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_writer.h"
#include "core/core_table.h"
#include "time/time_source.h"
#include "counters/counter_set.h"
#include "json/json_value.h"
#include "kv_test_support.h"
#include "kvhost.h"
#include "os/os_driver.h"
#include "rcf/capture_reader.h"

namespace {

using vantric::rcf::RecordsOf;

struct Sample {
    uint32_t core;
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
    void OnSample(plexa::SQOVI2*, uint32_t core, uint64_t pc, uint64_t lr, uint64_t fp, uint64_t sp,
                  bool user, bool mmu, bool is64, uint64_t time) override {
        samples.push_back({core, pc, lr, fp, sp, user, mmu, is64, time});
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

class SubsystemAgentTest : public testing::Test {
protected:
    void SetUp() override {
        simulation.SetTickSeconds(1e-9);
        time.connect(&simulation.scheduler(), nullptr);
        capture.open(dir.path().string() + "/c.rcf/", 2);
        cores.resize(2);
    }

    vantric::SubsystemAgent& MakeAgent(uint64_t interval, bool periodic, bool syscalls = true,
                                       uint32_t kernelType = vantric::SubsystemAgent::kBareMetal) {
        auto recorder = std::make_unique<RecordingDriver>(capture, syscalls);
        driver = recorder.get();
        vantric::SubsystemAgent::Settings settings{
            time, capture, counters, kernelType, interval, cores, 100, 1000000,
            periodic, !periodic, configuration, 100, 1};
        agent = std::make_unique<vantric::SubsystemAgent>(settings, std::move(recorder));
        return *agent;
    }

    vantric::rcf::Capture Finish() {
        capture.close();
        vantric::rcf::Capture read;
        vantric::rcf::ReadCapture(dir.path().string() + "/c.rcf", read);
        return read;
    }


    kvhost::TempDirectory dir;
    kvhost::StreamCapture console;
    kvhost::Simulation simulation;
    vantric::TimeSource time;
    vantric::CaptureWriter capture;
    vantric::CounterSet counters;
    vantric::CoreTable cores;
    vq::JSONValue configuration = vq::JSONValue::makeObject();
    std::unique_ptr<vantric::SubsystemAgent> agent;
    RecordingDriver* driver = nullptr;
};

TEST_F(SubsystemAgentTest, NonCoresAreNotRegistered) {
    vantric::SubsystemAgent& a = MakeAgent(10, true);
    kvhost::TraceComponent& plain = simulation.AddTraceComponent("bus");
    kvhost::TraceComponent& mmu = simulation.AddTraceComponent("smmu");
    mmu.AddSource("MMU_TLB_FILL", "", {kvhost::Unsigned("VA", 8)});
    EXPECT_EQ(a.registerCore(&plain, 0), 0u);
    EXPECT_EQ(a.registerCore(&mmu, 0), 4u);
    EXPECT_FALSE(mmu.Source("MMU_TLB_FILL").hasCallbacks());
}

TEST_F(SubsystemAgentTest, InstructionSamplingInsideTheWindow) {
    vantric::SubsystemAgent& a = MakeAgent(1000, false);
    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", true);
    ASSERT_EQ(a.registerCore(&cpu, 0), 2u);
    ASSERT_EQ(a.start(1), 0u);
    EXPECT_EQ(driver->initCores, 1u);

    simulation.SetTicks(50);  // before the window: not counted
    for (int i = 0; i < 10; ++i) cpu.EmitInst(0x10);
    simulation.SetTicks(200);
    cpu.SetRegister("X30", 0xAAAA);
    cpu.SetRegister("X29", 0xF0F0);
    cpu.SetRegister("SP", 0x8000);
    cpu.SetRegister("CPSR", 0x3C5);  // EL1h: the 64-bit frame pointer
    for (int i = 0; i < 999; ++i) cpu.EmitInst(0x20);
    EXPECT_TRUE(driver->samples.empty());
    cpu.EmitInst(0x24, 0, -5);  // the 1000th, at local time -5 ticks
    ASSERT_EQ(driver->samples.size(), 1u);
    const Sample& s = driver->samples[0];
    EXPECT_EQ(s.pc, 0x24u);
    EXPECT_EQ(s.lr, 0xAAAAu);
    EXPECT_EQ(s.fp, 0xF0F0u);
    EXPECT_EQ(s.sp, 0x8000u);
    EXPECT_EQ(s.time, 195u);
    EXPECT_TRUE(s.is64);

    const auto values = RecordsOf<vantric::rcf::CounterValueRecord>(Finish());
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].value, 1000u);
    EXPECT_EQ(values[0].time, 195u);
}

TEST_F(SubsystemAgentTest, PeriodicSamplingThresholdAndThirtyTwoBitFramePointer) {
    vantric::SubsystemAgent& a = MakeAgent(1000, true);
    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", false);
    ASSERT_EQ(a.registerCore(&cpu, 0), 2u);
    a.start(1);
    simulation.SetTicks(300);
    cpu.SetRegister("R11", 0x1234);
    cpu.SetRegister("R14", 0x5678);
    cpu.EmitPeriodic(999, 0x100);
    EXPECT_TRUE(driver->samples.empty());
    cpu.EmitPeriodic(1500, 0x104);
    ASSERT_EQ(driver->samples.size(), 1u);
    EXPECT_EQ(driver->samples[0].fp, 0x1234u);
    EXPECT_EQ(driver->samples[0].lr, 0x5678u);
    EXPECT_FALSE(driver->samples[0].is64);
    cpu.EmitPeriodic(2400, 0x108);  // 900 since the last sample
    EXPECT_EQ(driver->samples.size(), 1u);
    const auto values = RecordsOf<vantric::rcf::CounterValueRecord>(Finish());
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].value, 1500u);
}

TEST_F(SubsystemAgentTest, ModeMmuExceptionsSyscallsAndBranches) {
    vantric::SubsystemAgent& a = MakeAgent(1, false);
    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", true);
    ASSERT_EQ(a.registerCore(&cpu, 0), 2u);
    simulation.SetTicks(500);

    cpu.EmitModeChange(0x10);
    EXPECT_TRUE(cores.state(0).userMode);
    cpu.EmitModeChange(0x13);
    EXPECT_FALSE(cores.state(0).userMode);
    cpu.EmitModeChange(0x00);
    EXPECT_TRUE(cores.state(0).userMode);

    cpu.EmitSysregWrite64(49168, 0x1005, 0);
    cpu.EmitInst(0x40);
    cpu.EmitSysregWrite64(49168, 0x1004, 0);
    cpu.EmitInst(0x44);
    cpu.EmitCp15Write(1, 0, 0, 0, 1);
    cpu.EmitInst(0x48);
    cpu.EmitCp15Write(1, 0, 1, 0, 0);  // another register: no change
    cpu.EmitInst(0x4C);
    ASSERT_EQ(driver->samples.size(), 4u);
    EXPECT_TRUE(driver->samples[0].mmu);
    EXPECT_FALSE(driver->samples[1].mmu);
    EXPECT_TRUE(driver->samples[2].mmu);
    EXPECT_TRUE(driver->samples[3].mmu);
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
    simulation.SetTicks(2000000);  // past the window
    cpu.EmitBranchDirect(0x50, 0x60);
    ASSERT_EQ(driver->branches.size(), 2u);
    EXPECT_EQ(driver->branches[1][1], 0x40u);
}

TEST_F(SubsystemAgentTest, RunStatesWriteIdleRecordsEvenOutsideTheWindow) {
    vantric::SubsystemAgent& a = MakeAgent(1, false);
    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", true);
    kvhost::Processor& cpu1 = simulation.AddProcessor("cpu1", true);
    ASSERT_EQ(a.registerCore(&cpu, 0), 2u);
    ASSERT_EQ(a.registerCore(&cpu1, 1), 2u);
    simulation.SetTicks(10);  // before the window
    cpu1.EmitRunState(1, 1);
    cpu.EmitRunState(1, 2);  // HALTED: nothing
    for (uint32_t state : {3u, 4u, 5u, 8u}) cpu.EmitRunState(1, state);
    const auto idles = RecordsOf<vantric::rcf::IdleRecord>(Finish());
    ASSERT_EQ(idles.size(), 5u);
    EXPECT_EQ(idles[0].state, -1);
    EXPECT_EQ(idles[0].core, 1u);
    EXPECT_EQ(idles[1].state, 0);
    EXPECT_EQ(idles[4].time, 10u);
}

TEST_F(SubsystemAgentTest, MissingSourcesWarnOrFail) {
    vantric::SubsystemAgent& a = MakeAgent(1, false, /*syscalls=*/true);
    kvhost::Processor& cpu = simulation.AddProcessor("cpu0", true);
    cpu.RemoveSource("CP15_WRITE");
    cpu.RemoveSource("SYSCALL");
    console.Clear();
    EXPECT_EQ(a.registerCore(&cpu, 0), 1u);
    EXPECT_EQ(console.err(),
              "WARN (Trace Register sim) Could not find CP15_WRITE source\n"
              "ERROR (Trace Register sim) Could not find SYSCALL source\n");
}

TEST_F(SubsystemAgentTest, StartWithoutDriver) {
    vantric::SubsystemAgent::Settings settings{
        time, capture, counters, vantric::SubsystemAgent::kUnsupported, 1, cores, 0,
        UINT64_MAX, false, true, configuration, 100, 1};
    console.Clear();
    vantric::SubsystemAgent bare(settings, nullptr);
    EXPECT_EQ(bare.start(1), 1u);
    EXPECT_EQ(bare.start(1), 0u);  // runs once
    EXPECT_EQ(console.err(), "ERROR (Vantric Trace Init) Unsupported kernel type\n"
                             "ERROR (Trace Register sim) OS driver instantiation failed\n");
    ASSERT_EQ(counters.descriptions().size(), 1u);
    EXPECT_EQ(counters.descriptions()[0].title, "Instruction Count");
    EXPECT_EQ(counters.descriptions()[0].type, "icount");
}

}  // namespace
