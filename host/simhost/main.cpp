// simhost: a stand-in Kelvane host. It loads a trace plug-in exactly as the
// real host does, builds a simulated system (a Linux SMP target or a
// bare-metal application), drives the plug-in through it and can check the
// capture against what really ran; see --help.
#include <cstdio>
#include <string>
#include <vector>

#include "bench_run.h"
#include "capture_verifier.h"
#include "options.h"
#include "parameter_args.h"
#include "plugin_library.h"
#include "rcf/capture_reader.h"
#include "scenario_run.h"

namespace {

constexpr int kExitMismatch = 1;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::string Beside(const char* argv0, const char* file) {
    const std::string self = argv0;
    const size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + file;
}

int ListParameters(const simhost::Options& options, simhost::PluginLibrary& library,
                   const simhost::ParameterTable& table) {
    std::printf("plug-in %s: kind %s, factory revision %u, %zu parameters\n",
                options.pluginPath.c_str(), library.factory()->PluginKind(), library.factoryRevision(),
                table.size());
    std::fputs(simhost::FormatParameterTable(table).c_str(), stdout);
    return 0;
}

int Verify(const simhost::RunResult& result) {
    vantric::rcf::Capture capture;
    if (!vantric::rcf::ReadCapture(result.capturePath, capture)) {
        std::fprintf(stderr, "simhost: cannot read the capture %s\n", result.capturePath.c_str());
        return kExitMismatch;
    }
    const simhost::VerifyReport report = simhost::VerifyCapture(capture, result.scenario->truth());
    std::fputs(report.Table().c_str(), stdout);
    std::printf("verify: %s\n", report.ok() ? "the capture matches what ran" : "MISMATCH");
    return report.ok() ? 0 : kExitMismatch;
}

}  // namespace

int main(int argc, char** argv) {
    simhost::Options options;
    std::string error;
    if (!simhost::ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "simhost: %s\n%s", error.c_str(), simhost::kUsage);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(simhost::kUsage, stdout);
        return 0;
    }
    if (options.pluginPath.empty()) options.pluginPath = Beside(argv[0], "VantricTrace.so");
    if (options.emptyPluginPath.empty()) options.emptyPluginPath = Beside(argv[0], "EmptyTrace.so");

    simhost::PluginLibrary library;
    if (!library.Load(options.pluginPath, error)) {
        std::fprintf(stderr, "simhost: %s\n", error.c_str());
        return kExitFailure;
    }
    const simhost::ParameterTable table = simhost::ReadParameterTable(*library.factory());
    for (const std::string& assignment : options.assignments) {
        ZVT::v0::ParameterValue value;
        if (!simhost::ParseAssignment(table, assignment, value, error)) {
            std::fprintf(stderr, "simhost: %s\n", error.c_str());
            return kExitUsage;
        }
    }
    if (options.listParameters) return ListParameters(options, library, table);

    if (options.bench) {
        simhost::BenchFigures figures;
        if (!simhost::RunBench(options, 3, figures, error)) {
            std::fprintf(stderr, "simhost: %s\n", error.c_str());
            return kExitFailure;
        }
        std::fputs(simhost::FormatBench(options, figures).c_str(), stdout);
        return 0;
    }

    simhost::RunResult result;
    if (!simhost::RunScenario(library, options, true, result, error)) {
        std::fprintf(stderr, "simhost: %s\n", error.c_str());
        return kExitFailure;
    }
    std::printf("\nsimhost: %s scenario, %u cores, %llu instructions, %llu events in %.2f s; capture %s\n",
                options.scenario.c_str(), options.cores,
                static_cast<unsigned long long>(result.instructions),
                static_cast<unsigned long long>(result.events), result.seconds,
                result.capturePath.c_str());
    if (result.captureLoss) {
        std::fprintf(stderr, "simhost: the plug-in lost capture data (see its warnings above)\n");
        return kExitFailure;
    }
    return options.verify ? Verify(result) : 0;
}
