// Reads a whole capture directory: every data file (ten-digit names, in
// sequence order) and the two XML description files.
#pragma once

#include <string>

#include "rcf/capture_records.h"

namespace vantric::rcf {

// Returns false (with an error diagnostic) only when the directory cannot be
// listed; problems inside files are diagnostics of `capture`.
bool ReadCapture(const std::string& directory, Capture& capture);

// "file offset N: text", prefixed by "warning: " or "error: ".
std::string FormatDiagnostic(const Diagnostic& diagnostic);

}  // namespace vantric::rcf
