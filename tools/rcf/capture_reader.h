// Reads a whole capture directory: every data file (ten-digit names, in
// sequence order) and the two XML description files.
#pragma once

#include <functional>
#include <string>

#include "rcf/capture_records.h"
#include "rcf/read_progress.h"

namespace vantric::rcf {

// Returns false (with an error diagnostic) only when the directory cannot be
// listed; problems inside files are diagnostics of `capture`.
bool ReadCapture(const std::string& directory, Capture& capture);
// The same, telling `progress` (when not null) how the read goes.
bool ReadCapture(const std::string& directory, Capture& capture, ReadProgress* progress);

// Reads the data files one at a time and hands each decoded frame to `visit`
// before the next is read, so a long capture costs the memory of its largest
// file (the writer rotates the busy ones), not of all its records.
// `capture` gets what ReadCapture gives, but each frame without its records.
using FrameVisitor = std::function<void(const Frame&)>;
bool VisitCapture(const std::string& directory, Capture& capture, const FrameVisitor& visit);
// The same, telling `progress` (when not null) the data files' count and
// listed sizes first, what is done after each file, and the end.
bool VisitCapture(const std::string& directory, Capture& capture, const FrameVisitor& visit,
                  ReadProgress* progress);

// "file offset N: text", prefixed by "warning: " or "error: ".
std::string FormatDiagnostic(const Diagnostic& diagnostic);

}  // namespace vantric::rcf
