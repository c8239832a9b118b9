#include "plugin_session.h"

#include <unistd.h>

#include <cstdio>

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
    std::fflush(stderr);
    std::FILE* seen = std::tmpfile();
    const int saved = seen != nullptr ? ::dup(STDERR_FILENO) : -1;
    if (saved < 0 || ::dup2(::fileno(seen), STDERR_FILENO) < 0) {
        instance->ReleaseInstance();  // nothing to read the messages with
        if (saved >= 0) ::close(saved);
        if (seen != nullptr) std::fclose(seen);
        return;
    }
    instance->ReleaseInstance();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::string text;
    std::rewind(seen);
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, seen)) > 0;) text.append(chunk, n);
    std::fclose(seen);
    std::fputs(text.c_str(), stderr);
    lossReported_ = text.find(" bytes lost (") != std::string::npos ||
                    text.find(" : not completely written (") != std::string::npos;
}

}  // namespace simhost
