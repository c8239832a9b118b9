// rcf: reads a capture directory written by the plug-in.
//   rcf dump DIR     every frame header and record, one per line, in file order
//   rcf check DIR    exit 0 when complete and consistent, 1 with the reasons
//   rcf summary DIR  processes, threads, samples, switches, counters, annotations
//   rcf export DIR --format chrome|pprof|speedscope|folded -o FILE [PROFILE]
//   rcf report DIR [-o report.html] [--baseline DIR] [PROFILE]
//                    one self-contained HTML page to look at the capture with
//   rcf diff A B [PROFILE]
//                    per-function and per-thread sample shares side by side
// PROFILE: [--sysroot DIR] [--symbols FILE]... [--from NS] [--to NS]
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
#include "rcf/profile/profile_diff.h"
#include "rcf/profile/speedscope_export.h"
#include "rcf/profile/text_format.h"
#include "rcf/record_text.h"
#include "rcf/report/report_writer.h"

using namespace vantric::rcf;

namespace {

constexpr const char* kUsage =
    "usage: rcf dump|check|summary DIR\n"
    "       rcf export DIR --format chrome|pprof|speedscope|folded -o FILE [PROFILE]\n"
    "       rcf report DIR [-o report.html] [--baseline DIR] [PROFILE]\n"
    "       rcf diff A B [PROFILE]\n"
    "       rcf COMMAND --help\n"
    "PROFILE: [--sysroot DIR] [--symbols FILE]... [--from NS] [--to NS]\n";

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
    ReadProgress progress(std::cerr);
    ReadCapture(directory, capture, &progress);
    std::vector<std::string> reasons = CheckCapture(capture);
    for (const std::string& reason : reasons) std::cout << reason << '\n';
    if (reasons.empty()) std::cout << directory << ": complete and consistent\n";
    return reasons.empty() ? 0 : 1;
}

int Dump(const std::string& directory) {
    Capture capture;
    ReadProgress progress(std::cerr);
    bool listed = ReadCapture(directory, capture, &progress);
    for (const Frame& frame : capture.frames) {
        std::cout << FrameHeaderText(frame) << '\n';
        for (const Record& record : frame.records) std::cout << RecordText(frame, record) << '\n';
    }
    PrintDiagnostics(capture);
    return listed && !HasErrors(capture) ? 0 : 1;
}

int Summary(const std::string& directory) {
    Capture capture;
    ReadProgress progress(std::cerr);
    bool listed = ReadCapture(directory, capture, &progress);
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

// What every command that builds a profile takes.
struct ProfileOptions {
    std::string capture;
    std::string sysroot;
    std::vector<std::string> symbols;
    uint64_t from = 0;
    uint64_t to = std::numeric_limits<uint64_t>::max();
};

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

std::string CaptureName(const std::string& directory) {
    std::filesystem::path path(directory);
    if (!path.has_filename()) path = path.parent_path();
    return path.filename().string();
}

bool PrepareSymbolizer(const ProfileOptions& options, Symbolizer& symbolizer) {
    for (const std::string& path : options.symbols) {
        std::string problem;
        if (!symbolizer.addSymbolFile(path, problem)) {
            std::cerr << "rcf: " << problem << '\n';
            return false;
        }
    }
    if (!options.sysroot.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(options.sysroot, error)) {
            std::cerr << "rcf: " << options.sysroot << ": the sysroot is not a directory\n";
            return false;
        }
        symbolizer.setSysroot(options.sysroot);
    }
    return true;
}

// Reads `directory` into a profile; false when it cannot be listed. The
// capture's own problems are printed and flagged in `errors`.
bool ReadProfile(const std::string& directory, const ProfileOptions& options, bool keepRuns,
                 Symbolizer& symbolizer, Profile& profile, bool& errors) {
    ProfileBuilder builder(ProfileBuilder::Window{options.from, options.to}, keepRuns);
    Capture capture;
    ReadProgress progress(std::cerr);
    const bool listed =
        VisitCapture(directory, capture, [&](const Frame& frame) { builder.add(frame); }, &progress);
    PrintDiagnostics(capture);
    errors = errors || HasErrors(capture);
    if (!listed) return false;
    profile = builder.finish(capture, symbolizer);
    return true;
}

void PrintProfileNotes(const Profile& profile) {
    std::cerr << "rcf: symbols: " << SymbolReportText(profile.symbols) << '\n';
    if (profile.clippedFunctions != 0) {
        std::cerr << "rcf: " << profile.clippedFunctions
                  << " function calls outlived their caller and were cut to it\n";
    }
    if (profile.samplesWithoutFrames != 0) {
        std::cerr << "rcf: " << profile.samplesWithoutFrames << " samples without frames left out\n";
    }
}

template <typename Write>
int WriteOutput(const std::string& path, bool gzip, Write write) {
    OutputStream out;
    if (!out.open(path, gzip)) {
        std::cerr << "rcf: " << out.error() << '\n';
        return 1;
    }
    write(out);
    if (!out.close()) {
        std::cerr << "rcf: " << out.error() << '\n';
        return 1;
    }
    return 0;
}

int Export(const ProfileOptions& options, const std::string& format, const std::string& output) {
    Symbolizer symbolizer;
    if (!PrepareSymbolizer(options, symbolizer)) return 1;
    Profile profile;
    bool errors = false;
    if (!ReadProfile(options.capture, options, true, symbolizer, profile, errors)) return 1;
    const bool gzip = format == "pprof" || EndsWith(output, ".gz");
    const int written = WriteOutput(output, gzip, [&](OutputStream& out) {
        if (format == "folded") {
            WriteFolded(profile, out);
        } else if (format == "chrome") {
            WriteChromeTrace(profile, out);
        } else if (format == "pprof") {
            out.write(EncodePprof(profile));
        } else {
            WriteSpeedscope(profile, CaptureName(options.capture), out);
        }
    });
    if (written != 0) return written;
    PrintProfileNotes(profile);
    return errors ? 1 : 0;
}

// The comparison section of a report: this capture is A, the baseline B.
ReportBaseline BaselineSection(const Profile& profile, const Profile& baseline, const std::string& name) {
    const ProfileDiff diff = ProfileDiff::Compare(profile, baseline);
    ReportBaseline section;
    section.capture = name;
    section.samplesThis = diff.samplesA();
    section.samplesBaseline = diff.samplesB();
    for (const ProfileDiff::Row& row : diff.functions()) {
        section.functions.push_back({row.name, diff.shareA(row.selfA), diff.shareB(row.selfB),
                                     diff.shareA(row.totalA), diff.shareB(row.totalB)});
    }
    for (const ProfileDiff::Row& row : diff.threads()) {
        section.threads.push_back({row.name, diff.shareA(row.selfA), diff.shareB(row.selfB)});
    }
    return section;
}

int Report(const ProfileOptions& options, const std::string& output, const std::string& baseline) {
    Symbolizer symbolizer;
    if (!PrepareSymbolizer(options, symbolizer)) return 1;
    Profile profile;
    bool errors = false;
    if (!ReadProfile(options.capture, options, false, symbolizer, profile, errors)) return 1;
    ReportOptions report;
    report.capture = CaptureName(options.capture);
    ReportBaseline comparison;
    if (!baseline.empty()) {
        Profile other;
        if (!ReadProfile(baseline, options, false, symbolizer, other, errors)) return 1;
        comparison = BaselineSection(profile, other, CaptureName(baseline));
        report.baseline = &comparison;
    }
    const int written = WriteOutput(output, false, [&](OutputStream& out) { WriteReport(profile, report, out); });
    if (written != 0) return written;
    PrintProfileNotes(profile);
    return errors ? 1 : 0;
}

void AddProfileOptions(CLI::App& command, ProfileOptions& options) {
    command.add_option("--sysroot", options.sysroot,
                       "where the target's files are: user frames are looked up in the ELF file "
                       "of the same path below it");
    command.add_option("--symbols", options.symbols,
                       "a System.map, a copy of /proc/kallsyms or a bare-metal symbol file "
                       "(name start end); may be given several times")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command.add_option("--from", options.from, "keep only what happens at or after this time (ns)");
    command.add_option("--to", options.to, "keep only what happens before this time (ns)");
}

int Diff(const ProfileOptions& options, const std::string& second) {
    Symbolizer symbolizer;
    if (!PrepareSymbolizer(options, symbolizer)) return 1;
    Profile a;
    Profile b;
    bool errors = false;
    if (!ReadProfile(options.capture, options, false, symbolizer, a, errors)) return 1;
    if (!ReadProfile(second, options, false, symbolizer, b, errors)) return 1;
    std::cout << ProfileDiff::Compare(a, b).text(CaptureName(options.capture), CaptureName(second));
    std::cerr << "rcf: A symbols: " << SymbolReportText(a.symbols) << '\n'
              << "rcf: B symbols: " << SymbolReportText(b.symbols) << '\n';
    return errors ? 1 : 0;
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

    ProfileOptions options;
    std::string format;
    std::string output;
    CLI::App* exporter = app.add_subcommand(
        "export", "writes the capture's profile as a trace viewer's or profiler's file");
    exporter->add_option("DIR", options.capture, "capture directory")->required();
    exporter->add_option("--format", format,
                         "chrome (Trace Event JSON, gzip when FILE ends in .gz), pprof (gzip'd profile.proto), "
                         "speedscope (JSON), folded (root;...;leaf count lines)")
        ->required()
        ->check(CLI::IsMember({"chrome", "pprof", "speedscope", "folded"}));
    exporter->add_option("-o,--output", output, "the file to write")->required();
    AddProfileOptions(*exporter, options);

    std::string baseline;
    CLI::App* report = app.add_subcommand(
        "report", "writes one self-contained HTML page: timeline, CPU share, flame graph, call tree, "
                  "counters, annotations and function activity");
    report->add_option("DIR", options.capture, "capture directory")->required();
    report->add_option("-o,--output", output, "the page to write (default report.html)");
    report->add_option("--baseline", baseline, "another capture to compare with, in a section of the page");
    AddProfileOptions(*report, options);

    std::string second;
    CLI::App* diff = app.add_subcommand(
        "diff", "per-function and per-thread sample shares of two captures, sorted by change");
    diff->add_option("A", options.capture, "capture directory")->required();
    diff->add_option("B", second, "the capture to compare it with")->required();
    AddProfileOptions(*diff, options);

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
        if (exporter->parsed()) return Export(options, format, output);
        if (report->parsed()) return Report(options, output.empty() ? "report.html" : output, baseline);
        return Diff(options, second);
    } catch (const std::exception& error) {
        std::cerr << "rcf: " << error.what() << '\n';
        return 1;
    }
}
