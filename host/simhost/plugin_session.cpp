#include "plugin_session.h"

namespace simhost {

bool PluginSession::Create(const std::string& instanceName,
                           const std::vector<ZVT::v0::ParameterValue>& values, std::string& error) {
    Release();
    instance_ = factory_.CreateInstance(instanceName.c_str(), static_cast<uint32_t>(values.size()),
                                        values.data());
    if (instance_ == nullptr) {
        error = "the plug-in did not create an instance (see its messages above)";
        return false;
    }
    return true;
}

bool PluginSession::Connect(plexa::CAInterface& simulation, std::string& error) {
    if (instance_ == nullptr) {
        error = "no plug-in instance to connect";
        return false;
    }
    const uint32_t status = instance_->ConnectSimulation(&simulation);
    if (status != plexa::kStatusOk) {
        error = "the plug-in could not connect to the simulation (status " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

void PluginSession::Release() {
    if (instance_ == nullptr) return;
    ZVT::v0::PluginInstance* instance = instance_;
    instance_ = nullptr;
    instance->ReleaseInstance();
}

}  // namespace simhost
