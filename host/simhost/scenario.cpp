#include "scenario.h"

#include <fstream>
#include <stdexcept>

#include "baremetal_scenario.h"
#include "kv_trace_source.h"
#include "linux_scenario.h"

namespace simhost {

uint64_t TickNanoseconds(uint64_t ticks, double tickSeconds) {
    // The same expression and truncation as the scheduler's clients use.
    const double nanoseconds = static_cast<double>(ticks) * tickSeconds * 1000000000.0;
    return nanoseconds >= 0.0 ? static_cast<uint64_t>(nanoseconds) : 0;
}

uint64_t Scenario::EventCount() {
    uint64_t events = 0;
    for (size_t i = 0; i < simulation_.traceComponentCount(); ++i) {
        kvhost::TraceComponent& component = simulation_.traceComponentAt(i);
        for (uint32_t s = 0; s < component.TraceSourceCount(); ++s) {
            events += static_cast<kvhost::TraceSource*>(component.TraceSourceAt(s))->eventCount();
        }
    }
    return events;
}

void Scenario::WriteFile(const std::filesystem::path& path, const std::string& text) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::unique_ptr<Scenario> MakeScenario(const std::string& name, ScenarioOptions options) {
    if (name == "linux") return std::make_unique<LinuxScenario>(std::move(options));
    if (name == "baremetal") return std::make_unique<BareMetalScenario>(std::move(options));
    return nullptr;
}

}  // namespace simhost
