// `rcf report`: one self-contained HTML page (script, style and data
// inline) showing a profile: overview, per-core timeline with counters and
// annotations, CPU share, flame graph, inverted call tree, annotations and
// function activity, all filtered by a time range chosen on the timeline.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rcf/profile/output_stream.h"
#include "rcf/profile/profile.h"

namespace vantric::rcf {

// The comparison with another capture, in percent of each one's samples.
struct ReportBaseline {
    struct FunctionRow {
        std::string name;
        double selfThis = 0, selfBaseline = 0, totalThis = 0, totalBaseline = 0;
    };
    struct ThreadRow {
        std::string name;
        double shareThis = 0, shareBaseline = 0;
    };
    std::string capture;
    uint64_t samplesThis = 0;
    uint64_t samplesBaseline = 0;
    std::vector<FunctionRow> functions;  // sorted by change
    std::vector<ThreadRow> threads;
};

struct ReportOptions {
    std::string capture;                      // the capture's name, for the title
    const ReportBaseline* baseline = nullptr;  // a section when given
};

// The page's data: a JSON object, times relative to the profile's start,
// every '<' escaped so that it cannot end the script element holding it.
std::string ReportData(const Profile& profile, const ReportOptions& options);

void WriteReport(const Profile& profile, const ReportOptions& options, OutputStream& out);

}  // namespace vantric::rcf
