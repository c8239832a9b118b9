#include "json/json_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "json_test_support.h"

namespace vq {
namespace {

using testing::dump;

TEST(JSONValueConstruct, NumbersTakeTheNarrowestExactTag) {
    using J = JSONValue;
    const std::pair<JSONValue, std::string> cases[] = {
        {J(3.0), "3"}, {J(-2.0), "-2"}, {J(2.5), "d2.5"}, {J(1e20), "d1e+20"}, {J(-0.0), "0"},
        {J(18446744073709551616.0), "d1.8446744073709552e+19"}, {J(18446744073709549568.0), "18446744073709549568"},
        {J(-9223372036854775808.0), "-9223372036854775808"}, {J(-9223372036854777856.0), "d-9.2233720368547779e+18"},
        {J(std::numeric_limits<double>::infinity()), "dinf"}, {J(std::numeric_limits<double>::quiet_NaN()), "dnan"},
        {J(int64_t{0}), "0"}, {J(-5), "-5"}, {J(UINT64_MAX), "18446744073709551615"}, {J(true), "true"},
        {J(false), "false"}, {J(), "null"}, {J::makeObject(), "{}"}, {J::makeArray(3), "[null,null,null]"},
    };
    for (const auto& [value, rendered] : cases) {
        EXPECT_EQ(dump(value), rendered);  // shows the tag, but for the integers' sign split:
        EXPECT_EQ(value.type() == J::TypeInt, rendered[0] == '-') << rendered;
    }
    std::string text = "a text longer than any small-string buffer";
    EXPECT_EQ(JSONValue(std::move(text)).asString(), "a text longer than any small-string buffer");
    EXPECT_TRUE(text.empty());  // NOLINT(bugprone-use-after-move): taken over
}

TEST(JSONValueTypeName, EveryTagAndInvalidOnes) {
    const char* names[] = {"string", "integer", "integer", "floating point", "object",
                           "array",  "true",    "false",   "null",           "invalid"};
    for (uint32_t tag = 0; tag < 10; ++tag) EXPECT_STREQ(JSONValue::typeName(JSONValue::Type(tag)), names[tag]);
    EXPECT_STREQ(JSONValue::typeName(JSONValue::Type(0xFFFFFFFF)), "invalid");
}

// The message of a copy of what access threw as E, caught as the common base.
template <typename E>
std::string failureOf(const std::function<void()>& access) {
    try {
        access();
    } catch (const JSONValue::SerializationException& error) {
        const JSONValue::SerializationException copy = error;
        return dynamic_cast<const E*>(&error) != nullptr ? copy.what() : "wrong exception";
    }
    return "nothing thrown";
}

TEST(JSONValueAccess, FailuresCarryTheirFixedMessages) {
    JSONValue text("x"), minusOne(-1), array = JSONValue::makeArray(3), object = JSONValue::makeObject(), null;
    using W = JSONValue::WrongType;
    const std::string wrong = "tried to access value of type ";
    const std::pair<std::string, std::string> cases[] = {
        {failureOf<JSONValue::Overflow>([] { JSONValue(uint64_t{1} << 32).asUInt32(); }),
         "Value 4294967296 is too large for uint32"},
        {failureOf<JSONValue::Underflow>([&] { minusOne.asUInt32(); }), "Value -1 is too small for uint32"},
        {failureOf<JSONValue::Underflow>([&] { minusOne.asUInt64(); }), "Value -1 is too small for uint64"},
        {failureOf<JSONValue::OutOfRange>([&] { array.at(3); }),
         "JSON array index out of range (index 3 but array size 3)"},
        {failureOf<W>([&] { text.asUInt64(); }), wrong + "string as integer"},
        {failureOf<W>([&] { text.asUInt32(); }), wrong + "string as integer"},
        {failureOf<W>([] { JSONValue(2.5).asUInt32(); }), wrong + "floating point as integer"},
        {failureOf<W>([&] { text.asBool(); }), wrong + "string as true"},
        {failureOf<W>([&] { array.asString(); }), wrong + "array as string"},
        {failureOf<W>([&] { object.size(); }), wrong + "object as array"},
        {failureOf<W>([&] { object.at(0); }), wrong + "object as array"},
        {failureOf<W>([&] { object.append(JSONValue()); }), wrong + "object as array"},
        {failureOf<W>([&] { array["key"]; }), wrong + "array as object"},
        {failureOf<W>([&] { null[std::string("key")]; }), wrong + "null as object"},
        {failureOf<W>([&] { null.members(); }), wrong + "null as object"},
        // Accessors for tools and tests only.
        {failureOf<JSONValue::Overflow>([] { JSONValue(uint64_t{1} << 63).asInt64(); }),
         "Value 9223372036854775808 is too large for int64"},
        {failureOf<W>([] { JSONValue(true).asDouble(); }), wrong + "true as floating point"},
    };
    for (const auto& [message, expected] : cases) EXPECT_EQ(message, expected);
    try {
        text.asBool();
    } catch (const JSONValue::WrongType& error) {
        const JSONValue::WrongType copy = error;  // keeps both tags
        EXPECT_EQ(copy.requested(), JSONValue::TypeTrue);
        EXPECT_EQ(copy.actual(), JSONValue::TypeString);
    }
}

TEST(JSONValueAccess, BoundaryValuesPassTheRangeChecks) {
    EXPECT_EQ(JSONValue(4294967295u).asUInt32(), 4294967295u);
    EXPECT_EQ(JSONValue(uint64_t{INT64_MAX}).asInt64(), INT64_MAX);
    EXPECT_TRUE(JSONValue(true).asBool() && !JSONValue(false).asBool());
}

TEST(JSONValueObject, MissingKeyInsertsNullThatStays) {
    JSONValue object = JSONValue::makeObject();
    object["present"] = JSONValue("v");
    EXPECT_EQ(failureOf<JSONValue::WrongType>([&] { object["absent"].asUInt32(); }),
              "tried to access value of type null as integer");
    EXPECT_EQ(dump(object), R"({"absent":null,"present":"v"})");
}

TEST(JSONValueCopy, CopiesAndAppendsAreDeepAndAliasingIsSafe) {
    JSONValue source = JSONValue::makeObject(), element = JSONValue::makeObject();
    source["list"] = JSONValue::makeArray();
    source["list"].append(element)["inner"] = JSONValue(2);
    element["inner"] = JSONValue(9);  // was appended as a copy
    JSONValue copy = source, assigned(7);
    copy["list"].at(0)["inner"] = JSONValue(3);
    assigned = source;
    assigned["list"].append(assigned["list"].at(0));  // an element of the same array
    EXPECT_EQ(dump(source), R"({"list":[{"inner":2}]})");
    EXPECT_EQ(dump(copy), R"({"list":[{"inner":3}]})");
    EXPECT_EQ(dump(assigned), R"({"list":[{"inner":2},{"inner":2}]})");
    assigned = assigned["list"].at(1);  // a member assigned to its owner
    EXPECT_EQ(dump(assigned), R"({"inner":2})");
}

}  // namespace
}  // namespace vq
