// simhost --bench: the same scenario through the trace plug-in and through
// an empty plug-in that subscribes to the same events and does nothing; the
// ratio of their event rates is the plug-in's cost on the host.
#pragma once

#include <string>

#include "options.h"

namespace simhost {

struct BenchFigures {
    double pluginRate = 0;  // events per second
    double emptyRate = 0;
    double ratio() const { return pluginRate > 0 ? emptyRate / pluginRate : 0; }
};

// Runs each plug-in `rounds` times (alternating) and keeps the best rate of
// each. False with `error` set when a plug-in cannot be loaded or run.
bool RunBench(const Options& options, int rounds, BenchFigures& figures, std::string& error);

std::string FormatBench(const Options& options, const BenchFigures& figures);

}  // namespace simhost
