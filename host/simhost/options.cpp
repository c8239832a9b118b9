#include "options.h"

#include <filesystem>

#include <cerrno>
#include <cstdlib>

namespace simhost {

const char* const kUsage =
    "usage: simhost [options] [-P name=value]...\n"
    "  --plugin PATH         trace plug-in to load (default: VantricTrace.so beside simhost)\n"
    "  --list-parameters     print the plug-in's kind and parameter table\n"
    "  -P name=value         set a plug-in parameter (checked against its table)\n"
    "  --scenario NAME       linux (default) or baremetal\n"
    "  --cores N             simulated cores (default 4)\n"
    "  --instructions N      instructions per core (default 50000000)\n"
    "  --seed N              workload seed (default 1)\n"
    "  --memory-areas KIND   linux: rb-tree (default; a synthetic kernel before 6.1) or\n"
    "                        maple-tree (Debian's arm64 6.1 kernel layout)\n"
    "  --work-dir DIR        where the scenario's input files go\n"
    "                        (default: <output-directory>/simhost-<scenario>)\n"
    "  --verify              read the capture back and check it against what ran\n"
    "  --bench               run with the plug-in and with an empty plug-in, compare rates\n"
    "  --empty-plugin PATH   the empty plug-in for --bench (default: EmptyTrace.so beside simhost)\n";

namespace {

bool ParseCount(const std::string& text, uint64_t minimum, uint64_t maximum, uint64_t& out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < minimum || value > maximum) return false;
    out = value;
    return true;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        auto count = [&](uint64_t minimum, uint64_t maximum, uint64_t& into) {
            std::string text;
            if (!value(text)) return false;
            if (!ParseCount(text, minimum, maximum, into)) {
                error = arg + " takes a whole number from " + std::to_string(minimum) + " to " +
                        std::to_string(maximum) + ", not '" + text + "'";
                return false;
            }
            return true;
        };
        std::string text;
        uint64_t number = 0;
        if (arg == "--plugin") {
            if (!value(options.pluginPath)) return false;
        } else if (arg == "--empty-plugin") {
            if (!value(options.emptyPluginPath)) return false;
        } else if (arg == "--list-parameters") {
            options.listParameters = true;
        } else if (arg == "--verify") {
            options.verify = true;
        } else if (arg == "--bench") {
            options.bench = true;
        } else if (arg == "--scenario") {
            if (!value(text)) return false;
            if (text != "linux" && text != "baremetal") {
                error = "unknown scenario '" + text + "': use linux or baremetal";
                return false;
            }
            options.scenario = text;
        } else if (arg == "--memory-areas") {
            if (!value(text)) return false;
            if (text != "rb-tree" && text != "maple-tree") {
                error = "unknown memory-area layout '" + text + "': use rb-tree or maple-tree";
                return false;
            }
            options.mapleTree = text == "maple-tree";
        } else if (arg == "--cores") {
            if (!count(1, 64, number)) return false;
            options.cores = static_cast<uint32_t>(number);
        } else if (arg == "--instructions") {
            if (!count(1000, UINT64_C(1) << 40, options.instructions)) return false;
        } else if (arg == "--seed") {
            if (!count(0, UINT64_MAX, options.seed)) return false;
        } else if (arg == "--work-dir") {
            if (!value(options.workDir)) return false;
        } else if (arg == "-P") {
            if (!value(text)) return false;
            options.assignments.push_back(text);
        } else if (arg.rfind("-P", 0) == 0) {
            options.assignments.push_back(arg.substr(2));
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    return true;
}

std::string LastAssignment(const std::vector<std::string>& assignments, const std::string& name,
                           const std::string& fallback) {
    std::string result = fallback;
    for (const std::string& a : assignments) {
        if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
            result = a.substr(name.size() + 1);
        }
    }
    return result;
}

std::string CapturePath(const std::vector<std::string>& assignments) {
    const std::string directory = LastAssignment(assignments, "output-directory", ".");
    std::string name = LastAssignment(assignments, "rcf-capture", "kelvane.rcf");
    // The plug-in's own rule: a name with a slash is refused, a short one or
    // one without the suffix gets ".rcf".
    if (name.find('/') != std::string::npos) {
        name = "out.rcf";
    } else if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".rcf") != 0) {
        name += ".rcf";
    }
    return directory + "/" + name;
}

void RemoveEarlierCapture(const std::string& directory) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        const std::string name = entry.path().filename().string();
        const bool dataFile = name.size() == 10 && name.find_first_not_of("0123456789") == std::string::npos;
        if (dataFile || name == "session.xml" || name == "captured.xml") std::filesystem::remove(entry.path(), ec);
    }
}

}  // namespace simhost
