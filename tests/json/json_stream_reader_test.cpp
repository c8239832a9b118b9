#include "json/json_stream_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace vq {
namespace {

TEST(JSONStreamReader, CountsLinesAndColumnsOfConsumedCharacters) {
    std::istringstream input("ab\r\ncd\n\nx");
    JSONStreamReader reader(input);
    const struct {
        char expected;
        uint32_t line;
        uint32_t column;
    } steps[] = {{'a', 0, 1}, {'b', 0, 2}, {'\r', 0, 3}, {'\n', 1, 0}, {'c', 1, 1},
                 {'d', 1, 2}, {'\n', 2, 0}, {'\n', 3, 0}, {'x', 3, 1}};
    for (const auto& step : steps) {
        EXPECT_EQ(reader.peek(), step.expected);
        EXPECT_EQ(reader.peek(), step.expected);  // peeking consumes nothing
        EXPECT_EQ(reader.get(), step.expected);
        EXPECT_EQ(reader.line(), step.line) << step.expected;
        EXPECT_EQ(reader.column(), step.column) << step.expected;
    }
}

TEST(JSONStreamReader, SkipCountsLikeGet) {
    std::istringstream input("\nab");
    JSONStreamReader reader(input);
    reader.skip();
    reader.skip();
    EXPECT_EQ(reader.line(), 1u);
    EXPECT_EQ(reader.column(), 1u);
    EXPECT_EQ(reader.get(), 'b');
}

TEST(JSONStreamReader, EndOfFileIsSetByLookingPastTheEnd) {
    std::istringstream input("a");
    JSONStreamReader reader(input);
    EXPECT_FALSE(reader.eof());
    reader.skip();
    EXPECT_FALSE(reader.eof());  // like the stream: not before a look past the end
    reader.peek();
    EXPECT_TRUE(reader.eof());
    EXPECT_TRUE(input.eof());
}

TEST(JSONStreamReader, ErrorsAccumulateWithPositionAndNothingElse) {
    std::istringstream input("x\ny");
    JSONStreamReader reader(input);
    EXPECT_EQ(reader.messages(), "");
    reader.error("first");
    reader.skip();
    reader.skip();
    reader.error("second one");
    EXPECT_EQ(reader.messages(), "Error: first\nat line 0 column 0\nError: second one\nat line 1 column 0\n");
}

TEST(JSONStreamReader, UnreadableStreamFailsAsEmptyInput) {
    std::ifstream missing("/nonexistent/directory/file.json");
    JSONStreamReader reader(missing);
    JSONValue value(1);
    EXPECT_FALSE(parseJSON(reader, value, false));
    EXPECT_EQ(value.type(), JSONValue::TypeNull);
}

TEST(JSONStreamReader, ReadingStopsRightAfterTheValue) {
    std::istringstream input("{\"a\":[1,2]}  tail");
    JSONStreamReader reader(input);
    JSONValue value;
    EXPECT_TRUE(parseJSON(reader, value, /*allowTrailing=*/true));
    std::string rest;
    std::getline(input, rest);
    EXPECT_EQ(rest, "  tail");
    EXPECT_EQ(value["a"].at(1).asUInt32(), 2u);
}

}  // namespace
}  // namespace vq
