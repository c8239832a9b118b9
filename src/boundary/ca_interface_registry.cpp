#include "boundary/ca_interface_registry.h"

#include <cstdio>

namespace plexa {

CAInterfaceRegistry::CAInterfaceRegistry(const char* registryName) : name_(registryName) {}

CAInterface* CAInterfaceRegistry::LookupInterface(const char* name, uint32_t minimumRevision,
                                                  uint32_t* actualRevision) {
    if (name == nullptr || *name == '\0') return nullptr;
    auto found = entries_.find(name);
    if (found == entries_.end()) return nullptr;
    const InterfaceEntry& entry = found->second;
    if (entry.revision >= minimumRevision) {
        if (actualRevision != nullptr) *actualRevision = entry.revision;
        return entry.pointer;
    }
    if (diagnosticsEnabled_) {
        std::fprintf(stderr,
                     "Error: Newer revision '%u' of interface '%s' requested than available "
                     "(%u).\n       %s",
                     minimumRevision, name, entry.revision, hint_ != nullptr ? hint_ : "");
    }
    return nullptr;
}

void CAInterfaceRegistry::AddInterface(const char* name, uint32_t revision, CAInterface* pointer) {
    if (pointer == nullptr || name == nullptr || *name == '\0') return;
    auto found = entries_.find(name);
    if (found != entries_.end()) {
        if (found->second.revision > revision) return;  // the newer registration stays
        found->second.revision = revision;
        found->second.pointer = pointer;
        return;
    }
    entries_.emplace(name, InterfaceEntry{revision, pointer});
}

void CAInterfaceRegistry::RemoveInterface(const char* name) { entries_.erase(name); }

void CAInterfaceRegistry::VisitInterfaces(InterfaceVisitor* visitor) {
    for (const auto& [name, entry] : entries_) visitor->Visit(name.c_str(), entry.revision);
}

const char* CAInterfaceRegistry::RegistryName() { return name_.c_str(); }

void CAInterfaceRegistry::EnableRevisionDiagnostics(const char* hint) {
    diagnosticsEnabled_ = true;
    hint_ = hint;
}

}  // namespace plexa
