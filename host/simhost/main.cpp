// simhost: a stand-in Kelvane host. It loads a trace plug-in exactly as the
// real host does and drives it; see --help.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "parameter_args.h"
#include "plugin_library.h"

namespace {

constexpr int kExitUsage = 2;

struct Options {
    std::string pluginPath;
    bool listParameters = false;
    std::vector<std::string> assignments;
};

void PrintUsage(std::FILE* out) {
    std::fputs(
        "usage: simhost [--plugin PATH] [--list-parameters] [-P name=value]...\n"
        "  --plugin PATH       trace plug-in to load (default: VantricTrace.so beside simhost)\n"
        "  --list-parameters   print the plug-in's kind and parameter table\n"
        "  -P name=value       set a plug-in parameter (checked against its table)\n",
        out);
}

std::string DefaultPluginPath(const char* argv0) {
    std::string self = argv0;
    const size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) +
           "/VantricTrace.so";
}

bool ParseOptions(int argc, char** argv, Options& options) {
    options.pluginPath = DefaultPluginPath(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&](std::string& into) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "simhost: %s needs a value\n", arg.c_str());
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "--plugin") {
            if (!next(options.pluginPath)) return false;
        } else if (arg == "--list-parameters") {
            options.listParameters = true;
        } else if (arg == "-P") {
            std::string assignment;
            if (!next(assignment)) return false;
            options.assignments.push_back(assignment);
        } else if (arg.rfind("-P", 0) == 0) {
            options.assignments.push_back(arg.substr(2));
        } else if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            std::exit(0);
        } else {
            std::fprintf(stderr, "simhost: unknown option '%s'\n", arg.c_str());
            PrintUsage(stderr);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return kExitUsage;

    simhost::PluginLibrary library;
    std::string error;
    if (!library.Load(options.pluginPath, error)) {
        std::fprintf(stderr, "simhost: %s\n", error.c_str());
        return 1;
    }
    ZVT::v1::PluginFactory& factory = *library.factory();
    const simhost::ParameterTable table = simhost::ReadParameterTable(factory);

    std::vector<ZVT::v0::ParameterValue> values;
    for (const std::string& assignment : options.assignments) {
        ZVT::v0::ParameterValue value;
        if (!simhost::ParseAssignment(table, assignment, value, error)) {
            std::fprintf(stderr, "simhost: %s\n", error.c_str());
            return kExitUsage;
        }
        values.push_back(value);
    }

    if (options.listParameters) {
        std::printf("plug-in %s: kind %s, factory revision %u, %zu parameters\n",
                    options.pluginPath.c_str(), factory.PluginKind(), library.factoryRevision(),
                    table.size());
        std::fputs(simhost::FormatParameterTable(table).c_str(), stdout);
        return 0;
    }

    ZVT::v0::PluginInstance* instance =
        factory.CreateInstance("VantricTrace", static_cast<uint32_t>(values.size()), values.data());
    if (instance == nullptr) {
        std::fprintf(stderr, "simhost: the plug-in did not create an instance\n");
        return 1;
    }
    instance->ReleaseInstance();
    return 0;
}
