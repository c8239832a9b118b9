// What a scenario really ran, recorded while it emitted the events, so that
// `simhost --verify` can compare the capture against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
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

// The Linux driver learns the current thread from the switches it saw, in
// the order the cores emitted them rather than by time, so the events that
// depend on it note how many switches (all cores) came before them.

// A decoded system call as it must appear in the capture.
struct TruthSyscall {
    uint32_t core = 0;
    uint32_t tid = 0;  // the thread that made it
    uint64_t time = 0;
    std::string text;
    size_t switchesBefore = 0;  // not part of the comparison
    bool operator<(const TruthSyscall& o) const {
        return std::tie(core, tid, time, text) < std::tie(o.core, o.tid, o.time, o.text);
    }
    bool operator==(const TruthSyscall& o) const {
        return std::tie(core, tid, time, text) == std::tie(o.core, o.tid, o.time, o.text);
    }
};

// Instructions one thread retired on one core in one round; the PERIODIC
// events that sample them carry the round's start as their time.
struct TruthRun {
    uint32_t core = 0;
    uint32_t tid = 0;
    uint64_t time = 0;  // the round's start
    uint64_t instructions = 0;
    size_t switchesBefore = 0;
};

// A bare-metal frame: the call site and when the call was made.
struct TruthFrame {
    uint64_t callSite = 0;
    uint64_t called = 0;
};

// One PERIODIC event, in the order the cores emitted them.
struct TruthPeriodic {
    uint32_t core = 0;
    uint64_t time = 0;   // the round's start: the event carries no offset
    uint64_t count = 0;  // its INST_COUNT
    size_t switchesBefore = 0;
    // Bare metal: when it was emitted (a branch at the same time came first),
    // the pc and the open calls, innermost first.
    uint64_t emitted = 0;
    uint64_t pc = 0;
    std::vector<TruthFrame> frames;
};

// One executed call of a bare-metal function, from its call to its return.
struct TruthCall {
    uint32_t core = 0;
    std::string function;
    uint64_t start = 0;
    uint64_t duration = 0;
    uint64_t callSite = 0;  // not part of the comparison
    bool operator<(const TruthCall& o) const {
        return std::tie(core, function, start, duration) <
               std::tie(o.core, o.function, o.start, o.duration);
    }
    bool operator==(const TruthCall& o) const {
        return std::tie(core, function, start, duration) == std::tie(o.core, o.function, o.start, o.duration);
    }
};

struct TruthCounter {
    std::string name;  // the counter's "CounterName"
    std::vector<uint64_t> eventTimes;  // of every event the counter must count
};

struct GroundTruth {
    std::string scenario;
    uint32_t cores = 0;
    uint64_t samplingInterval = 0;           // instructions between samples
    // The trace window [windowStart, windowEnd) of the -P values, in ns.
    uint64_t windowStart = 0;
    uint64_t windowEnd = UINT64_MAX;
    uint64_t endTime = 0;                    // ns when the plug-in is released
    std::vector<uint64_t> coreInstructions;  // the last INST_COUNT of each core
    std::map<uint32_t, TruthThread> threads; // by tid
    std::vector<TruthSwitch> switches;       // as emitted
    std::vector<TruthExit> exits;
    std::vector<TruthSyscall> syscalls;
    std::vector<TruthRun> runs;
    std::vector<TruthPeriodic> periodic;
    std::vector<TruthCall> calls;  // as they returned, then those still open at the end
    std::vector<TruthCounter> counters;
    // Bare metal: the one application.
    std::string appName;
    uint32_t appPid = 0;
};

}  // namespace simhost
