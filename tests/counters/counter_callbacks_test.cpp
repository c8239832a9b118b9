// User counters counting host trace events into a real capture, read back
// with the capture reader.
#include <gtest/gtest.h>

#include "counter_capture_fixture.h"

namespace vantric::testing {
namespace {

using ::testing::ElementsAre;
using CounterCallbacksTest = CounterCaptureTest;

struct CountCase {
    uint64_t interval, start, end, windowStart, windowEnd;
    std::vector<uint64_t> times;  // of the events
    std::vector<CounterValue> expected;
};

class CounterCountTest : public CounterCaptureTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CounterCountTest, WritesTheCountEveryIntervalEventsInsideTheWindow) {
    const CountCase& c = GetParam();
    counters.SetWindowStart(c.windowStart);
    counters.SetWindowEnd(c.windowEnd);
    kvhost::TraceComponent& memory = sim.AddTraceComponent("memory");
    kvhost::TraceSource& reads = memory.AddSource("READ", "", {kvhost::Unsigned("ADDR", 8)});
    AddCounter("memory", "READ", "", c.interval, c.start, c.end);
    ASSERT_TRUE(Register(memory, 1));
    for (uint64_t t : c.times) EmitAt(reads, t);
    EXPECT_EQ(FinishValues(), c.expected);
}

const std::vector<uint64_t> kSeven = {10, 20, 30, 40, 50, 60, 70};

INSTANTIATE_TEST_SUITE_P(
    Counts, CounterCountTest,
    ::testing::Values(
        CountCase{1, 0, UINT64_MAX, 0, UINT64_MAX, kSeven,
                  {{10, 1, 3, 1}, {20, 1, 3, 1}, {30, 1, 3, 1}, {40, 1, 3, 1}, {50, 1, 3, 1},
                   {60, 1, 3, 1}, {70, 1, 3, 1}}},
        // The seventh event's count stays unwritten at the end.
        CountCase{3, 0, UINT64_MAX, 0, UINT64_MAX, kSeven, {{30, 1, 3, 3}, {60, 1, 3, 3}}},
        // From the start up to, but not at, the end.
        CountCase{1, 100, 200, 0, UINT64_MAX, {99, 100, 150, 199, 200, 300},
                  {{100, 1, 3, 1}, {150, 1, 3, 1}, {199, 1, 3, 1}}},
        // The trace window narrows the counter's.
        CountCase{1, 100, 200, 150, 180, {149, 150, 179, 180}, {{150, 1, 3, 1}, {179, 1, 3, 1}}}));

TEST_F(CounterCallbacksTest, EveryComponentCounterSharesOneCountAcrossComponents) {
    kvhost::TraceComponent& a = sim.AddTraceComponent("a");
    kvhost::TraceComponent& b = sim.AddTraceComponent("b");
    kvhost::TraceComponent& other = sim.AddTraceComponent("other");
    kvhost::TraceSource& readsA = a.AddSource("READ", "", {});
    kvhost::TraceSource& readsB = b.AddSource("READ", "", {});
    other.AddSource("WRITE", "", {});
    AddCounter("", "READ", "", 2);
    ASSERT_TRUE(Register(a, 0));
    ASSERT_TRUE(Register(b, 1));
    ASSERT_TRUE(Register(other, 0));
    EXPECT_EQ(counters.contextCount(), 2u);  // "other" has no READ source
    for (auto [source, t] : {std::pair{&readsA, 10}, {&readsB, 20}, {&readsB, 30}, {&readsA, 40},
                             {&readsA, 50}}) {
        EmitAt(*source, t);
    }
    // Each value carries the core of the event that reached the interval.
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{20, 1, 3, 2}, CounterValue{40, 0, 3, 2}));
}

struct ConditionCase {
    const char* condition;
    bool registers;
    const char* stdoutText;
    const char* errorText;
    std::vector<uint64_t> counted;  // times of the events counted
};

class CounterConditionTest : public CounterCaptureTest,
                             public ::testing::WithParamInterface<ConditionCase> {};

// A condition that cannot be applied is reported and dropped: the counter
// then counts every event of its source.
TEST_P(CounterConditionTest, SelectsTheEventsThatCount) {
    const ConditionCase& c = GetParam();
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    kvhost::TraceSource& source = core.AddSource(
        "EVT", "", {kvhost::Unsigned("VALUE", 8), kvhost::Unsigned("MODE", 1), kvhost::LocalTime(),
                    kvhost::Float("RATIO"), kvhost::Text("NAME")});
    AddCounter("core", "EVT", c.condition);
    kvhost::StreamCapture console;
    EXPECT_EQ(Register(core, 0), c.registers);
    EXPECT_EQ(console.out(), c.stdoutText);
    EXPECT_EQ(counters.errorText(), c.errorText);
    EmitAt(source, 10, {{"VALUE", 5000}, {"MODE", 1}, {"RATIO", 2.0}, {"NAME", "on"}});
    EmitAt(source, 20, {{"VALUE", 5000}, {"MODE", 2}, {"RATIO", 1.5}, {"NAME", "on"}});
    EmitAt(source, 30, {{"VALUE", 4096}, {"MODE", 1}, {"RATIO", 2.0}, {"NAME", "off"}});
    EmitAt(source, 40, {{"VALUE", 1u << 20}, {"MODE", 1}, {"RATIO", 1.0}, {"NAME", "on"}});
    std::vector<CounterValue> expected;
    for (uint64_t t : c.counted) expected.push_back({t, 0, 3, 1});
    EXPECT_EQ(FinishValues(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, CounterConditionTest,
    ::testing::Values(
        ConditionCase{"VALUE > 4096 && MODE == 1", true, "", "", {10, 40}},
        // Doubles and texts are answered by the condition tree itself.
        ConditionCase{"RATIO > 1.5 && NAME == \"on\"", true, "", "", {10}},
        ConditionCase{"VALUE > 4096 && SPEED == 1", false, "Condition: SPEED field not found.\n",
                      "Cannot apply \"((VALUE>4096)&&(SPEED==1))\" condition on the counter\n",
                      {10, 20, 30, 40}},
        ConditionCase{"VALUE == 1.5", false,
                      "Data type mismatch. op:(VALUE==1.5) :    op1 type:6 op2 type:b\n",
                      "Cannot apply \"(VALUE==1.5)\" condition on the counter\n", {10, 20, 30, 40}},
        // One that does not parse counts every event silently.
        ConditionCase{"( VALUE == 5", true, "", "", {10, 20, 30, 40}}));

struct LocalTimeCase {
    kvhost::FieldSpec field;
    uint64_t raw;      // the field's bytes
    uint64_t written;  // time of the value, with the scheduler at 1000 ticks
};

class LocalTimeTest : public CounterCaptureTest,
                      public ::testing::WithParamInterface<LocalTimeCase> {};

// LOCAL_TIME is the only field these sources carry, so the host gives it the
// value index 0: it must still be read.
TEST_P(LocalTimeTest, OffsetsTheEventTime) {
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    kvhost::TraceSource& source = core.AddSource("EVT", "", {GetParam().field});
    AddCounter("core", "EVT");
    ASSERT_TRUE(Register(core, 0));
    ASSERT_EQ(source.eventClassAt(0).GetValueIndex("LOCAL_TIME"), 0u);
    sim.SetTicks(1000);
    source.ClearValues();
    source.SetInteger(0, GetParam().raw);
    source.Dispatch();
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{GetParam().written, 0, 3, 1}));
}

kvhost::FieldSpec Flagged(kvhost::FieldSpec field) {
    field.sizeFlags = 0x8001;  // host flags in the upper bits of Size() carry no size
    return field;
}

INSTANTIATE_TEST_SUITE_P(
    Widths, LocalTimeTest,
    ::testing::Values(LocalTimeCase{kvhost::Signed("LOCAL_TIME", 4), 0xFFFFFFFF, 999},
                      LocalTimeCase{kvhost::Signed("LOCAL_TIME", 4), 0x7FFFFFFF, 1000 + 0x7FFFFFFFull},
                      LocalTimeCase{kvhost::Signed("LOCAL_TIME", 2), 0xFFFE, 998},
                      LocalTimeCase{kvhost::Signed("LOCAL_TIME", 8), uint64_t(-5), 995},
                      LocalTimeCase{kvhost::Unsigned("LOCAL_TIME", 4), 0xFFFFFFFF, 1000 + 0xFFFFFFFFull},
                      LocalTimeCase{Flagged(kvhost::Signed("LOCAL_TIME", 4)), 0xFFFFFFFE, 998}));

TEST_F(CounterCallbacksTest, HostRefusalsAreReportedPerSource) {
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    core.AddSource("A", "", {}).SetFailRegisterCallback(true);
    core.AddSource("B", "", {}).SetFailCreateEventClass(true);
    kvhost::TraceSource& c = core.AddSource("C", "", {});
    for (const char* name : {"A", "B", "C"}) AddCounter("core", name, "", 1, 0, UINT64_MAX, name);
    EXPECT_FALSE(Register(core, 0));
    EXPECT_EQ(counters.errorText(),
              "Counter callback registration failed: A : RegisterCallback failed for A\n"
              "Counter callback registration failed: B : Unable to register event class for B "
              "trace source.\n");
    EmitAt(c, 10);  // the counters after a failure are still registered
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 0, 5, 1}));
}

// Counters of one name and type share a description; named counters count
// only their own component's events.
TEST_F(CounterCallbacksTest, SharedDescriptionCollectsTheValuesOfBothRecords) {
    kvhost::TraceComponent& a = sim.AddTraceComponent("a");
    kvhost::TraceComponent& b = sim.AddTraceComponent("b");
    kvhost::TraceSource& readsA = a.AddSource("READ", "", {});
    kvhost::TraceSource& readsB = b.AddSource("READ", "", {});
    AddCounter("a", "READ", "", 1, 0, UINT64_MAX, "Reads");
    AddCounter("b", "READ", "", 2, 0, UINT64_MAX, "Reads");
    AddCounter("b", "READ", "", 1, 0, UINT64_MAX, "Other");
    ASSERT_EQ(counters.descriptions().size(), 2u);
    ASSERT_TRUE(Register(a, 0));
    ASSERT_TRUE(Register(b, 1));
    EmitAt(readsA, 10);
    EmitAt(readsB, 20);
    EmitAt(readsB, 30);
    rcf::Capture capture = Finish();
    EXPECT_THAT(Values(capture),
                ElementsAre(CounterValue{10, 0, 3, 1}, CounterValue{20, 1, 4, 1},
                            CounterValue{30, 1, 3, 2}, CounterValue{30, 1, 4, 1}));
    ASSERT_EQ(capture.counters.size(), 2u);
    EXPECT_EQ(capture.counters[0].key, 3u);
    EXPECT_EQ(capture.counters[0].name, "Reads");
    EXPECT_EQ(capture.counters[1].key, 4u);
    EXPECT_EQ(capture.counters[1].name, "Other");
    // The session lasts until the last simulated time stamped.
    ASSERT_TRUE(capture.sessionXml);
    EXPECT_NE(capture.sessionXml->find("duration='30'"), std::string::npos);
    EXPECT_EQ(counters.contextCount(), 0u);
    EXPECT_TRUE(counters.recordsByComponent().empty());
}

// Without a capture writer and time source nothing registers; with a writer
// that never opened, release writes nothing.
TEST(CounterSetupTest, RefusesWithoutAnOpenCapture) {
    kvhost::Simulation sim;
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    kvhost::TraceSource& source = core.AddSource("EVT", "", {});
    CounterSet counters;
    EXPECT_EQ(counters.AddSoftwareCounter("T", "N", "Y", "", "", true, true, 0, UINT64_MAX, false,
                                          1.0f, false, 1, false, ""),
              nullptr);
    CounterSet::AddToSoftwareCounter(nullptr, 1, 0);  // ignored
    ASSERT_TRUE(counters.AddTraceSourceCounter("core", "EVT", "", "T", "N", "", "D", "u", true,
                                               false, 0, UINT64_MAX, false, 1.0f, false, 1));
    EXPECT_FALSE(counters.RegisterCountersForComponent(&core, 0, "core"));
    EXPECT_EQ(counters.errorText(),
              "Counter callback registration failed: EVT : no capture writer or time source\n");
    EXPECT_FALSE(source.hasCallbacks());

    kvhost::TempDirectory scratch;
    std::ostringstream errors;
    CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors, errors);
    TimeSource timeSource;
    counters.SetCaptureWriter(&writer);
    counters.SetTimeSource(&timeSource);
    counters.ReleaseCounters();
    EXPECT_FALSE(writer.isOpen());
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

}  // namespace
}  // namespace vantric::testing
