#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"

namespace vantric::platform {

bool CreateDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CopyOwnMemory(const void* address, void* out, std::size_t size) {
    iovec local{out, size};
    iovec remote{const_cast<void*>(address), size};
    const ssize_t copied = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
    if (copied >= 0 || (errno != ENOSYS && errno != EPERM)) return copied == static_cast<ssize_t>(size);
    // Where the call is not allowed, a pipe does the same check: the kernel
    // reads the bytes for write() and reports EFAULT instead of faulting.
    int ends[2];
    if (::pipe(ends) != 0) return false;
    const bool readable = ::write(ends[1], address, size) == static_cast<ssize_t>(size) &&
                          ::read(ends[0], out, size) == static_cast<ssize_t>(size);
    ::close(ends[0]);
    ::close(ends[1]);
    return readable;
}

double MonotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

const char* GetEnvironment(const char* name) { return std::getenv(name); }

bool SetEnvironment(const char* name, const char* value) {
    return ::setenv(name, value, 1) == 0;
}

uint32_t ProcessId() { return static_cast<uint32_t>(::getpid()); }

}  // namespace vantric::platform
