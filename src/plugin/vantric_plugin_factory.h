// The one factory the host receives from GetCAInterface: it reports the
// plug-in kind and its parameter table and creates the instance.
#pragma once

#include "boundary/ca_interface_registry.h"
#include "boundary/host_abi.h"

class VantricPluginFactory : public ZVT::v1::PluginFactory {
public:
    VantricPluginFactory();
    ~VantricPluginFactory() override;

    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    uint32_t ParameterCount() override;
    uint32_t CopyParameterInfo(ZVT::v0::ParameterInfo* destination) override;
    ZVT::v0::PluginInstance* CreateInstance(const char* instanceName, uint32_t valueCount,
                                            const ZVT::v0::ParameterValue* values) override;
    void ReleaseFactory() override;
    const char* PluginKind() override;

    // The single factory of this module, with static storage.
    static VantricPluginFactory& Instance();

private:
    plexa::CAInterfaceRegistry registry_;
};
