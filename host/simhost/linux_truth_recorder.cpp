#include "linux_truth_recorder.h"

namespace simhost {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string QuotedList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + Quoted(items[i]);
    return out + "]";
}

}  // namespace

LinuxTruthRecorder::LinuxTruthRecorder(GroundTruth& truth, const LinuxWorkload& workload,
                                       double tickSeconds)
    : truth_(truth), tickSeconds_(tickSeconds) {
    for (const LinuxWorkload::ProcessEntry& p : workload.processes()) {
        std::vector<std::string> mappings{p.exe};
        mappings.insert(mappings.end(), p.libraries.begin(), p.libraries.end());
        auto add = [&](uint32_t tid, const std::string& comm) {
            truth_.threads[tid] = {p.pid, tid, comm, p.exe, mappings};
        };
        add(p.pid, p.comm);
        for (const LinuxWorkload::ThreadEntry& t : p.threads) add(t.tid, t.comm);
    }
    const LinuxWorkload::KernelThreadEntry& worker = workload.worker();
    truth_.threads[worker.tid] = {worker.tid, worker.tid, worker.comm, {}, {}};
    truth_.threads[0].name = "swapper/";  // one idle task per core, all with id 0
}

void LinuxTruthRecorder::Switched(uint32_t core, uint64_t tick, uint32_t incomingTid,
                                  uint32_t outgoingState) {
    truth_.switches.push_back({core, Nanoseconds(tick), incomingTid, outgoingState});
}

void LinuxTruthRecorder::Ran(uint32_t core, uint32_t tid, uint64_t roundStart, uint64_t instructions) {
    const uint64_t time = Nanoseconds(roundStart);
    const size_t switches = truth_.switches.size();
    // A core's runs within a round between two switches are one run.
    if (!truth_.runs.empty()) {
        TruthRun& last = truth_.runs.back();
        if (last.core == core && last.tid == tid && last.time == time && last.switchesBefore == switches) {
            last.instructions += instructions;
            return;
        }
    }
    truth_.runs.push_back({core, tid, time, instructions, switches});
}

void LinuxTruthRecorder::Exited(uint32_t core, uint64_t tick, uint32_t tid) {
    truth_.exits.push_back({core, Nanoseconds(tick), truth_.threads[tid].pid});
}

void LinuxTruthRecorder::Opened(uint32_t core, uint32_t tid, uint64_t tick,
                                const LinuxWorkload::OpenEntry& call) {
    // The mode travels as a 16-bit signed field: 0100644 shows as -32348.
    const int16_t mode = static_cast<int16_t>(call.mode);
    truth_.syscalls.push_back({core, tid, Nanoseconds(tick),
                               "openat(" + std::to_string(LinuxWorkload::kAtFdcwd) + ", " +
                                   Quoted(call.path) + ", " + std::to_string(call.flags) + ", " +
                                   std::to_string(mode) + ")",
                               truth_.switches.size()});
}

void LinuxTruthRecorder::Executed(uint32_t core, uint32_t tid, uint64_t tick,
                                  const LinuxWorkload::ExecEntry& call) {
    truth_.syscalls.push_back({core, tid, Nanoseconds(tick),
                               "execve(" + Quoted(call.file) + ", " + QuotedList(call.argv) + ", " +
                                   QuotedList(call.envp) + ")",
                               truth_.switches.size()});
}

}  // namespace simhost
