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

TEST(SingletonRegistry, PublishedHeaderAndVariable) {
    vantric::SingletonRegistry* registry = vantric::GetSingletonRegistry();
    ASSERT_NE(registry, nullptr);
    const auto* raw = reinterpret_cast<const unsigned char*>(registry);
    uint64_t size = 0;
    uint32_t version = 0, magic = 0;
    std::memcpy(&size, raw, 8);
    std::memcpy(&version, raw + 8, 4);
    std::memcpy(&magic, raw + 12, 4);
    EXPECT_EQ(size, 104u);
    EXPECT_EQ(version, 1u);
    EXPECT_EQ(magic, 0x77Cu);

    const std::string name = vantric::SingletonRegistryVariableName();
    EXPECT_EQ(name, "KV_SINGLETON_REGISTRY_" + std::to_string(::getpid()));
    const char* value = std::getenv(name.c_str());
    ASSERT_NE(value, nullptr);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%p", static_cast<void*>(registry));
    EXPECT_STREQ(value, expected);
}

TEST(SingletonRegistry, SeparateModulesShareRegistryAndEnvMutex) {
    void* a = ::dlopen(VT_PROBE_A, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(a, nullptr) << ::dlerror();
    auto registryA = Symbol<void* (*)()>(a, "ProbeRegistry");
    auto mutexA = Symbol<void* (*)()>(a, "ProbeEnvMutex");
    ASSERT_NE(registryA, nullptr);
    EXPECT_EQ(registryA(), vantric::GetSingletonRegistry());
    EXPECT_EQ(mutexA(), &vantric::GetEnvMutex());

    // The probe found our EnvMutex and took a reference instead of making its own.
    vantric::SingletonRegistry* registry = vantric::GetSingletonRegistry();
    EXPECT_EQ(registry->entries.at(vantric::EnvMutexKey()).count, 2u);

    // An entry registered by the probe and released here reports false even
    // though the last reference goes.
    int object = 0;
    Symbol<void (*)(const char*, void*)>(a, "ProbeRegister")("probe.object", &object);
    EXPECT_EQ(vantric::FindSingleton("probe.object", false), &object);
    EXPECT_FALSE(vantric::ReleaseSingleton("probe.object"));
    EXPECT_EQ(vantric::FindSingleton("probe.object", false), nullptr);

    // Registered here and released by its last holder here: true. Held twice: false first.
    vantric::RegisterSingleton("own.object", &object);
    EXPECT_EQ(vantric::FindSingleton("own.object", true), &object);
    EXPECT_FALSE(vantric::ReleaseSingleton("own.object"));
    EXPECT_TRUE(vantric::ReleaseSingleton("own.object"));

    ::dlclose(a);
}

TEST(SingletonRegistryDeathTest, InvalidVariableEndsTheProcess) {
    // Runs in a child process: the variable is named after the child's pid, and
    // the probe module loaded there reads it at load time.
    EXPECT_EXIT(
        {
            const std::string name = vantric::SingletonRegistryVariableName();
            ::setenv(name.c_str(), "0x1234zz", 1);
            ::dlopen(VT_PROBE_B, RTLD_NOW | RTLD_LOCAL);
            std::exit(0);
        },
        testing::ExitedWithCode(1), "ERROR: Invalid environment var KV_SINGLETON_REGISTRY_[0-9]+ value: 0x1234zz");
}

TEST(SingletonRegistryDeathTest, NullAddressMakesANewRegistry) {
    EXPECT_EXIT(
        {
            const std::string name = vantric::SingletonRegistryVariableName();
            ::setenv(name.c_str(), "0", 1);
            void* b = ::dlopen(VT_PROBE_B, RTLD_NOW | RTLD_LOCAL);
            if (b == nullptr) std::exit(3);
            void* created = Symbol<void* (*)()>(b, "ProbeRegistry")();
            char expected[32];
            std::snprintf(expected, sizeof expected, "%p", created);
            const char* now = std::getenv(name.c_str());
            std::exit(created != nullptr && now != nullptr && std::string(now) == expected ? 0 : 4);
        },
        testing::ExitedWithCode(0), "");
}

TEST(KVEnvironmentVariables, ReadAndWriteUnderTheLock) {
    std::string value = "untouched";
    EXPECT_FALSE(vantric::KVEnvironmentVariables::get_env("VT_TEST_SURELY_UNSET", value, true));
    EXPECT_EQ(value, "untouched");
    EXPECT_TRUE(vantric::KVEnvironmentVariables::set_env_nonempty("VT_TEST_VARIABLE", "a b"));
    EXPECT_TRUE(vantric::KVEnvironmentVariables::get_env("VT_TEST_VARIABLE", value, true));
    EXPECT_EQ(value, "a b");
    EXPECT_TRUE(vantric::KVEnvironmentVariables::get_env("VT_TEST_VARIABLE", value, false));
}

}  // namespace
