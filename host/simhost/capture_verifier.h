// Compares a capture read back with the capture reader against the ground
// truth a scenario recorded: switches, exits, thread names, samples per core
// and per thread, user call-stack frames, system-call annotations, counter
// totals, bare-metal call stacks and function activity, and the reader's own
// consistency check. Each check expects what the plug-in acts on inside the
// trace window the truth carries.
#pragma once

#include <string>
#include <vector>

#include "ground_truth.h"
#include "rcf/capture_records.h"

namespace simhost {

struct CheckRow {
    std::string name;
    std::string expected;
    std::string found;
    bool ok = false;
    std::string detail;  // the first difference, when not ok
};

struct ThreadShare {
    uint32_t tid = 0;
    std::string name;
    double instructionShare = 0;
    size_t samples = 0;
    double expected = 0;
    double bound = 0;
};

struct VerifyReport {
    std::vector<CheckRow> rows;
    std::vector<ThreadShare> shares;  // linux only
    bool ok() const;
    // The rows as a short table, the per-thread shares first.
    std::string Table() const;
};

VerifyReport VerifyCapture(const vantric::rcf::Capture& capture, const GroundTruth& truth);

// The allowed distance between a thread's sample count and its expected
// count: four standard deviations of the binomial count plus two samples
// for the rounding at the ends of its runs.
double SampleBound(double expected, double share);

}  // namespace simhost
