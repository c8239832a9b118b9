#include "util/singleton_registry.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "util/environment_variables.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VT_HAS_LSAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VT_HAS_LSAN 1
#endif
#ifdef VT_HAS_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace vantric {
namespace {

SingletonRegistry* cachedRegistry = nullptr;
const char moduleTag = 0;  // its address identifies this module as an owner

SingletonRegistry* CreateRegistry() {
    auto* registry = new SingletonRegistry{};
    registry->size = SingletonRegistry::kSize;
    registry->version = SingletonRegistry::kVersion;
    registry->magic = SingletonRegistry::kMagic;
    registry->referenceCount = 1;
    registry->creationReleased = 0;
    registry->entries.max_load_factor(1.0f);
    registry->entries.rehash(8);
#ifdef VT_HAS_LSAN
    // Never freed on purpose: its address lives on in the environment.
    __lsan_ignore_object(registry);
#endif
    return registry;
}

// The address comes from the environment, which outlives the registry when
// a process execs another host; it may also be plain wrong. The header is
// therefore copied through the kernel, which refuses memory that is not
// there, before anything of it is believed.
bool HeaderMatches(const SingletonRegistry* registry) {
    struct {
        uint64_t size;
        uint32_t version;
        uint32_t magic;
    } header;
    return platform::CopyOwnMemory(registry, &header, sizeof header) &&
           header.size == SingletonRegistry::kSize && header.version == SingletonRegistry::kVersion &&
           header.magic == SingletonRegistry::kMagic;
}

// Holds the registry's lock and one reference for the length of one operation.
class RegistryOperation {
public:
    RegistryOperation() : registry_(GetSingletonRegistry()), guard_(registry_->lock) {
        ++registry_->referenceCount;
    }
    ~RegistryOperation() {
        if (--registry_->referenceCount == 0) cachedRegistry = nullptr;
    }
    SingletonRegistry& registry() { return *registry_; }

private:
    SingletonRegistry* registry_;
    std::lock_guard<platform::Mutex> guard_;
};

}  // namespace

std::string SingletonRegistryVariableName() {
    return "KV_SINGLETON_REGISTRY_" + std::to_string(platform::ProcessId());
}

SingletonRegistry* GetSingletonRegistry() {
    if (cachedRegistry != nullptr) return cachedRegistry;
    const std::string variable = SingletonRegistryVariableName();
    std::string value;
    if (KVEnvironmentVariables::get_env(variable.c_str(), value, false)) {
        void* address = nullptr;
        int consumed = 0;
        const int parsed = std::sscanf(value.c_str(), "%p%n", &address, &consumed);
        if (parsed != 1 || static_cast<size_t>(consumed) != value.size()) {
            std::fprintf(stderr, "ERROR: Invalid environment var %s value: %s", variable.c_str(),
                         value.c_str());
            std::exit(1);
        }
        auto* found = static_cast<SingletonRegistry*>(address);
        if (found != nullptr && HeaderMatches(found)) {
            ++found->referenceCount;
            cachedRegistry = found;
            return cachedRegistry;
        }
    }
    cachedRegistry = CreateRegistry();
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<void*>(cachedRegistry));
    KVEnvironmentVariables::set_env_nonempty(variable.c_str(), text);
    return cachedRegistry;
}

void* FindSingleton(const char* name, bool addReference) {
    RegistryOperation operation;
    auto& entries = operation.registry().entries;
    auto found = entries.find(name);
    if (found == entries.end()) return nullptr;
    if (addReference) ++found->second.count;
    return found->second.pointer;
}

void RegisterSingleton(const char* name, void* pointer) {
    RegistryOperation operation;
    ++operation.registry().referenceCount;  // held for as long as the entry exists
    operation.registry().entries[name] = SingletonEntry{pointer, &moduleTag, 1};
}

bool ReleaseSingleton(const char* name) {
    RegistryOperation operation;
    auto& entries = operation.registry().entries;
    auto found = entries.find(name);
    if (found == entries.end()) return false;
    if (--found->second.count != 0) return false;
    const bool registeredHere = found->second.owner == &moduleTag;
    entries.erase(found);
    --operation.registry().referenceCount;
    return registeredHere;
}

void DropRegistryCreationReference() {
    SingletonRegistry* registry = GetSingletonRegistry();
    if (registry->creationReleased != 0) return;
    registry->creationReleased = 1;
    if (--registry->referenceCount == 0) cachedRegistry = nullptr;
}

}  // namespace vantric
