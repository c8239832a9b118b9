#include "plugin_library.h"

#include <dlfcn.h>

namespace simhost {

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

bool PluginLibrary::Load(const std::string& path, std::string& error) {
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = ::dlerror();
        error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown error");
        return false;
    }
    using EntryPoint = plexa::CAInterface* (*)();
    auto entry = reinterpret_cast<EntryPoint>(::dlsym(handle_, "GetCAInterface"));
    if (entry == nullptr) {
        error = path + " does not export GetCAInterface";
        return false;
    }
    plexa::CAInterface* root = entry();
    if (root == nullptr) {
        error = "GetCAInterface of " + path + " returned null";
        return false;
    }
    // Revision 1 adds PluginKind; anything older is not a plug-in we can drive.
    auto* found = root->LookupInterface("PluginFactory0", 1, &factoryRevision_);
    if (found == nullptr) {
        error = path + " offers no PluginFactory0 of revision 1 or later";
        return false;
    }
    factory_ = static_cast<ZVT::v1::PluginFactory*>(found);
    return true;
}

}  // namespace simhost
