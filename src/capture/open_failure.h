// The console lines for a capture file that cannot be created: the path,
// then which file of the capture it was.
#pragma once

#include <ostream>
#include <string>

namespace vantric::capture {

inline void ReportOpenFailure(std::ostream& errors, const std::string& path, const char* what) {
    errors << "Vantric: failed to open " << path << '\n'
           << "Vantric: failed to open " << what << ' ' << std::endl;
}

}  // namespace vantric::capture
