// One plug-in instance through its life cycle as a host drives it: created
// with parameter values, connected to a simulation, released at the end
// (also when the session is destroyed early).
#pragma once

#include <string>
#include <vector>

#include "host_abi.h"

namespace simhost {

class PluginSession {
public:
    explicit PluginSession(ZVT::v1::PluginFactory& factory) : factory_(factory) {}
    ~PluginSession() { Release(); }
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    // False with `error` set when the plug-in refuses the parameters.
    bool Create(const std::string& instanceName, const std::vector<ZVT::v0::ParameterValue>& values,
                std::string& error);
    // False with `error` set when ConnectSimulation reports a failure.
    bool Connect(plexa::CAInterface& simulation, std::string& error);
    // Ends the instance; the capture is complete afterwards. Idempotent.
    // What the plug-in prints meanwhile is passed on to standard error and
    // read for a report of lost capture data.
    void Release();
    bool lossReported() const { return lossReported_; }

private:
    ZVT::v1::PluginFactory& factory_;
    ZVT::v0::PluginInstance* instance_ = nullptr;
    bool lossReported_ = false;
};

}  // namespace simhost
