// qemuhost's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qemuhost {

struct QemuOptions {
    std::string targetDir;     // holds Image and initrd.gz (scripts/fetch-arm64-target.sh)
    std::string kernel;        // default: <targetDir>/Image
    std::string initrd;        // default: <targetDir>/initrd.gz
    std::string qemu = "qemu-system-aarch64";
    std::string pluginPath;    // default: VantricTrace.so beside qemuhost
    std::string kernelLayout;  // default: kernel-layout beside qemuhost
    std::string kallsyms;      // instead of the guest's own lines
    std::string settings;      // a settings file instead of running kernel-layout
    std::string workDir;       // default: <output-directory>/qemuhost
    uint32_t cpus = 2;
    uint32_t memoryMiB = 512;
    uint32_t sampleMs = 10;
    uint32_t bootTimeoutS = 120;
    uint32_t runTimeoutS = 300;
    bool verify = false;
    bool help = false;
    std::vector<std::string> assignments;  // -P name=value
};

extern const char* const kQemuUsage;

// False with `error` set for an unknown option or a bad value.
bool ParseQemuOptions(int argc, const char* const* argv, QemuOptions& options, std::string& error);

}  // namespace qemuhost
