#include "util/environment_variables.h"

#include <mutex>
#include <typeinfo>

#include "util/singleton_registry.h"

namespace vantric {
namespace {

EnvMutex* cachedEnvMutex = nullptr;

}  // namespace

const char* EnvMutexKey() { return typeid(EnvMutex).name(); }

EnvMutex& GetEnvMutex() {
    if (cachedEnvMutex != nullptr) return *cachedEnvMutex;
    auto* shared = static_cast<EnvMutex*>(FindSingleton(EnvMutexKey(), true));
    if (shared == nullptr) {
        shared = new EnvMutex;
        RegisterSingleton(EnvMutexKey(), shared);
    }
    cachedEnvMutex = shared;
    return *cachedEnvMutex;
}

void ReleaseEnvMutex() {
    EnvMutex* cached = cachedEnvMutex;
    cachedEnvMutex = nullptr;
    if (ReleaseSingleton(EnvMutexKey())) delete cached;
}

bool KVEnvironmentVariables::get_env(const char* name, std::string& value, bool lock) {
    const char* text = nullptr;
    if (lock) {
        // Held only around the read; the copy happens after release.
        std::lock_guard<EnvMutex> guard(GetEnvMutex());
        text = platform::GetEnvironment(name);
    } else {
        text = platform::GetEnvironment(name);
    }
    if (text == nullptr) return false;
    value = text;
    return true;
}

bool KVEnvironmentVariables::set_env_nonempty(const char* name, const char* value) {
    std::lock_guard<EnvMutex> guard(GetEnvMutex());
    return platform::SetEnvironment(name, value);
}

}  // namespace vantric
