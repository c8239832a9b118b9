// Software counters: fed by the program, written to the same capture.
#include "counters/software_counters.h"

#include <gtest/gtest.h>

#include "counter_capture_fixture.h"

namespace vantric::testing {
namespace {

class SoftwareCountersTest : public CounterCaptureTest {
protected:
    CounterCallbackContext* Add(const std::string& name, uint64_t interval, uint64_t start = 0,
                                uint64_t end = UINT64_MAX) {
        return counters.AddSoftwareCounter("CPU Activity", name, "CPUActivity" + name, "", "",
                                           true, true, start, end, true, 0.0001f, true, interval,
                                           true, "bar");
    }
    void AddAt(CounterCallbackContext* context, uint64_t ticks, uint64_t amount, uint32_t core) {
        sim.SetTicks(ticks);
        CounterSet::AddToSoftwareCounter(context, amount, core);
    }
};

// Amounts accumulate until they reach the interval, inside the window only.
TEST_F(SoftwareCountersTest, WritesTheSumOnceItReachesTheInterval) {
    counters.SetWindowEnd(300);
    CounterCallbackContext* one = Add("One", 1);
    CounterCallbackContext* five = Add("Five", 5);
    CounterCallbackContext* zero = Add("Zero", 0);
    CounterCallbackContext* windowed = Add("Windowed", 2, 100, 1000);
    ASSERT_NE(one, nullptr);
    AddAt(one, 10, 1, 0);
    AddAt(one, 20, 1, 1);
    // 7 at 30: written, the count starts again.
    for (auto [ticks, amount, core] : {std::tuple{10, 2, 0}, {20, 2, 1}, {30, 3, 1}, {40, 4, 0}}) {
        AddAt(five, ticks, amount, core);
    }
    AddAt(zero, 50, 0, 1);  // a zero amount still reaches interval 0
    for (uint64_t t : {99, 100, 300, 299}) AddAt(windowed, t, 1, 0);  // 300: at the clipped end
    AddAt(nullptr, 400, 9, 0);  // ignored
    EXPECT_EQ(FinishValues(), (CounterValues{{10, 0, 3, 1}, {20, 1, 3, 1}, {30, 1, 4, 7},
                                             {50, 1, 5, 0}, {299, 0, 6, 2}}));
}

// Registration neither stops them being added nor subscribes anything of a
// component that carries their name.
TEST_F(SoftwareCountersTest, AreNeitherRestrictedByRegistrationNorSubscribed) {
    kvhost::TraceComponent& component = sim.AddTraceComponent("NON_ZVT_software_events");
    kvhost::TraceSource& source = component.AddSource("CPU Activity", "", {});
    AddCounter("NON_ZVT_software_events", "CPU Activity");
    ASSERT_TRUE(Register(component, 0));
    CounterCallbackContext* system = Add("System", 1);
    ASSERT_NE(system, nullptr);
    EXPECT_FALSE(source.hasCallbacks());
    const CounterDescription& d = counters.descriptions().at(1);
    EXPECT_TRUE(d.percentage && d.averageCores && d.derived);
    EXPECT_EQ(std::tuple(d.multiplier, d.renderingType), std::tuple(0.0001f, "bar"));
    AddAt(system, 10, 1, 1);
    rcf::Capture capture = Finish();
    EXPECT_EQ(Values(capture), (CounterValues{{10, 1, 4, 1}}));
    ASSERT_TRUE(capture.capturedXml);
    EXPECT_NE(capture.capturedXml->find(
                  "key='4' title='CPU Activity' name='System' type='CPUActivitySystem'"),
              std::string::npos);
}

}  // namespace
}  // namespace vantric::testing
