#include "qemu_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace qemuhost {
namespace {

std::atomic<pid_t> gRunning{-1};

}  // namespace

QemuProcess::~QemuProcess() { Kill(); }

bool QemuProcess::Start(const std::vector<std::string>& argv, std::string& error) {
    int output[2];
    int input[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (::pipe2(input, O_CLOEXEC) != 0) {
        ::close(output[0]);
        ::close(output[1]);
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);  // a terminal's ^C goes to this host, which then kills QEMU
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        ::execvp(args[0], args.data());
        const char* reason = std::strerror(errno);
        (void)!::write(STDERR_FILENO, "qemuhost: cannot run ", 21);
        (void)!::write(STDERR_FILENO, args[0], std::strlen(args[0]));
        (void)!::write(STDERR_FILENO, ": ", 2);
        (void)!::write(STDERR_FILENO, reason, std::strlen(reason));
        (void)!::write(STDERR_FILENO, "\n", 1);
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    pid_ = pid;
    gRunning.store(pid);
    console_ = output[0];
    input_ = input[1];
    return true;
}

bool QemuProcess::Type(const std::string& text) {
    if (input_ < 0) return false;
    return ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool QemuProcess::Running() {
    if (pid_ < 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        gRunning.store(-1);
        pid_ = -1;
        return false;
    }
    return true;
}

void QemuProcess::Kill() {
    if (pid_ >= 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        gRunning.store(-1);
        pid_ = -1;
    }
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    // The console's read end belongs to whoever reads it (GuestConsole).
}

void QemuProcess::KillFromSignal() {
    const pid_t pid = gRunning.load();
    if (pid > 0) ::kill(pid, SIGKILL);
}

}  // namespace qemuhost
