// Reading the counters file into counter records and descriptions.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "counters/counter_set.h"
#include "kv_test_support.h"

namespace vantric {
namespace {

class CountersConfigTest : public ::testing::Test {
protected:
    // Writes `text` as the counters file and reads it.
    bool Read(const std::string& text) {
        std::ofstream(path) << text;
        return counters.ReadCountersConfig(path);
    }

    const CounterRecord& OnlyRecord(const std::string& component) {
        const auto& lists = counters.recordsByComponent();
        EXPECT_EQ(lists.count(component), 1u);
        EXPECT_EQ(lists.at(component).size(), 1u);
        return *lists.at(component).front();
    }

    kvhost::TempDirectory scratch;
    std::string path = (scratch.path() / "counters.json").string();
    CounterSet counters;
};

// A complete element, with `extra` members added or `drop` removed.
std::string Element(const std::string& extra = "", const std::string& drop = "") {
    std::string members[] = {"\"Component\": \"cpu0\"", "\"ZVTSrcName\": \"INST\"",
                             "\"Title\": \"Cache\"", "\"CounterName\": \"Misses\"",
                             "\"Display\": \"Accumulate\""};
    std::string text = "{";
    for (const std::string& member : members) {
        if (!drop.empty() && member.find("\"" + drop + "\"") == 0) continue;
        text += member + ", ";
    }
    text += extra.empty() ? "\"Units\": \"units\"" : extra;
    return text + "}";
}

struct RefusalCase {
    std::string element;
    std::string message;  // for element number 2
};

class CountersConfigRefusalTest : public CountersConfigTest,
                                  public ::testing::WithParamInterface<RefusalCase> {};

// Each refused element is one message naming its number; the others stay.
TEST_P(CountersConfigRefusalTest, RefusesTheElementWithItsMessage) {
    EXPECT_FALSE(Read("[" + Element() + ", " + GetParam().element + ", " + Element() + "]"));
    EXPECT_EQ(counters.errorText(), GetParam().message);
    EXPECT_EQ(counters.recordsByComponent().at("cpu0").size(), 2u);
}

const char kPrefix[] = "Counter setup error : ";

INSTANTIATE_TEST_SUITE_P(
    Elements, CountersConfigRefusalTest,
    ::testing::Values(
        RefusalCase{Element("\"StartTime\": 10, \"EndTime\": 5"),
                    std::string(kPrefix) +
                        "Start and end time specified for the counter # 2 is invalid\n"},
        RefusalCase{Element("\"Path\": \"cpu0\""),
                    std::string(kPrefix) +
                        "The key \"Path\" should be renamed as \"Component\" for the counter # 2 "
                        "is invalid\n"},
        RefusalCase{Element("", "Component"),
                    std::string(kPrefix) + "ZVT Component for the counter # 2 is invalid\n"},
        RefusalCase{Element("\"Component\": 7", "Component"),
                    std::string(kPrefix) + "ZVT Component for the counter # 2 is invalid\n"},
        RefusalCase{Element("", "ZVTSrcName"),
                    std::string(kPrefix) + "ZVTSrcName for the counter # 2 is invalid\n"},
        RefusalCase{Element("", "Title"),
                    std::string(kPrefix) + "Title for the counter # 2 is invalid\n"},
        RefusalCase{Element("", "CounterName"),
                    std::string(kPrefix) + "CounterName for the counter # 2 is invalid\n"},
        RefusalCase{Element("", "Display"),
                    std::string(kPrefix) + "Display value for the counter # 2 is invalid\n"},
        RefusalCase{Element("\"MessageInterval\": 0"),
                    std::string(kPrefix) + "MessageInterval for the counter # 2 is invalid\n"},
        // The first missing key in table order is the one reported.
        RefusalCase{"{\"Component\": \"cpu0\", \"Display\": \"x\"}",
                    std::string(kPrefix) + "ZVTSrcName for the counter # 2 is invalid\n"},
        // The window is checked before anything else.
        RefusalCase{"{\"StartTime\": 2, \"EndTime\": 1}",
                    std::string(kPrefix) +
                        "Start and end time specified for the counter # 2 is invalid\n"},
        // An element that is not an object has no members.
        RefusalCase{"5", std::string(kPrefix) + "ZVT Component for the counter # 2 is invalid\n"},
        RefusalCase{"[]", std::string(kPrefix) + "ZVT Component for the counter # 2 is invalid\n"}));

TEST_F(CountersConfigTest, AppliesTheDefaultsOfAbsentKeys) {
    ASSERT_TRUE(Read("[" + Element() + "]")) << counters.errorText();
    const CounterRecord& record = OnlyRecord("cpu0");
    EXPECT_EQ(record.key, 0u);
    EXPECT_EQ(record.count, 0u);
    EXPECT_EQ(record.interval, 1u);
    EXPECT_EQ(record.startTime, 0u);
    EXPECT_EQ(record.endTime, UINT64_MAX);
    EXPECT_EQ(record.sourceName, "INST");
    EXPECT_EQ(record.condition, "");
    ASSERT_EQ(counters.descriptions().size(), 1u);
    const CounterDescription& d = counters.descriptions()[0];
    EXPECT_EQ(d.title, "Cache");
    EXPECT_EQ(d.name, "Misses");
    EXPECT_EQ(d.type, "CacheMisses");
    EXPECT_EQ(d.display, "Accumulate");
    EXPECT_EQ(d.units, "units");
    EXPECT_TRUE(d.averageSelection);
    EXPECT_FALSE(d.perCpu);
    EXPECT_FALSE(d.percentage);
    EXPECT_EQ(d.multiplier, 1.0f);
    EXPECT_FALSE(d.averageCores);
    EXPECT_FALSE(d.derived);
    EXPECT_EQ(d.renderingType, "");
}

TEST_F(CountersConfigTest, ReadsEveryKeyGiven) {
    ASSERT_TRUE(Read(R"([{"Component": "cpu1", "ZVTSrcName": "EXCEPTION",
        "Condition": "VECTOR == 3", "Title": "Core", "CounterName": "Faults", "Type": "faults",
        "Display": "Maximum", "Units": "faults", "AverageSelection": false, "PerCpu": true,
        "StartTime": 100, "EndTime": 900, "MessageInterval": 25}])"))
        << counters.errorText();
    const CounterRecord& record = OnlyRecord("cpu1");
    EXPECT_EQ(record.interval, 25u);
    EXPECT_EQ(record.startTime, 100u);
    EXPECT_EQ(record.endTime, 900u);
    EXPECT_EQ(record.sourceName, "EXCEPTION");
    EXPECT_EQ(record.condition, "VECTOR == 3");
    const CounterDescription& d = counters.descriptions().at(0);
    EXPECT_EQ(d.type, "faults");
    EXPECT_EQ(d.display, "Maximum");
    EXPECT_EQ(d.units, "faults");
    EXPECT_FALSE(d.averageSelection);
    EXPECT_TRUE(d.perCpu);
    EXPECT_FALSE(d.percentage);  // MessageInterval is an interval, never a percentage flag
}

// Values of the wrong JSON type count as not given.
TEST_F(CountersConfigTest, WrongTypesFallBackToDefaults) {
    ASSERT_TRUE(Read("[" + Element("\"StartTime\": -5, \"EndTime\": \"late\", \"Units\": 3, "
                                   "\"PerCpu\": 1, \"MessageInterval\": 2.5, \"Path\": 4, "
                                   "\"Type\": null") +
                     "]"))
        << counters.errorText();
    const CounterRecord& record = OnlyRecord("cpu0");
    EXPECT_EQ(record.startTime, 0u);
    EXPECT_EQ(record.endTime, UINT64_MAX);
    EXPECT_EQ(record.interval, 1u);
    EXPECT_EQ(counters.descriptions().at(0).units, "units");
    EXPECT_FALSE(counters.descriptions().at(0).perCpu);
    EXPECT_EQ(counters.descriptions().at(0).type, "CacheMisses");
}

TEST_F(CountersConfigTest, EqualStartAndEndAreAccepted) {
    ASSERT_TRUE(Read("[" + Element("\"StartTime\": 7, \"EndTime\": 7") + "]"));
    EXPECT_EQ(OnlyRecord("cpu0").startTime, 7u);
    EXPECT_EQ(OnlyRecord("cpu0").endTime, 7u);
}

TEST_F(CountersConfigTest, EmptyComponentMeansEveryComponent) {
    ASSERT_TRUE(Read(R"([{"Component": "", "ZVTSrcName": "INST", "Title": "T",
        "CounterName": "N", "Display": "D"}])"));
    EXPECT_EQ(OnlyRecord("*").sourceName, "INST");
    EXPECT_EQ(OnlyRecord("*").component, "*");
}

TEST_F(CountersConfigTest, SameNameAndTypeShareOneDescription) {
    ASSERT_TRUE(Read(R"([
        {"Component": "cpu0", "ZVTSrcName": "INST", "Title": "A", "CounterName": "N", "Display": "D"},
        {"Component": "cpu1", "ZVTSrcName": "INST", "Title": "A", "CounterName": "N", "Display": "D"},
        {"Component": "cpu1", "ZVTSrcName": "INST", "Title": "B", "CounterName": "N", "Display": "D"}
    ])"));
    ASSERT_EQ(counters.descriptions().size(), 2u);
    EXPECT_EQ(OnlyRecord("cpu0").key, 0u);
    const auto& cpu1 = counters.recordsByComponent().at("cpu1");
    ASSERT_EQ(cpu1.size(), 2u);
    EXPECT_EQ(cpu1[0]->key, 0u);
    EXPECT_EQ(cpu1[1]->key, 1u);  // type BN differs from AN
}

struct WindowCase {
    uint64_t windowStart, windowEnd, startTime, endTime;
    uint64_t expectedStart, expectedEnd;
};

class CountersConfigWindowTest : public CountersConfigTest,
                                 public ::testing::WithParamInterface<WindowCase> {};

TEST_P(CountersConfigWindowTest, ClipsTheCounterToTheTraceWindow) {
    const WindowCase& c = GetParam();
    counters.SetWindowStart(c.windowStart);
    counters.SetWindowEnd(c.windowEnd);
    ASSERT_TRUE(Read("[" + Element("\"StartTime\": " + std::to_string(c.startTime) +
                                   ", \"EndTime\": " + std::to_string(c.endTime)) +
                     "]"));
    EXPECT_EQ(OnlyRecord("cpu0").startTime, c.expectedStart);
    EXPECT_EQ(OnlyRecord("cpu0").endTime, c.expectedEnd);
}

INSTANTIATE_TEST_SUITE_P(Windows, CountersConfigWindowTest,
                         ::testing::Values(WindowCase{1000, UINT64_MAX, 0, 5000, 1000, 5000},
                                           WindowCase{0, 500, 800, 2000, 800, 800},
                                           WindowCase{100, 200, 0, UINT64_MAX, 100, 200},
                                           WindowCase{100, 200, 150, 160, 150, 160}));

TEST_F(CountersConfigTest, UnreadableOrMalformedFileIsOneMessage) {
    for (const char* text : {"[{\"Component\": ", "", "[1 2]"}) {
        counters.ClearErrorText();
        EXPECT_FALSE(Read(text)) << text;
        EXPECT_EQ(counters.errorText(),
                  "Counters setup failed : Cannot create JSON stream for " + path + "\n");
    }
    const std::string missing = (scratch.path() / "absent.json").string();
    counters.ClearErrorText();
    EXPECT_FALSE(counters.ReadCountersConfig(missing));
    EXPECT_EQ(counters.errorText(),
              "Counters setup failed : Cannot create JSON stream for " + missing + "\n");
    EXPECT_TRUE(counters.recordsByComponent().empty());
}

TEST_F(CountersConfigTest, DocumentThatIsNoArrayIsReported) {
    EXPECT_FALSE(Read(Element()));
    EXPECT_EQ(counters.errorText(), "Counters setup failed : " + path +
                                        " : tried to access value of type object as array\n");
    EXPECT_TRUE(counters.recordsByComponent().empty());
}

TEST_F(CountersConfigTest, CountersCannotBeReadAfterRegistration) {
    EXPECT_TRUE(counters.RegisterCountersForComponent(nullptr, 0, "cpu0"));
    EXPECT_FALSE(Read("[" + Element() + "," + Element() + "]"));
    EXPECT_EQ(counters.errorText(),
              "Cannot add counters after ZVT callback registeration"
              "Cannot add counters after ZVT callback registeration");
    EXPECT_TRUE(counters.descriptions().empty());
}

}  // namespace
}  // namespace vantric
