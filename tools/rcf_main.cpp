// rcf: reads a capture directory written by the plug-in.
//   rcf dump DIR     every frame header and record, one per line, in file order
//   rcf check DIR    exit 0 when complete and consistent, 1 with the reasons
//   rcf summary DIR  processes, threads, samples, switches, counters, annotations
//   rcf export DIR --format chrome|pprof|speedscope|folded -o FILE
//                    [--sysroot DIR] [--symbols FILE]... [--from NS] [--to NS]
// Exit status: 0 done, 1 a problem with the input, 2 a usage error.
#include <CLI/CLI.hpp>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>

#include "rcf/capture_check.h"
#include "rcf/capture_reader.h"
#include "rcf/profile/chrome_export.h"
#include "rcf/profile/folded_export.h"
#include "rcf/profile/output_stream.h"
#include "rcf/profile/pprof_export.h"
#include "rcf/profile/profile_builder.h"
#include "rcf/profile/speedscope_export.h"
#include "rcf/profile/text_format.h"
#include "rcf/record_text.h"

using namespace vantric::rcf;

namespace {

constexpr const char* kUsage =
    "usage: rcf dump|check|summary DIR\n"
    "       rcf export DIR --format chrome|pprof|speedscope|folded -o FILE\n"
    "                  [--sysroot DIR] [--symbols FILE]... [--from NS] [--to NS]\n"
    "       rcf COMMAND --help\n";

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

int Check(const std::string& directory) {
    Capture capture;
    ReadCapture(directory, capture);
    std::vector<std::string> reasons = CheckCapture(capture);
    for (const std::string& reason : reasons) std::cout << reason << '\n';
    if (reasons.empty()) std::cout << directory << ": complete and consistent\n";
    return reasons.empty() ? 0 : 1;
}

int Dump(const std::string& directory) {
    Capture capture;
    bool listed = ReadCapture(directory, capture);
    for (const Frame& frame : capture.frames) {
        std::cout << FrameHeaderText(frame) << '\n';
        for (const Record& record : frame.records) std::cout << RecordText(frame, record) << '\n';
    }
    PrintDiagnostics(capture);
    return listed && !HasErrors(capture) ? 0 : 1;
}

int Summary(const std::string& directory) {
    Capture capture;
    bool listed = ReadCapture(directory, capture);
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

struct ExportOptions {
    std::string capture;
    std::string format;
    std::string output;
    std::string sysroot;
    std::vector<std::string> symbols;
    uint64_t from = 0;
    uint64_t to = std::numeric_limits<uint64_t>::max();
};

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

int Export(const ExportOptions& options) {
    Symbolizer symbolizer;
    for (const std::string& path : options.symbols) {
        std::string problem;
        if (!symbolizer.addSymbolFile(path, problem)) {
            std::cerr << "rcf: " << problem << '\n';
            return 1;
        }
    }
    if (!options.sysroot.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(options.sysroot, error)) {
            std::cerr << "rcf: " << options.sysroot << ": the sysroot is not a directory\n";
            return 1;
        }
        symbolizer.setSysroot(options.sysroot);
    }

    ProfileBuilder builder(ProfileBuilder::Window{options.from, options.to});
    Capture capture;
    const bool listed = VisitCapture(options.capture, capture, [&](const Frame& frame) { builder.add(frame); });
    PrintDiagnostics(capture);
    if (!listed) return 1;
    const Profile profile = builder.finish(capture, symbolizer);

    OutputStream out;
    const bool gzip = options.format == "pprof" || EndsWith(options.output, ".gz");
    if (!out.open(options.output, gzip)) {
        std::cerr << "rcf: " << out.error() << '\n';
        return 1;
    }
    if (options.format == "folded") {
        WriteFolded(profile, out);
    } else if (options.format == "chrome") {
        WriteChromeTrace(profile, out);
    } else if (options.format == "pprof") {
        out.write(EncodePprof(profile));
    } else {
        WriteSpeedscope(profile, std::filesystem::path(options.capture).filename().string(), out);
    }
    if (!out.close()) {
        std::cerr << "rcf: " << out.error() << '\n';
        return 1;
    }
    std::cerr << "rcf: symbols: " << SymbolReportText(profile.symbols) << '\n';
    if (profile.clippedFunctions != 0) {
        std::cerr << "rcf: " << profile.clippedFunctions
                  << " function calls outlived their caller and were cut to it\n";
    }
    if (profile.samplesWithoutFrames != 0) {
        std::cerr << "rcf: " << profile.samplesWithoutFrames << " samples without frames left out\n";
    }
    return HasErrors(capture) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"rcf: reads a capture directory written by the plug-in"};
    app.require_subcommand(1);
    std::string directory;

    CLI::App* dump = app.add_subcommand("dump", "every frame header and record, one per line, in file order");
    dump->add_option("DIR", directory, "capture directory")->required();
    CLI::App* check = app.add_subcommand("check", "exit 0 when complete and consistent, 1 with the reasons");
    check->add_option("DIR", directory, "capture directory")->required();
    CLI::App* summary = app.add_subcommand("summary", "processes, threads, samples, switches, counters, annotations");
    summary->add_option("DIR", directory, "capture directory")->required();

    ExportOptions options;
    CLI::App* exporter = app.add_subcommand(
        "export", "writes the capture's profile as a trace viewer's or profiler's file");
    exporter->add_option("DIR", options.capture, "capture directory")->required();
    exporter->add_option("--format", options.format,
                         "chrome (Trace Event JSON, gzip when FILE ends in .gz), pprof (gzip'd profile.proto), "
                         "speedscope (JSON), folded (root;...;leaf count lines)")
        ->required()
        ->check(CLI::IsMember({"chrome", "pprof", "speedscope", "folded"}));
    exporter->add_option("-o,--output", options.output, "the file to write")->required();
    exporter->add_option("--sysroot", options.sysroot,
                         "where the target's files are: user frames are looked up in the ELF file "
                         "of the same path below it");
    exporter->add_option("--symbols", options.symbols,
                         "a System.map, a copy of /proc/kallsyms or a bare-metal symbol file "
                         "(name start end); may be given several times")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    exporter->add_option("--from", options.from, "keep only what happens at or after this time (ns)");
    exporter->add_option("--to", options.to, "keep only what happens before this time (ns)");

    try {
        app.parse(argc, argv);
        if (options.from >= options.to) throw CLI::ValidationError("--from", "must be earlier than --to");
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        // --help of a subcommand comes here too.
        if (error.get_exit_code() == 0) return app.exit(error);
        std::cerr << "rcf: " << error.what() << '\n' << kUsage;
        return 2;
    }
    try {
        if (dump->parsed()) return Dump(directory);
        if (check->parsed()) return Check(directory);
        if (summary->parsed()) return Summary(directory);
        return Export(options);
    } catch (const std::exception& error) {
        std::cerr << "rcf: " << error.what() << '\n';
        return 1;
    }
}
