// Console lines in the plug-in's one format: "ERROR (component) text" and
// "WARN (component) text" on the standard error stream, each flushed.
#pragma once

#include <string_view>

namespace vantric {

void ErrorLine(std::string_view component, std::string_view text);
void WarnLine(std::string_view component, std::string_view text);

}  // namespace vantric
