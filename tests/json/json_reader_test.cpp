#include "json/json_reader.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <locale>
#include <map>
#include <sstream>
#include <string>

#include "json/json_number.h"
#include "json_test_support.h"
#include "support/test_support.h"

namespace vq {
namespace {

namespace fs = std::filesystem;
using testing::dump;
using testing::parseText;

// One log entry as the stream reader writes it.
std::string at(const char* message, int column, int line = 0) {
    return "Error: " + std::string(message) + "\nat line " + std::to_string(line) + " column " + std::to_string(column) + "\n";
}

constexpr const char *kNoIntegral = "Number has no integral part", *kString = "Invalid string";
constexpr const char *kTrailing = "Non-whitespace characters found after object", *kValue = "Invalid value";
constexpr const char* kEscape = "\\u must be followed by 4 hex digits in the range 0000-00FF";
constexpr const char* kObject = "Invalid object, expecting another member after ','";
constexpr const char* kFails = "(fails)";

// A failed alternative, then the string alternative failing at the same place.
std::string failed(const char* message, int column, int line = 0) { return at(message, column, line) + at(kString, column, line); }
// The number and string alternatives log before '{' or '[' is tried.
std::string opened(int column, int line = 0) { return failed(kNoIntegral, column, line); }
// A string is tried after the number alternative, which logs.
const std::string kQuote = at(kNoIntegral, 0);

struct Case { std::string input, value, log; };  // value: dump() of the result, or kFails: false and a null target

// Forwards to the stream reader through the base class's virtual steps, so
// the grammar runs as it does for any source other than the stream reader.
struct Forwarding : JSONReader {
    explicit Forwarding(JSONReader& to) : inner(to) {}
    char peek() override { return inner.peek(); }
    void skip() override { inner.skip(); }
    bool eof() override { return inner.eof(); }
    void error(const char* message) override { inner.error(message); }
    JSONReader& inner;
};

// Each case through the stream reader and through the virtual steps.
TEST(JSONReader, ValuesAndLogsOfBothCharacterSteps) {
    const std::string range = std::string(kEscape) + ". Value out of range";
    const Case cases[] = {
        // Numbers: hexadecimal, leading zeros, fractions, exponents, limits.
        {"0x1F", "31", ""}, {"0XfF", "255", ""}, {"0x10000000000000001", "1", ""},  // wraps modulo 2^64
        {"-0x1", kFails, failed("Negative hexadecimal number", 3)},
        {"0xz", "0", at(kTrailing, 2)}, {"0x.5", "d0.5", ""}, {"0x1F.5", "31", at(kTrailing, 4)},
        {"00", "0", at(kTrailing, 1)}, {"01", kFails, failed("Invalid non-zero number with leading zero", 2)},
        {"1.", kFails, failed("Number has a decimal point but no fractional digits", 2)},
        {"1.e5", kFails, failed("Number has a decimal point but no fractional digits", 2)},
        {"1e", kFails, failed("Number has exponent with no digits", 2)},
        {"1e+", kFails, failed("Number has exponent with no digits", 3)}, {"-", kFails, opened(1)},
        {"1.0", "1", ""}, {"1e3", "1000", ""}, {"-2.0", "-2", ""}, {"-0", "0", ""}, {"2.5", "d2.5", ""},
        {"1E-2", "d0.01", ""}, {"-9223372036854775809", "-9223372036854775808", ""},
        // A literal that does not complete logs, keeps what it consumed, and the next alternative starts there.
        {"null", "null", ""}, {"true", "true", ""}, {"false", "false", ""},
        {"nul", kFails, at(kValue, 3) + opened(3)}, {"True", kFails, opened(0)},
        {"ntrue", "true", at(kValue, 1)}, {"n-1", "-1", at(kValue, 1)}, {"tfalse", "false", at(kValue, 1)},
        {"truex", "true", at(kTrailing, 4)},
        // Strings: escapes and raw characters.
        {R"("")", R"("")", kQuote}, {R"("\u0041")", R"("A")", kQuote}, {R"("\u00e9")", R"("\xE9")", kQuote},
        {R"("a\u0000b")", R"("a\x00b")", kQuote}, {R"("\/")", R"("/")", kQuote},
        {R"("\"\\")", R"("\x22\x5C")", kQuote}, {R"("\b\f\n\r\t")", R"("\x08\x0C\x0A\x0D\x09")", kQuote},
        {R"("\u0100")", kFails, kQuote + failed(range.c_str(), 7)}, {R"("\u004")", kFails, kQuote + failed(kEscape, 6)},
        // A bad escape after some text ends the string there; the quote after it closes it.
        {R"("ab\u00")", R"("ab")", kQuote + at(kEscape, 7)}, {R"("x\u0100")", R"("x")", kQuote + at(range.c_str(), 8)},
        {R"("\q")", kFails, kQuote + at(kString, 2)}, {"\"a\tb\"", kFails, kQuote + at(kString, 2)},
        {"\"\x7F\"", kFails, kQuote + at(kString, 1)}, {"\"caf\xC3\xA9\"", kFails, kQuote + at(kString, 4)},
        {"\"abc", kFails, kQuote + at(kString, 4)}, {"\"", kFails, kQuote + at(kString, 1)},
        {"'a'", kFails, opened(0)},
        // Objects and arrays: members, elements and failures.
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
        {"[]", "[]", opened(0)}, {"[1,]", "[1]", opened(0) + opened(3)}, {"[1, ]", "[1]", opened(0) + opened(4)},
        {"[1,,2]", kFails, opened(0) + opened(3)}, {"[,1]", kFails, opened(0) + opened(1)},
        {"[1 2]", kFails, opened(0)}, {"[1", kFails, opened(0)},
        {R"([0x10,-3,"s",{},[]])", R"([16,-3,"s",{},[]])", opened(0) + at(kNoIntegral, 9) + opened(13) + opened(16)},
        {"[{[2]}]", kFails, opened(0) + opened(1) + at(kString, 2)},
        // The document: empty input, trailing text, line and column.
        {"", kFails, opened(0)}, {" \t\r\n ", kFails, opened(1, 1)}, {"{} x", "{}", opened(0) + at(kTrailing, 3)},
        {"7 \n\t", "7", ""}, {"[][]", "[]", opened(0) + at(kTrailing, 2)}, {"[\n  1,\n  x]", kFails, opened(0) + opened(2, 2)},
        {"\n\n   01", kFails, failed("Invalid non-zero number with leading zero", 5, 2)},
        {"\r\r-", kFails, opened(3)},  // a carriage return is a column
    };
    const auto forwarded = [](JSONReader& reader, JSONValue& value) { Forwarding source(reader); return parseJSON(source, value); };
    for (const Case& c : cases) {
        for (const testing::Parsed& parsed : {parseText(c.input), parseText(c.input, forwarded)}) {
            EXPECT_EQ(parsed.ok, c.value != kFails) << c.input;
            EXPECT_EQ(dump(parsed.value), c.value == kFails ? "null" : c.value) << c.input;
            EXPECT_EQ(parsed.log, c.log) << c.input;
        }
    }
    std::ifstream missing("/nonexistent/directory/file.json");
    JSONStreamReader unreadable(missing);
    JSONValue value(1);
    EXPECT_TRUE(!parseJSON(unreadable, value) && value.type() == JSONValue::TypeNull);
}

// Decimal comma and grouped thousands, as a C++ facet.
struct CommaPunctuation : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Integer limits and their neighbours, double overflow and underflow
// (rounding to DBL_MAX or beyond, subnormals, zero), saturated exponents, and
// integral doubles at the edges of both integer ranges, all converted while a
// decimal-comma locale is in force.
TEST(JSONNumber, ConvertsAsAClassicLocaleStringStreamWhateverTheLocale) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunctuation));
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) std::setlocale(LC_ALL, "de_DE.utf8");  // where installed
    std::ostringstream probe;
    probe << 1.5;
    EXPECT_EQ(probe.str(), "1,5");  // the comma is in force
    // What a classic-locale string stream makes of the text, stored as the
    // reader stores numbers: the behaviour the conversion must reproduce.
    const auto streamReading = [](const std::string& text, auto value) {
        std::istringstream stream(text);
        stream.imbue(std::locale::classic());
        stream >> value;
        return JSONValue(value);
    };
    for (const std::string text : {
             "0", "-0", "-7", "4294967296", "9223372036854775807", "9223372036854775808", "18446744073709551615",
             "18446744073709551616", "99999999999999999999999999", "-9223372036854775808", "-9223372036854775809",
             "-99999999999999999999999999", "-0.5", "1.0", "-1.0", "1E+2", "1e-2", "-0.0", "0.0e0", "123.456e7",
             "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308", "1e309", "-1e309",
             "123123e100000", "0.4e006699999999999999999999999999999", "2.2250738585072011e-308",
             "4.9406564584124654e-324", "2.4703282292062328e-324", "2.4703282292062327e-324", "1e-400", "-1e-400",
             "123e-10000000", "0.00001e-99999999999", "-0.000000000000000000000000000000000000000000000001",
             "18446744073709551616.0", "18446744073709549568.0", "-9223372036854775808.0", "-9223372036854777856.0",
             "3.141592653589793238462643", "1000000000000000000000000000000000000000000000000000000000000e-50"}) {
        const bool integral = text.find_first_of(".eE") == std::string::npos;
        const JSONValue expected = !integral ? streamReading(text, 0.0)
                                   : text[0] == '-' ? streamReading(text, int64_t{}) : streamReading(text, uint64_t{});
        EXPECT_EQ(dump(convertNumber(text, integral)), dump(expected)) << text;
    }
    // The error column is 1233: it must print without digit grouping.
    const testing::Parsed numbers = parseText("[1.5, 1234567, -2.25e3, 0x10, 1e400]");
    const testing::Parsed late = parseText("[1.5,1234567,-2.25e3,\"" + std::string(1211, 'a') + "\t");
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(dump(numbers.value), "[d1.5,1234567,-2250,16,d1.7976931348623157e+308]");
    EXPECT_FALSE(late.ok);
    EXPECT_NE(late.log.find("Error: Invalid string\nat line 0 column 1233\n"), std::string::npos) << late.log;
}

// A million levels read, copied and freed on a small stack: nothing may
// recurse per level.
TEST(JSONReaderDeep, MillionNestedBracketsOnASmallStack) {
    constexpr std::size_t kDepth = 1000000;
    std::size_t arrays = 0, objects = 0;
    testing::Parsed unclosed;
    vantric::testing::RunOnSmallStack([&] {
        const testing::Parsed closed = parseText(std::string(kDepth, '[') + std::string(kDepth, ']'));
        const JSONValue copy = closed.value;  // copied, then both freed
        for (const JSONValue* level = &copy; level->size() == 1; level = &level->at(0)) ++arrays;
        unclosed = parseText(std::string(kDepth / 4, '['));
        std::string opening, closing;
        for (int i = 0; i < 50000; ++i) opening += "{\"k\":[", closing += "]}";
        const testing::Parsed alternating = parseText(opening + "1" + closing);
        const JSONValue copied = alternating.value;
        for (const JSONValue* level = &copied; level->type() == JSONValue::TypeObject; level = &level->members().at("k").at(0))
            ++objects;
    });
    EXPECT_EQ(arrays, kDepth - 1);  // the innermost array is empty
    EXPECT_TRUE(!unclosed.ok && unclosed.value.type() == JSONValue::TypeNull);
    EXPECT_EQ(objects, 50000u);
}

// The reader over a public collection of JSON parsing test files: nothing may
// crash, even on a small stack, and every file reads as standard JSON would
// except where this reader's own rules say otherwise.
// The files are kept in tests/json/conformance (see its SOURCE.txt).
const fs::path kCorpus = fs::path(VT_SOURCE_DIR) / "tests" / "json" / "conformance" / "test_parsing";

// Strings hold bytes 0x20..0x7E and escapes of one byte only.
bool hasCharacterBeyondOneByte(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x7F || (text.compare(i, 2, "\\u") == 0 && text.compare(i + 2, 2, "00") != 0)) return true;
    return false;
}

// y_ files must read unless they hold wider characters; n_ files must fail
// unless only trailing text was logged, or they are pinned. Pinned files
// differ from standard JSON (our extensions: trailing comma before ']',
// hexadecimal integers; one-byte strings) or sit at a limit, and keep the
// value they read (dump() form, " failed" when reading fails).
TEST(JSONConformance, EveryFileReadsOnASmallStackAsStandardJSONOrByOurRules) {
    ASSERT_TRUE(fs::is_directory(kCorpus)) << "no JSON test corpus at " << kCorpus;
    const std::map<std::string, std::string> pinned = {
        {"n_array_extra_comma", R"([""])"}, {"n_array_number_and_comma", "[1]"}, {"n_number_hex_1_digit", "[1]"},
        {"n_number_hex_2_digits", "[66]"}, {"n_structure_array_trailing_garbage", "[1]"},
        {"n_structure_double_array", "[]"}, {"n_multidigit_number_then_00", "123"},
        {"n_object_trailing_comment", R"({"a":"b"})"}, {"y_string_two-byte-utf-8", "null failed"},
        {"y_string_accepted_surrogate_pair", "null failed"}, {"y_string_utf8", "null failed"},
        {"y_string_with_del_character", "null failed"}, {"y_string_nbsp_uescaped", R"(["new\xA0line"])"},
        {"y_number_int_with_exp", "[200]"}, {"i_number_too_big_pos_int", "[18446744073709551615]"},
        {"i_number_very_big_negative_int", "[-9223372036854775808]"}, {"i_number_huge_exp", "[d1.7976931348623157e+308]"},
        {"i_number_real_underflow", "[0]"}, {"n_structure_100000_opening_arrays", "null failed"},
    };
    std::size_t pinnedFiles = 0;
    vantric::testing::RunOnSmallStack([&] {
        for (const fs::directory_entry& entry : fs::directory_iterator(kCorpus)) {
            const std::string name = entry.path().filename().string();
            const std::string text = vantric::testing::ReadFile(entry.path());
            const testing::Parsed parsed = testing::parseText(text);
            const auto pin = pinned.find(entry.path().stem().string());
            EXPECT_TRUE(parsed.ok || parsed.value.type() == JSONValue::TypeNull) << name;
            EXPECT_TRUE(name[0] != 'y' || parsed.ok == !hasCharacterBeyondOneByte(text)) << name;
            EXPECT_TRUE(name[0] != 'n' || !parsed.ok || pin != pinned.end() ||
                        parsed.log.find("Non-whitespace characters found after object") != std::string::npos)
                << name;
            pinnedFiles += pin != pinned.end();
            const std::string outcome = dump(parsed.value) + (parsed.ok ? "" : " failed");
            EXPECT_TRUE(pin == pinned.end() || outcome == pin->second) << name << ": " << outcome;
        }
    });
    EXPECT_EQ(pinnedFiles, pinned.size());
}

}  // namespace
}  // namespace vq
