// Environment reads and writes under one process-wide lock, EnvMutex, which
// every module of the process shares through the singleton registry.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vantric {

// The process-wide environment lock. Its run-time type name is the key under
// which modules share it.
class EnvMutex {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    platform::Mutex mutex_;
};

// The key EnvMutex is registered under: the same text in every module.
const char* EnvMutexKey();

// This module's EnvMutex: found in the singleton registry or created and
// registered there on first use, then cached.
EnvMutex& GetEnvMutex();

// Drops this module's reference to the shared EnvMutex (at module unload);
// the mutex is freed when this module registered it and was its last holder.
void ReleaseEnvMutex();

class KVEnvironmentVariables {
public:
    // True and `value` set when the variable exists; false and `value` untouched otherwise.
    static bool get_env(const char* name, std::string& value, bool lock);
    // True when the variable was set. `value` is never empty here.
    static bool set_env_nonempty(const char* name, const char* value);
};

}  // namespace vantric
