#include "qemu_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "gdb_remote.h"
#include "gdb_target.h"
#include "gdb_vcpu_access.h"
#include "guest_clock.h"
#include "guest_console.h"
#include "guest_report.h"
#include "guest_tracer.h"
#include "guest_verifier.h"
#include "options.h"
#include "parameter_args.h"
#include "plugin_library.h"
#include "plugin_session.h"
#include "qemu_process.h"
#include "qemu_simulation.h"
#include "rcf/capture_reader.h"
#include "tcp_channel.h"

namespace qemuhost {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kFetch = "scripts/fetch-arm64-target.sh DIR";
constexpr size_t kTailLines = 15;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

bool OnPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Runs a tool with its output in `logPath`; its exit status, or -1.
int RunTool(const std::vector<std::string>& argv, const std::string& logPath) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        std::FILE* log = std::fopen(logPath.c_str(), "wb");
        if (log != nullptr) {
            ::dup2(::fileno(log), STDOUT_FILENO);
            ::dup2(::fileno(log), STDERR_FILENO);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits for the first stop reply; false when none comes.
bool WaitForStop(GdbRemote& remote, int timeoutMs, StopReply& stop) {
    std::string reply;
    for (int packets = 0; packets < 64; ++packets) {
        if (remote.WaitPacket(reply, timeoutMs) != GdbRemote::Wait::kPacket) return false;
        if (const auto parsed = StopReply::Parse(reply)) {
            stop = *parsed;
            return true;
        }
    }
    return false;
}

}  // namespace

int QemuRun::Fail(const std::string& message) {
    std::fprintf(stderr, "qemuhost: %s\n", message.c_str());
    return kExitFailure;
}

int QemuRun::Execute() {
    const auto started = Clock::now();
    // ---- what the run needs ----
    if (!OnPath(options_.qemu)) {
        std::fprintf(stderr, "qemuhost: %s not found (scripts/install-deps.sh installs qemu-system-arm)\n",
                     options_.qemu.c_str());
        return kExitMissing;
    }
    for (const std::string& file : {options_.kernel, options_.initrd}) {
        if (!fs::is_regular_file(file)) {
            std::fprintf(stderr, "qemuhost: no guest at %s (fetch one with %s)\n", file.c_str(), kFetch);
            return kExitMissing;
        }
    }
    const std::string plugin = options_.pluginPath.empty() ? self_ + "/VantricTrace.so" : options_.pluginPath;
    const std::string layoutTool = options_.kernelLayout.empty() ? self_ + "/kernel-layout" : options_.kernelLayout;
    if (options_.settings.empty() && ::access(layoutTool.c_str(), X_OK) != 0) {
        return Fail(layoutTool + " not found: build the kernel-layout target or give --settings FILE");
    }
    std::vector<std::string> assignments = options_.assignments;
    const fs::path work = options_.workDir.empty()
                              ? fs::path(simhost::LastAssignment(assignments, "output-directory", ".")) / "qemuhost"
                              : fs::path(options_.workDir);
    std::error_code ec;
    fs::create_directories(work, ec);
    if (ec) return Fail("cannot create " + work.string() + ": " + ec.message());
    simhost::PluginLibrary library;
    std::string error;
    if (!library.Load(plugin, error)) return Fail(error);

    // ---- boot under the gdbstub ----
    QemuProcess qemu;
    GuestConsole console;
    TcpChannel channel;
    const std::string consoleLog = (work / "console.log").string();
    for (int attempt = 0;; ++attempt) {
        const uint16_t port = TcpChannel::FreePort();
        // nodelay: every packet waits for an acknowledgement; see TcpChannel.
        const std::vector<std::string> argv = {
            options_.qemu, "-M", "virt", "-cpu", "cortex-a57", "-smp", std::to_string(options_.cpus),
            "-m", std::to_string(options_.memoryMiB), "-nographic", "-nic", "none",
            "-kernel", options_.kernel, "-initrd", options_.initrd,
            "-append", "console=ttyAMA0 nokaslr rdinit=/init", "-S",
            "-chardev", "socket,id=gdb0,host=127.0.0.1,port=" + std::to_string(port) + ",server=on,wait=off,nodelay=on",
            "-gdb", "chardev:gdb0"};
        if (!qemu.Start(argv, error)) return Fail(error);
        if (!console.Start(qemu.consoleFd(), consoleLog, error)) return Fail(error);
        bool connected = false;
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!connected && qemu.Running() && Clock::now() < deadline) {
            connected = channel.Connect(port);
            if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (connected) break;
        qemu.Kill();
        console.Finish();
        const std::string tail = ReadText(consoleLog);
        // Another program may have taken the port between the probe and QEMU.
        if (attempt < 2 && tail.find("Address already in use") != std::string::npos) continue;
        return Fail("cannot reach QEMU's gdbstub on port " + std::to_string(port) + " (" + channel.error() +
                    "); QEMU said:\n" + tail);
    }
    GdbRemote remote(channel);
    GdbTarget target(remote);
    TargetDescription description;
    std::optional<std::vector<uint32_t>> threads;
    VcpuRegisters registers;
    std::string missing;
    if (!remote.Handshake() || !target.LoadTargetDescription(description) || !(threads = target.Threads()) ||
        !target.SetPhysicalMemoryMode(true)) {
        return Fail("the gdbstub handshake failed: " + target.error());
    }
    if (!registers.Choose(description, missing)) return Fail("the gdbstub describes no register " + missing);
    for (const char* needed : {"SCTLR_EL1", "TCR_EL1", "TTBR0_EL1", "TTBR1_EL1", "VBAR_EL1", "ESR_EL1"}) {
        if (!registers.Number(needed)) return Fail(std::string("the gdbstub describes no register ") + needed);
    }
    std::printf("qemuhost: QEMU up, %zu vCPUs, %zu registers described; booting\n", threads->size(),
                description.registers().size());
    std::fflush(stdout);
    const auto bootStart = Clock::now();
    if (!target.Continue()) return Fail("cannot start the guest: " + target.error());
    const auto bootDeadline = bootStart + std::chrono::seconds(options_.bootTimeoutS);
    while (!console.HasLine(std::string(GuestReport::kMarker) + "ready")) {
        if (stop_.load()) return kExitInterrupted;
        std::string reply;
        if (remote.WaitPacket(reply, 100) == GdbRemote::Wait::kFailed) {
            return Fail("the gdbstub dropped the connection while the guest booted (" + remote.error() +
                        "); last console lines:\n" + console.Tail(kTailLines));
        }
        if (const auto stop = StopReply::Parse(reply); stop && stop->kind != StopReply::Kind::kStopped) {
            return Fail("the guest ended before its /init was ready; last console lines:\n" + console.Tail(kTailLines));
        }
        if (Clock::now() > bootDeadline) {
            return Fail("the kernel did not boot to its /init within " + std::to_string(options_.bootTimeoutS) +
                        " s; last console lines:\n" + console.Tail(kTailLines));
        }
    }
    const double bootSeconds = Seconds(bootStart);
    StopReply stopped;
    if (!remote.Interrupt() || !WaitForStop(remote, 10000, stopped)) {
        return Fail("the guest did not stop when asked: " + remote.error());
    }
    target.OnStopped();

    // ---- symbols and settings ----
    GuestReport early;
    early.Parse(console.Lines());
    std::string symbolText = early.SymbolText();
    if (!options_.kallsyms.empty()) {
        symbolText = ReadText(options_.kallsyms);
        if (symbolText.empty()) return Fail("cannot read " + options_.kallsyms);
    }
    GuestReport symbols;
    {
        std::vector<std::string> lines;
        std::istringstream in(symbolText);
        for (std::string line; std::getline(in, line);) lines.push_back(std::string(GuestReport::kMarker) + "kallsyms " + line);
        symbols.Parse(lines);
    }
    uint64_t address[2] = {0, 0};
    const char* names[2] = {"__switch_to", "release_task"};
    for (int i = 0; i < 2; ++i) {
        const auto it = symbols.symbols().find(names[i]);
        if (it == symbols.symbols().end() || it->second == 0) {
            return Fail(std::string(names[i]) + " is not in " +
                        (options_.kallsyms.empty() ? "the guest's kallsyms lines" : options_.kallsyms) +
                        ": no breakpoint can be set for it");
        }
        address[i] = it->second;
    }
    const std::string kallsymsPath = (work / "kallsyms.txt").string();
    std::ofstream(kallsymsPath, std::ios::binary | std::ios::trunc) << symbols.SymbolText();
    std::string settings = options_.settings;
    if (settings.empty()) {
        settings = (work / "linux.json").string();
        const std::string log = (work / "kernel-layout.log").string();
        const int status = RunTool({layoutTool, "--settings", kallsymsPath, "-o", settings, options_.kernel}, log);
        if (status != 0) return Fail("kernel-layout failed (status " + std::to_string(status) + "):\n" + ReadText(log));
    }
    const std::string config = (work / "config.json").string();
    std::ofstream(config, std::ios::binary | std::ios::trunc)
        << "[\n  {\n    \"Subsystem_name\": \"cluster0.cpu*\",\n    \"Subsystem_config_file\": \"" << settings
        << "\"\n  }\n]\n";

    // ---- the plug-in, as simhost drives it ----
    GuestClock clock;
    GdbVcpuAccess access(target, description, registers, clock);
    QemuSimulation simulation;
    for (uint32_t thread : *threads) simulation.AddVcpu(thread, access, registers);
    assignments.insert(assignments.begin(), "config=" + config);
    const std::string capturePath = simhost::CapturePath(assignments);
    simhost::RemoveEarlierCapture(capturePath);
    const simhost::ParameterTable table = simhost::ReadParameterTable(*library.factory());
    std::vector<ZVT::v0::ParameterValue> values;
    if (!simhost::InstanceValues(table, assignments, values, error)) return Fail(error);
    simhost::PluginSession session(*library.factory());
    if (!session.Create("VantricTrace", values, error) || !session.Connect(simulation, error)) return Fail(error);

    // ---- trace ----
    GuestTracer tracer(target, access, simulation, clock, uint64_t{options_.sampleMs} * 1000000);
    if (!tracer.Start(address[0], address[1])) return Fail(tracer.error());
    qemu.Type("go\n");
    const auto traceStart = Clock::now();
    const GuestTracer::Outcome outcome = tracer.Run(static_cast<int>(options_.runTimeoutS) * 1000, stop_);
    const double traceSeconds = Seconds(traceStart);
    session.Release();
    qemu.Kill();
    console.Finish();
    const TracerCounts& n = tracer.counts();
    uint64_t events = 0;
    for (size_t i = 0; i < simulation.vcpuCount(); ++i) events += simulation.vcpu(i).events();
    std::printf("qemuhost: boot %.1f s, traced %.1f s (guest ran %.2f s); %llu events: %llu switches, %llu exits, "
                "%llu system calls (%llu other EL0 exceptions), %llu samples in %llu stops; %llu memory blocks read; "
                "%llu breakpoints passed by writing the pc, %llu by a single step\n",
                bootSeconds, traceSeconds, static_cast<double>(clock.Now()) / 1e9,
                static_cast<unsigned long long>(events), static_cast<unsigned long long>(n.switches),
                static_cast<unsigned long long>(n.exits), static_cast<unsigned long long>(n.syscalls),
                static_cast<unsigned long long>(n.otherExceptions), static_cast<unsigned long long>(n.samples),
                static_cast<unsigned long long>(n.samplingStops),
                static_cast<unsigned long long>(access.physicalBlocksRead()),
                static_cast<unsigned long long>(n.emulatedSteps), static_cast<unsigned long long>(n.realSteps));
    std::printf("qemuhost: console %s, capture %s\n", consoleLog.c_str(), capturePath.c_str());
    switch (outcome) {
    case GuestTracer::Outcome::kPoweredOff:
        break;
    case GuestTracer::Outcome::kInterrupted:
        std::fprintf(stderr, "qemuhost: interrupted; the capture holds what was traced\n");
        return kExitInterrupted;
    case GuestTracer::Outcome::kTimedOut:
        return Fail("the guest did not power off within " + std::to_string(options_.runTimeoutS) +
                    " s; last console lines:\n" + console.Tail(kTailLines));
    case GuestTracer::Outcome::kFailed:
        return Fail(tracer.error() + "; last console lines:\n" + console.Tail(kTailLines));
    }
    if (session.lossReported()) return Fail("the plug-in lost capture data (see its warnings above)");
    std::printf("qemuhost: done in %.1f s\n", Seconds(started));
    if (!options_.verify) return kExitOk;

    // ---- verify ----
    GuestReport report;
    report.Parse(console.Lines());
    if (!report.ended()) return Fail("the guest's workload did not finish; last console lines:\n" + console.Tail(kTailLines));
    vantric::rcf::Capture capture;
    if (!vantric::rcf::ReadCapture(capturePath, capture)) return Fail("cannot read the capture " + capturePath);
    const std::vector<VerifyRow> rows = GuestVerifier::Verify(capture, report);
    std::fputs(GuestVerifier::Table(rows).c_str(), stdout);
    const bool ok = GuestVerifier::AllOk(rows);
    std::printf("verify: %s\n", ok ? "the capture matches what the guest reported" : "MISMATCH");
    return ok ? kExitOk : kExitFailure;
}

}  // namespace qemuhost
