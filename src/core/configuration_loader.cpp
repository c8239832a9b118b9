#include "core/configuration_loader.h"

#include <algorithm>
#include <cctype>

#include "core/subsystem_agent.h"
#include "util/vantric_exception.h"
#include "json/json_stream_reader.h"
#include "json/json_value.h"

namespace vantric {
namespace {

constexpr uint64_t kHighFrequencyThreshold = 50000;
constexpr uint32_t kDefaultCallstackDepth = 100;
// Far deeper than any real stack; each sample reserves and may walk this many
// frames, so a larger value can only mean a mistake.
constexpr uint32_t kMaxCallstackDepth = 1024;

// Reads a whole file as one JSON value; throws the refusal when it cannot be
// opened, read or parsed.
void ReadJSONFile(const std::string& path, vq::JSONValue& value) {
    std::string problem;
    if (!vq::ReadJSONFile(path, value, problem))
        throw VantricExceptionT() << "Cannot create JSON stream for " << path << problem;
}

uint32_t KernelTypeOf(std::string os) {
    std::transform(os.begin(), os.end(), os.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (os == "none" || os.empty()) return SubsystemAgent::kBareMetal;
    if (os == "linux") return SubsystemAgent::kLinux;
    return SubsystemAgent::kUnsupported;
}

template <typename T, typename Read>
T ReadOr(vq::JSONValue& settings, const char* key, T fallback, Read read) {
    try {
        return read(settings[key]);
    } catch (const vq::JSONValue::SerializationException&) {
        return fallback;
    }
}

bool LoadSubsystem(AgentRegistry& agents, const std::string& name, const std::string& file,
                   const ConfigurationContext& context) {
    vq::JSONValue settings;
    ReadJSONFile(file, settings);

    std::string os;
    try {
        os = settings["operating-system"].asString();
    } catch (const vq::JSONValue::SerializationException& error) {
        agents.warnings << "Unable to read valid 'operating-system' value from " << file << " : "
                        << error.what();
        return false;
    }
    const uint32_t kernelType = KernelTypeOf(os);
    const uint64_t frequency = ReadOr<uint64_t>(settings, "sampling-frequency", 0,
                                                [](vq::JSONValue& v) { return v.asUInt64(); });
    uint32_t depth = ReadOr<uint32_t>(settings, "callstack-depth", kDefaultCallstackDepth,
                                      [](vq::JSONValue& v) { return v.asUInt32(); });
    bool accepted = true;
    if (depth > kMaxCallstackDepth) {
        agents.warnings << file << " config warning : callstack-depth " << depth
                        << " is more than " << kMaxCallstackDepth << " frames; using "
                        << kDefaultCallstackDepth << "\n";
        depth = kDefaultCallstackDepth;
        accepted = false;
    }
    const bool highFrequency = frequency >= kHighFrequencyThreshold;
    const bool lowFrequency = frequency >= 1 && frequency < kHighFrequencyThreshold;

    ++agents.agentCount;
    std::unique_ptr<SubsystemAgent> agent;
    try {
        agent = std::make_unique<SubsystemAgent>(SubsystemAgent::Settings{
            context.timeSource, context.captureWriter, context.counters, kernelType, frequency,
            context.cores, context.windowStart, context.windowEnd,
            highFrequency, lowFrequency, settings, depth, agents.agentCount});
    } catch (const VantricExceptionT& inner) {
        throw VantricExceptionT() << "Vantric init failed for subsystem using " << file << ":"
                                  << inner.message() << "\n";
    }
    SubsystemAgent* inserted = agents.insert(name, std::move(agent));
    const std::string warning = inserted->warningText();
    if (warning.empty()) return accepted;
    agents.warnings << file << " config warning : " << warning << "\n";
    return false;
}

std::string ReadEntryText(vq::JSONValue& entry, const char* key, const std::string& path,
                          size_t index) {
    try {
        return entry[key].asString();
    } catch (...) {
        throw VantricExceptionT() << "Error while parsing " << path << " : Invalid " << key
                                  << " in entry #" << uint64_t{index + 1};
    }
}

}  // namespace

bool LoadConfiguration(AgentRegistry& agents, const std::string& path,
                       const ConfigurationContext& context) {
    vq::JSONValue configuration;
    ReadJSONFile(path, configuration);
    if (configuration.type() != vq::JSONValue::TypeArray) {
        throw VantricExceptionT() << "Error while parsing " << path << " : "
                                  << vq::JSONValue::WrongType(vq::JSONValue::TypeArray,
                                                              configuration.type()).what();
    }

    bool result = true;
    const size_t count = configuration.size();
    for (size_t i = 0; i < count; ++i) {
        vq::JSONValue& entry = configuration.at(i);
        const std::string name = ReadEntryText(entry, "Subsystem_name", path, i);
        const std::string file = ReadEntryText(entry, "Subsystem_config_file", path, i);
        try {
            if (!LoadSubsystem(agents, name, file, context)) result = false;
        } catch (const vq::JSONValue::SerializationException& error) {
            throw VantricExceptionT() << "Error while parsing " << file << " : " << error.what();
        }
    }
    return result;
}

}  // namespace vantric
