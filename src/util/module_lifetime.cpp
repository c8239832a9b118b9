#include "util/module_lifetime.h"

#include "util/environment_variables.h"
#include "util/singleton_registry.h"

namespace vantric {

ModuleLifetime::ModuleLifetime() {
    GetSingletonRegistry();  // publishes the variable if this module is the first
    GetEnvMutex();
}

ModuleLifetime::~ModuleLifetime() {
    ReleaseEnvMutex();
    DropRegistryCreationReference();
}

}  // namespace vantric
