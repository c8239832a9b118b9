// Joins the process-wide singleton registry when a module loads and leaves
// it when the module unloads. Each module (the plug-in, a test program, any
// other library of the family) holds exactly one static ModuleLifetime.
#pragma once

namespace vantric {

class ModuleLifetime {
public:
    ModuleLifetime();
    ~ModuleLifetime();
    ModuleLifetime(const ModuleLifetime&) = delete;
    ModuleLifetime& operator=(const ModuleLifetime&) = delete;
};

}  // namespace vantric
