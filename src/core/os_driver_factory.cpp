#include "core/os_driver_factory.h"

#include "core/subsystem_agent.h"
#include "counters/counter_set.h"
#include "os/baremetal/baremetal_driver.h"
#include "os/linux/linux_driver.h"
#include "os/linux/software_counter_sink.h"

namespace vantric {
namespace {

// Lets the Linux driver count CPU activity in the instance's counter set.
class CounterSetSink final : public SoftwareCounterSink {
public:
    explicit CounterSetSink(CounterSet& counters) : counters_(counters) {}

    Counter AddSoftwareCounter(const SoftwareCounterSettings& s) override {
        return counters_.AddSoftwareCounter(s.title, s.name, s.type, s.display, s.units,
                                            s.averageSelection, s.perCpu, s.startTime, s.endTime,
                                            s.percentage, s.multiplier, s.averageCores, s.interval,
                                            s.derived, s.renderingType);
    }
    void AddToSoftwareCounter(Counter counter, uint64_t amount, uint32_t core) override {
        CounterSet::AddToSoftwareCounter(static_cast<CounterCallbackContext*>(counter), amount, core);
    }

private:
    CounterSet& counters_;
};

// The sink lives in a base constructed before the driver, so it outlives it.
struct SinkHolder {
    explicit SinkHolder(CounterSet& counters) : sink(counters) {}
    CounterSetSink sink;
};

class CountingLinuxDriver final : private SinkHolder, public LinuxDriver {
public:
    CountingLinuxDriver(CounterSet& counters, CaptureWriter& capture, uint32_t depth,
                        const vq::JSONValue& configuration)
        : SinkHolder(counters), LinuxDriver(capture, depth, configuration, &sink) {}
};

}  // namespace

std::unique_ptr<OSDriver> CreateOSDriver(uint32_t kernelType, CounterSet& counters,
                                         CaptureWriter& capture, uint32_t callstackDepth,
                                         const vq::JSONValue& configuration) {
    switch (kernelType) {
        case SubsystemAgent::kBareMetal:
            return std::make_unique<BareMetalDriver>(capture, callstackDepth, configuration);
        case SubsystemAgent::kLinux:
            return std::make_unique<CountingLinuxDriver>(counters, capture, callstackDepth,
                                                         configuration);
        default:
            return nullptr;
    }
}

}  // namespace vantric
