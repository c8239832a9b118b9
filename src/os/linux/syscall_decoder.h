// The annotation texts of the system calls the Linux driver follows, in the
// style of a system-call trace, from the call's argument registers and the
// strings and pointer arrays they point to in user memory. A string or array
// that cannot be read whole (a failed read, or no terminator among its first
// kMaxLength elements) prints as UNKNOWN.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "boundary/host_abi.h"

namespace vantric {

class SyscallDecoder {
public:
    static constexpr uint32_t kMaxLength = 100;
    using Arguments = std::array<uint64_t, 6>;

    SyscallDecoder(plexa::SQOVI2* debug, uint32_t memorySpace)
        : debug_(debug), memorySpace_(memorySpace) {}

    // openat(dirfd, path, flags, mode)
    std::string Openat(const Arguments& args) const;
    // execve(filename, argv, envp)
    std::string Execve(const Arguments& args) const;

private:
    // The NUL-terminated string at `address`, in double quotes.
    void AppendString(std::string& text, uint64_t address) const;
    // The NULL-terminated array of 8-byte little-endian string pointers at
    // `address`, as ["a", "b"].
    void AppendStringArray(std::string& text, uint64_t address) const;

    plexa::SQOVI2* debug_;
    uint32_t memorySpace_;
};

}  // namespace vantric
