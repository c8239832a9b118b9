// User counters counting host trace events into a real capture, read back
// with the capture reader.
#include <gtest/gtest.h>

#include "counter_capture_fixture.h"

namespace vantric::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using CounterCallbacksTest = CounterCaptureTest;

// ---- intervals and windows ----

struct IntervalCase {
    uint64_t interval;
    std::vector<CounterValue> expected;  // for seven events at 10, 20, ... 70
};

class CounterIntervalTest : public CounterCaptureTest,
                            public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(CounterIntervalTest, WritesTheCountEveryIntervalEvents) {
    kvhost::TraceComponent& memory = sim.AddTraceComponent("memory");
    kvhost::TraceSource& reads = memory.AddSource("READ", "", {kvhost::Unsigned("ADDR", 8)});
    AddCounter("memory", "READ", "", GetParam().interval);
    ASSERT_TRUE(Register(memory, 1));
    for (uint64_t t = 10; t <= 70; t += 10) EmitAt(reads, t);
    EXPECT_EQ(FinishValues(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Intervals, CounterIntervalTest,
    ::testing::Values(IntervalCase{1, {{10, 1, 3, 1}, {20, 1, 3, 1}, {30, 1, 3, 1}, {40, 1, 3, 1},
                                       {50, 1, 3, 1}, {60, 1, 3, 1}, {70, 1, 3, 1}}},
                      // The seventh event's count stays unwritten at the end.
                      IntervalCase{3, {{30, 1, 3, 3}, {60, 1, 3, 3}}}));

TEST_F(CounterCallbacksTest, CountsFromTheStartUpToButNotAtTheEnd) {
    kvhost::TraceComponent& memory = sim.AddTraceComponent("memory");
    kvhost::TraceSource& reads = memory.AddSource("READ", "", {});
    AddCounter("memory", "READ", "", 1, 100, 200);
    ASSERT_TRUE(Register(memory, 0));
    for (uint64_t t : {99, 100, 150, 199, 200, 300}) EmitAt(reads, t);
    EXPECT_THAT(FinishValues(),
                ElementsAre(CounterValue{100, 0, 3, 1}, CounterValue{150, 0, 3, 1},
                            CounterValue{199, 0, 3, 1}));
}

TEST_F(CounterCallbacksTest, TraceWindowNarrowsTheCounterWindow) {
    counters.SetWindowStart(150);
    counters.SetWindowEnd(180);
    kvhost::TraceComponent& memory = sim.AddTraceComponent("memory");
    kvhost::TraceSource& reads = memory.AddSource("READ", "", {});
    AddCounter("memory", "READ", "", 1, 100, 200);
    ASSERT_TRUE(Register(memory, 0));
    for (uint64_t t : {149, 150, 179, 180}) EmitAt(reads, t);
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{150, 0, 3, 1}, CounterValue{179, 0, 3, 1}));
}

// ---- components ----

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

    EmitAt(readsA, 10);
    EmitAt(readsB, 20);  // reaches 2 on b: core 1
    EmitAt(readsB, 30);
    EmitAt(readsA, 40);  // reaches 2 on a: core 0
    EmitAt(readsA, 50);
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{20, 1, 3, 2}, CounterValue{40, 0, 3, 2}));
}

TEST_F(CounterCallbacksTest, NamedComponentCounterIgnoresOtherComponents) {
    kvhost::TraceComponent& a = sim.AddTraceComponent("a");
    kvhost::TraceComponent& b = sim.AddTraceComponent("b");
    kvhost::TraceSource& readsA = a.AddSource("READ", "", {});
    kvhost::TraceSource& readsB = b.AddSource("READ", "", {});
    AddCounter("b", "READ");
    ASSERT_TRUE(Register(a, 0));
    ASSERT_TRUE(Register(b, 1));
    EmitAt(readsA, 10);
    EmitAt(readsB, 20);
    EXPECT_FALSE(readsA.hasCallbacks());
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{20, 1, 3, 1}));
}

// ---- conditions ----

TEST_F(CounterCallbacksTest, ConditionSelectsTheEventsThatCount) {
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    kvhost::TraceSource& source = core.AddSource("EVT", "", ValueModeFields());
    AddCounter("core", "EVT", "VALUE > 4096 && MODE == 1");
    ASSERT_TRUE(Register(core, 0)) << counters.errorText();
    EmitAt(source, 10, {{"VALUE", 5000}, {"MODE", 1}});
    EmitAt(source, 20, {{"VALUE", 5000}, {"MODE", 2}});
    EmitAt(source, 30, {{"VALUE", 4096}, {"MODE", 1}});
    EmitAt(source, 40, {{"VALUE", 1u << 20}, {"MODE", 1}});
    EXPECT_EQ(counters.errorText(), "");
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 0, 3, 1}, CounterValue{40, 0, 3, 1}));
}

// Conditions on doubles and texts are answered by the condition tree itself.
TEST_F(CounterCallbacksTest, ConditionsOnDoublesAndTextsCount) {
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    kvhost::TraceSource& source =
        core.AddSource("EVT", "", {kvhost::Float("RATIO"), kvhost::Text("NAME")});
    AddCounter("core", "EVT", "RATIO > 1.5 && NAME == \"on\"");
    ASSERT_TRUE(Register(core, 0)) << counters.errorText();
    EmitAt(source, 10, {{"RATIO", 2.0}, {"NAME", "on"}});
    EmitAt(source, 20, {{"RATIO", 1.5}, {"NAME", "on"}});
    EmitAt(source, 30, {{"RATIO", 2.0}, {"NAME", "off"}});
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 0, 3, 1}));
}

struct UnappliedCase {
    const char* condition;
    const char* stdoutText;
    const char* errorText;
};

class UnappliedConditionTest : public CounterCaptureTest,
                               public ::testing::WithParamInterface<UnappliedCase> {};

// A condition that cannot be applied is reported and dropped: the counter
// then counts every event of its source.
TEST_P(UnappliedConditionTest, IsReportedAndEveryEventCounts) {
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    kvhost::TraceSource& source = core.AddSource("EVT", "", ValueModeFields());
    AddCounter("core", "EVT", GetParam().condition);
    kvhost::StreamCapture console;
    EXPECT_FALSE(Register(core, 0));
    EXPECT_EQ(console.out(), GetParam().stdoutText);
    EXPECT_EQ(counters.errorText(), GetParam().errorText);
    EmitAt(source, 10, {{"VALUE", 1}, {"MODE", 7}});
    EmitAt(source, 20);
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 0, 3, 1}, CounterValue{20, 0, 3, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, UnappliedConditionTest,
    ::testing::Values(
        UnappliedCase{"VALUE > 4096 && SPEED == 1", "Condition: SPEED field not found.\n",
                      "Cannot apply \"((VALUE>4096)&&(SPEED==1))\" condition on the counter\n"},
        UnappliedCase{"VALUE == 1.5",
                      "Data type mismatch. op:(VALUE==1.5) :    op1 type:6 op2 type:b\n",
                      "Cannot apply \"(VALUE==1.5)\" condition on the counter\n"}));

TEST_F(CounterCallbacksTest, ConditionThatDoesNotParseCountsEveryEventSilently) {
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    kvhost::TraceSource& source = core.AddSource("EVT", "", ValueModeFields());
    AddCounter("core", "EVT", "( VALUE == 5");
    kvhost::StreamCapture console;
    EXPECT_TRUE(Register(core, 0));
    EXPECT_EQ(console.out(), "");
    EXPECT_EQ(counters.errorText(), "");
    EmitAt(source, 10, {{"VALUE", 1}});
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 0, 3, 1}));
}

// ---- LOCAL_TIME ----

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

INSTANTIATE_TEST_SUITE_P(
    Widths, LocalTimeTest,
    ::testing::Values(LocalTimeCase{kvhost::Signed("LOCAL_TIME", 4), 0xFFFFFFFF, 999},
                      LocalTimeCase{kvhost::Signed("LOCAL_TIME", 4), 0x7FFFFFFF, 1000 + 0x7FFFFFFFull},
                      LocalTimeCase{kvhost::Signed("LOCAL_TIME", 2), 0xFFFE, 998},
                      LocalTimeCase{kvhost::Signed("LOCAL_TIME", 8), uint64_t(-5), 995},
                      LocalTimeCase{kvhost::Unsigned("LOCAL_TIME", 4), 0xFFFFFFFF, 1000 + 0xFFFFFFFFull},
                      LocalTimeCase{kvhost::Unsigned("LOCAL_TIME", 1), 0xFF, 1255},
                      // Host flags in the upper bits of Size() carry no size.
                      LocalTimeCase{[] {
                                        kvhost::FieldSpec f = kvhost::Signed("LOCAL_TIME", 4);
                                        f.sizeFlags = 0x8001;
                                        return f;
                                    }(),
                                    0xFFFFFFFE, 998}));

TEST_F(CounterCallbacksTest, SourceWithoutLocalTimeUsesTheSchedulerTime) {
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    kvhost::TraceSource& source = core.AddSource("EVT", "", {kvhost::Signed("OFFSET", 8)});
    AddCounter("core", "EVT", "OFFSET == -5");
    ASSERT_TRUE(Register(core, 0));
    EmitAt(source, 1000, {{"OFFSET", -5}});
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{1000, 0, 3, 1}));
}

// ---- registration ----

TEST_F(CounterCallbacksTest, HostRefusalsAreReportedPerSource) {
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    core.AddSource("A", "", {}).SetFailRegisterCallback(true);
    core.AddSource("B", "", {}).SetFailCreateEventClass(true);
    kvhost::TraceSource& c = core.AddSource("C", "", {});
    AddCounter("core", "A", "", 1, 0, UINT64_MAX, "A");
    AddCounter("core", "B", "", 1, 0, UINT64_MAX, "B");
    AddCounter("core", "C", "", 1, 0, UINT64_MAX, "C");
    EXPECT_FALSE(Register(core, 0));
    EXPECT_EQ(counters.errorText(),
              "Counter callback registration failed: A : RegisterCallback failed for A\n"
              "Counter callback registration failed: B : Unable to register event class for B "
              "trace source.\n");
    EmitAt(c, 10);  // the counters after a failure are still registered
    EXPECT_THAT(FinishValues(), ElementsAre(CounterValue{10, 0, 5, 1}));
}

TEST_F(CounterCallbacksTest, CountersAddedAfterRegistrationAreRefused) {
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    core.AddSource("EVT", "", {});
    EXPECT_FALSE(counters.registered());
    ASSERT_TRUE(Register(core, 0));
    EXPECT_TRUE(counters.registered());
    EXPECT_FALSE(counters.AddTraceSourceCounter("core", "EVT", "", "T", "N", "", "D", "u", true,
                                                false, 0, UINT64_MAX, false, 1.0f, false, 1));
    EXPECT_EQ(counters.errorText(), "Cannot add counters after ZVT callback registeration");
    EXPECT_TRUE(counters.descriptions().empty());
    EXPECT_TRUE(counters.recordsByComponent().at("core").empty());
}

// ---- release ----

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

TEST(CounterReleaseTest, WritesNoDescriptionsWithoutAnOpenCapture) {
    kvhost::TempDirectory scratch;
    std::ostringstream errors;
    CaptureWriter writer(CaptureWriter::kDefaultRotationRecords, errors, errors);
    TimeSource timeSource;
    CounterSet counters;
    counters.SetCaptureWriter(&writer);
    counters.SetTimeSource(&timeSource);
    counters.AddCounter("T", "N", "Y", "D", "u", true, false, false, 1.0f, false, false, "");
    counters.ReleaseCounters();
    EXPECT_FALSE(writer.isOpen());
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

TEST(CounterRegistrationTest, RefusesWithoutCaptureWriterOrTimeSource) {
    kvhost::Simulation sim;
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    kvhost::TraceSource& source = core.AddSource("EVT", "", {});
    CounterSet counters;
    ASSERT_TRUE(counters.AddTraceSourceCounter("core", "EVT", "", "T", "N", "", "D", "u", true,
                                               false, 0, UINT64_MAX, false, 1.0f, false, 1));
    EXPECT_FALSE(counters.RegisterCountersForComponent(&core, 0, "core"));
    EXPECT_EQ(counters.errorText(),
              "Counter callback registration failed: EVT : no capture writer or time source\n");
    EXPECT_FALSE(source.hasCallbacks());
}

}  // namespace
}  // namespace vantric::testing
