// One traced QEMU run from start to end: boots the guest under the gdbstub,
// waits for its /init to report the kernel symbols, writes the plug-in's
// settings (kernel-layout on the Image's BTF), loads and connects
// VantricTrace.so exactly as simhost does, traces the workload until the
// guest powers off, releases the plug-in, and optionally verifies the
// capture. QEMU is killed on every way out.
#pragma once

#include <atomic>
#include <string>

#include "qemu_options.h"

namespace qemuhost {

class QemuRun {
public:
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailure = 1;
    static constexpr int kExitMissing = 77;  // QEMU or the guest is not there
    static constexpr int kExitInterrupted = 130;

    QemuRun(QemuOptions options, std::string selfDirectory, const std::atomic<bool>& stop)
        : options_(std::move(options)), self_(std::move(selfDirectory)), stop_(stop) {}

    int Execute();

private:
    int Fail(const std::string& message);

    QemuOptions options_;
    std::string self_;
    const std::atomic<bool>& stop_;
};

}  // namespace qemuhost
