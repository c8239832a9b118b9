// The instance's counters. Every counter the profiler shows is described once
// here, whoever created it (user counters, software counters, built-in
// counters), and identified everywhere else by its key. The set also holds
// the user counters of the counters file (CounterCallbacks) and the software
// counters of the OS drivers (SoftwareCounters), clips both to the trace
// window, and hands the descriptions to the capture at release.
//
// Life of a user counter: ReadCountersConfig (instance construction) makes
// its record; RegisterCountersForComponent (simulation start-up, once per
// component) subscribes a callback for every component with its trace
// source; the callback counts; ReleaseCounters hands the descriptions over.
// All calls come from the host's simulation thread.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/host_abi.h"
#include "capture/counter_description.h"
#include "counters/counter_callback_context.h"
#include "counters/counter_callbacks.h"
#include "counters/counter_record.h"
#include "counters/software_counters.h"

namespace vantric {

class CaptureWriter;
class TimeSource;

class CounterSet {
public:
    CounterSet();
    ~CounterSet();
    CounterSet(const CounterSet&) = delete;
    CounterSet& operator=(const CounterSet&) = delete;

    // ---- descriptions ----

    // Finds or creates the description of the counter `name` of `type` and
    // returns its key. A counter is identified by name followed directly by
    // type; when it exists already the other arguments are ignored. New keys
    // are 0, 1, 2, ... in creation order.
    uint32_t AddCounter(const std::string& title, const std::string& name,
                        const std::string& type, const std::string& display,
                        const std::string& units, bool averageSelection, bool perCpu,
                        bool percentage, float multiplier, bool averageCores, bool derived,
                        const std::string& renderingType);

    // Every description, in creation order (a description's key is its index).
    const std::vector<CounterDescription>& descriptions() const { return descriptions_; }

    // ---- settings, given by the instance ----

    // The trace window ("trace-start-time", "trace-end-time"); every counter
    // added afterwards is clipped to it.
    void SetWindowStart(uint64_t start) { windowStart_ = start; }
    void SetWindowEnd(uint64_t end) { windowEnd_ = end; }
    uint64_t windowStart() const { return windowStart_; }
    uint64_t windowEnd() const { return windowEnd_; }

    // Borrowed; both are set when the simulation is connected, before any
    // component is registered or software counter added.
    void SetCaptureWriter(CaptureWriter* writer) { writer_ = writer; }
    void SetTimeSource(TimeSource* timeSource) { timeSource_ = timeSource; }

    // Messages of every failed operation, each ended by a line end except the
    // one of a counter added after registration. The caller prints them.
    std::string errorText() const { return errorText_.str(); }
    void ClearErrorText() { errorText_.str(std::string()); }

    // ---- user counters ----

    // Reads the counters file (a JSON array of counter objects). True when
    // every entry was accepted; each refusal, and an unreadable file, leaves
    // one line in errorText(). Entries that were accepted stay.
    bool ReadCountersConfig(const std::string& path);

    // Adds one counter fed by trace source `sourceName` of `component` (empty
    // or "*": every component), counting from `startTime` up to but excluding
    // `endTime` (both clipped to the trace window) and writing a value every
    // `interval` counted events. False once registration has begun.
    bool AddTraceSourceCounter(const std::string& component, const std::string& sourceName,
                               const std::string& condition, const std::string& title,
                               const std::string& name, const std::string& type,
                               const std::string& display, const std::string& units,
                               bool averageSelection, bool perCpu, uint64_t startTime,
                               uint64_t endTime, bool percentage, float multiplier,
                               bool averageCores, uint64_t interval);

    // Subscribes the counters of `componentName` and of "*" to the component's
    // trace sources; `core` goes with every value they write. From the first
    // call on no trace-source counter can be added. True unless a callback
    // could not be registered or a condition could not be applied (see
    // errorText()); a component without the source is no failure.
    bool RegisterCountersForComponent(ZVT::ComponentTraceInterface* componentTrace, uint32_t core,
                                      const std::string& componentName);

    // ---- software counters: counted by the program itself ----

    // Null until the simulation is connected (no time source or capture
    // writer yet). The context stays valid until ReleaseCounters.
    CounterCallbackContext* AddSoftwareCounter(const std::string& title, const std::string& name,
                                               const std::string& type,
                                               const std::string& display,
                                               const std::string& units, bool averageSelection,
                                               bool perCpu, uint64_t startTime, uint64_t endTime,
                                               bool percentage, float multiplier,
                                               bool averageCores, uint64_t interval, bool derived,
                                               const std::string& renderingType);
    // Adds `amount` at the current time; writes a value for `core` once the
    // count reaches the interval. A null context is ignored.
    static void AddToSoftwareCounter(CounterCallbackContext* context, uint64_t amount,
                                     uint32_t core) {
        SoftwareCounters::AddAmount(context, amount, core);
    }

    // ---- release ----

    // Writes the description files through the capture writer (when it is
    // open), then destroys every record and context. Callbacks must no longer
    // be called afterwards.
    void ReleaseCounters();

    // The user counters' records and contexts, for inspection.
    const CounterCallbacks& callbacks() const { return callbacks_; }

private:
    // A record of description `key` counting in [startTime, endTime) clipped
    // to the trace window.
    CounterRecord MakeRecord(uint32_t key, uint64_t interval, uint64_t startTime,
                             uint64_t endTime) const;

    uint64_t windowStart_ = 0;
    uint64_t windowEnd_ = UINT64_MAX;
    std::map<std::string, uint32_t> descriptionKeys_;
    std::vector<CounterDescription> descriptions_;
    CaptureWriter* writer_ = nullptr;
    TimeSource* timeSource_ = nullptr;
    std::ostringstream errorText_;
    CounterCallbacks callbacks_{errorText_};  // after errorText_, which it writes to
    SoftwareCounters software_;
};

}  // namespace vantric
