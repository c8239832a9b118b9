// A bare-metal control application on every core: a symbol-described call
// graph executed through direct calls (BRA_DIR) and returns (BRA_INDIR), a
// reset at start, timer interrupts whose handler calls a function of its own,
// and PERIODIC events; function activity reporting is on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "random.h"
#include "scenario.h"

namespace simhost {

class BareMetalScenario final : public Scenario {
public:
    static constexpr uint32_t kAppPid = 100;
    static constexpr const char* kAppName = "motor_ctrl";
    static constexpr uint64_t kSamplingInterval = 50000;

    explicit BareMetalScenario(ScenarioOptions options);

    std::vector<std::string> Prepare() override;
    void Run(const ProgressCallback& progress) override;

    // One step of a function's body.
    struct Op {
        enum Kind { kCompute, kCall } kind = kCompute;
        uint32_t count = 0;   // instructions of a compute step
        int callee = -1;      // function index of a call
        uint32_t site = 0;    // call-site number within the caller
    };
    struct Function {
        std::string name;
        std::string symbolFile;  // "app.sym" or "dsp.sym"
        uint64_t start = 0;
        uint64_t end = 0;        // last byte of the function
        uint32_t sites = 0;      // call sites
        std::vector<Op> body;    // main repeats its body after the first op
    };
    const std::vector<Function>& functions() const { return functions_; }

private:
    struct Activation {
        int function = 0;
        size_t op = 0;
        uint32_t left = 0;         // instructions left in the current compute step
        uint64_t callSite = 0;
        uint64_t startTime = 0;    // ns of the call
        uint64_t computePc = 0;
        uint64_t interruptedPc = 0;  // an interrupt handler's return address, else 0
    };
    struct CoreState {
        kvhost::Processor* cpu = nullptr;
        std::vector<Activation> stack;
        uint64_t instCount = 0;
        uint64_t nextPeriodic = kPeriodicInstructions;
        uint64_t nextInterrupt = 0;
    };

    void BuildProgram();
    int Add(std::string name, std::string file, std::vector<Op> body);
    uint64_t CallSitePc(const Function& f, uint32_t site) const { return f.start + 16 + 8 * site; }
    uint64_t ComputeLow(const Function& f) const { return f.start + 16 + 8 * f.sites; }
    void Call(uint32_t core, int function, uint64_t site, uint64_t roundStart, uint64_t offset);
    void Return(uint32_t core, uint64_t roundStart, uint64_t offset);
    void Interrupt(uint32_t core, uint64_t roundStart, uint64_t offset);
    // One instruction retired at `offset`: PERIODIC when the count reaches its next multiple.
    void Retire(uint32_t core, uint64_t pc, uint64_t roundStart, uint64_t offset);
    void RunCore(uint32_t core, uint64_t roundStart, uint64_t& budget);

    Random random_;
    std::vector<Function> functions_;
    std::vector<CoreState> cores_;
    int main_ = 0;
    int irqHandler_ = 0;
    uint64_t ticks_ = 0;
};

}  // namespace simhost
