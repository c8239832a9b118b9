// Reads the plug-in configuration file (a JSON array of subsystems, each
// with its own settings file) and creates one subsystem agent per entry.
#pragma once

#include <cstdint>
#include <string>

#include "core/agent_registry.h"

namespace vantric {

class CaptureWriter;
class CounterSet;
class TimeSource;
class CoreTable;

struct ConfigurationContext {
    TimeSource& timeSource;
    CaptureWriter& captureWriter;
    CounterSet& counters;
    CoreTable& cores;
    uint64_t windowStart;
    uint64_t windowEnd;
};

// True when every subsystem was set up without warnings; warnings go to
// `agents.warnings`. Errors that stop the plug-in throw VantricExceptionT.
bool LoadConfiguration(AgentRegistry& agents, const std::string& path,
                       const ConfigurationContext& context);

}  // namespace vantric
