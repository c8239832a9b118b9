// Loads a plug-in shared library the way a Kelvane host does: dlopen, the
// one exported GetCAInterface, then the factory by interface name.
#pragma once

#include <string>

#include "host_abi.h"

namespace simhost {

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // False with `error` set when the library or its factory cannot be found.
    bool Load(const std::string& path, std::string& error);

    ZVT::v1::PluginFactory* factory() const { return factory_; }
    uint32_t factoryRevision() const { return factoryRevision_; }

private:
    void* handle_ = nullptr;
    ZVT::v1::PluginFactory* factory_ = nullptr;
    uint32_t factoryRevision_ = 0;
};

}  // namespace simhost
