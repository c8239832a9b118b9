// Reading the counters file into counter records and descriptions.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "counters/counter_set.h"
#include "kv_test_support.h"

namespace vantric {
namespace {

class CountersConfigTest : public ::testing::Test {
protected:
    // Writes `text` as the counters file and reads it into `set`.
    bool Read(const std::string& text, CounterSet& set) {
        std::ofstream(path) << text;
        return set.ReadCountersConfig(path);
    }
    bool Read(const std::string& text) { return Read(text, counters); }

    // The record and its description, in one line.
    std::string Describe(const CounterRecord& r) {
        const CounterDescription& d = counters.descriptions().at(r.key);
        std::ostringstream out;
        out << r.component << ' ' << r.sourceName << " [" << r.condition << "] key " << r.key
            << " count " << r.count << " every " << r.interval << " from " << r.startTime
            << " to " << r.endTime << " | " << d.title << '/' << d.name << '/' << d.type << '/'
            << d.display << '/' << d.units << " avg " << d.averageSelection << " perCpu "
            << d.perCpu << " pct " << d.percentage << " x" << d.multiplier << " avgCores "
            << d.averageCores << " derived " << d.derived << " [" << d.renderingType << "]";
        return out.str();
    }

    kvhost::TempDirectory scratch;
    std::string path = (scratch.path() / "counters.json").string();
    CounterSet counters;
};

// A complete element, with `extra` members added (in place of the units) or
// `drop` removed.
std::string Element(const std::string& extra = "", const std::string& drop = "") {
    std::string text = "{";
    for (std::string member :
         {"\"Component\": \"cpu0\"", "\"ZVTSrcName\": \"INST\"", "\"Title\": \"Cache\"",
          "\"CounterName\": \"Misses\"", "\"Display\": \"Accumulate\""}) {
        if (drop.empty() || member.find("\"" + drop + "\"") != 0) text += member + ", ";
    }
    return text + (extra.empty() ? "\"Units\": \"units\"" : extra) + "}";
}

// Each refused element is one message naming its number; the others stay.
TEST_F(CountersConfigTest, RefusesAnElementWithItsMessage) {
    const std::pair<std::string, std::string> cases[] = {
        {Element("\"StartTime\": 10, \"EndTime\": 5"), "Start and end time specified"},
        {Element("\"Path\": \"cpu0\""),
         "The key \"Path\" should be renamed as \"Component\""},
        {Element("", "Component"), "ZVT Component"},
        {Element("\"Component\": 7", "Component"), "ZVT Component"},
        {Element("", "ZVTSrcName"), "ZVTSrcName"},
        {Element("", "Title"), "Title"},
        {Element("", "CounterName"), "CounterName"},
        {Element("", "Display"), "Display value"},
        {Element("\"MessageInterval\": 0"), "MessageInterval"},
        // The first missing key in table order is the one reported.
        {"{\"Component\": \"cpu0\", \"Display\": \"x\"}", "ZVTSrcName"},
        // The window is checked before anything else.
        {"{\"StartTime\": 2, \"EndTime\": 1}", "Start and end time specified"},
        // An element that is not an object has no members.
        {"5", "ZVT Component"},
        {"[]", "ZVT Component"}};
    for (const auto& [element, what] : cases) {
        CounterSet set;
        EXPECT_FALSE(Read("[" + Element() + ", " + element + ", " + Element() + "]", set));
        EXPECT_EQ(set.errorText(),
                  "Counter setup error : " + what + " for the counter # 2 is invalid\n");
        EXPECT_EQ(set.recordsByComponent().at("cpu0").size(), 2u) << element;
    }
}

// Absent keys and values of the wrong JSON type take the defaults; one name
// and type share one description.
TEST_F(CountersConfigTest, ReadsEachElementIntoARecord) {
    ASSERT_TRUE(Read("[" + Element() + R"(, {"Component": "cpu1", "ZVTSrcName": "EXCEPTION",
        "Condition": "VECTOR == 3", "Title": "Core", "CounterName": "Faults", "Type": "faults",
        "Display": "Maximum", "Units": "faults", "AverageSelection": false, "PerCpu": true,
        "StartTime": 100, "EndTime": 900, "MessageInterval": 25}, )" +
                     Element("\"CounterName\": \"Odd\", \"StartTime\": -5, \"EndTime\": \"late\", "
                             "\"Units\": 3, \"PerCpu\": 1, \"MessageInterval\": 2.5, "
                             "\"Path\": 4, \"Type\": null",
                             "CounterName") +
                     ", " + Element("\"Component\": \"\", \"StartTime\": 7, \"EndTime\": 7", "Component") +
                     ", " + Element("\"Component\": \"cpu1\"", "Component") + "]"))
        << counters.errorText();
    ASSERT_EQ(counters.descriptions().size(), 3u);
    const auto& records = counters.recordsByComponent();
    ASSERT_EQ(records.size(), 3u);
    ASSERT_EQ(records.at("cpu0").size(), 2u);
    ASSERT_EQ(records.at("cpu1").size(), 2u);
    const char* kDefaults = "avg 1 perCpu 0 pct 0 x1 avgCores 0 derived 0 []";
    EXPECT_EQ(Describe(*records.at("cpu0")[0]),
              "cpu0 INST [] key 0 count 0 every 1 from 0 to 18446744073709551615 | "
              "Cache/Misses/CacheMisses/Accumulate/units " + std::string(kDefaults));
    // MessageInterval is an interval, never a percentage flag.
    EXPECT_EQ(Describe(*records.at("cpu1")[0]),
              "cpu1 EXCEPTION [VECTOR == 3] key 1 count 0 every 25 from 100 to 900 | "
              "Core/Faults/faults/Maximum/faults avg 0 perCpu 1 pct 0 x1 avgCores 0 derived 0 []");
    EXPECT_EQ(Describe(*records.at("cpu0")[1]),
              "cpu0 INST [] key 2 count 0 every 1 from 0 to 18446744073709551615 | "
              "Cache/Odd/CacheOdd/Accumulate/units " + std::string(kDefaults));
    EXPECT_EQ(Describe(*records.at("*")[0]),
              "* INST [] key 0 count 0 every 1 from 7 to 7 | "
              "Cache/Misses/CacheMisses/Accumulate/units " + std::string(kDefaults));
    EXPECT_EQ(records.at("cpu1")[1]->key, 0u);
}

struct WindowCase {
    uint64_t windowStart, windowEnd, startTime, endTime;
    uint64_t expectedStart, expectedEnd;
};

TEST_F(CountersConfigTest, ClipsTheCounterToTheTraceWindow) {
    for (const WindowCase& c : {WindowCase{1000, UINT64_MAX, 0, 5000, 1000, 5000},
                                WindowCase{0, 500, 800, 2000, 800, 800},
                                WindowCase{100, 200, 0, UINT64_MAX, 100, 200},
                                WindowCase{100, 200, 150, 160, 150, 160}}) {
        CounterSet set;
        set.SetWindowStart(c.windowStart);
        set.SetWindowEnd(c.windowEnd);
        ASSERT_TRUE(Read("[" + Element("\"StartTime\": " + std::to_string(c.startTime) +
                                       ", \"EndTime\": " + std::to_string(c.endTime)) + "]",
                         set));
        const CounterRecord& record = *set.recordsByComponent().at("cpu0").at(0);
        EXPECT_EQ(record.startTime, c.expectedStart) << c.startTime;
        EXPECT_EQ(record.endTime, c.expectedEnd) << c.endTime;
    }
}

TEST_F(CountersConfigTest, UnreadableMalformedOrNonArrayFileIsOneMessage) {
    const std::string missing = (scratch.path() / "absent.json").string();
    EXPECT_FALSE(counters.ReadCountersConfig(missing));
    for (const char* text : {"[{\"Component\": ", "", "[1 2]"}) EXPECT_FALSE(Read(text)) << text;
    const std::string stream = "Counters setup failed : Cannot create JSON stream for ";
    EXPECT_EQ(counters.errorText(), stream + missing + "\n" + stream + path + "\n" + stream +
                                        path + "\n" + stream + path + "\n");
    counters.ClearErrorText();
    EXPECT_FALSE(Read(Element()));
    EXPECT_EQ(counters.errorText(), "Counters setup failed : " + path +
                                        " : tried to access value of type object as array\n");
    EXPECT_TRUE(counters.recordsByComponent().empty());
}

TEST_F(CountersConfigTest, CountersCannotBeReadAfterRegistration) {
    EXPECT_FALSE(counters.registered());
    EXPECT_TRUE(counters.RegisterCountersForComponent(nullptr, 0, "cpu0"));
    EXPECT_TRUE(counters.registered());
    EXPECT_FALSE(Read("[" + Element() + "," + Element() + "]"));
    EXPECT_EQ(counters.errorText(),
              "Cannot add counters after ZVT callback registeration"
              "Cannot add counters after ZVT callback registeration");
    EXPECT_TRUE(counters.descriptions().empty());
    EXPECT_TRUE(counters.recordsByComponent().empty());
}

}  // namespace
}  // namespace vantric
