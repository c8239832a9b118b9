#include "json/json_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json_test_support.h"
#include "small_stack.h"

namespace vq {
namespace {

using testing::dump;
using testing::parseText;

// Log lines as the stream reader writes them.
std::string at(const char* message, int line, int column) {
    return std::string("Error: ") + message + "\nat line " + std::to_string(line) + " column " +
           std::to_string(column) + "\n";
}

constexpr const char* kNoIntegral = "Number has no integral part";
constexpr const char* kString = "Invalid string";
constexpr const char* kTrailing = "Non-whitespace characters found after object";
constexpr const char* kValue = "Invalid value";
constexpr const char* kPair = "Invalid pair";
constexpr const char* kObject = "Invalid object, expecting another member after ','";
constexpr const char* kEscape = "\\u must be followed by 4 hex digits in the range 0000-00FF";
constexpr const char* kEscapeRange = "\\u must be followed by 4 hex digits in the range 0000-00FF. Value out of range";

// A string is tried after the number alternative, which logs.
const std::string kBeforeString = at(kNoIntegral, 0, 0);

// The number and string alternatives are tried (and log) before '{' and '['.
std::string container(int line, int column) { return at(kNoIntegral, line, column) + at(kString, line, column); }

struct Case {
    const char* name;
    std::string input;
    bool ok;
    std::string value;  // dump() of the result; "null" for a failure
    std::string log;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const testing::Parsed parsed = parseText(c.input);
        EXPECT_EQ(parsed.ok, c.ok) << c.name;
        EXPECT_EQ(dump(parsed.value), c.value) << c.name;
        EXPECT_EQ(parsed.log, c.log) << c.name;
    }
}

TEST(JSONReaderNumbers, HexLeadingZerosFractionsAndExponents) {
    expectCases({
        {"hex", "0x1F", true, "31", ""},
        {"hex upper marker mixed digits", "0XfF", true, "255", ""},
        {"hex wraps past 64 bits", "0x10000000000000001", true, "1", ""},
        {"negative hex", "-0x1", false, "null", at("Negative hexadecimal number", 0, 3) + at(kString, 0, 3)},
        {"0x without digit is 0, rest left", "0xz", true, "0", at(kTrailing, 0, 2)},
        {"0x then fraction reads as 0.5", "0x.5", true, "d0.5", ""},
        {"no fraction after hex", "0x1F.5", true, "31", at(kTrailing, 0, 4)},
        {"00 reads 0 and leaves 0", "00", true, "0", at(kTrailing, 0, 1)},
        {"leading zero", "01", false, "null", at("Invalid non-zero number with leading zero", 0, 2) + at(kString, 0, 2)},
        {"negative leading zero", "-01", false, "null",
         at("Invalid non-zero number with leading zero", 0, 3) + at(kString, 0, 3)},
        {"point without digits", "1.", false, "null",
         at("Number has a decimal point but no fractional digits", 0, 2) + at(kString, 0, 2)},
        {"point then exponent", "1.e5", false, "null",
         at("Number has a decimal point but no fractional digits", 0, 2) + at(kString, 0, 2)},
        {"exponent without digits", "1e", false, "null",
         at("Number has exponent with no digits", 0, 2) + at(kString, 0, 2)},
        {"signed exponent without digits", "1e+", false, "null",
         at("Number has exponent with no digits", 0, 3) + at(kString, 0, 3)},
        {"lone minus", "-", false, "null", at(kNoIntegral, 0, 1) + at(kString, 0, 1)},
        {"minus then letter", "-x", false, "null", at(kNoIntegral, 0, 1) + at(kString, 0, 1)},
        {"integral double is unsigned", "1.0", true, "1", ""},
        {"exponent gives integer", "1e3", true, "1000", ""},
        {"upper exponent with sign", "2E+3", true, "2000", ""},
        {"negative integral double is signed", "-2.0", true, "-2", ""},
        {"minus zero is unsigned zero", "-0", true, "0", ""},
        {"minus zero double is unsigned zero", "-0.0", true, "0", ""},
        {"fraction stays double", "2.5", true, "d2.5", ""},
        {"negative exponent", "1E-2", true, "d0.01", ""},
        {"largest unsigned", "18446744073709551615", true, "18446744073709551615", ""},
        {"unsigned overflow clamps", "18446744073709551616", true, "18446744073709551615", ""},
        {"long unsigned overflow clamps", "123456789012345678901234567890", true, "18446744073709551615", ""},
        {"smallest signed", "-9223372036854775808", true, "-9223372036854775808", ""},
        {"signed underflow clamps", "-9223372036854775809", true, "-9223372036854775808", ""},
        {"double overflow is DBL_MAX", "1e400", true, "d1.7976931348623157e+308", ""},
        {"negative double overflow", "-1.5e999999999999999999", true, "d-1.7976931348623157e+308", ""},
        {"double underflow is zero", "1e-400", true, "0", ""},
        {"negative underflow is unsigned zero", "-1e-400", true, "0", ""},
        {"subnormal kept", "4e-320", true, "d3.999955468730732e-320", ""},
        {"tiny mantissa huge exponent", "0.00001e-99999999999", true, "0", ""},
    });
}

TEST(JSONReaderLiterals, AlternativesKeepWhatTheyConsumed) {
    expectCases({
        {"null", "null", true, "null", ""},
        {"true", "true", true, "true", ""},
        {"false", "false", true, "false", ""},
        {"nul fails", "nul", false, "null", at(kValue, 0, 3) + at(kNoIntegral, 0, 3) + at(kString, 0, 3)},
        {"capital True fails", "True", false, "null", at(kNoIntegral, 0, 0) + at(kString, 0, 0)},
        {"n then true reads true", "ntrue", true, "true", at(kValue, 0, 1)},
        {"n then number reads the number", "n-1", true, "-1", at(kValue, 0, 1)},
        {"t then f then false", "tfalse", true, "false", at(kValue, 0, 1)},
        {"true followed by text", "truex", true, "true", at(kTrailing, 0, 4)},
    });
}

TEST(JSONReaderLiterals, TextAfterTrueIsLeftForTheCaller) {
    const testing::Parsed parsed = parseText("truex", /*allowTrailing=*/true);
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.log, "");
    EXPECT_EQ(parsed.unread, "x");
}

TEST(JSONReaderStrings, EscapesAndRawCharacters) {
    expectCases({
        {"empty", R"("")", true, R"("")", kBeforeString},
        {"u escape", R"("\u0041")", true, R"("A")", kBeforeString},
        {"u escape one byte above ASCII", R"("\u00e9")", true, R"("\xE9")", kBeforeString},
        {"u escape NUL", R"("a\u0000b")", true, R"("a\x00b")", kBeforeString},
        {"u escape out of range", R"("\u0100")", false, "null", kBeforeString + at(kEscapeRange, 0, 7) + at(kString, 0, 7)},
        {"u escape with three digits", R"("\u004")", false, "null", kBeforeString + at(kEscape, 0, 6) + at(kString, 0, 6)},
        {"bad escape after text ends the string early", R"("ab\u00")", true, R"("ab")", kBeforeString + at(kEscape, 0, 7)},
        {"out-of-range escape after text too", R"("x\u0100")", true, R"("x")", kBeforeString + at(kEscapeRange, 0, 8)},
        {"unknown escape", R"("\q")", false, "null", kBeforeString + at(kString, 0, 2)},
        {"unknown escape after text", R"("a\q")", false, "null", kBeforeString + at(kString, 0, 3)},
        {"escaped slash", R"("\/")", true, R"("/")", kBeforeString},
        {"escaped quote and backslash", R"("\"\\")", true, R"("\x22\x5C")", kBeforeString},
        {"control escapes", R"("\b\f\n\r\t")", true, R"("\x08\x0C\x0A\x0D\x09")", kBeforeString},
        {"raw tab", "\"a\tb\"", false, "null", kBeforeString + at(kString, 0, 2)},
        {"raw line feed", "\"a\nb\"", false, "null", kBeforeString + at(kString, 0, 2)},
        {"raw DEL", "\"\x7F\"", false, "null", kBeforeString + at(kString, 0, 1)},
        {"UTF-8 text", "\"caf\xC3\xA9\"", false, "null", kBeforeString + at(kString, 0, 4)},
        {"unterminated", "\"abc", false, "null", kBeforeString + at(kString, 0, 4)},
        {"lone quote", "\"", false, "null", kBeforeString + at(kString, 0, 1)},
        {"single quotes", "'a'", false, "null", container(0, 0)},
    });
}

TEST(JSONReaderObjects, MembersOrderRepeatsAndFailures) {
    expectCases({
        {"empty", "{}", true, "{}", container(0, 0)},
        {"empty with blanks", "{ \n }", true, "{}", container(0, 0)},
        {"keys come back in byte order", R"({"b":1,"a":2,"B":3})", true, R"({"B":3,"a":2,"b":1})", container(0, 0)},
        {"repeated key keeps the last", R"({"a":1,"a":2})", true, R"({"a":2})", container(0, 0)},
        {"escaped keys", R"({"\u00ff":1,"\u0041":2})", true, R"({"A":2,"\xFF":1})", container(0, 0)},
        {"missing colon fails silently", R"({"a" 1})", false, "null", container(0, 0)},
        {"missing value", R"({"a":})", false, "null", container(0, 0) + container(0, 5) + at(kPair, 0, 5)},
        {"trailing comma", R"({"a":1,})", false, "null", container(0, 0) + at(kString, 0, 7) + at(kObject, 0, 7)},
        {"one message per comma of the chain", R"({"a":1,"b":2,"c":})", false, "null",
         container(0, 0) + container(0, 17) + at(kPair, 0, 17) + at(kObject, 0, 17) + at(kObject, 0, 17)},
        {"unquoted key", "{a:1}", false, "null", container(0, 0) + at(kString, 0, 1)},
        {"unclosed", R"({"a":1)", false, "null", container(0, 0)},
        {"an object failing at '[' reads the array", "{[1]}", true, "[1]",
         container(0, 0) + at(kString, 0, 1) + at(kTrailing, 0, 4)},
        {"nested", R"({"o":{"x":[true,null]}})", true, R"({"o":{"x":[true,null]}})",
         container(0, 0) + container(0, 5) + container(0, 10)},
    });
}

TEST(JSONReaderArrays, TrailingCommaAndFailures) {
    expectCases({
        {"empty", "[]", true, "[]", container(0, 0)},
        {"trailing comma", "[1,]", true, "[1]", container(0, 0) + container(0, 3)},
        {"trailing comma and blank", "[1, ]", true, "[1]", container(0, 0) + container(0, 4)},
        {"two elements and trailing comma", "[1,2,]", true, "[1,2]", container(0, 0) + container(0, 5)},
        {"two commas", "[1,,2]", false, "null", container(0, 0) + container(0, 3)},
        {"leading comma", "[,1]", false, "null", container(0, 0) + container(0, 1)},
        {"missing comma", "[1 2]", false, "null", container(0, 0)},
        {"unclosed", "[1", false, "null", container(0, 0)},
        {"unclosed after comma", "[1,", false, "null", container(0, 0) + container(0, 3)},
        {"mixed", R"([0x10,-3,"s",{},[]])", true, R"([16,-3,"s",{},[]])",
         container(0, 0) + at(kNoIntegral, 0, 9) + container(0, 13) + container(0, 16)},
        {"inner object falls through to array then outer fails", "[{[2]}]", false, "null",
         container(0, 0) + container(0, 1) + at(kString, 0, 2)},
    });
}

TEST(JSONReaderDocument, EmptyInputTrailingTextAndPositions) {
    expectCases({
        {"empty input", "", false, "null", container(0, 0)},
        {"only whitespace", " \t\r\n ", false, "null", container(1, 1)},
        {"object then letter", "{} x", true, "{}", container(0, 0) + at(kTrailing, 0, 3)},
        {"trailing blanks are fine", "7 \n\t", true, "7", ""},
        {"two documents", "[][]", true, "[]", container(0, 0) + at(kTrailing, 0, 2)},
        {"error on the third line", "[\n  1,\n  x]", false, "null", container(0, 0) + container(2, 2)},
        {"column restarts after a line feed", "\n\n   01", false, "null",
         at("Invalid non-zero number with leading zero", 2, 5) + at(kString, 2, 5)},
        {"carriage return is a column", "\r\r-", false, "null", at(kNoIntegral, 0, 3) + at(kString, 0, 3)},
    });
}

TEST(JSONReaderDocument, FailureLeavesTheTargetNull) {
    for (const char* text : {"", "[", "{\"a\":", "\"abc", "-"}) {
        EXPECT_EQ(parseText(text).value.type(), JSONValue::TypeNull) << text;
    }
    // A success replaces whatever the target held.
    EXPECT_EQ(dump(parseText("[1]").value), "[1]");
}

// What other readers (not a stream) get from the base class.
class StringReader : public JSONReader {
public:
    explicit StringReader(std::string text) : text_(std::move(text)) {}
    char peek() override { return text_[position_]; }
    void skip() override { ++position_; }
    bool eof() override { return position_ >= text_.size(); }
    void error(const char* message) override { log_ += std::string(message) + ";"; }
    std::string log_;

private:
    std::string text_;
    std::size_t position_ = 0;
};

TEST(JSONReaderBase, AnySourceParsesAndReadPairReadsOneMember) {
    StringReader document(R"( {"k": [1, "v",]} )");
    JSONValue value;
    EXPECT_TRUE(parseJSON(document, value, false));
    EXPECT_EQ(dump(value), R"({"k":[1,"v"]})");
    EXPECT_EQ(document.log_, "Number has no integral part;Invalid string;"  // {
                             "Number has no integral part;Invalid string;"  // [
                             "Number has no integral part;"                 // "v"
                             "Number has no integral part;Invalid string;");  // ] after the comma

    StringReader pair(R"("key" : {"a":1} rest)");
    std::string key;
    JSONValue member;
    EXPECT_TRUE(pair.readPair(key, member));
    EXPECT_EQ(key, "key");
    EXPECT_EQ(dump(member), R"({"a":1})");

    StringReader badPair(R"("key": ])");
    EXPECT_FALSE(badPair.readPair(key, member));
    EXPECT_EQ(badPair.log_, "Number has no integral part;Invalid string;Invalid pair;");
}

// Deep nesting runs on a small stack: the reader must not recurse per level.
TEST(JSONReaderDeep, MillionNestedBracketsOnASmallStack) {
    constexpr std::size_t kDepth = 1000000;
    bool closedOk = false;
    std::size_t depth = 0;
    bool unclosedFails = false;
    bool objectsOk = false;
    testing::runOnSmallStack([&] {
        testing::Parsed closed = parseText(std::string(kDepth, '[') + std::string(kDepth, ']'));
        closedOk = closed.ok;
        for (const JSONValue* level = &closed.value; level->type() == JSONValue::TypeArray && level->size() == 1;
             level = &level->at(0)) {
            ++depth;
        }
        const testing::Parsed unclosed = parseText(std::string(kDepth / 4, '['));
        unclosedFails = !unclosed.ok && unclosed.value.type() == JSONValue::TypeNull;

        std::string objects;
        for (int i = 0; i < 50000; ++i) objects += "{\"k\":";
        objects += "1" + std::string(50000, '}');
        objectsOk = parseText(objects).ok;
    });
    EXPECT_TRUE(closedOk);
    EXPECT_EQ(depth, kDepth - 1);  // the innermost array is empty
    EXPECT_TRUE(unclosedFails);
    EXPECT_TRUE(objectsOk);
}

}  // namespace
}  // namespace vq
