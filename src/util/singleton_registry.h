// One object per process, shared by every module of the family loaded into
// it, found through an environment variable that holds its address. It is
// how separately built modules end up sharing process-wide objects such as
// the environment mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "platform/platform.h"

namespace vantric {

struct SingletonEntry {
    void* pointer;
    const void* owner;  // tag of the registering module: address of one of its statics
    uint64_t count;     // number of holders
};

// The header (up to `creationReleased`) is read by every module that finds
// the registry, so its layout is fixed; the rest must match between modules
// of one build family.
struct SingletonRegistry {
    static constexpr uint64_t kSize = 104;  // layout tag shared by the family
    static constexpr uint32_t kVersion = 1;
    static constexpr uint32_t kMagic = 1916;

    uint64_t size;
    uint32_t version;
    uint32_t magic;
    uint64_t referenceCount;
    uint8_t creationReleased;
    std::unordered_map<std::string, SingletonEntry> entries;
    platform::Mutex lock;
};

static_assert(offsetof(SingletonRegistry, version) == 8);
static_assert(offsetof(SingletonRegistry, magic) == 12);
static_assert(offsetof(SingletonRegistry, referenceCount) == 16);
static_assert(offsetof(SingletonRegistry, creationReleased) == 24);

// The name of the environment variable that publishes the registry:
// "KV_SINGLETON_REGISTRY_" followed by the process id.
std::string SingletonRegistryVariableName();

// Finds the process's registry (publishing a new one if there is none yet)
// and caches it for this module. Ends the process with exit code 1 when the
// variable holds something that is not an address.
SingletonRegistry* GetSingletonRegistry();

void* FindSingleton(const char* name, bool addReference);
void RegisterSingleton(const char* name, void* pointer);
// Drops one reference; true when the last one went and this module had registered it.
bool ReleaseSingleton(const char* name);

// Drops the registry's creation reference once per process (first module to unload).
void DropRegistryCreationReference();

}  // namespace vantric
