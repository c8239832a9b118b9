// qemuhost: loads a trace plug-in exactly as a Kelvane host does and gives
// it the vCPUs of a real qemu-system-aarch64 as its processor components,
// driven through QEMU's gdbstub; see --help.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "qemu_options.h"
#include "qemu_process.h"
#include "qemu_run.h"

namespace {

std::atomic<bool> gStop{false};

// QEMU goes at once; the run then releases the plug-in and ends.
void OnSignal(int) {
    gStop.store(true);
    qemuhost::QemuProcess::KillFromSignal();
}

std::string Directory(const char* argv0) {
    const std::string self = argv0;
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    qemuhost::QemuOptions options;
    std::string error;
    if (!qemuhost::ParseQemuOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "qemuhost: %s\n%s", error.c_str(), qemuhost::kQemuUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(qemuhost::kQemuUsage, stdout);
        return 0;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    qemuhost::QemuRun run(options, Directory(argv[0]), gStop);
    return run.Execute();
}
