// A module of the family, loaded with dlopen by the singleton registry tests.
#include "util/environment_variables.h"
#include "util/module_lifetime.h"
#include "util/singleton_registry.h"

namespace {
const vantric::ModuleLifetime moduleLifetime;
}

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

PROBE_EXPORT void* ProbeEnvMutex() { return &vantric::GetEnvMutex(); }
PROBE_EXPORT void* ProbeRegistry() { return vantric::GetSingletonRegistry(); }
PROBE_EXPORT void ProbeRegister(const char* name, void* pointer) {
    vantric::RegisterSingleton(name, pointer);
}
