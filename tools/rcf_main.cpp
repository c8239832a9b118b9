// rcf: reads a capture directory written by the plug-in.
//   rcf dump DIR     every frame header and record, one per line, in file order
//   rcf check DIR    exit 0 when complete and consistent, 1 with the reasons
//   rcf summary DIR  processes, threads, samples, switches, counters, annotations
#include <cstring>
#include <iostream>

#include "rcf/capture_check.h"
#include "rcf/capture_reader.h"
#include "rcf/record_text.h"

using namespace vantric::rcf;

namespace {

int Usage() {
    std::cerr << "usage: rcf dump|check|summary DIR\n";
    return 2;
}

void PrintDiagnostics(const Capture& capture) {
    for (const Diagnostic& diagnostic : capture.diagnostics) {
        std::cerr << "rcf: " << FormatDiagnostic(diagnostic) << '\n';
    }
}

bool HasErrors(const Capture& capture) {
    for (const Diagnostic& diagnostic : capture.diagnostics) {
        if (diagnostic.severity == Diagnostic::Severity::kError) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return Usage();
    const char* command = argv[1];
    Capture capture;
    bool listed = ReadCapture(argv[2], capture);

    if (std::strcmp(command, "check") == 0) {
        std::vector<std::string> reasons = CheckCapture(capture);
        for (const std::string& reason : reasons) std::cout << reason << '\n';
        if (reasons.empty()) std::cout << argv[2] << ": complete and consistent\n";
        return reasons.empty() ? 0 : 1;
    }
    if (std::strcmp(command, "dump") == 0) {
        for (const Frame& frame : capture.frames) {
            std::cout << FrameHeaderText(frame) << '\n';
            for (const Record& record : frame.records)
                std::cout << RecordText(frame, record) << '\n';
        }
        PrintDiagnostics(capture);
        return listed && !HasErrors(capture) ? 0 : 1;
    }
    if (std::strcmp(command, "summary") == 0) {
        CaptureSummary summary = Summarize(capture);
        std::cout << "processes: " << summary.processes << '\n'
                  << "threads: " << summary.threads << '\n'
                  << "samples: " << summary.samples << '\n'
                  << "switches: " << summary.switches << '\n'
                  << "counters: " << summary.counters << '\n'
                  << "annotations: " << summary.annotations << '\n';
        PrintDiagnostics(capture);
        return listed && !HasErrors(capture) ? 0 : 1;
    }
    return Usage();
}
