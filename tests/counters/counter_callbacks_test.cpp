// User counters counting host trace events into a real capture, read back
// with the capture reader: intervals, windows, conditions, event times and
// the host's refusals.
#include "counters/counter_callbacks.h"

#include <gtest/gtest.h>

#include "counter_capture_fixture.h"
#include "support/test_support.h"

namespace vantric::testing {
namespace {

using CounterCallbacksTest = CounterCaptureTest;

// A value every `interval` counted events, counted from the start up to, but
// not at, the end; a count short of the interval stays unwritten.
TEST_F(CounterCallbacksTest, WritesTheCountEveryIntervalEventsInsideTheWindow) {
    kvhost::TraceComponent& memory = sim.AddTraceComponent("memory");
    kvhost::TraceSource& reads = memory.AddSource("READ", "", {kvhost::Unsigned("ADDR", 8)});
    AddCounter("memory", "READ", "", 3);
    AddCounter("memory", "READ", "", 1, 100, 200, "Windowed");
    ASSERT_TRUE(Register(memory, 1));
    for (uint64_t t : {30, 60, 99, 100, 150, 199, 200, 300}) EmitAt(reads, t);
    EXPECT_EQ(FinishValues(), (CounterValues{{99, 1, 3, 3}, {100, 1, 4, 1}, {150, 1, 4, 1},
                                             {199, 1, 3, 3}, {199, 1, 4, 1}}));
}

// An every-component counter keeps one count over all components, each value
// with the core of the event that reached the interval; a named counter
// counts only its component's events; counters of one name and type share
// a description.
TEST_F(CounterCallbacksTest, CountsEachComponentIntoItsRecords) {
    kvhost::TraceComponent& a = sim.AddTraceComponent("a");
    kvhost::TraceComponent& b = sim.AddTraceComponent("b");
    kvhost::TraceComponent& other = sim.AddTraceComponent("other");
    kvhost::TraceSource& readsA = a.AddSource("READ", "", {});
    kvhost::TraceSource& readsB = b.AddSource("READ", "", {});
    other.AddSource("WRITE", "", {});
    AddCounter("", "READ", "", 2, 0, UINT64_MAX, "Reads");
    AddCounter("b", "READ", "", 1, 0, UINT64_MAX, "Reads");
    AddCounter("b", "READ", "", 1, 0, UINT64_MAX, "Other");
    ASSERT_TRUE(Register(a, 0) && Register(b, 1) && Register(other, 0));
    EXPECT_EQ(counters.callbacks().contextCount(), 4u);  // "other" has no READ source
    for (auto [source, t] : {std::pair{&readsA, 10}, {&readsB, 20}, {&readsB, 30}, {&readsA, 40}}) {
        EmitAt(*source, t);
    }
    rcf::Capture capture = Finish();
    EXPECT_EQ(Values(capture), (CounterValues{{20, 1, 3, 1}, {20, 1, 4, 1}, {20, 1, 3, 2},
                                              {30, 1, 3, 1}, {30, 1, 4, 1}, {40, 0, 3, 2}}));
    ASSERT_EQ(capture.counters.size(), 2u);
    EXPECT_EQ(std::tuple(capture.counters[0].key, capture.counters[0].name), std::tuple(3u, "Reads"));
    EXPECT_EQ(std::tuple(capture.counters[1].key, capture.counters[1].name), std::tuple(4u, "Other"));
    // The session lasts until the last simulated time stamped.
    ASSERT_TRUE(capture.sessionXml);
    EXPECT_NE(capture.sessionXml->find("duration='40'"), std::string::npos);
    EXPECT_EQ(counters.callbacks().contextCount(), 0u);
    EXPECT_TRUE(counters.callbacks().recordsByComponent().empty());
}

struct ConditionCase {
    std::string condition;
    const char* stdoutText;
    const char* errorText;          // "" when the condition applies
    std::vector<uint64_t> counted;  // times of the events counted
};

class CounterConditionTest : public CounterCaptureTest,
                             public ::testing::WithParamInterface<ConditionCase> {};

// A condition that cannot be applied is reported and dropped: the counter
// then counts every event of its source. On a small stack, so that a
// condition handled recursively without a depth bound crashes.
TEST_P(CounterConditionTest, SelectsTheEventsThatCount) {
    vantric::testing::RunOnSmallStack([&] {
        const ConditionCase& c = GetParam();
        kvhost::TraceComponent& core = sim.AddTraceComponent("core");
        kvhost::TraceSource& source =
            core.AddSource("EVT", "",
                           {kvhost::Unsigned("VALUE", 8), kvhost::Unsigned("MODE", 1),
                            kvhost::LocalTime(), kvhost::Float("RATIO"), kvhost::Text("NAME")});
        AddCounter("core", "EVT", c.condition);
        kvhost::StreamCapture console;
        EXPECT_EQ(Register(core, 0), *c.errorText == '\0');
        EXPECT_EQ(console.out(), c.stdoutText);
        EXPECT_EQ(counters.errorText(), c.errorText);
        EmitAt(source, 10, {{"VALUE", 5000}, {"MODE", 1}, {"RATIO", 2.0}, {"NAME", "on"}});
        EmitAt(source, 20, {{"VALUE", 5000}, {"MODE", 2}, {"RATIO", 1.5}, {"NAME", "on"}});
        EmitAt(source, 30, {{"VALUE", 4096}, {"MODE", 1}, {"RATIO", 2.0}, {"NAME", "off"}});
        EmitAt(source, 40, {{"VALUE", 1u << 20}, {"MODE", 1}, {"RATIO", 1.0}, {"NAME", "on"}});
        CounterValues expected;
        for (uint64_t t : c.counted) expected.emplace_back(t, 0, 3, 1);
        EXPECT_EQ(FinishValues(), expected);
    });
}

// Each "&&" of a chain adds a level: "RATIO > 1.5" is two, so `terms`
// comparisons make terms + 1 levels.
std::string Chain(int terms) {
    std::string text = "RATIO > 1.5";
    for (int i = 1; i < terms; ++i) text += " && MODE == 1";
    return text;
}

const char* const kTooDeep =
    "Cannot apply condition on the counter: EVT : condition nested too deeply (more than 256 "
    "levels)\n";

INSTANTIATE_TEST_SUITE_P(
    Conditions, CounterConditionTest,
    ::testing::Values(
        ConditionCase{"VALUE > 4096 && MODE == 1", "", "", {10, 40}},
        // Doubles and texts are answered by the condition tree itself.
        ConditionCase{"RATIO > 1.5 && NAME == \"on\"", "", "", {10}},
        ConditionCase{"VALUE > 4096 && SPEED == 1", "Condition: SPEED field not found.\n",
                      "Cannot apply \"((VALUE>4096)&&(SPEED==1))\" condition on the counter\n",
                      {10, 20, 30, 40}},
        ConditionCase{"VALUE == 1.5",
                      "Data type mismatch. op:(VALUE==1.5) :    op1 type:6 op2 type:b\n",
                      "Cannot apply \"(VALUE==1.5)\" condition on the counter\n", {10, 20, 30, 40}},
        // One that does not parse counts every event silently.
        ConditionCase{"( VALUE == 5", "", "", {10, 20, 30, 40}},
        // The deepest tree allowed still answers (through the tree, as it
        // compares doubles); one level more is refused, as is a long chain.
        ConditionCase{Chain(255), "", "", {10, 30}},
        ConditionCase{Chain(256), "", kTooDeep, {10, 20, 30, 40}},
        ConditionCase{Chain(10000), "", kTooDeep, {10, 20, 30, 40}}));

// The event's LOCAL_TIME ticks offset the time of its value, read at the
// field's width and signedness. It is each source's only field, so the host
// gives it the value index 0: that must still be read.
TEST_F(CounterCallbacksTest, LocalTimeOffsetsTheEventTime) {
    kvhost::FieldShape flagged = kvhost::Signed("LOCAL_TIME", 2);
    flagged.sizeFlags = 0x8001;  // host flags in the upper bits of Size() carry no size
    const std::pair<kvhost::FieldShape, uint64_t> fields[] = {
        {kvhost::Signed("LOCAL_TIME", 4), 0xFFFFFFFF}, {flagged, 0xFFFE},
        {kvhost::Signed("LOCAL_TIME", 8), uint64_t(-5)},
        {kvhost::Unsigned("LOCAL_TIME", 4), 0xFFFFFFFF}};
    kvhost::TraceComponent& core = sim.AddTraceComponent("core");
    std::vector<kvhost::TraceSource*> sources;
    for (const auto& [field, raw] : fields) {
        sources.push_back(&core.AddSource("T" + std::to_string(sources.size()), "", {field}));
        AddCounter("core", sources.back()->name(), "", 1, 0, UINT64_MAX, sources.back()->name());
    }
    ASSERT_TRUE(Register(core, 0));
    sim.SetTicks(1000);
    for (size_t i = 0; i < sources.size(); ++i) {
        ASSERT_EQ(sources[i]->eventClassAt(0).GetValueIndex("LOCAL_TIME"), 0u);
        sources[i]->ClearValues();
        sources[i]->SetInteger(0, fields[i].second);
        sources[i]->Dispatch();
    }
    EXPECT_EQ(FinishValues(), (CounterValues{{999, 0, 3, 1}, {998, 0, 4, 1}, {995, 0, 5, 1},
                                             {1000 + 0xFFFFFFFFull, 0, 6, 1}}));
}

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
    EXPECT_EQ(FinishValues(), (CounterValues{{10, 0, 5, 1}}));
}

}  // namespace
}  // namespace vantric::testing
