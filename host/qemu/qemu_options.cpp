#include "qemu_options.h"

#include <cstdlib>

namespace qemuhost {

const char* const kQemuUsage =
    "usage: qemuhost --target DIR [options] [-P name=value]...\n"
    "  --target DIR          the guest: DIR/Image and DIR/initrd.gz (scripts/fetch-arm64-target.sh DIR)\n"
    "  --kernel FILE         the kernel Image (default DIR/Image)\n"
    "  --initrd FILE         the initramfs (default DIR/initrd.gz)\n"
    "  --qemu PROGRAM        default qemu-system-aarch64\n"
    "  --plugin PATH         trace plug-in (default: VantricTrace.so beside qemuhost)\n"
    "  --kernel-layout PATH  default: kernel-layout beside qemuhost\n"
    "  --kallsyms FILE       kernel symbols instead of the guest's own kallsyms lines\n"
    "  --settings FILE       Linux settings file instead of running kernel-layout\n"
    "  --cpus N              vCPUs (default 2)\n"
    "  --memory MIB          guest memory (default 512)\n"
    "  --sample-ms N         interrupt the guest every N ms it runs (default 10)\n"
    "  --boot-timeout S      seconds for the guest to be ready (default 120)\n"
    "  --run-timeout S       seconds for the traced workload (default 300)\n"
    "  --work-dir DIR        console log, symbols and settings (default <output-directory>/qemuhost)\n"
    "  --verify              check the capture against what the guest reported\n"
    "  -P name=value         plug-in parameter\n";

namespace {

bool Count(const std::string& text, uint32_t minimum, uint32_t maximum, uint32_t& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) return false;
    const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
    if (value < minimum || value > maximum) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

bool ParseQemuOptions(int argc, const char* const* argv, QemuOptions& options, std::string& error) {
    struct Text {
        const char* flag;
        std::string QemuOptions::*field;
    };
    const Text texts[] = {
        {"--target", &QemuOptions::targetDir}, {"--kernel", &QemuOptions::kernel},
        {"--initrd", &QemuOptions::initrd},    {"--qemu", &QemuOptions::qemu},
        {"--plugin", &QemuOptions::pluginPath}, {"--kernel-layout", &QemuOptions::kernelLayout},
        {"--kallsyms", &QemuOptions::kallsyms}, {"--settings", &QemuOptions::settings},
        {"--work-dir", &QemuOptions::workDir},
    };
    struct Number {
        const char* flag;
        uint32_t QemuOptions::*field;
        uint32_t minimum;
        uint32_t maximum;
    };
    const Number numbers[] = {
        {"--cpus", &QemuOptions::cpus, 1, 8},
        {"--memory", &QemuOptions::memoryMiB, 128, 8192},
        {"--sample-ms", &QemuOptions::sampleMs, 1, 10000},
        {"--boot-timeout", &QemuOptions::bootTimeoutS, 1, 3600},
        {"--run-timeout", &QemuOptions::runTimeoutS, 1, 36000},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--verify") {
            options.verify = true;
            continue;
        }
        if (arg.rfind("-P", 0) == 0 && arg.size() > 2) {
            options.assignments.push_back(arg.substr(2));
            continue;
        }
        bool known = false;
        const bool hasValue = i + 1 < argc;
        for (const Text& t : texts) {
            if (arg != t.flag) continue;
            if (!hasValue) return error = arg + " needs a value", false;
            options.*t.field = argv[++i];
            known = true;
        }
        for (const Number& n : numbers) {
            if (arg != n.flag) continue;
            if (!hasValue) return error = arg + " needs a value", false;
            const std::string value = argv[++i];
            if (!Count(value, n.minimum, n.maximum, options.*n.field)) {
                error = arg + " takes a whole number from " + std::to_string(n.minimum) + " to " +
                        std::to_string(n.maximum) + ", not '" + value + "'";
                return false;
            }
            known = true;
        }
        if (arg == "-P") {
            if (!hasValue) return error = "-P needs a value", false;
            options.assignments.push_back(argv[++i]);
            known = true;
        }
        if (!known) return error = "unknown option '" + arg + "'", false;
    }
    if (!options.help && options.targetDir.empty() && (options.kernel.empty() || options.initrd.empty())) {
        error = "no guest: give --target DIR (scripts/fetch-arm64-target.sh DIR fetches one)";
        return false;
    }
    if (options.kernel.empty()) options.kernel = options.targetDir + "/Image";
    if (options.initrd.empty()) options.initrd = options.targetDir + "/initrd.gz";
    return true;
}

}  // namespace qemuhost
