// Builds a Profile from the frames of a capture as they are read (feed it
// to VisitCapture), keeping per sample only a count per distinct stack.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "rcf/capture_records.h"
#include "rcf/profile/profile.h"
#include "rcf/profile/symbolizer.h"

namespace vantric::rcf {

class ProfileBuilder {
public:
    // Only what happens at times from <= t < to is kept; intervals are cut to it.
    struct Window {
        uint64_t from = 0;
        uint64_t to = std::numeric_limits<uint64_t>::max();
    };

    // Without `keepRuns` the threads get no sample runs, and the model's size
    // no longer grows with the number of samples.
    explicit ProfileBuilder(Window window, bool keepRuns = true) : window_(window), keepRuns_(keepRuns) {}
    ProfileBuilder() = default;

    void add(const Frame& frame);

    // Completes the timeline and names the locations. Call once, after the
    // last frame; `capture` gives the counter names and the core count.
    Profile finish(const Capture& capture, Symbolizer& symbolizer);

private:
    struct CoreEvent {
        uint64_t time = 0;
        enum Kind : uint8_t { kSwitch, kIdleEnter, kIdleLeave } kind = kSwitch;
        uint32_t tid = 0;
    };
    struct Node {
        uint32_t parent = 0;
        std::string text;
    };
    struct RawActivity {
        uint32_t channel = 0;
        uint32_t related = 0;
        uint64_t start = 0;
        uint64_t end = 0;
        std::string text;
    };

    bool inWindow(uint64_t time) const { return time >= window_.from && time < window_.to; }
    void seen(uint64_t time);
    void addSample(uint32_t core, const SampleRecord& sample);
    uint32_t location(uint32_t cookie, uint64_t address, AddressKind kind);
    Thread& thread(uint32_t tid);
    void buildCoreSlices();
    void buildFunctions();
    void buildThreads();

    Window window_;
    bool keepRuns_ = true;
    Profile profile_;
    uint64_t minTime_ = std::numeric_limits<uint64_t>::max();
    uint64_t maxTime_ = 0;
    std::map<std::tuple<uint32_t, uint64_t, AddressKind>, uint32_t> locationIndex_;
    std::map<std::vector<uint32_t>, uint32_t> stackIndex_;
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, size_t> sampleIndex_;  // tid, core, stack
    std::map<std::pair<uint32_t, uint32_t>, size_t> framelessIndex_;         // tid, core
    std::map<std::pair<uint32_t, uint32_t>, std::vector<SampleRun>> runs_;   // tid, core
    std::map<uint32_t, uint64_t> lastSample_;                                // per core
    std::map<uint32_t, std::string> cookieNames_;
    std::map<uint32_t, std::pair<uint64_t, std::string>> threadNames_;  // tid -> latest name
    std::map<uint32_t, uint32_t> processCookie_;                        // pid -> cookie
    std::map<uint32_t, std::vector<CoreEvent>> coreEvents_;
    std::map<std::pair<uint32_t, uint32_t>, Node> nodes_;  // channel, sequence
    std::vector<RawActivity> activities_;
    std::map<std::pair<uint32_t, uint32_t>, std::vector<std::pair<uint64_t, uint64_t>>> counters_;
};

}  // namespace vantric::rcf
