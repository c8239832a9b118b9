// The counter set: one description per counter, the counters file turned
// into records, the trace window, and the capture it needs before counting.
#include "counters/counter_set.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "counter_capture_fixture.h"

namespace vantric::testing {
namespace {

// Keys follow creation order; a counter is identified by its name followed
// directly by its type, and the first one added keeps its values.
TEST(CounterSetTest, AddCounterKeys) {
    CounterSet set;
    const auto add = [&](const std::string& name, const std::string& type) {
        return set.AddCounter("t", name, type, "d", "u", true, false, false, 1.0f, false, false, "");
    };
    EXPECT_EQ(set.AddCounter("First", "A", "X", "d1", "u1", true, true, true, 2.0f, true, true, "r"),
              0u);
    EXPECT_EQ(add("A", "Y"), 1u);  // other type
    EXPECT_EQ(add("B", "X"), 2u);  // other name
    EXPECT_EQ(add("AB", "X"), 3u);
    EXPECT_EQ(add("A", "BX"), 3u);  // "A"+"BX" == "AB"+"X"
    EXPECT_EQ(add("A", "X"), 0u);
    ASSERT_EQ(set.descriptions().size(), 4u);
    for (uint32_t key = 0; key < 4; ++key) EXPECT_EQ(set.descriptions()[key].key, key);
    const CounterDescription& d = set.descriptions()[0];
    EXPECT_EQ(d.title + d.name + d.type + d.display + d.units + d.renderingType, "FirstAXd1u1r");
    EXPECT_TRUE(d.averageSelection && d.perCpu && d.percentage && d.averageCores && d.derived);
    EXPECT_EQ(d.multiplier, 2.0f);
}

// The record and its description, in one line.
std::string Describe(const CounterSet& set, const CounterRecord& r) {
    const CounterDescription& d = set.descriptions().at(r.key);
    std::ostringstream out;
    out << r.component << ' ' << r.sourceName << " [" << r.condition << "] key " << r.key << ' '
        << r.count << '/' << r.interval << ' ' << r.startTime << '-' << r.endTime << " | " << d.title
        << '/' << d.name << '/' << d.type << '/' << d.display << '/' << d.units << ' '
        << d.averageSelection << d.perCpu << d.percentage << d.averageCores << d.derived << " x"
        << d.multiplier << " [" << d.renderingType << "]";
    return out.str();
}

// Refused entries are reported in file order and the others stay; values of
// the wrong JSON type are not given.
TEST(CounterSetTest, ReadsTheCountersFileIntoRecords) {
    TempDirectory scratch;
    CounterSet set;
    EXPECT_FALSE(set.ReadCountersConfig(scratch.write("c.json", R"([
        {"Component": "cpu1", "ZVTSrcName": "EXCEPTION", "Condition": "VECTOR == 3",
         "Title": "Core", "CounterName": "Faults", "Type": "f", "Display": "Max", "Units": "x",
         "AverageSelection": false, "PerCpu": true, "StartTime": 100, "EndTime": 100,
         "MessageInterval": 4294967296},
        {"Component": "cpu0", "ZVTSrcName": "INST", "Title": "Core", "Display": "D"},
        {"Component": "", "ZVTSrcName": "INST", "Title": "T", "CounterName": "N", "Display": "D",
         "StartTime": -5, "EndTime": "late", "Units": 3, "PerCpu": 1, "AverageSelection": 0,
         "MessageInterval": 2.5, "Path": 4, "Type": null},
        {"ZVTSrcName": "INST"}])")));
    EXPECT_EQ(set.errorText(), "Counter setup error : CounterName for the counter # 2 is invalid\n"
                               "Counter setup error : ZVT Component for the counter # 4 is invalid\n");
    const auto& records = set.callbacks().recordsByComponent();
    ASSERT_EQ(records.size(), 2u);
    // MessageInterval is an interval, never a percentage flag.
    EXPECT_EQ(Describe(set, *records.at("cpu1").at(0)),
              "cpu1 EXCEPTION [VECTOR == 3] key 0 0/4294967296 100-100 | "
              "Core/Faults/f/Max/x 01000 x1 []");
    EXPECT_EQ(Describe(set, *records.at("*").at(0)),
              "* INST [] key 1 0/1 0-18446744073709551615 | T/N/TN/D/units 10000 x1 []");
    EXPECT_FALSE(set.ReadCountersConfig((scratch.path() / "absent.json").string()));
}

TEST(CounterSetTest, ClipsCountersToTheTraceWindow) {
    // Trace window, counter window, clipped window.
    const uint64_t cases[][6] = {{1000, UINT64_MAX, 0, 5000, 1000, 5000}, {0, 500, 800, 2000, 800, 800},
                                 {100, 200, 0, UINT64_MAX, 100, 200}, {100, 200, 150, 160, 150, 160}};
    for (const auto& c : cases) {
        CounterSet set;
        set.SetWindowStart(c[0]);
        set.SetWindowEnd(c[1]);
        ASSERT_TRUE(set.AddTraceSourceCounter("cpu0", "S", "", "T", "N", "", "D", "u", true, false,
                                              c[2], c[3], false, 1.0f, false, 1));
        const CounterRecord& record = *set.callbacks().recordsByComponent().at("cpu0").at(0);
        EXPECT_EQ(std::tuple(record.startTime, record.endTime), std::tuple(c[4], c[5]));
    }
}

// A counter added after registration would miss the components done.
TEST(CounterSetTest, CountersCannotBeAddedAfterRegistration) {
    TempDirectory scratch;
    CounterSet set;
    EXPECT_TRUE(set.RegisterCountersForComponent(nullptr, 0, "cpu0"));
    EXPECT_FALSE(set.ReadCountersConfig(scratch.write(
        "c.json", R"([{"Component": "c", "ZVTSrcName": "S", "Title": "T", "CounterName": "N",
                       "Display": "D"}])")));
    EXPECT_EQ(set.errorText(), "Cannot add counters after ZVT callback registeration");
    EXPECT_TRUE(set.descriptions().empty() && set.callbacks().recordsByComponent().empty());
    set.ClearErrorText();
    EXPECT_EQ(set.errorText(), "");
}

// Without a capture writer and time source nothing registers.
TEST(CounterSetTest, RefusesToCountWithoutACapture) {
    kvhost::TraceComponent core("core");
    kvhost::TraceSource& source = core.AddSource("EVT", "", {});
    CounterSet counters;
    EXPECT_EQ(counters.AddSoftwareCounter("T", "N", "Y", "", "", true, true, 0, UINT64_MAX, false,
                                          1.0f, false, 1, false, ""), nullptr);
    ASSERT_TRUE(counters.AddTraceSourceCounter("core", "EVT", "", "T", "N", "", "D", "u", true,
                                               false, 0, UINT64_MAX, false, 1.0f, false, 1));
    EXPECT_FALSE(counters.RegisterCountersForComponent(&core, 0, "core"));
    EXPECT_EQ(counters.errorText(),
              "Counter callback registration failed: EVT : no capture writer or time source\n");
    EXPECT_FALSE(source.hasCallbacks());
}

using CounterSetExampleTest = CounterCaptureTest;

// The shipped counters file counts on two processors as its README explains.
TEST_F(CounterSetExampleTest, CountsAProcessorsEvents) {
    ASSERT_TRUE(counters.ReadCountersConfig(std::string(VT_SOURCE_DIR) +
                                            "/examples/counters/counters.json"))
        << counters.errorText();
    ASSERT_EQ(counters.descriptions().size(), 4u);
    kvhost::Processor& cpu0 = sim.AddProcessor("cluster0.cpu0", true);
    kvhost::Processor& cpu1 = sim.AddProcessor("cluster0.cpu1", true);
    ASSERT_TRUE(Register(cpu0, 0) && Register(cpu1, 1)) << counters.errorText();
    sim.SetTicks(100);
    cpu1.EmitException(0x1000, 3);
    cpu1.EmitException(0x1000, 4);  // not a data abort
    cpu0.EmitSyscall(1);            // HVC
    cpu0.EmitSyscall(2);            // SMC: not counted
    for (int i = 0; i < 10; ++i) cpu1.EmitModeChange(i % 2 == 0 ? 5 : 0);
    for (int i = 0; i < 10; ++i) cpu0.EmitModeChange(5);
    EXPECT_EQ(FinishValues(), (CounterValues{{100, 1, 3, 1}, {100, 0, 5, 1}, {100, 0, 6, 10}}));
}

}  // namespace
}  // namespace vantric::testing
