// The few operating-system services the plug-in needs, behind one small
// layer so the rest of the code never calls the OS directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace vantric::platform {

// Creates one directory level. An existing directory counts as success.
bool CreateDirectory(const std::string& path);

// True when `path` names a directory. A directory opens like a file on
// Linux, and the first read of it then throws from inside the stream buffer,
// so readers of user-named files ask first.
bool IsDirectory(const std::string& path);

// Copies `size` bytes at `address` of this process into `out` without
// touching them directly: false, with nothing faulted, when any of them is
// not readable memory.
bool CopyOwnMemory(const void* address, void* out, std::size_t size);

// Monotonic high-resolution clock, in seconds since an arbitrary origin.
double MonotonicSeconds();

// Reads a process environment variable: its text, or null when absent. The
// text stays valid until the environment is next written.
const char* GetEnvironment(const char* name);

// Sets a process environment variable, replacing any previous value.
bool SetEnvironment(const char* name, const char* value);

// The identifier of the running process.
uint32_t ProcessId();

// A plain mutual-exclusion lock shared between modules through the
// singleton registry; its layout must be the same in every module.
using Mutex = std::mutex;

}  // namespace vantric::platform
