// simhost's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simhost {

struct Options {
    std::string pluginPath;       // default: VantricTrace.so beside simhost
    std::string emptyPluginPath;  // default: EmptyTrace.so beside simhost
    bool listParameters = false;
    bool verify = false;
    bool bench = false;
    bool help = false;
    std::string scenario = "linux";
    uint32_t cores = 4;
    uint64_t instructions = 50000000;
    uint64_t seed = 1;
    bool mapleTree = false;       // linux: areas in a maple tree (6.1 layout)
    std::string workDir;          // default: <output-directory>/simhost-<scenario>
    std::vector<std::string> assignments;  // -P name=value, in order
};

extern const char* const kUsage;

// False with `error` set for an unknown option, a missing or malformed value.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// The value of the last "-P name=..." assignment of `name`, or `fallback`.
std::string LastAssignment(const std::vector<std::string>& assignments, const std::string& name,
                           const std::string& fallback);

// The directory the plug-in writes its capture into for these parameter
// values: output directory, "/", the capture name with ".rcf" made sure of.
std::string CapturePath(const std::vector<std::string>& assignments);

// The plug-in writes into an existing capture directory without emptying
// it, so data files of an earlier, longer run would survive and be read back
// with this one. Removes only what a capture holds.
void RemoveEarlierCapture(const std::string& directory);

}  // namespace simhost
