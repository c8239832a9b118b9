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

TEST_F(SoftwareCountersTest, EveryAdditionWritesWithIntervalOne) {
    CounterCallbackContext* user = Add(1);
    ASSERT_NE(user, nullptr);
    AddAt(user, 10, 1, 0);
    AddAt(user, 20, 1, 1);
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 0, 3, 1}, CounterValue{20, 1, 3, 1}));
}

TEST_F(SoftwareCountersTest, AmountsAccumulateUntilTheInterval) {
    CounterCallbackContext* user = Add(5);
    AddAt(user, 10, 2, 0);
    AddAt(user, 20, 2, 1);
    AddAt(user, 30, 3, 1);  // 7: written, count starts again
    AddAt(user, 40, 4, 0);
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{30, 1, 3, 7}));
}

TEST_F(SoftwareCountersTest, AdditionsOutsideTheWindowChangeNothing) {
    counters.SetWindowEnd(300);
    CounterCallbackContext* user = Add(2, 100, 1000);
    AddAt(user, 99, 1, 0);
    AddAt(user, 100, 1, 0);
    AddAt(user, 300, 1, 0);  // at the clipped end
    AddAt(user, 299, 1, 0);
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{299, 0, 3, 2}));
}

TEST_F(SoftwareCountersTest, ZeroAmountStillWritesOnceTheIntervalIsReached) {
    CounterCallbackContext* context = Add(0);
    AddAt(context, 10, 0, 1);
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 1, 3, 0}));
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
    EXPECT_EQ(records[0]->component, "NON_ZVT_software_events");
    ASSERT_EQ(counters.descriptions().size(), 2u);
    const CounterDescription& d = counters.descriptions()[1];
    EXPECT_EQ(d.type, "CPUActivitySystem");
    EXPECT_TRUE(d.percentage);
    EXPECT_EQ(d.multiplier, 0.0001f);
    EXPECT_TRUE(d.averageCores);
    EXPECT_TRUE(d.derived);
    EXPECT_EQ(d.renderingType, "bar");

    AddAt(system, 10, 1, 1);
    rcf::Capture capture = Finish();
    EXPECT_THAT(Values(capture), ElementsAre(CounterValue{10, 1, 4, 1}));
    ASSERT_TRUE(capture.capturedXml);
    EXPECT_NE(capture.capturedXml->find("key='4' title='CPU Activity' name='System' "
                                        "type='CPUActivitySystem'"),
              std::string::npos);
}

TEST(SoftwareCounterSetupTest, NeedsATimeSourceAndACaptureWriter) {
    CounterSet counters;
    EXPECT_EQ(counters.AddSoftwareCounter("T", "N", "Y", "", "", true, true, 0, UINT64_MAX, false,
                                          1.0f, false, 1, false, ""),
              nullptr);
    EXPECT_TRUE(counters.descriptions().empty());
    CounterSet::AddToSoftwareCounter(nullptr, 1, 0);  // ignored
}

}  // namespace
}  // namespace vantric::testing
