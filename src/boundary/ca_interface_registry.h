// The small name table that every object the plug-in hands to the host
// embeds: LookupInterface on any face of the object forwards here.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "boundary/host_abi.h"

namespace plexa {

class CAInterfaceRegistry : public CAInterfaceRegistryIF {
public:
    explicit CAInterfaceRegistry(const char* registryName);

    CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                 uint32_t* actualRevision) override;
    void AddInterface(const char* name, uint32_t revision, CAInterface* pointer) override;
    void RemoveInterface(const char* name) override;
    void VisitInterfaces(InterfaceVisitor* visitor) override;
    const char* RegistryName() override;
    void EnableRevisionDiagnostics(const char* hint) override;

private:
    struct InterfaceEntry {
        uint32_t revision;
        CAInterface* pointer;  // borrowed: the owner or one of its faces
    };

    // std::string's ordering compares bytes as unsigned values, a prefix first.
    std::map<std::string, InterfaceEntry> entries_;
    std::string name_;
    bool diagnosticsEnabled_ = false;
    const char* hint_ = nullptr;  // caller-owned, not copied
};

}  // namespace plexa
