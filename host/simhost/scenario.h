// A scenario builds a simulation, writes the input files a user would write,
// runs a workload through the simulated cores while recording what ran, and
// names the plug-in parameters that point at its files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ground_truth.h"
#include "kv_simulation.h"

namespace simhost {

struct ScenarioOptions {
    uint32_t cores = 4;
    uint64_t instructions = 5000000;  // per core
    uint64_t seed = 1;
    bool mapleTree = false;           // linux: Debian's 6.1 layout, areas in a maple tree
    std::filesystem::path workDir;    // where the input files go
};

// Called now and then with the instructions simulated so far, all cores.
using ProgressCallback = std::function<void(uint64_t instructions)>;

class Scenario {
public:
    static constexpr double kTickSeconds = 1e-9;
    static constexpr uint64_t kQuantum = 10000;          // ticks per round of all cores
    static constexpr uint64_t kPeriodicInstructions = 1000;

    explicit Scenario(ScenarioOptions options) : options_(std::move(options)) {}
    virtual ~Scenario() = default;
    Scenario(const Scenario&) = delete;
    Scenario& operator=(const Scenario&) = delete;

    // Builds the simulated system and writes its input files into the work
    // directory; returns the "name=value" parameters that name them. Throws
    // std::runtime_error when a file cannot be written.
    virtual std::vector<std::string> Prepare() = 0;
    // Runs the workload; the plug-in (if any) is connected by then.
    virtual void Run(const ProgressCallback& progress) = 0;

    kvhost::Simulation& simulation() { return simulation_; }
    const GroundTruth& truth() const { return truth_; }
    GroundTruth& truth() { return truth_; }
    const ScenarioOptions& options() const { return options_; }
    // Events emitted by every trace source of the simulation so far.
    uint64_t EventCount();

protected:
    uint64_t Nanoseconds(uint64_t ticks) const { return TickNanoseconds(ticks, kTickSeconds); }
    void WriteFile(const std::filesystem::path& path, const std::string& text) const;

    ScenarioOptions options_;
    kvhost::Simulation simulation_;
    GroundTruth truth_;
};

// "linux" or "baremetal"; null for another name.
std::unique_ptr<Scenario> MakeScenario(const std::string& name, ScenarioOptions options);

}  // namespace simhost
