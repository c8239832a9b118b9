#include "json/json_number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "json_test_support.h"

namespace vq {
namespace {

using testing::dump;

// What a classic-locale string stream makes of the text, stored the way the
// reader stores numbers: the behaviour the conversion must reproduce.
JSONValue streamReading(const std::string& text) {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    const bool integral = text.find_first_of(".eE") == std::string::npos;
    if (integral && text[0] == '-') {
        int64_t value = 0;
        stream >> value;
        return JSONValue(value);
    }
    if (integral) {
        uint64_t value = 0;
        stream >> value;
        return JSONValue(value);
    }
    double value = 0;
    stream >> value;
    return JSONValue(value);
}

JSONValue convert(const std::string& text) {
    return convertNumber(text, text.find_first_of(".eE") == std::string::npos);
}

const std::vector<std::string> kTexts = {
    "0", "-0", "7", "-7", "4294967295", "4294967296", "9223372036854775807", "9223372036854775808",
    "18446744073709551615", "18446744073709551616", "99999999999999999999999999", "-9223372036854775807",
    "-9223372036854775808", "-9223372036854775809", "-99999999999999999999999999", "0.5", "-0.5", "1.0",
    "-1.0", "1e0", "1E+2", "1e-2", "-0.0", "0.0e0", "123.456e7", "1.7976931348623157e308",
    "1.7976931348623158e308", "1.7976931348623159e308", "1e309", "-1e309", "123123e100000",
    "0.4e006699999999999999999999999999999", "2.2250738585072011e-308", "4.9406564584124654e-324",
    "2.4703282292062328e-324", "2.4703282292062327e-324", "1e-400", "-1e-400", "123e-10000000",
    "-0.000000000000000000000000000000000000000000000000000000000000000000000000000001", "18446744073709551616.0",
    "18446744073709549568.0", "-9223372036854775808.0", "-9223372036854777856.0", "0.1", "3.141592653589793238462643",
    "100000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000e-90",
};

TEST(JSONNumber, ConvertsExactlyAsAClassicLocaleStringStream) {
    for (const std::string& text : kTexts) {
        EXPECT_EQ(dump(convert(text)), dump(streamReading(text))) << text;
    }
}

TEST(JSONNumber, OutOfRangeValuesClampOrVanish) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"18446744073709551616", "18446744073709551615"},
        {"-9223372036854775809", "-9223372036854775808"},
        {"1e400", "d1.7976931348623157e+308"},
        {"-1e400", "d-1.7976931348623157e+308"},
        {"1e-400", "0"},
        {"2.5e-324", "d4.9406564584124654e-324"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(dump(convert(text)), expected) << text;
}

// A text whose reading fails at column 1234: the position must print without
// digit grouping whatever the locale.
const std::string kLateError = "[1.5,1234567,-2.25e3,\"" + std::string(1211, 'a') + "\t";

void expectLocaleIndependentReading() {
    testing::Parsed numbers = testing::parseText("[1.5, 1234567, -2.25e3, 0x10, 1e400]");
    EXPECT_TRUE(numbers.ok);
    EXPECT_EQ(dump(numbers.value), "[d1.5,1234567,-2250,16,d1.7976931348623157e+308]");
    const testing::Parsed late = testing::parseText(kLateError);
    EXPECT_FALSE(late.ok);
    EXPECT_NE(late.log.find("Error: Invalid string\nat line 0 column 1233\n"), std::string::npos) << late.log;
    EXPECT_EQ(dump(convert("123.456e7")), "1234560000");
}

// Decimal comma and grouped thousands in the C++ global locale.
struct CommaPunctuation : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class GlobalLocale {
public:
    explicit GlobalLocale(const std::locale& locale) : previous_(std::locale::global(locale)) {}
    ~GlobalLocale() {
        std::locale::global(previous_);
        std::setlocale(LC_ALL, "C");
    }

private:
    std::locale previous_;
};

TEST(JSONNumberLocale, DecimalCommaFacetInTheGlobalLocaleChangesNothing) {
    GlobalLocale comma(std::locale(std::locale::classic(), new CommaPunctuation));
    std::ostringstream probe;
    probe << 1.5;
    ASSERT_EQ(probe.str(), "1,5");  // the facet is in force
    expectLocaleIndependentReading();
}

TEST(JSONNumberLocale, InstalledDecimalCommaLocaleChangesNothing) {
    std::locale named;
    bool found = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8", "ru_RU.UTF-8",
                             "es_ES.UTF-8", "it_IT.UTF-8", "pt_BR.UTF-8", "de_DE"}) {
        try {
            named = std::locale(name);
        } catch (const std::runtime_error&) {
            continue;
        }
        if (std::use_facet<std::numpunct<char>>(named).decimal_point() == ',') {
            found = true;
            break;
        }
    }
    if (!found) GTEST_SKIP() << "no locale with a decimal comma is installed (see locale -a)";
    GlobalLocale comma(named);  // also sets the C library's locale
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    ASSERT_STREQ(text, "1,5");
    expectLocaleIndependentReading();
}

}  // namespace
}  // namespace vq
