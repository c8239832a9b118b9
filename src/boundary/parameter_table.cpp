#include "boundary/parameter_table.h"

#include <cstring>

namespace vantric {
namespace {

struct ParameterRow {
    const char* name;
    ZVT::v0::ParameterType type;
    const char* description;
    int64_t minimum;
    int64_t maximum;
    int64_t defaultInteger;
    const char* defaultText;
};

constexpr ParameterRow kRows[kParameterCount] = {
    {"output-directory", ZVT::v0::kParameterText, "Directory for RCF output.", 0, 0, 0, "."},
    {"time-base", ZVT::v0::kParameterInteger, "Time base: 0=simulated time, 1=host time", 0, 1, 0,
     ""},
    {"rcf-capture", ZVT::v0::kParameterText, "Vantric capture directory to create.", 0, 0, 0,
     "kelvane.rcf"},
    {"trace-compile", ZVT::v0::kParameterBoolean, "Trace JIT compilation start/stop events.", 0, 1,
     0, ""},
    {"counters-config-file", ZVT::v0::kParameterText,
     "Path of JSON file to configure ZVT sources as counters.", 0, 0, 0, ""},
    {"trace-start-time", ZVT::v0::kParameterInteger,
     "Specification of the time window when the trace is enabled.", 0, -1, 0, ""},
    {"trace-end-time", ZVT::v0::kParameterInteger,
     "Specification of the time window when the trace is disabled.", 0, -1, -1, ""},
    {"config", ZVT::v0::kParameterText,
     "JSON file that configures the Vantric plugin for the required target.", 0, 0, 0, ""},
    {"discovery-mode", ZVT::v0::kParameterBoolean,
     "List trace sources and targets without running the simulation.", 0, 1, 0, ""},
    {"counter-defaults-json", ZVT::v0::kParameterText,
     "JSON file containing the defaults for counter config parameters, to be used when vantric "
     "is in discovery mode.",
     0, 0, 0, ""},
};

// Copies at most width-1 characters and zero-fills the rest of the field.
template <size_t Width>
void FillText(char (&field)[Width], const char* text) {
    std::memset(field, 0, Width);
    std::strncpy(field, text, Width - 1);
}

ParameterTable BuildParameterTable() {
    ParameterTable table;
    std::memset(static_cast<void*>(table.data()), 0, sizeof(table));
    for (uint32_t id = 0; id < kParameterCount; ++id) {
        const ParameterRow& row = kRows[id];
        ZVT::v0::ParameterInfo& info = table[id];
        info.id = id;
        FillText(info.name, row.name);
        info.type = row.type;
        FillText(info.description, row.description);
        info.minimum = row.minimum;
        info.maximum = row.maximum;
        info.defaultInteger = row.defaultInteger;
        FillText(info.defaultText, row.defaultText);
    }
    return table;
}

}  // namespace

const ParameterTable& GetParameterTable() {
    static const ParameterTable table = BuildParameterTable();
    return table;
}

}  // namespace vantric
