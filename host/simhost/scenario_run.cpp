#include "scenario_run.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "parameter_args.h"
#include "plugin_session.h"
#include "progress_bar.h"

namespace simhost {
namespace {

// The window the plug-in traces: the last value of each bound, defaults first.
void SetWindow(const ParameterTable& table, const std::vector<ZVT::v0::ParameterValue>& values,
               GroundTruth& truth) {
    for (const ZVT::v0::ParameterInfo& info : table) {
        const std::string name = info.name;
        if (name != "trace-start-time" && name != "trace-end-time") continue;
        for (const ZVT::v0::ParameterValue& value : values) {
            if (value.id != info.id) continue;
            (name == "trace-start-time" ? truth.windowStart : truth.windowEnd) =
                static_cast<uint64_t>(value.integerValue);
        }
    }
}

}  // namespace

bool RunScenario(PluginLibrary& library, const Options& options, bool showProgress,
                 RunResult& result, std::string& error) {
    ScenarioOptions scenarioOptions;
    scenarioOptions.cores = options.cores;
    scenarioOptions.instructions = options.instructions;
    scenarioOptions.seed = options.seed;
    scenarioOptions.mapleTree = options.mapleTree;
    scenarioOptions.workDir =
        options.workDir.empty()
            ? std::filesystem::path(LastAssignment(options.assignments, "output-directory", ".")) /
                  ("simhost-" + options.scenario)
            : std::filesystem::path(options.workDir);
    result.scenario = MakeScenario(options.scenario, scenarioOptions);
    if (!result.scenario) {
        error = "unknown scenario '" + options.scenario + "'";
        return false;
    }
    Scenario& scenario = *result.scenario;

    std::vector<std::string> assignments;
    try {
        std::error_code ec;
        std::filesystem::create_directories(scenarioOptions.workDir, ec);
        if (ec) throw std::runtime_error("cannot create " + scenarioOptions.workDir.string() + ": " + ec.message());
        assignments = scenario.Prepare();
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    assignments.insert(assignments.end(), options.assignments.begin(), options.assignments.end());
    result.capturePath = CapturePath(assignments);
    RemoveEarlierCapture(result.capturePath);

    ZVT::v1::PluginFactory& factory = *library.factory();
    const ParameterTable table = ReadParameterTable(factory);
    std::vector<ZVT::v0::ParameterValue> values;
    if (!InstanceValues(table, assignments, values, error)) return false;
    SetWindow(table, values, scenario.truth());

    PluginSession session(factory);
    if (!session.Create("VantricTrace", values, error)) return false;
    if (!session.Connect(scenario.simulation(), error)) return false;

    const uint64_t eventsBefore = scenario.EventCount();
    const uint64_t total = options.instructions * options.cores;
    ProgressBar progress(total, stderr, showProgress && ProgressBarWanted());
    const auto start = std::chrono::steady_clock::now();
    scenario.Run([&](uint64_t done) { progress.Update(done); });
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.Finish();
    result.events = scenario.EventCount() - eventsBefore;
    for (uint64_t n : scenario.truth().coreInstructions) result.instructions += n;
    session.Release();
    result.captureLoss = session.lossReported();
    return true;
}

}  // namespace simhost
