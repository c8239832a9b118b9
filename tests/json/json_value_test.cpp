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
    const struct {
        JSONValue value;
        JSONValue::Type type;
        std::string rendered;
    } cases[] = {
        {JSONValue(3.0), JSONValue::TypeUInt, "3"},
        {JSONValue(-2.0), JSONValue::TypeInt, "-2"},
        {JSONValue(2.5), JSONValue::TypeDouble, "d2.5"},
        {JSONValue(1e20), JSONValue::TypeDouble, "d1e+20"},
        {JSONValue(18446744073709551616.0), JSONValue::TypeDouble, "d1.8446744073709552e+19"},  // 2^64
        {JSONValue(18446744073709549568.0), JSONValue::TypeUInt, "18446744073709549568"},
        {JSONValue(-9223372036854775808.0), JSONValue::TypeInt, "-9223372036854775808"},  // -2^63
        {JSONValue(-9223372036854777856.0), JSONValue::TypeDouble, "d-9.2233720368547779e+18"},
        {JSONValue(-0.0), JSONValue::TypeUInt, "0"},
        {JSONValue(std::numeric_limits<double>::infinity()), JSONValue::TypeDouble, "dinf"},
        {JSONValue(std::numeric_limits<double>::quiet_NaN()), JSONValue::TypeDouble, "dnan"},
        {JSONValue(int64_t{0}), JSONValue::TypeUInt, "0"},
        {JSONValue(-5), JSONValue::TypeInt, "-5"},
        {JSONValue(UINT64_MAX), JSONValue::TypeUInt, "18446744073709551615"},
        {JSONValue(true), JSONValue::TypeTrue, "true"},
        {JSONValue(false), JSONValue::TypeFalse, "false"},
        {JSONValue(), JSONValue::TypeNull, "null"},
        {JSONValue::makeObject(), JSONValue::TypeObject, "{}"},
        {JSONValue::makeArray(3), JSONValue::TypeArray, "[null,null,null]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.type(), c.type) << c.rendered;
        EXPECT_EQ(dump(c.value), c.rendered);
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
    const std::pair<std::string, std::string> cases[] = {
        {failureOf<JSONValue::Overflow>([] { JSONValue(uint64_t{4294967296}).asUInt32(); }),
         "Value 4294967296 is too large for uint32"},
        {failureOf<JSONValue::Underflow>([&] { minusOne.asUInt32(); }), "Value -1 is too small for uint32"},
        {failureOf<JSONValue::Underflow>([&] { minusOne.asUInt64(); }), "Value -1 is too small for uint64"},
        {failureOf<W>([&] { text.asUInt64(); }), "tried to access value of type string as integer"},
        {failureOf<W>([&] { text.asUInt32(); }), "tried to access value of type string as integer"},
        {failureOf<W>([] { JSONValue(2.5).asUInt32(); }), "tried to access value of type floating point as integer"},
        {failureOf<W>([&] { text.asBool(); }), "tried to access value of type string as true"},
        {failureOf<W>([&] { array.asString(); }), "tried to access value of type array as string"},
        {failureOf<W>([&] { object.size(); }), "tried to access value of type object as array"},
        {failureOf<W>([&] { object.at(0); }), "tried to access value of type object as array"},
        {failureOf<W>([&] { object.append(JSONValue()); }), "tried to access value of type object as array"},
        {failureOf<W>([&] { array["key"]; }), "tried to access value of type array as object"},
        {failureOf<W>([&] { null[std::string("key")]; }), "tried to access value of type null as object"},
        {failureOf<W>([&] { null.members(); }), "tried to access value of type null as object"},
        {failureOf<JSONValue::OutOfRange>([&] { array.at(3); }),
         "JSON array index out of range (index 3 but array size 3)"},
        {failureOf<JSONValue::Overflow>([] { JSONValue(uint64_t{1} << 63).asInt64(); }),
         "Value 9223372036854775808 is too large for int64"},
        {failureOf<W>([] { JSONValue(true).asDouble(); }), "tried to access value of type true as floating point"},
    };
    for (const auto& [message, expected] : cases) EXPECT_EQ(message, expected);

    try {
        text.asBool();
    } catch (const JSONValue::WrongType& error) {
        const JSONValue::WrongType copy = error;
        EXPECT_EQ(copy.requested(), JSONValue::TypeTrue);
        EXPECT_EQ(copy.actual(), JSONValue::TypeString);
    }
}

TEST(JSONValueAccess, BoundaryValuesPassTheRangeChecks) {
    EXPECT_EQ(JSONValue(uint64_t{4294967295}).asUInt32(), 4294967295u);
    EXPECT_EQ(JSONValue(0).asUInt32(), 0u);
    EXPECT_EQ(JSONValue(UINT64_MAX).asUInt64(), UINT64_MAX);
    EXPECT_EQ(JSONValue(INT64_MIN).asInt64(), INT64_MIN);
    EXPECT_EQ(JSONValue(uint64_t{INT64_MAX}).asInt64(), INT64_MAX);
    EXPECT_TRUE(JSONValue(true).asBool());
    EXPECT_FALSE(JSONValue(false).asBool());
}

TEST(JSONValueObject, MissingKeyInsertsNullThatStays) {
    JSONValue object = JSONValue::makeObject();
    object["present"] = JSONValue("v");
    EXPECT_EQ(failureOf<JSONValue::WrongType>([&] { object["absent"].asUInt32(); }),
              "tried to access value of type null as integer");
    EXPECT_EQ(dump(object), R"({"absent":null,"present":"v"})");
}

TEST(JSONValueCopy, CopiesAndAppendsAreDeepAndAliasingIsSafe) {
    JSONValue source = JSONValue::makeObject();
    source["list"] = JSONValue::makeArray();
    JSONValue element = JSONValue::makeObject();
    source["list"].append(element)["inner"] = JSONValue(2);
    element["inner"] = JSONValue(9);  // appended as a copy
    const std::string before = dump(source);
    EXPECT_EQ(before, R"({"list":[{"inner":2}]})");

    JSONValue copy = source;
    copy["list"].at(0)["inner"] = JSONValue(3);
    JSONValue assigned(7);
    assigned = source;
    assigned["list"].append(assigned["list"].at(0));  // an element of the same array
    EXPECT_EQ(dump(source), before);
    EXPECT_EQ(dump(copy), R"({"list":[{"inner":3}]})");
    EXPECT_EQ(dump(assigned), R"({"list":[{"inner":2},{"inner":2}]})");

    assigned = assigned["list"].at(1);  // a member assigned to its owner
    EXPECT_EQ(dump(assigned), R"({"inner":2})");
}

}  // namespace
}  // namespace vq
