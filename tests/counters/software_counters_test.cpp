// Software counters: fed by the program, written to the same capture.
#include <gtest/gtest.h>

#include "counter_capture_fixture.h"

namespace vantric::testing {
namespace {

using ::testing::ElementsAre;

class SoftwareCountersTest : public CounterCaptureTest {
protected:
    CounterCallbackContext* Add(uint64_t interval, uint64_t start = 0,
                                uint64_t end = UINT64_MAX, const std::string& name = "User") {
        return counters.AddSoftwareCounter("CPU Activity", name, "CPUActivity" + name, "", "",
                                           true, true, start, end, true, 0.0001f, true, interval,
                                           true, "bar");
    }
    void AddAt(CounterCallbackContext* context, uint64_t ticks, uint64_t amount, uint32_t core) {
        sim.SetTicks(ticks);
        CounterSet::AddToSoftwareCounter(context, amount, core);
    }
};

TEST_F(SoftwareCountersTest, AmountsAccumulateUntilTheInterval) {
    CounterCallbackContext* one = Add(1, 0, UINT64_MAX, "One");
    CounterCallbackContext* five = Add(5, 0, UINT64_MAX, "Five");
    ASSERT_NE(one, nullptr);
    AddAt(one, 10, 1, 0);
    AddAt(one, 20, 1, 1);
    // 7 at 30: written, the count starts again.
    for (auto [ticks, amount, core] : {std::tuple{10, 2, 0}, {20, 2, 1}, {30, 3, 1}, {40, 4, 0}}) {
        AddAt(five, ticks, amount, core);
    }
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 0, 3, 1}, CounterValue{20, 1, 3, 1},
                                            CounterValue{30, 1, 4, 7}));
}

TEST_F(SoftwareCountersTest, AdditionsOutsideTheWindowChangeNothing) {
    counters.SetWindowEnd(300);
    CounterCallbackContext* zero = Add(0, 0, UINT64_MAX, "Zero");
    AddAt(zero, 10, 0, 1);  // a zero amount still reaches interval 0
    CounterCallbackContext* user = Add(2, 100, 1000);
    for (uint64_t t : {99, 100, 300, 299}) AddAt(user, t, 1, 0);  // 300: at the clipped end
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 1, 3, 0}, CounterValue{299, 0, 4, 2}));
}

TEST_F(SoftwareCountersTest, AreNotRestrictedByRegistrationNorRegisteredWithTheHost) {
    kvhost::TraceComponent& component = sim.AddTraceComponent("NON_ZVT_software_events");
    kvhost::TraceSource& source = component.AddSource("CPU Activity", "", {});
    ASSERT_TRUE(counters.RegisterCountersForComponent(&component, 0, component.name()));
    CounterCallbackContext* user = Add(1);
    CounterCallbackContext* system = Add(1, 0, UINT64_MAX, "System");
    ASSERT_NE(user, nullptr);
    ASSERT_NE(system, nullptr);
    EXPECT_TRUE(counters.RegisterCountersForComponent(&component, 0, component.name()));
    EXPECT_FALSE(source.hasCallbacks());

    const auto& records = counters.recordsByComponent().at("NON_ZVT_software_events");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->sourceName, "CPU Activity");
    const CounterDescription& d = counters.descriptions().at(1);
    EXPECT_TRUE(d.percentage && d.averageCores && d.derived);
    EXPECT_EQ(d.multiplier, 0.0001f);
    EXPECT_EQ(d.renderingType, "bar");
    AddAt(system, 10, 1, 1);
    rcf::Capture capture = Finish();
    EXPECT_THAT(Values(capture), ElementsAre(CounterValue{10, 1, 4, 1}));
    ASSERT_TRUE(capture.capturedXml);
    EXPECT_NE(capture.capturedXml->find("key='4' title='CPU Activity' name='System' "
                                        "type='CPUActivitySystem'"),
              std::string::npos);
}

}  // namespace
}  // namespace vantric::testing
