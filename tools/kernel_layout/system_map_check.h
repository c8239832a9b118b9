// Checks, before a settings file names it, that a System.map (or a
// /proc/kallsyms text) gives the Linux driver the two kernel functions it
// watches. Debian ships a one-line placeholder System.map, and kallsyms read
// without privilege lists every address as 0: both load without complaint in
// the driver and then trace nothing.
#pragma once

#include <string>

namespace vantric::layout {

// The lines it reads: "address type name", kallsyms adding "[module]".
bool CheckSystemMap(const std::string& path, std::string& error);

}  // namespace vantric::layout
