// Runs one scenario through a loaded plug-in the way a host does: build the
// simulation and its input files, create the instance with the parameter
// defaults, the scenario's files and the user's -P values, connect, run,
// release.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "options.h"
#include "plugin_library.h"
#include "scenario.h"

namespace simhost {

struct RunResult {
    std::unique_ptr<Scenario> scenario;
    std::string capturePath;
    double seconds = 0;       // the workload only, without set-up and release
    uint64_t events = 0;      // trace events emitted during the workload
    uint64_t instructions = 0;
    bool captureLoss = false;  // the plug-in reported capture data it could not write
};

// False with `error` set when the input files cannot be written, a -P value
// does not fit the plug-in's table, or the plug-in refuses to start.
bool RunScenario(PluginLibrary& library, const Options& options, bool showProgress,
                 RunResult& result, std::string& error);

}  // namespace simhost
