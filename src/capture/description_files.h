// session.xml and captured.xml: what the profiler needs to know about the
// session, and one element for every counter whose values the data files
// carry. Both are created when the capture opens, so that a directory that
// cannot take them shows at once, and written once at release.
#pragma once

#include <cstdint>
#include <fstream>
#include <ostream>
#include <span>
#include <string>

#include "capture/counter_description.h"

namespace vantric::capture {

class DescriptionFiles {
public:
    DescriptionFiles();

    // Creates or truncates both files in `directory` (which ends with a path
    // separator), reporting each that fails on `errors`. True when both open.
    bool open(const std::string& directory, std::ostream& errors);

    // Writes both files; a file that did not open is skipped.
    void write(uint64_t startTime, uint64_t endTime, uint32_t coreCount,
               std::span<const CounterDescription> counters);

    // Closes both files; names (with their errno text) the ones whose
    // writing failed on `errors`.
    void close(std::ostream& errors);

private:
    std::ofstream session_;
    std::ofstream captured_;
    std::string directory_;
};

}  // namespace vantric::capture
