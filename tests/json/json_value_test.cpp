#include "json/json_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

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
        {J(int64_t{0}), "0"}, {J(-5), "-5"}, {J(UINT64_MAX), "18446744073709551615"}, {J::makeArray(3), "[null,null,null]"},
    };
    for (const auto& [value, rendered] : cases) {
        EXPECT_EQ(dump(value), rendered);  // shows the tag, but for the integers' sign split:
        EXPECT_EQ(value.type() == J::TypeInt, rendered[0] == '-') << rendered;
    }
}

TEST(JSONValueAccess, FailuresCarryTheirFixedMessages) {
    JSONValue text("x"), minusOne(-1), array = JSONValue::makeArray(3), object = JSONValue::makeObject(), null;
    object["present"] = JSONValue("v");
    const std::string wrong = "tried to access value of type ";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { JSONValue(uint64_t{1} << 32).asUInt32(); }, "Value 4294967296 is too large for uint32"},
        {[&] { minusOne.asUInt32(); }, "Value -1 is too small for uint32"},
        {[&] { minusOne.asUInt64(); }, "Value -1 is too small for uint64"},
        {[&] { array.at(3); }, "JSON array index out of range (index 3 but array size 3)"},
        {[&] { text.asUInt64(); }, wrong + "string as integer"}, {[&] { text.asUInt32(); }, wrong + "string as integer"},
        {[&] { text.asBool(); }, wrong + "string as true"}, {[&] { array.asString(); }, wrong + "array as string"},
        {[&] { minusOne.asString(); }, wrong + "integer as string"}, {[] { JSONValue(false).asString(); }, wrong + "false as string"},
        {[&] { object.size(); }, wrong + "object as array"}, {[&] { object.at(0); }, wrong + "object as array"},
        {[&] { object.append(JSONValue()); }, wrong + "object as array"},
        {[&] { array["key"]; }, wrong + "array as object"}, {[&] { null[std::string("key")]; }, wrong + "null as object"},
        {[&] { null.members(); }, wrong + "null as object"}, {[&] { object["absent"].asUInt32(); }, wrong + "null as integer"},
        // Accessors for tools and tests only.
        {[] { JSONValue(uint64_t{1} << 63).asInt64(); }, "Value 9223372036854775808 is too large for int64"},
        {[] { JSONValue(true).asDouble(); }, wrong + "true as floating point"},
        // The limits themselves pass.
        {[] { JSONValue(4294967295u).asUInt32(); }, "nothing thrown"}, {[] { JSONValue(INT64_MAX).asInt64(); }, "nothing thrown"},
    };
    for (const auto& [access, expected] : cases) {
        std::string message = "nothing thrown";
        try { access(); } catch (const JSONValue::SerializationException& error) { message = error.what(); }  // every failure's base
        EXPECT_EQ(message, expected);
    }
    EXPECT_EQ(dump(object), R"({"absent":null,"present":"v"})");  // a missing key is inserted as null
    EXPECT_TRUE(JSONValue(true).asBool() && !JSONValue(false).asBool());
}

TEST(JSONValueCopy, CopiesAreDeepAndAliasingIsSafe) {
    JSONValue source = JSONValue::makeObject();
    source["list"] = JSONValue::makeArray();
    source["list"].append(JSONValue::makeObject())["inner"] = JSONValue(2);
    JSONValue copy = source, assigned(7);
    copy["list"].at(0)["inner"] = JSONValue(3);
    assigned = source;
    assigned["list"].append(JSONValue(assigned["list"].at(0)));
    EXPECT_EQ(dump(source) + " " + dump(copy), R"({"list":[{"inner":2}]} {"list":[{"inner":3}]})");  // the copy is deep
    EXPECT_EQ(dump(assigned), R"({"list":[{"inner":2},{"inner":2}]})");
    assigned = assigned["list"].at(1);  // a member assigned to its owner
    EXPECT_EQ(dump(assigned), R"({"inner":2})");
}

}  // namespace
}  // namespace vq
