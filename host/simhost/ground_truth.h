// What a scenario really ran, recorded while it emitted the events, so that
// `simhost --verify` can compare the capture against it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace simhost {

// The host scheduler's conversion of ticks to the nanoseconds every capture
// record carries (ticks x tick length x 1e9, truncated).
uint64_t TickNanoseconds(uint64_t ticks, double tickSeconds);

struct TruthThread {
    uint32_t pid = 0;
    uint32_t tid = 0;
    std::string name;                  // the command name as the kernel keeps it
    std::string exePath;               // empty for a kernel thread
    std::vector<std::string> mappings; // paths of the files mapped in its process
    uint64_t instructions = 0;         // retired while it was current, all cores
};

struct TruthSwitch {
    uint32_t core = 0;
    uint64_t time = 0;
    uint32_t tid = 0;    // the incoming thread
    uint32_t state = 0;  // 0 blocked, 1 runnable, 2 waiting for I/O: the outgoing thread
    bool operator<(const TruthSwitch& o) const {
        return std::tie(core, time, tid, state) < std::tie(o.core, o.time, o.tid, o.state);
    }
    bool operator==(const TruthSwitch&) const = default;
};

struct TruthExit {
    uint32_t core = 0;
    uint64_t time = 0;
    uint32_t pid = 0;  // the exiting thread's process id
    bool operator<(const TruthExit& o) const {
        return std::tie(core, time, pid) < std::tie(o.core, o.time, o.pid);
    }
    bool operator==(const TruthExit&) const = default;
};

// A decoded system call as it must appear in the capture.
struct TruthSyscall {
    uint32_t core = 0;
    uint32_t tid = 0;
    uint64_t time = 0;
    std::string text;
    bool operator<(const TruthSyscall& o) const {
        return std::tie(core, tid, time, text) < std::tie(o.core, o.tid, o.time, o.text);
    }
    bool operator==(const TruthSyscall&) const = default;
};

// One executed call of a bare-metal function, from its call to its return.
struct TruthCall {
    uint32_t core = 0;
    std::string function;
    uint64_t start = 0;
    uint64_t duration = 0;
    bool operator<(const TruthCall& o) const {
        return std::tie(core, function, start, duration) <
               std::tie(o.core, o.function, o.start, o.duration);
    }
    bool operator==(const TruthCall&) const = default;
};

struct TruthCounter {
    std::string name;  // the counter's "CounterName"
    uint64_t events = 0;
};

struct GroundTruth {
    std::string scenario;
    uint32_t cores = 0;
    uint64_t samplingInterval = 0;           // instructions between samples
    std::vector<uint64_t> coreInstructions;  // the last INST_COUNT of each core
    std::map<uint32_t, TruthThread> threads; // by tid
    std::vector<TruthSwitch> switches;
    std::vector<TruthExit> exits;
    std::vector<TruthSyscall> syscalls;
    std::vector<TruthCall> calls;
    std::vector<TruthCounter> counters;
    // Bare metal: the one application and the call stack (pc, then the call
    // sites innermost first) at every PERIODIC event, keyed by core and time.
    std::string appName;
    uint32_t appPid = 0;
    std::map<std::pair<uint32_t, uint64_t>, std::vector<std::vector<uint64_t>>> periodicStacks;
};

}  // namespace simhost
