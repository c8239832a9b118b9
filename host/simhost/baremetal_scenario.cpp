#include "baremetal_scenario.h"

#include <cstdio>

namespace simhost {
namespace {

constexpr uint64_t kCodeBase = 0x80000;
constexpr uint32_t kResetVector = 0;
constexpr uint32_t kIrqVector = 5;
// The vector table: one 0x80-byte slot of code per vector, listed in no
// symbol file the plug-in is given.
constexpr uint64_t kVectorTable = 0x1000;
constexpr uint64_t kVectorSlotBytes = 0x80;
// 0x1000, reset vector code: branches to main.
constexpr uint64_t kResetPc = kVectorTable + kResetVector * kVectorSlotBytes;
// 0x1280, IRQ vector code: calls the handler.
constexpr uint64_t kIrqVectorPc = kVectorTable + kIrqVector * kVectorSlotBytes;
constexpr uint32_t kComputeBytes = 256;

using Op = BareMetalScenario::Op;

Op Compute(uint32_t count) { return Op{Op::kCompute, count, -1, 0}; }
Op CallOp(int callee, uint32_t site) { return Op{Op::kCall, 0, callee, site}; }

std::string Hex(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

BareMetalScenario::BareMetalScenario(ScenarioOptions options)
    : Scenario(std::move(options)), random_(options_.seed) {
    BuildProgram();
}

int BareMetalScenario::Add(std::string name, std::string file, std::vector<Op> body) {
    Function f;
    f.name = std::move(name);
    f.symbolFile = std::move(file);
    for (const Op& op : body) {
        if (op.kind == Op::kCall && op.site + 1 > f.sites) f.sites = op.site + 1;
    }
    f.body = std::move(body);
    const uint64_t previousEnd = functions_.empty() ? kCodeBase : functions_.back().end;
    f.start = (previousEnd + 0x3F) & ~uint64_t{0x3F};
    // Prologue, call sites, straight-line code, epilogue with the return last.
    f.end = f.start + 16 + 8 * f.sites + kComputeBytes + 16;
    functions_.push_back(std::move(f));
    return static_cast<int>(functions_.size() - 1);
}

void BareMetalScenario::BuildProgram() {
    const int firStep = Add("fir_step", "dsp.sym", {Compute(40)});
    const int crc16 = Add("crc16", "dsp.sym", {Compute(60)});
    const int memcpyWords = Add("memcpy_words", "dsp.sym", {Compute(30)});
    const int memsetWords = Add("memset_words", "dsp.sym", {Compute(50)});
    const int adcRead = Add("adc_read", "app.sym", {Compute(25)});
    const int clamp = Add("clamp", "app.sym", {Compute(6)});
    const int pwmSet = Add("pwm_set", "app.sym", {Compute(12)});
    const int uartPutc = Add("uart_putc", "app.sym", {Compute(8)});
    const int clockInit = Add("clock_init", "app.sym", {Compute(80)});
    const int tickUpdate = Add("tick_update", "app.sym", {Compute(10)});
    const int uartInit = Add("uart_init", "app.sym", {Compute(20), CallOp(uartPutc, 0), Compute(5)});
    const int uartWrite = Add("uart_write", "app.sym",
                              {Compute(6), CallOp(uartPutc, 0), Compute(2), CallOp(uartPutc, 0),
                               Compute(2), CallOp(uartPutc, 0), Compute(2), CallOp(uartPutc, 0)});
    const int initBoard = Add("init_board", "app.sym",
                              {Compute(30), CallOp(clockInit, 0), CallOp(uartInit, 1),
                               CallOp(memsetWords, 2), Compute(10)});
    const int sensorPoll = Add("sensor_poll", "app.sym",
                               {Compute(15), CallOp(adcRead, 0), Compute(5), CallOp(adcRead, 1),
                                CallOp(crc16, 2), Compute(8)});
    const int filterUpdate = Add("filter_update", "app.sym",
                                 {Compute(10), CallOp(firStep, 0), Compute(3), CallOp(firStep, 0),
                                  Compute(3), CallOp(firStep, 0), CallOp(memcpyWords, 1),
                                  Compute(6)});
    const int pidControl = Add("pid_control", "app.sym",
                               {Compute(35), CallOp(clamp, 0), Compute(12), CallOp(clamp, 1),
                                Compute(4)});
    const int motorWrite = Add("motor_write", "app.sym",
                               {Compute(8), CallOp(pwmSet, 0), CallOp(pwmSet, 1), Compute(3)});
    const int logEvent = Add("log_event", "app.sym", {Compute(20), CallOp(uartWrite, 0), Compute(4)});
    irqHandler_ = Add("irq_timer", "app.sym", {Compute(12), CallOp(tickUpdate, 0), Compute(5)});
    // main: the board set-up once, then the control loop for ever.
    main_ = Add("main", "app.sym",
                {CallOp(initBoard, 0), Compute(20), CallOp(sensorPoll, 1), CallOp(filterUpdate, 2),
                 Compute(10), CallOp(pidControl, 3), CallOp(motorWrite, 4), CallOp(logEvent, 5),
                 Compute(15)});
}

std::vector<std::string> BareMetalScenario::Prepare() {
    simulation_.SetTickSeconds(kTickSeconds);
    for (uint32_t c = 0; c < options_.cores; ++c) {
        CoreState core;
        core.cpu = &simulation_.AddProcessor("cluster0.cpu" + std::to_string(c), true);
        core.nextInterrupt = random_.Between(20000, 60000);
        cores_.push_back(std::move(core));
    }

    std::string app;
    std::string dsp;
    for (const Function& f : functions_) {
        (f.symbolFile == "dsp.sym" ? dsp : app) += f.name + " " + Hex(f.start) + " " + Hex(f.end) + "\n";
    }
    const auto& dir = options_.workDir;
    WriteFile(dir / "app.sym", app);
    WriteFile(dir / "dsp.sym", dsp);
    // For the offline tools only: the plug-in is not given it, so its
    // captures do not depend on it.
    WriteFile(dir / "vectors.sym",
              "reset_vector " + Hex(kResetPc) + " " + Hex(kResetPc + kVectorSlotBytes) + "\n" +
                  "irq_vector " + Hex(kIrqVectorPc) + " " + Hex(kIrqVectorPc + kVectorSlotBytes) +
                  "\n");
    WriteFile(dir / "baremetal.json",
              "{\n"
              "  \"operating-system\": \"none\",\n"
              "  \"app-name\": \"" + std::string(kAppName) + "\",\n"
              "  \"app-proc-id\": " + std::to_string(kAppPid) + ",\n"
              "  \"sampling-frequency\": " + std::to_string(kSamplingInterval) + ",\n"
              "  \"callgraph-using-debug-info\": true,\n"
              "  \"symbol-info-files\": [\"" + (dir / "app.sym").string() + "\", \"" +
              (dir / "dsp.sym").string() + "\"],\n"
              "  \"report-function-activity\": true\n"
              "}\n");
    WriteFile(dir / "config.json",
              "[\n  {\n    \"Subsystem_name\": \"cluster0.cpu*\",\n"
              "    \"Subsystem_config_file\": \"" + (dir / "baremetal.json").string() + "\"\n  }\n]\n");

    truth_.scenario = "baremetal";
    truth_.cores = options_.cores;
    truth_.samplingInterval = kSamplingInterval;
    truth_.appName = kAppName;
    truth_.appPid = kAppPid;
    return {"config=" + (dir / "config.json").string()};
}

void BareMetalScenario::Call(uint32_t core, int function, uint64_t site, uint64_t roundStart,
                             uint64_t offset) {
    CoreState& c = cores_[core];
    const Function& f = functions_[function];
    c.cpu->EmitBranchDirect(site, f.start, static_cast<int64_t>(offset));
    Activation a;
    a.function = function;
    a.callSite = site;
    a.startTime = Nanoseconds(roundStart + offset);
    a.computePc = ComputeLow(f);
    c.stack.push_back(a);
}

void BareMetalScenario::Return(uint32_t core, uint64_t roundStart, uint64_t offset) {
    CoreState& c = cores_[core];
    const Activation a = c.stack.back();
    const Function& f = functions_[a.function];
    c.cpu->EmitBranchIndirect(f.end - 4, a.callSite + 4, static_cast<int64_t>(offset));
    const uint64_t now = Nanoseconds(roundStart + offset);
    truth_.calls.push_back({core, f.name, a.startTime, now - a.startTime, a.callSite});
    c.stack.pop_back();
    if (a.interruptedPc != 0) {
        // The vector code's exception return back into the interrupted body.
        c.cpu->EmitBranchIndirect(kIrqVectorPc + 8, a.interruptedPc, static_cast<int64_t>(offset));
    }
}

void BareMetalScenario::Interrupt(uint32_t core, uint64_t roundStart, uint64_t offset) {
    CoreState& c = cores_[core];
    const uint64_t pc = c.stack.back().computePc;
    c.cpu->EmitException(pc, kIrqVector, static_cast<int64_t>(offset));
    Call(core, irqHandler_, kIrqVectorPc, roundStart, offset);
    c.stack.back().interruptedPc = pc;
}

void BareMetalScenario::Retire(uint32_t core, uint64_t pc, uint64_t roundStart, uint64_t offset) {
    CoreState& c = cores_[core];
    if (++c.instCount != c.nextPeriodic) return;
    c.nextPeriodic += kPeriodicInstructions;
    c.cpu->EmitPeriodic(c.instCount, pc);
    const uint64_t emitted = Nanoseconds(roundStart + offset);
    TruthPeriodic event{core, Nanoseconds(roundStart), c.instCount, 0, emitted, pc, {}};
    for (auto it = c.stack.rbegin(); it != c.stack.rend(); ++it) {
        event.frames.push_back({it->callSite, it->startTime});
    }
    truth_.periodic.push_back(std::move(event));
}

void BareMetalScenario::RunCore(uint32_t core, uint64_t roundStart, uint64_t& budget) {
    CoreState& c = cores_[core];
    uint64_t offset = kQuantum - budget;
    if (c.stack.empty()) {
        // Out of reset: the reset code branches to main.
        Call(core, main_, kResetPc, roundStart, offset);
    }
    while (budget > 0) {
        Activation& a = c.stack.back();
        const Function& f = functions_[a.function];
        if (a.left > 0) {
            uint64_t n = std::min<uint64_t>(a.left, budget);
            n = std::min(n, c.nextPeriodic - c.instCount - 1);
            if (c.nextInterrupt > c.instCount) n = std::min(n, c.nextInterrupt - c.instCount);
            const uint64_t span = (f.end - 8 - ComputeLow(f)) / 4;
            if (n > 0) {
                c.instCount += n;
                a.left -= static_cast<uint32_t>(n);
                budget -= n;
                offset += n;
                a.computePc = ComputeLow(f) + 4 * (((a.computePc - ComputeLow(f)) / 4 + n) % span);
            } else {
                Retire(core, a.computePc, roundStart, offset);  // the instruction that reaches PERIODIC
                a.left -= 1;
                budget -= 1;
                offset += 1;
            }
            const bool inHandler = [&] {
                for (const Activation& x : c.stack) {
                    if (x.interruptedPc != 0) return true;
                }
                return false;
            }();
            if (a.left > 0 && c.instCount >= c.nextInterrupt && !inHandler) {
                c.nextInterrupt = c.instCount + random_.Between(20000, 60000);
                Interrupt(core, roundStart, offset);
            }
            continue;
        }
        if (a.op < f.body.size()) {
            const Op op = f.body[a.op++];
            if (op.kind == Op::kCompute) {
                a.left = op.count / 2 + static_cast<uint32_t>(random_.Below(op.count + 1));
                continue;
            }
            // log_event runs on one control-loop pass in eight.
            if (a.function == main_ && functions_[op.callee].name == "log_event" &&
                !random_.Percent(12)) {
                continue;
            }
            const uint64_t site = CallSitePc(f, op.site);
            Call(core, op.callee, site, roundStart, offset);
            Retire(core, functions_[op.callee].start, roundStart, offset);
            budget -= 1;
            offset += 1;
            continue;
        }
        if (a.function == main_) {
            // The control loop's backward branch.
            c.cpu->EmitBranchDirect(f.end - 8, ComputeLow(f), static_cast<int64_t>(offset));
            a.op = 1;
            Retire(core, ComputeLow(f), roundStart, offset);
            budget -= 1;
            offset += 1;
            continue;
        }
        Return(core, roundStart, offset);
        Retire(core, c.stack.back().computePc, roundStart, offset);
        budget -= 1;
        offset += 1;
    }
}

void BareMetalScenario::Run(const ProgressCallback& progress) {
    const uint32_t count = static_cast<uint32_t>(cores_.size());
    // All cores leave reset together, before any of them runs: a reset
    // empties the call stacks of every core.
    for (CoreState& c : cores_) c.cpu->EmitException(0, kResetVector, 0);
    bool done = count == 0;
    while (!done) {
        const uint64_t roundStart = ticks_;
        simulation_.SetTicks(roundStart);
        done = true;
        uint64_t total = 0;
        for (uint32_t core = 0; core < count; ++core) {
            uint64_t budget = kQuantum;
            RunCore(core, roundStart, budget);
            total += cores_[core].instCount;
            if (cores_[core].instCount < options_.instructions) done = false;
        }
        ticks_ += kQuantum;
        if (progress) progress(total);
    }
    simulation_.SetTicks(ticks_);
    // Calls still open end when the plug-in is released, at the final time.
    const uint64_t finish = Nanoseconds(ticks_);
    truth_.endTime = finish;
    for (uint32_t core = 0; core < count; ++core) {
        for (const Activation& a : cores_[core].stack) {
            truth_.calls.push_back(
                {core, functions_[a.function].name, a.startTime, finish - a.startTime, a.callSite});
        }
        truth_.coreInstructions.push_back(cores_[core].instCount);
    }
}

}  // namespace simhost
