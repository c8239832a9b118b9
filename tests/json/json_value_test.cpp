#include "json/json_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "json_test_support.h"
#include "small_stack.h"

namespace vq {
namespace {

using testing::dump;

struct ConstructCase {
    const char* name;
    JSONValue value;
    JSONValue::Type type;
    std::string rendered;
};

TEST(JSONValueConstruct, NumbersTakeTheNarrowestExactTag) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<ConstructCase> cases = {
        {"integral double", JSONValue(3.0), JSONValue::TypeUInt, "3"},
        {"negative integral double", JSONValue(-2.0), JSONValue::TypeInt, "-2"},
        {"fraction", JSONValue(2.5), JSONValue::TypeDouble, "d2.5"},
        {"above 2^64", JSONValue(1e20), JSONValue::TypeDouble, "d1e+20"},
        {"exactly 2^64", JSONValue(18446744073709551616.0), JSONValue::TypeDouble, "d1.8446744073709552e+19"},
        {"largest double below 2^64", JSONValue(18446744073709549568.0), JSONValue::TypeUInt,
         "18446744073709549568"},
        {"exactly -2^63", JSONValue(-9223372036854775808.0), JSONValue::TypeInt, "-9223372036854775808"},
        {"below -2^63", JSONValue(-9223372036854777856.0), JSONValue::TypeDouble, "d-9.2233720368547779e+18"},
        {"negative zero", JSONValue(-0.0), JSONValue::TypeUInt, "0"},
        {"infinity", JSONValue(inf), JSONValue::TypeDouble, "dinf"},
        {"nan", JSONValue(nan), JSONValue::TypeDouble, "dnan"},
        {"signed zero", JSONValue(int64_t{0}), JSONValue::TypeUInt, "0"},
        {"signed minus one", JSONValue(int64_t{-1}), JSONValue::TypeInt, "-1"},
        {"unsigned max", JSONValue(UINT64_MAX), JSONValue::TypeUInt, "18446744073709551615"},
        {"int literal", JSONValue(5), JSONValue::TypeUInt, "5"},
        {"negative int literal", JSONValue(-5), JSONValue::TypeInt, "-5"},
        {"long long", JSONValue(-7LL), JSONValue::TypeInt, "-7"},
        {"true", JSONValue(true), JSONValue::TypeTrue, "true"},
        {"false", JSONValue(false), JSONValue::TypeFalse, "false"},
        {"default", JSONValue(), JSONValue::TypeNull, "null"},
        {"text", JSONValue("abc"), JSONValue::TypeString, "\"abc\""},
        {"empty object", JSONValue::makeObject(), JSONValue::TypeObject, "{}"},
        {"array of three", JSONValue::makeArray(3), JSONValue::TypeArray, "[null,null,null]"},
    };
    for (const ConstructCase& c : cases) {
        EXPECT_EQ(c.value.type(), c.type) << c.name;
        EXPECT_EQ(dump(c.value), c.rendered) << c.name;
    }
}

TEST(JSONValueConstruct, StringConstructorTakesOverTheText) {
    std::string text = "a text longer than any small-string buffer";
    JSONValue value(std::move(text));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(value.asString(), "a text longer than any small-string buffer");
}

TEST(JSONValueTypeName, EveryTagAndAnInvalidOne) {
    const std::vector<std::pair<uint32_t, std::string>> names = {
        {0, "string"}, {1, "integer"}, {2, "integer"}, {3, "floating point"}, {4, "object"},
        {5, "array"},  {6, "true"},    {7, "false"},   {8, "null"},           {9, "invalid"},
        {0xFFFFFFFF, "invalid"}};
    for (const auto& [tag, name] : names) {
        EXPECT_EQ(JSONValue::typeName(static_cast<JSONValue::Type>(tag)), name) << tag;
    }
}

// Runs an accessor expected to throw E; returns the message.
template <typename E>
std::string failureOf(const std::function<void()>& access) {
    try {
        access();
    } catch (const E& error) {
        return error.what();
    } catch (const std::exception& other) {
        return std::string("wrong exception: ") + other.what();
    }
    return "nothing thrown";
}

TEST(JSONValueAccess, FailuresCarryTheirFixedMessages) {
    JSONValue text("x");
    JSONValue big(uint64_t{4294967296});
    JSONValue minusOne(-1);
    JSONValue array = JSONValue::makeArray(3);
    JSONValue object = JSONValue::makeObject();
    JSONValue null;
    JSONValue huge(uint64_t{9223372036854775808u});

    using W = JSONValue::WrongType;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {failureOf<JSONValue::Overflow>([&] { big.asUInt32(); }), "Value 4294967296 is too large for uint32"},
        {failureOf<JSONValue::Underflow>([&] { minusOne.asUInt32(); }), "Value -1 is too small for uint32"},
        {failureOf<JSONValue::Underflow>([&] { minusOne.asUInt64(); }), "Value -1 is too small for uint64"},
        {failureOf<W>([&] { text.asUInt64(); }), "tried to access value of type string as integer"},
        {failureOf<W>([&] { text.asUInt32(); }), "tried to access value of type string as integer"},
        {failureOf<W>([&] { JSONValue(2.5).asUInt32(); }), "tried to access value of type floating point as integer"},
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
        {failureOf<JSONValue::Overflow>([&] { huge.asInt64(); }), "Value 9223372036854775808 is too large for int64"},
        {failureOf<W>([&] { JSONValue(true).asDouble(); }), "tried to access value of type true as floating point"},
    };
    for (const auto& [message, expected] : cases) EXPECT_EQ(message, expected);
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

TEST(JSONValueAccess, ExceptionsAreCaughtAsTheBaseAndCopiesKeepEverything) {
    try {
        JSONValue("x").asBool();
        FAIL() << "nothing thrown";
    } catch (const JSONValue::WrongType& error) {
        const JSONValue::WrongType copy = error;
        EXPECT_STREQ(copy.what(), error.what());
        EXPECT_EQ(copy.requested(), JSONValue::TypeTrue);
        EXPECT_EQ(copy.actual(), JSONValue::TypeString);
    }
    for (const std::function<void()>& access : std::vector<std::function<void()>>{
             [] { JSONValue(-1).asUInt64(); }, [] { JSONValue(UINT64_MAX).asUInt32(); },
             [] { JSONValue::makeArray().at(0); }, [] { JSONValue().asString(); }}) {
        bool caught = false;
        try {
            access();
        } catch (const JSONValue::SerializationException& error) {
            const JSONValue::SerializationException copy = error;
            caught = std::string(copy.what()) == error.what() && !std::string(error.what()).empty();
        }
        EXPECT_TRUE(caught);
    }
}

TEST(JSONValueObject, MissingKeyInsertsNullThatStays) {
    JSONValue object = JSONValue::makeObject();
    object["present"] = JSONValue("v");
    EXPECT_THROW(object["absent"].asString(), JSONValue::WrongType);
    try {
        object[std::string("other")].asUInt32();
    } catch (const JSONValue::SerializationException& error) {
        EXPECT_STREQ(error.what(), "tried to access value of type null as integer");
    }
    EXPECT_EQ(dump(object), R"({"absent":null,"other":null,"present":"v"})");
}

TEST(JSONValueObject, KeysIterateInUnsignedByteOrder) {
    JSONValue object = JSONValue::makeObject();
    for (const char* key : {"b", "\xE9", "a", "\x7F", "B", "", "ab"}) object[key] = JSONValue(1);
    std::string order;
    for (const auto& member : object.members()) order += "<" + member.first + ">";
    EXPECT_EQ(order, "<><B><a><ab><b><\x7F><\xE9>");
}

TEST(JSONValueCopy, CopiesAreDeepAndIndependent) {
    JSONValue source = JSONValue::makeObject();
    source["list"] = JSONValue::makeArray();
    source["list"].append(JSONValue("one"));
    source["list"].append(JSONValue::makeObject())["inner"] = JSONValue(2);
    source["name"] = JSONValue("n");
    const std::string before = dump(source);

    JSONValue copy = source;
    copy["list"].at(1)["inner"] = JSONValue(3);
    copy["list"].at(0).asString() += "!";
    copy["name"] = JSONValue(false);
    EXPECT_EQ(dump(source), before);
    EXPECT_EQ(dump(copy), R"({"list":["one!",{"inner":3}],"name":false})");

    JSONValue assigned(7);
    assigned = source;
    assigned["list"].append(JSONValue());
    EXPECT_EQ(dump(source), before);
    EXPECT_EQ(source["list"].size(), 2u);
    EXPECT_EQ(assigned["list"].size(), 3u);
}

TEST(JSONValueCopy, AppendCopiesAndAssigningAMemberToItsOwnerWorks) {
    JSONValue array = JSONValue::makeArray();
    JSONValue element = JSONValue::makeArray(1);
    array.append(element);
    element.at(0) = JSONValue(1);
    EXPECT_EQ(dump(array), "[[null]]");

    array.append(array.at(0));  // appending an element of the same array
    EXPECT_EQ(dump(array), "[[null],[null]]");

    JSONValue object = JSONValue::makeObject();
    object["a"] = JSONValue::makeObject();
    object["a"]["b"] = JSONValue("deep");
    object = object["a"];
    EXPECT_EQ(dump(object), R"({"b":"deep"})");
    const JSONValue& alias = object;
    object = alias;
    EXPECT_EQ(dump(object), R"({"b":"deep"})");
}

TEST(JSONValueCopy, MovedFromValueIsNull) {
    JSONValue source("text");
    JSONValue target(std::move(source));
    EXPECT_EQ(source.type(), JSONValue::TypeNull);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(target.asString(), "text");
}

// Hundreds of thousands of levels of [[[...]]] and {"k":{"k":...}} copied and destroyed on a
// small stack: recursion per level would overflow it.
TEST(JSONValueDeep, DeepLevelsCopyAndFreeWithoutRecursion) {
    constexpr int kDepth = 300000;  // recursion would overflow this stack within a few thousand
    bool sameDepth = false;
    testing::runOnSmallStack([&] {
        JSONValue nested = JSONValue::makeArray();
        for (int i = 0; i < kDepth; ++i) {
            JSONValue outer = i % 2 ? JSONValue::makeArray() : JSONValue::makeObject();
            if (outer.type() == JSONValue::TypeArray) {
                outer.append(std::move(nested));
            } else {
                outer["k"] = std::move(nested);
            }
            nested = std::move(outer);
        }
        JSONValue copy = nested;
        nested = JSONValue();
        int depth = 0;
        const JSONValue* level = &copy;
        while (true) {
            if (level->type() == JSONValue::TypeArray && level->size() == 1) {
                level = &level->at(0);
            } else if (level->type() == JSONValue::TypeObject && level->members().size() == 1) {
                level = &level->members().begin()->second;
            } else {
                break;
            }
            ++depth;
        }
        sameDepth = depth == kDepth && level->type() == JSONValue::TypeArray && level->size() == 0;
    });
    EXPECT_TRUE(sameDepth);
}

}  // namespace
}  // namespace vq
