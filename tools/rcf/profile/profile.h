// Where the time of a capture went, aggregated while the capture is read:
// samples are counted per distinct stack and thread, so the model grows with
// the distinct stacks, threads and timeline events, not with the samples.
// Every exporter (and any later view) reads only this.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "rcf/profile/sample_timeline.h"

namespace vantric::rcf {

// How a frame's address is to be read.
enum class AddressKind : uint8_t {
    kAbsolute,   // a sample without a process image: kernel or no OS awareness
    kAnonymous,  // a user frame in memory no file backs
    kInFile,     // an offset in the file its cookie names (bare metal: the app's pc)
};

// Why a frame kept no function name; kResolved when it has one.
enum class Unresolved : uint8_t {
    kResolved,
    kNoSymbolFile,     // an absolute address and no --symbols file
    kNoSysroot,        // a file offset and no --sysroot
    kNoFile,           // no such file under the sysroot
    kNotElf,           // the file is not a readable ELF file
    kNoSymbols,        // neither .symtab nor .dynsym holds a function
    kOutsideSymbols,   // the address lies outside every symbol
    kAnonymous,        // memory no file backs
    kUnknownCookie,    // no cookie-name record names the frame's cookie
};
inline constexpr size_t kUnresolvedKinds = 9;
const char* UnresolvedText(Unresolved reason);

struct Location {
    uint32_t cookie = 0;
    uint64_t address = 0;
    AddressKind kind = AddressKind::kAbsolute;
    std::string module;    // file path, "[kernel]", the bare-metal app or "[anon]"
    std::string function;  // empty unless resolved
    std::string sourceFile;
    uint32_t line = 0;  // 0 when unknown
    Unresolved reason = Unresolved::kResolved;
};

// A file (or pseudo file) frames lie in; pprof's mappings.
struct Module {
    std::string name;
    std::string buildId;  // hex, empty when unknown
    uint64_t lowest = 0;  // addresses (file offsets for files) seen in it
    uint64_t highest = 0;
    bool hasFunctions = false;
    bool hasLines = false;
};

struct Stack {
    std::vector<uint32_t> locations;  // indexes into Profile::locations, leaf first
};

// Samples of one stack on one thread and core.
struct SampleCount {
    uint32_t tid = 0;
    uint32_t core = 0;
    uint32_t stack = 0;
    uint64_t count = 0;
};

// Consecutive samples of a thread with the same stack, in time order.
struct SampleRun {
    uint32_t stack = 0;
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t count = 0;
};

struct Thread {
    uint32_t tid = 0;
    uint32_t pid = 0;
    std::string name;
    uint64_t samples = 0;
    std::vector<SampleRun> runs;  // in time order across every core
};

struct Process {
    uint32_t pid = 0;
    std::string name;
};

// What a core ran: slices never overlap and are in time order.
struct CoreSlice {
    uint32_t core = 0;
    uint64_t start = 0;
    uint64_t end = 0;
    bool idle = false;  // the idle task or a wait for interrupt
    uint32_t tid = 0;   // the running thread when not idle
};

struct CounterSeries {
    uint32_t key = 0;  // as in the capture: counter number + 3
    uint32_t core = 0;
    std::string title;
    std::string name;
    std::vector<std::pair<uint64_t, uint64_t>> points;  // time, value summed per time
};

struct Annotation {
    uint64_t time = 0;
    uint32_t core = 0;  // the Linux driver puts the core in the record's pid field
    uint32_t tid = 0;
    std::string text;
};

// One function call. Per core the slices nest strictly: sorted by start,
// longer first on a tie, each inside the one open at its start.
struct FunctionSlice {
    uint32_t core = 0;
    uint32_t tid = 0;
    uint64_t start = 0;
    uint64_t end = 0;
    uint32_t depth = 0;
    std::string name;
};

struct SymbolReport {
    // Frames of samples (each sample's frames counted once per sample).
    uint64_t frames = 0;
    std::array<uint64_t, kUnresolvedKinds> framesBy{};
    // Distinct locations.
    uint64_t locations = 0;
    std::array<uint64_t, kUnresolvedKinds> locationsBy{};
    std::map<std::string, uint64_t> missingFiles;  // path -> frames, for kNoFile
    uint64_t unresolved() const { return frames - framesBy[0]; }
};

// Slots of the sample timeline: an index into Profile::samples, or with
// this bit set an index into Profile::framelessSamples.
inline constexpr uint32_t kFramelessSlot = 0x80000000u;

struct Profile {
    uint64_t startTime = 0;
    uint64_t endTime = 0;
    uint64_t samplePeriod = 0;  // the shortest gap between samples of a core; 0 if unknown
    uint32_t cores = 0;
    std::vector<Location> locations;
    std::vector<Module> modules;
    std::vector<uint32_t> locationModule;  // per location, an index into modules
    std::vector<Stack> stacks;
    std::vector<SampleCount> samples;
    std::vector<SampleCount> framelessSamples;  // per thread and core; no stack
    SampleTimeline timeline;                    // samples over time, by slot
    std::map<uint32_t, Thread> threads;
    std::map<uint32_t, Process> processes;
    std::vector<CoreSlice> coreSlices;  // by core, then time
    std::vector<CounterSeries> counters;
    std::vector<Annotation> annotations;  // in time order
    std::vector<FunctionSlice> functions;  // by core, then in nesting order
    uint64_t clippedFunctions = 0;      // calls cut to fit inside their caller
    uint64_t samplesWithoutFrames = 0;  // counted nowhere else
    SymbolReport symbols;
};

}  // namespace vantric::rcf
