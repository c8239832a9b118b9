// The qemu-system-aarch64 child: started with its console on a pipe (and a
// pipe to type into it), killed when this object goes, when this host
// dies (parent-death signal) and, through KillFromSignal, from a SIGINT or
// SIGTERM handler.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qemuhost {

class QemuProcess {
public:
    QemuProcess() = default;
    ~QemuProcess();
    QemuProcess(const QemuProcess&) = delete;
    QemuProcess& operator=(const QemuProcess&) = delete;

    // False with `error` set when the program cannot be started.
    bool Start(const std::vector<std::string>& argv, std::string& error);
    // The read end of the console (standard output and error together).
    int consoleFd() const { return console_; }
    // Types into the guest's console.
    bool Type(const std::string& text);
    bool Running();
    // Kills and reaps it; idempotent.
    void Kill();
    // Async-signal-safe: kills the process started last.
    static void KillFromSignal();

private:
    pid_t pid_ = -1;
    int console_ = -1;
    int input_ = -1;
};

}  // namespace qemuhost
