#include "json/json_number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <locale>
#include <sstream>
#include <string>

#include "json_test_support.h"

namespace vq {
namespace {

using testing::dump;

bool integralText(const std::string& text) { return text.find_first_of(".eE") == std::string::npos; }

// What a classic-locale string stream makes of the text, stored the way the
// reader stores numbers: the behaviour the conversion must reproduce.
template <typename T>
JSONValue streamReading(const std::string& text) {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    T value{};
    stream >> value;
    return JSONValue(value);
}

// Integer limits and their neighbours, double overflow and underflow
// (rounding to DBL_MAX or beyond, subnormals, zero), saturated exponents, and
// integral doubles at the edges of both integer ranges.
TEST(JSONNumber, ConvertsExactlyAsAClassicLocaleStringStream) {
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
        const JSONValue expected = !integralText(text) ? streamReading<double>(text)
                                   : text[0] == '-'    ? streamReading<int64_t>(text)
                                                       : streamReading<uint64_t>(text);
        EXPECT_EQ(dump(convertNumber(text, integralText(text))), dump(expected)) << text;
    }
}

// Decimal comma and grouped thousands, as a C++ facet.
struct CommaPunctuation : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(JSONNumberLocale, DecimalCommaGlobalLocaleChangesNothing) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunctuation));
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) std::setlocale(LC_ALL, "de_DE.utf8");  // where installed
    std::ostringstream probe;
    probe << 1.5;
    EXPECT_EQ(probe.str(), "1,5");  // the comma is in force
    // The error column is 1233: it must print without digit grouping.
    const testing::Parsed numbers = testing::parseText("[1.5, 1234567, -2.25e3, 0x10, 1e400]");
    const testing::Parsed late = testing::parseText("[1.5,1234567,-2.25e3,\"" + std::string(1211, 'a') + "\t");
    const std::string converted = dump(convertNumber("123.456e7", false));
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");

    EXPECT_TRUE(numbers.ok);
    EXPECT_EQ(dump(numbers.value), "[d1.5,1234567,-2250,16,d1.7976931348623157e+308]");
    EXPECT_FALSE(late.ok);
    EXPECT_NE(late.log.find("Error: Invalid string\nat line 0 column 1233\n"), std::string::npos) << late.log;
    EXPECT_EQ(converted, "1234560000");
}

}  // namespace
}  // namespace vq
