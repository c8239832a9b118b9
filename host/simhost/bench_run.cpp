#include "bench_run.h"

#include <algorithm>
#include <cstdio>

#include "plugin_library.h"
#include "scenario_run.h"

namespace simhost {

bool RunBench(const Options& options, int rounds, BenchFigures& figures, std::string& error) {
    PluginLibrary plugin;
    PluginLibrary empty;
    if (!plugin.Load(options.pluginPath, error) || !empty.Load(options.emptyPluginPath, error)) return false;
    for (int round = 0; round < rounds; ++round) {
        for (PluginLibrary* library : {&empty, &plugin}) {
            RunResult result;
            if (!RunScenario(*library, options, false, result, error)) return false;
            const double rate = result.seconds > 0 ? static_cast<double>(result.events) / result.seconds : 0;
            double& best = library == &plugin ? figures.pluginRate : figures.emptyRate;
            best = std::max(best, rate);
        }
    }
    return true;
}

std::string FormatBench(const Options& options, const BenchFigures& figures) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "\n%s scenario, %u cores, %llu instructions per core\n"
                  "  %-14s %12.0f events/s\n"
                  "  %-14s %12.0f events/s\n"
                  "  ratio %.2fx (empty / plug-in)\n",
                  options.scenario.c_str(), options.cores,
                  static_cast<unsigned long long>(options.instructions), "VantricTrace", figures.pluginRate,
                  "empty plug-in", figures.emptyRate, figures.ratio());
    return text;
}

}  // namespace simhost
