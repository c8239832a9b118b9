// Reading counter files: every refusal message, in the order the keys are
// checked, for both kinds of file, and the files that cannot be read at all.
// What an accepted element becomes is checked where each kind is used
// (counter_set_test, counter_defaults_test).
#include "counters/counter_file_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

#include "support/test_support.h"

namespace vantric::testing {
namespace {

using Kind = CounterFileReader::Kind;

// A complete counters-file element, with `extra` members added or the member
// `drop` removed.
std::string Element(const std::string& extra = "", const std::string& drop = "") {
    std::string text = "{";
    for (std::string member : {"\"Component\": \"c\"", "\"ZVTSrcName\": \"I\"", "\"Title\": \"T\"",
                               "\"CounterName\": \"N\"", "\"Display\": \"D\""}) {
        if (member.find("\"" + drop + "\"") != 0) text += member + ", ";
    }
    return text + (extra.empty() ? "\"Units\": \"u\"" : extra) + "}";
}

struct RefusalCase {
    Kind kind;
    std::string element;
    std::string what;  // named in the refusal
};

class CounterFileReaderTest : public ::testing::TestWithParam<RefusalCase> {};

// The element sits between two accepted ones, which its refusal leaves alone.
TEST_P(CounterFileReaderTest, RefusesTheElementByItsNumber) {
    TempDirectory scratch;
    std::ostringstream errors;
    CounterFileReader reader(GetParam().kind, errors);
    ASSERT_TRUE(reader.Open(
        scratch.write("c.json", "[" + Element() + ", " + GetParam().element + ", " + Element() + "]")));
    ASSERT_EQ(reader.size(), 3u);
    EXPECT_TRUE(reader.Entry(0) && reader.Entry(2));
    EXPECT_FALSE(reader.Entry(1));
    EXPECT_EQ(errors.str(),
              "Counter setup error : " + GetParam().what + " for the counter # 2 is invalid\n");
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, CounterFileReaderTest,
    ::testing::Values(
        RefusalCase{Kind::kCounters, Element("\"StartTime\": 10, \"EndTime\": 5"),
                    "Start and end time specified"},
        RefusalCase{Kind::kCounters, Element("\"Path\": \"c\""),
                    "The key \"Path\" should be renamed as \"Component\""},
        RefusalCase{Kind::kCounters, Element("", "Component"), "ZVT Component"},
        RefusalCase{Kind::kCounters, Element("", "ZVTSrcName"), "ZVTSrcName"},
        RefusalCase{Kind::kCounters, Element("", "Title"), "Title"},
        RefusalCase{Kind::kCounters, Element("", "CounterName"), "CounterName"},
        RefusalCase{Kind::kCounters, Element("", "Display"), "Display value"},
        RefusalCase{Kind::kCounters, Element("\"MessageInterval\": 0"), "MessageInterval"},
        // The window first, then the first missing key in table order; an
        // element that is not an object has no members.
        RefusalCase{Kind::kCounters, R"({"StartTime": 2, "EndTime": 1})",
                    "Start and end time specified"},
        RefusalCase{Kind::kCounters, R"({"Component": "c", "Display": "x"})", "ZVTSrcName"},
        RefusalCase{Kind::kCounters, "5", "ZVT Component"},
        RefusalCase{Kind::kDefaults, "5", "ZVTSrcName"},
        RefusalCase{Kind::kDefaults, R"({"ZVTSrcName": "A", "Display": "D"})", "Title"},
        RefusalCase{Kind::kDefaults, R"({"ZVTSrcName": "B", "Title": "T"})", "Display value"}));

TEST(CounterFileReaderFileTest, UnreadableMalformedOrNonArrayFileIsOneMessage) {
    TempDirectory scratch;
    const std::string path = (scratch.path() / "c.json").string();
    const std::string stream = "Counters setup failed : Cannot create JSON stream for " + path + "\n";
    const std::pair<const char*, std::string> cases[] = {
        {nullptr, stream}, {"", stream}, {"[{\"Component\": ", stream}, {"[1 2]", stream},
        {"{}",
         "Counters setup failed : " + path + " : tried to access value of type object as array\n"}};
    for (const auto& [text, message] : cases) {
        if (text != nullptr) scratch.write("c.json", text);
        std::ostringstream errors;
        CounterFileReader reader(Kind::kCounters, errors);
        EXPECT_FALSE(reader.Open(path));
        EXPECT_EQ(reader.size(), 0u);
        EXPECT_EQ(errors.str(), message);
    }
}

}  // namespace
}  // namespace vantric::testing
