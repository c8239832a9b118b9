#include "util/singleton_registry.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/environment_variables.h"
#include "util/module_lifetime.h"

namespace {

// This test program is a module of its own.
const vantric::ModuleLifetime moduleLifetime;

template <typename Function>
Function Symbol(void* handle, const char* name) {
    return reinterpret_cast<Function>(::dlsym(handle, name));
}

std::string AddressText(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

TEST(SingletonRegistry, PublishedAndSharedBySeparateModules) {
    vantric::SingletonRegistry* registry = vantric::GetSingletonRegistry();
    const unsigned char header[16] = {104, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0x7C, 0x07, 0, 0};  // size, version, magic
    EXPECT_EQ(std::memcmp(registry, header, sizeof header), 0);
    const char* value = std::getenv(("KV_SINGLETON_REGISTRY_" + std::to_string(::getpid())).c_str());
    EXPECT_EQ(value != nullptr ? value : "", AddressText(registry));

    void* a = ::dlopen(VT_PROBE_A, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(a, nullptr) << ::dlerror();
    EXPECT_EQ(Symbol<void* (*)()>(a, "ProbeRegistry")(), registry);
    EXPECT_EQ(Symbol<void* (*)()>(a, "ProbeEnvMutex")(), &vantric::GetEnvMutex());
    // The probe found our EnvMutex and took a reference instead of making its own.
    EXPECT_EQ(registry->entries.at(vantric::EnvMutexKey()).count, 2u);

    // Registered by the probe, released here: false even though the last reference goes.
    int object = 0;
    Symbol<void (*)(const char*, void*)>(a, "ProbeRegister")("probe.object", &object);
    EXPECT_FALSE(vantric::ReleaseSingleton("probe.object"));
    EXPECT_EQ(vantric::FindSingleton("probe.object", false), nullptr);
    // Registered here and released by its last holder here: true. Held twice: false first.
    vantric::RegisterSingleton("own.object", &object);
    EXPECT_EQ(vantric::FindSingleton("own.object", true), &object);
    EXPECT_FALSE(vantric::ReleaseSingleton("own.object"));
    EXPECT_TRUE(vantric::ReleaseSingleton("own.object"));
    ::dlclose(a);
}

// In a child process: the variable is named after the child's pid, and the
// probe module loaded there reads it at load time.
TEST(SingletonRegistryDeathTest, InvalidVariableEndsTheProcessAndNullMakesANewRegistry) {
    const auto loadProbeWith = [](const char* value) {
        ::setenv(vantric::SingletonRegistryVariableName().c_str(), value, 1);
        void* created = Symbol<void* (*)()>(::dlopen(VT_PROBE_B, RTLD_NOW | RTLD_LOCAL), "ProbeRegistry")();
        std::exit(std::getenv(vantric::SingletonRegistryVariableName().c_str()) == AddressText(created) ? 0 : 4);
    };
    EXPECT_EXIT(loadProbeWith("0x1234zz"), testing::ExitedWithCode(1),
                "ERROR: Invalid environment var KV_SINGLETON_REGISTRY_[0-9]+ value: 0x1234zz");
    EXPECT_EXIT(loadProbeWith("0"), testing::ExitedWithCode(0), "");
    // A stale or wild address (as an exec'd host inherits it) is no registry:
    // unmapped memory, and readable memory without the header.
    static const uint64_t notARegistry[4] = {};
    for (const std::string& value : {std::string("0x10"), AddressText(notARegistry)})
        EXPECT_EXIT(loadProbeWith(value.c_str()), testing::ExitedWithCode(0), "") << value;
}

}  // namespace
