#include "json/json_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "json_test_support.h"

namespace vq {
namespace {

using testing::dump;
using testing::parseText;

// One log entry as the stream reader writes it.
std::string at(const char* message, int column, int line = 0) {
    return std::string("Error: ") + message + "\nat line " + std::to_string(line) + " column " +
           std::to_string(column) + "\n";
}

constexpr const char* kNoIntegral = "Number has no integral part";
constexpr const char* kString = "Invalid string";
constexpr const char* kTrailing = "Non-whitespace characters found after object";
constexpr const char* kValue = "Invalid value";
constexpr const char* kLeadingZero = "Invalid non-zero number with leading zero";
constexpr const char* kPoint = "Number has a decimal point but no fractional digits";
constexpr const char* kExponent = "Number has exponent with no digits";
constexpr const char* kEscape = "\\u must be followed by 4 hex digits in the range 0000-00FF";
constexpr const char* kEscapeRange = "\\u must be followed by 4 hex digits in the range 0000-00FF. Value out of range";
constexpr const char* kObject = "Invalid object, expecting another member after ','";
constexpr const char* kFails = "(fails)";

// A failed alternative, then the string alternative failing at the same place.
std::string failed(const char* message, int column, int line = 0) {
    return at(message, column, line) + at(kString, column, line);
}
// The number and string alternatives log before '{' or '[' is tried.
std::string opened(int column, int line = 0) { return failed(kNoIntegral, column, line); }
// A string is tried after the number alternative, which logs.
const std::string kQuote = at(kNoIntegral, 0);

struct Case {
    std::string input;
    std::string value;  // dump() of the result, or kFails: false and a null target
    std::string log;
};

// Any other source goes through the base class's virtual steps; this one
// logs as the stream reader does.
struct StringReader : JSONReader {
    explicit StringReader(std::string input) : text(std::move(input)) {}
    char peek() override { return text[position]; }
    void skip() override { ++position; }
    bool eof() override { return position >= text.size(); }
    void error(const char* message) override {
        const std::string read = text.substr(0, position);
        log += at(message, int(read.size() - (read.rfind('\n') + 1)), int(std::count(read.begin(), read.end(), '\n')));
    }
    std::string text, log;
    std::size_t position = 0;
};

// Each case through the stream reader and through the virtual steps.
void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const testing::Parsed parsed = parseText(c.input);
        EXPECT_EQ(parsed.ok, c.value != kFails) << c.input;
        EXPECT_EQ(dump(parsed.value), c.value == kFails ? "null" : c.value) << c.input;
        EXPECT_EQ(parsed.log, c.log) << c.input;
        StringReader source(c.input);
        JSONValue value("sentinel");
        EXPECT_EQ(parseJSON(source, value, false), parsed.ok) << c.input;
        EXPECT_EQ(dump(value) + source.log, dump(parsed.value) + parsed.log) << c.input;
    }
}

TEST(JSONReaderNumbers, HexLeadingZerosFractionsExponentsAndLimits) {
    const std::string max = "18446744073709551615", min = "-9223372036854775808", dblMax = "d1.7976931348623157e+308";
    expectCases({
        {"0x1F", "31", ""}, {"0XfF", "255", ""}, {"0x10000000000000001", "1", ""},  // wraps modulo 2^64
        {"-0x1", kFails, failed("Negative hexadecimal number", 3)},
        {"0xz", "0", at(kTrailing, 2)}, {"0x.5", "d0.5", ""}, {"0x1F.5", "31", at(kTrailing, 4)},
        {"00", "0", at(kTrailing, 1)}, {"01", kFails, failed(kLeadingZero, 2)},
        {"1.", kFails, failed(kPoint, 2)}, {"1.e5", kFails, failed(kPoint, 2)},
        {"1e", kFails, failed(kExponent, 2)}, {"1e+", kFails, failed(kExponent, 3)}, {"-", kFails, opened(1)},
        {"1.0", "1", ""}, {"1e3", "1000", ""}, {"-2.0", "-2", ""}, {"-0", "0", ""}, {"2.5", "d2.5", ""},
        {"1E-2", "d0.01", ""}, {max, max, ""}, {"18446744073709551616", max, ""}, {min, min, ""},
        {"-9223372036854775809", min, ""}, {"1e400", dblMax, ""},
        {"-1.5e999999999999999999", "d-1.7976931348623157e+308", ""},
        {"1e-400", "0", ""},
    });
}

// A literal that does not complete logs, keeps what it consumed, and the next
// alternative starts there.
TEST(JSONReaderLiterals, AlternativesKeepWhatTheyConsumed) {
    expectCases({
        {"null", "null", ""}, {"true", "true", ""}, {"false", "false", ""},
        {"nul", kFails, at(kValue, 3) + opened(3)}, {"True", kFails, opened(0)},
        {"ntrue", "true", at(kValue, 1)}, {"n-1", "-1", at(kValue, 1)}, {"tfalse", "false", at(kValue, 1)},
        {"truex", "true", at(kTrailing, 4)},
    });
    const testing::Parsed parsed = parseText("truex", /*allowTrailing=*/true);
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.log, "");
    EXPECT_EQ(parsed.unread, "x");  // left for the caller
}

TEST(JSONReaderStrings, EscapesAndRawCharacters) {
    expectCases({
        {R"("")", R"("")", kQuote}, {R"("\u0041")", R"("A")", kQuote}, {R"("\u00e9")", R"("\xE9")", kQuote},
        {R"("a\u0000b")", R"("a\x00b")", kQuote}, {R"("\/")", R"("/")", kQuote},
        {R"("\"\\")", R"("\x22\x5C")", kQuote}, {R"("\b\f\n\r\t")", R"("\x08\x0C\x0A\x0D\x09")", kQuote},
        {R"("\u0100")", kFails, kQuote + failed(kEscapeRange, 7)}, {R"("\u004")", kFails, kQuote + failed(kEscape, 6)},
        // A bad escape after some text ends the string there; the quote after it closes it.
        {R"("ab\u00")", R"("ab")", kQuote + at(kEscape, 7)}, {R"("x\u0100")", R"("x")", kQuote + at(kEscapeRange, 8)},
        {R"("\q")", kFails, kQuote + at(kString, 2)}, {"\"a\tb\"", kFails, kQuote + at(kString, 2)},
        {"\"\x7F\"", kFails, kQuote + at(kString, 1)}, {"\"caf\xC3\xA9\"", kFails, kQuote + at(kString, 4)},
        {"\"abc", kFails, kQuote + at(kString, 4)}, {"\"", kFails, kQuote + at(kString, 1)},
        {"'a'", kFails, opened(0)},
    });
}

TEST(JSONReaderObjects, MembersOrderRepeatsAndFailures) {
    expectCases({
        {"{}", "{}", opened(0)}, {R"({"b":1,"a":2,"B":3})", R"({"B":3,"a":2,"b":1})", opened(0)},
        {R"({"a":1,"a":2})", R"({"a":2})", opened(0)},
        {R"({"\u00ff":1,"\u0041":2})", R"({"A":2,"\xFF":1})", opened(0)},  // unsigned byte order
        {R"({"a" 1})", kFails, opened(0)}, {R"({"a":1)", kFails, opened(0)},
        {R"({"a":})", kFails, opened(0) + opened(5) + at("Invalid pair", 5)},
        {R"({"a":1,})", kFails, opened(0) + at(kString, 7) + at(kObject, 7)},
        // One message per comma of the chain, as each level of the recursive reading reports it.
        {R"({"a":1,"b":2,"c":})", kFails,
         opened(0) + opened(17) + at("Invalid pair", 17) + at(kObject, 17) + at(kObject, 17)},
        {"{a:1}", kFails, opened(0) + at(kString, 1)},
        {"{[1]}", "[1]", opened(0) + at(kString, 1) + at(kTrailing, 4)},  // on to the array alternative
        {R"({"o":{"x":[true,null]}})", R"({"o":{"x":[true,null]}})", opened(0) + opened(5) + opened(10)},
    });
}

TEST(JSONReaderArrays, TrailingCommaAndFailures) {
    expectCases({
        {"[]", "[]", opened(0)}, {"[1,]", "[1]", opened(0) + opened(3)}, {"[1, ]", "[1]", opened(0) + opened(4)},
        {"[1,,2]", kFails, opened(0) + opened(3)}, {"[,1]", kFails, opened(0) + opened(1)},
        {"[1 2]", kFails, opened(0)}, {"[1", kFails, opened(0)},
        {R"([0x10,-3,"s",{},[]])", R"([16,-3,"s",{},[]])", opened(0) + at(kNoIntegral, 9) + opened(13) + opened(16)},
        {"[{[2]}]", kFails, opened(0) + opened(1) + at(kString, 2)},
    });
}

TEST(JSONReaderDocument, EmptyInputTrailingTextAndPositions) {
    expectCases({
        {"", kFails, opened(0)}, {" \t\r\n ", kFails, opened(1, 1)}, {"{} x", "{}", opened(0) + at(kTrailing, 3)},
        {"7 \n\t", "7", ""}, {"[][]", "[]", opened(0) + at(kTrailing, 2)},
        {"[\n  1,\n  x]", kFails, opened(0) + opened(2, 2)}, {"\n\n   01", kFails, failed(kLeadingZero, 5, 2)},
        {"\r\r-", kFails, opened(3)},  // a carriage return is a column
    });
    std::ifstream missing("/nonexistent/directory/file.json");
    JSONStreamReader unreadable(missing);
    JSONValue value(1);
    EXPECT_FALSE(parseJSON(unreadable, value, false));
    EXPECT_EQ(value.type(), JSONValue::TypeNull);
}

TEST(JSONReaderBase, ReadPairReadsOneMember) {
    StringReader pair(R"("key" : {"a":1} rest)"), badPair(R"("key": ])");
    std::string key;
    JSONValue value;
    EXPECT_TRUE(pair.readPair(key, value));
    EXPECT_EQ(key + dump(value), R"(key{"a":1})");
    EXPECT_FALSE(badPair.readPair(key, value));
    EXPECT_EQ(badPair.log, opened(7) + at("Invalid pair", 7));
}

// A million levels read, copied and freed on a small stack: nothing may
// recurse per level.
TEST(JSONReaderDeep, MillionNestedBracketsOnASmallStack) {
    constexpr std::size_t kDepth = 1000000;
    std::size_t arrays = 0, objects = 0;
    bool unclosedFails = false;
    testing::runOnSmallStack([&] {
        const testing::Parsed closed = parseText(std::string(kDepth, '[') + std::string(kDepth, ']'));
        const JSONValue copy = closed.value;
        for (const JSONValue* level = &copy; level->type() == JSONValue::TypeArray && level->size() == 1;
             level = &level->at(0)) {
            ++arrays;
        }
        const testing::Parsed unclosed = parseText(std::string(kDepth / 4, '['));
        unclosedFails = !unclosed.ok && unclosed.value.type() == JSONValue::TypeNull;

        std::string opening, closing;
        for (int i = 0; i < 50000; ++i) opening += "{\"k\":[", closing += "]}";
        const testing::Parsed alternating = parseText(opening + "1" + closing);
        const JSONValue copied = alternating.value;
        for (const JSONValue* level = &copied; level->type() == JSONValue::TypeObject;
             level = &level->members().at("k").at(0)) {
            ++objects;
        }
    });
    EXPECT_EQ(arrays, kDepth - 1);  // the innermost array is empty
    EXPECT_TRUE(unclosedFails);
    EXPECT_EQ(objects, 50000u);
}

}  // namespace
}  // namespace vq
