// Whether a capture is complete and consistent, and if not, why.
#pragma once

#include <string>
#include <vector>

#include "rcf/capture_records.h"

namespace vantric::rcf {

// One line per reason, empty for a complete, consistent capture: every
// diagnostic of the reading, missing or empty description files, cookies of
// samples and links that no cookie-name record names, counter keys that
// captured.xml does not describe.
std::vector<std::string> CheckCapture(const Capture& capture);

struct CaptureSummary {
    size_t processes = 0;  // distinct pids of link and sample records
    size_t threads = 0;    // distinct tids of thread, link, sample and switch records
    size_t samples = 0;
    size_t switches = 0;
    size_t counters = 0;     // counter values
    size_t annotations = 0;  // annotations, channel texts and activities
};

CaptureSummary Summarize(const Capture& capture);

}  // namespace vantric::rcf
