// User counters at run time. Each record of the counters file belongs to the
// list of its component (or of "*", every component); as the simulation's
// components are registered, every record whose trace source a component has
// gets one host callback with its own context, and the callback counts the
// source's events into the record, under the record's condition and window.
// All calls come from the host's simulation thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "boundary/host_abi.h"
#include "counters/counter_callback_context.h"
#include "counters/counter_record.h"

namespace vantric {

class CaptureWriter;
class TimeSource;

class CounterCallbacks {
public:
    // The record list of counters that apply to every component.
    static constexpr const char* kEveryComponent = "*";
    // The name the software counters are filed under; a component carrying
    // it is never subscribed.
    static constexpr const char* kSoftwareComponent = "NON_ZVT_software_events";

    using RecordList = std::vector<std::unique_ptr<CounterRecord>>;

    // Registration failures are explained on `errors`, which must outlive
    // the callbacks.
    explicit CounterCallbacks(std::ostream& errors);
    ~CounterCallbacks();
    CounterCallbacks(const CounterCallbacks&) = delete;
    CounterCallbacks& operator=(const CounterCallbacks&) = delete;

    // Files `record` under its component (empty: every component).
    void Add(CounterRecord record);

    // Subscribes the records of `componentName` and of "*" to the component's
    // trace sources; `core` goes with every value they write. True unless a
    // callback could not be registered or a condition could not be applied;
    // a component without the source is no failure. From the first call on,
    // registered() is true.
    bool Register(ZVT::ComponentTraceInterface* componentTrace, uint32_t core,
                  const std::string& componentName, CaptureWriter* writer,
                  TimeSource* timeSource);
    bool registered() const { return registered_; }

    // The host callback of every user counter; `context` is its
    // CounterCallbackContext. Allocates nothing unless the condition compares
    // texts.
    static void OnCounterEvent(void* context, ZVT::EventClass* eventClass, const uint8_t* record);

    // Destroys every record and context; callbacks must no longer be called.
    void Clear();

    const std::map<std::string, RecordList>& recordsByComponent() const { return records_; }
    size_t contextCount() const { return contexts_.size(); }

private:
    bool RegisterList(const std::string& component, ZVT::ComponentTraceInterface* componentTrace,
                      uint32_t core, CaptureWriter* writer, TimeSource* timeSource);
    bool Subscribe(CounterRecord& record, ZVT::ComponentTraceInterface* componentTrace,
                   uint32_t core, CaptureWriter* writer, TimeSource* timeSource);

    std::ostream& errors_;
    bool registered_ = false;
    std::map<std::string, RecordList> records_;
    std::vector<std::unique_ptr<CounterCallbackContext>> contexts_;
};

}  // namespace vantric
